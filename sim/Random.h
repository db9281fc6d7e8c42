// Random matches: many vehicles flipping at random times, to see what settings do at scale.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Match.h"

namespace sim {

struct RandomOptions
{
    std::uint64_t Seed = 1;
    int Vehicles = 100;
    double Length = 600;
    std::string SettingsPath;  // for the report
    bool Report = true;        // false: the caller prints JSON lines instead
    bool Progress = false;     // a progress bar on standard error
};

// Plays a random match on `match` (plug-in loaded, settings applied, level loaded) and prints
// the report to `out`. The same options give the same report, byte for byte; the throughput,
// which depends on the machine, goes to `err`.
void Run_Random(Match& match, const ActiveSettings& settings, const RandomOptions& options, std::FILE* out,
                std::FILE* err);

}  // namespace sim
