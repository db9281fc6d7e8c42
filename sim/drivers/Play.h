// Playing a scenario, and the bounds on how much work one run may ask for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Clock.h"
#include "Host.h"
#include "Match.h"
#include "Scenario.h"

namespace sim {

// A run asks for ticks, for vehicle-ticks (ticks times the objects in play), and for steps along
// the plug-in's preset lists (each scan looks a flipped vehicle's preset up in both, walking
// the chain of names that share its hash). A few words of input can ask for hours of work, so
// all three are bounded unless the caller raises the bound on purpose (--max-ticks,
// --max-vehicle-ticks, --max-list-steps).
struct Limits
{
    std::int64_t MaxTicks = 100'000'000;               // about ten seconds of an empty game here
    std::int64_t MaxVehicleTicks = 10'000'000'000;     // about twenty seconds of a busy one
    std::int64_t MaxListSteps = 1'000'000'000'000;     // out of reach of lists of a few names a hash
};

// The longest chain of names sharing one hash that the plug-in's preset lists will hold once
// it has been handed each of `settings` in turn: each settings event adds every listed name
// again, and names of eight characters or more hash by four of them alone, so a family of names
// alike there (Tank_0001, Tank_0002, ...) all lie on one chain.
std::int64_t Longest_List_Chain(const std::vector<const INIClass*>& settings);

// Refuses (saying what was asked, the bound, and the option that raises it) a run of `ticks`
// ticks with `objects` objects, whose preset lookups walk chains of up to `chain` names, that
// exceeds `limits`. `what` names the run in the message.
text::Status Within_Limits(double ticks, double objects, std::int64_t chain, const Limits& limits, const std::string& what);

// Plays `scenario` with the plug-in library `plugin`, telling `observers` all that happens, in
// their order (a progress bar on `err` when `progress`). Fails when the plug-in cannot be loaded.
text::Status Play_Scenario(const Scenario& scenario, const standin::PluginFile& plugin, const std::vector<Observer*>& observers,
                           bool progress, std::FILE* err);

}  // namespace sim
