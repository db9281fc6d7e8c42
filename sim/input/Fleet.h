// The operator's fleet file and the command line's forms of the world's numbers.
#pragma once

#include <string>
#include <vector>

#include "TextFile.h"
#include "World.h"

namespace sim {

// Reads the command line's forms of the world's numbers into `world`, or says what is wrong:
// "A..B" for the recovery times, "O:R:E:M" for the mix.
text::Status Parse_Recover_Time(const std::string& text, World& world);
text::Status Parse_Mix(const std::string& text, World& world);
// Refuses a share outside 0..1 or a time that is not a positive number.
text::Status Check_World(const World& world);

// Reads a fleet file: one preset a line, "PRESET SHARE [mode N] [flip-every S] [nose-down F]
// [recover-share F] [recover-time A..B]", '#' comments and blank lines ignored. Each preset's
// world starts as `base`. The fleet, or the finding that refuses the file (FILE:LINE: what).
text::Expected<std::vector<FleetPreset>> Load_Fleet(const std::string& path, const World& base);

}  // namespace sim
