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
#include "TextFile.h"

namespace sim {

// How the random world behaves. None of it is the plug-in's: it is what the simulator assumes of
// the players and the terrain, so the report prints it and the command line can change it.
struct World
{
    double FlipEvery = 180;       // mean seconds an upright vehicle stands before it flips
    double NoseDown = 0.1;        // share of flips that leave a vehicle on its nose, not its roof
    double RecoverShare = 0.5;    // share of flips that right themselves alone ...
    double RecoverFrom = 0.5;     // ... this many seconds after the flip
    double RecoverTo = 12;        // ... to this many, uniformly
    double Respawn = 10;          // seconds from a kill to the vehicle's return
    // Relative shares of ordinary, turned-upright, exempt and mode-4 vehicles. A kind whose list
    // is empty in the settings at the start goes to the ordinary ones.
    double Mix[4] = {60, 20, 15, 5};
};

// Reads the command line's forms of the world's numbers into `world`; false with `error`.
// "A..B" for the recovery times, "O:R:E:M" for the mix.
bool Parse_Recover_Time(const std::string& text, World& world, std::string& error);
bool Parse_Mix(const std::string& text, World& world, std::string& error);
// False with `error` when a share is outside 0..1 or a time is not a positive number.
bool Check_World(const World& world, std::string& error);

// Settings handed to the plug-in during the match.
struct TimedSettings
{
    double Time = 0;
    std::int64_t Tick = 0;  // when it is handed over: the due tick of Time
    std::string Path;
    std::shared_ptr<INIClass> Ini;
};

// One preset of the operator's own fleet: its share of the vehicles, the mode they play in, and
// the world as it is for them (the command line's, unless the fleet file says otherwise).
struct FleetPreset
{
    std::string Preset;
    double Share = 1;
    unsigned int Mode = 0;
    World Assumed;
    int Line = 0;
};

// Reads a fleet file: one preset a line, "PRESET SHARE [mode N] [flip-every S] [nose-down F]
// [recover-share F] [recover-time A..B]", '#' comments and blank lines ignored. Each preset's
// world starts as `base`. The fleet, or the finding that refuses the file (FILE:LINE: what).
text::Expected<std::vector<FleetPreset>> Load_Fleet(const std::string& path, const World& base);

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

// What can become of one flip. Each flip gets exactly one, when it is decided or at the end.
enum Outcome
{
    Killed,               // at its script's last check
    KilledAfterReflip,    // it righted itself and flipped again between two checks: the count went on
    Righted,              // turned by the plug-in until it reads upright
    RecoveredAlone,
    UnseenMode4,          // the scan skips vehicles in mode 4
    UnseenNotFlipped,     // its pose does not read as flipped (on its nose, at its heading)
    UnseenExempt,         // an exempt preset, not also listed for turning
    LiftedWithoutEnd,     // on its nose: every turn about its own length axis leaves it flipped
    EndBeingChecked,      // undecided at the end: found, its checks not yet done
    EndBeingTurned,
    EndNotYetFound,       // flipped after the last scan that could have found it
    OutcomeCount,
};

// Name in the report, and key in the JSON summary.
const char* Outcome_Label(Outcome outcome);
const char* Outcome_Key(Outcome outcome);

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
    ActiveSettings Start;                 // the settings in force when the vehicles came
    std::vector<TimedSettings> Changes;   // the reloads, as played
    // With a fleet: each preset's figures, in the fleet's order.
    struct PresetFigures
    {
        std::string Preset;
        int Vehicles = 0;
        std::int64_t Flips = 0;
        std::int64_t Outcomes[OutcomeCount] = {};
        std::int64_t NeedlessKills = 0;
        std::int64_t LyingTicks = 0;
    };
    std::vector<PresetFigures> Presets;
    std::vector<ActiveSettings> InForceAfter;  // what the plug-in held after each
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
// WallSeconds depends on the machine. False with `error` when the plug-in cannot be loaded.
bool Play_Random(const standin::PluginFile& plugin, const RandomOptions& options, const std::vector<Observer*>& also,
                 RandomResult& result, std::FILE* err, std::string& error);

// What the report says of the world's assumptions, a line each.
std::string World_Text(const World& world);

// The report, in 80 columns, and the same figures as one JSON object.
void Print_Random_Report(const RandomResult& result, std::FILE* out);
std::string Random_Summary_Json(const RandomResult& result);

// The match chart: decided flips over time by outcome, and the spread of times from flip to
// outcome; reloads marked. Its size does not grow with the number of vehicles.
std::string Match_Chart(const RandomResult& result, const std::string& title);

}  // namespace sim
