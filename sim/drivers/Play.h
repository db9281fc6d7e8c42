// Playing a scenario through to its outputs, and the bounds on how much work one run may ask for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Clock.h"
#include "Host.h"
#include "Scenario.h"

namespace sim {

// A run asks for ticks, and for vehicle-ticks (ticks times the objects in play). A few words of
// input can ask for hours of work, so both are bounded unless the caller raises the bound on
// purpose (--max-ticks, --max-vehicle-ticks).
struct Limits
{
    std::int64_t MaxTicks = 100'000'000;               // about ten seconds of an empty game here
    std::int64_t MaxVehicleTicks = 10'000'000'000;     // about twenty seconds of a busy one
};

// False with `error` (what was asked, the bound, and the option that raises it) when a run of
// `ticks` ticks with `objects` objects exceeds `limits`. `what` names the run in the message.
bool Within_Limits(double ticks, double objects, const Limits& limits, const std::string& what, std::string& error);

struct PlayOptions
{
    bool Json = false;      // JSON lines instead of the timeline and summary
    bool Progress = false;  // a progress bar on `err` for long runs
    bool Chart = false;     // draw the SVG chart into `svg`
};

// Plays `scenario` with the plug-in library `plugin` and tells its story to `out` (none
// when null: the chart alone). False with `error` when the plug-in cannot be loaded.
bool Play_Scenario(const Scenario& scenario, const standin::PluginFile& plugin, const PlayOptions& options, std::FILE* out,
                   std::FILE* err, std::string& svg, std::string& error);

}  // namespace sim
