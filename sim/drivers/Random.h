// Random matches: many vehicles flipping at random times, to see what settings do at scale, and
// what became of every flip.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Match.h"
#include "Outcome.h"
#include "World.h"

namespace sim {

// Settings handed to the plug-in during the match.
struct TimedSettings
{
    double Time = 0;
    std::int64_t Tick = 0;  // when it is handed over: the due tick of Time
    std::string Path;
    std::shared_ptr<INIClass> Ini;
};

struct RandomOptions;
// The settings the plug-in is handed in a match of `options`, in order (null: none at the start).
std::vector<const INIClass*> Settings_Handed(const RandomOptions& options);

struct RandomOptions
{
    std::uint64_t Seed = 1;
    int Vehicles = 100;
    double Length = 600;
    int Rate = 30;
    World Assumed;
    std::string SettingsPath;                 // empty: none, the plug-in keeps its values at load
    std::shared_ptr<INIClass> Settings;
    std::vector<TimedSettings> Reloads;       // in time order
    bool Progress = false;                    // a progress bar on standard error
    std::vector<FleetPreset> Fleet;           // the operator's presets; empty: the built-in mix
    std::string FleetPath;
};

// A number of ticks per value, exactly: times from a flip to its outcome.
struct Distribution
{
    std::map<std::int64_t, std::int64_t> Values;
    std::int64_t Count = 0;
    std::int64_t Sum = 0;

    void Add(std::int64_t value)
    {
        ++Values[value];
        ++Count;
        Sum += value;
    }
    // The smallest value with at least q of the count at or below it; 0 when empty.
    std::int64_t Quantile(double q) const;
    std::int64_t Min() const { return Values.empty() ? 0 : Values.begin()->first; }
    std::int64_t Max() const { return Values.empty() ? 0 : Values.rbegin()->first; }
};

// One decided flip, for the chart.
struct Decided
{
    std::int64_t Tick;       // when it was decided
    std::int64_t Duration;   // ticks from the flip
    Outcome What;
};

// What the vehicles were doing when the match ended: every vehicle is in one of these.
enum EndState
{
    EndUpright,
    EndRespawning,
    EndLying,  // flipped: its open flip's outcome says why
    EndStateCount,
};

struct RandomResult
{
    RandomOptions Options;
    HeldSettings Start;                   // the settings in force when the vehicles came
    std::vector<TimedSettings> Changes;   // the reloads, as played
    // With a fleet: each preset's figures, in the fleet's order.
    struct PresetFigures
    {
        std::string Preset;
        int Vehicles = 0;
        std::int64_t Flips = 0;
        std::int64_t Outcomes[OutcomeCount] = {};
        std::int64_t NeedlessKills = 0;
        std::int64_t LyingTicks = 0;        // every flip, from the flip to its outcome
        // Of those, the flips in a pose the plug-in never read as flipped: they lie until they
        // get up alone or the match ends, whatever the settings.
        std::int64_t UnreadFlips = 0;
        std::int64_t UnreadLyingTicks = 0;
    };
    std::vector<PresetFigures> Presets;
    std::vector<HeldSettings> InForceAfter;  // what the plug-in held after each
    int Kinds[4] = {0, 0, 0, 0};          // vehicles of each kind of the mix
    bool KindEmpty[4] = {false, false, false, false};  // no preset of that kind to pick from
    // Built-in ordinary presets left out because the operator's settings list them (at the
    // start or in a reload): an ordinary vehicle is never one the settings treat otherwise.
    std::vector<std::string> OrdinaryLeftOut;
    std::int64_t Flips = 0;
    // Flips of ordinary vehicles in a pose that reads as flipped, the ones the settings decide,
    // and their ticks from flip to outcome.
    std::int64_t KillableFlips = 0;
    std::int64_t KillableLyingTicks = 0;
    Distribution Outcomes[OutcomeCount];
    Distribution WouldHaveRecovered;      // of the killed: ticks until they would have been up
    Distribution KeptChecks;              // of those killed after a re-flip: checks counted before it
    float HighestLift = 0;                // z of the highest vehicle lifted without end
    // Tilt from upright, in degrees, of the vehicles the plug-in stopped turning: it stops once
    // the flip test reads upright, which is not on its wheels.
    double RightedTiltMin = 180, RightedTiltMax = 0;
    int AtEnd[EndStateCount] = {0, 0, 0};
    int LyingAtEnd[OutcomeCount] = {};
    std::vector<Decided> Timeline;        // every flip decided before the end, in time order
    std::vector<std::int64_t> ScanTicks;  // the ticks at which the plug-in walked the object list
    double WallSeconds = 0;

    std::int64_t Kills() const { return Outcomes[Killed].Count + Outcomes[KilledAfterReflip].Count; }
    // Ticks vehicles lay flipped, from each flip to its outcome.
    std::int64_t Lying_Ticks() const
    {
        std::int64_t ticks = 0;
        for (const Distribution& d : Outcomes) {
            ticks += d.Sum;
        }
        return ticks;
    }
    // Of the kills, the share in percent that would have recovered alone.
    double Needless_Kill_Percent() const
    {
        return Kills() == 0 ? 0.0 : 100.0 * static_cast<double>(WouldHaveRecovered.Count) / static_cast<double>(Kills());
    }
};

// Plays a random match with the plug-in library `plugin`. The observers in `also` see
// everything that happens (JSON lines, tests), in their order. The same options give the same result; only
// WallSeconds depends on the machine. Fails when the plug-in cannot be loaded.
text::Status Play_Random(const standin::PluginFile& plugin, const RandomOptions& options, const std::vector<Observer*>& also,
                         RandomResult& result, std::FILE* err);

}  // namespace sim
