// Game time as the simulator counts it: in ticks. Seconds, as an operator writes them, become
// ticks once, when they are read; the loops compare ticks only.
#pragma once

#include <cstdint>

namespace sim {

// The ticks of a game of `length` seconds at `rate` ticks a second, to the nearest.
std::int64_t Ticks_Of(double length, int rate);

// The tick at which something due at `seconds` happens: the first whose time, tick / rate, is
// not before it, within a billionth of a second (so that 0.1 s at 30 ticks a second, which is
// not exactly 3 / 30 in binary, falls on tick 3 and not 4).
std::int64_t Due_Tick(double seconds, int rate);

}  // namespace sim
