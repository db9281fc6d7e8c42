// What the simulator tells: a readable timeline, a summary per vehicle, one JSON object per
// line, and a timeline chart in SVG.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "InForce.h"
#include "Match.h"
#include "Outcome.h"
#include "Play.h"
#include "Prediction.h"
#include "Random.h"
#include "Sweep.h"

namespace sim {

// The readable timeline, one line per thing worth telling, as it happens.
// "CheckInterval 2, ChecksCount 4, ScriptCheckingInterval 1", and that with the lists' sizes.
std::string Settings_Numbers(const HeldSettings& s);
std::string Settings_In_Force(const HeldSettings& s);

class Timeline : public Observer
{
public:
    // `header` is the first line, told once the plug-in is loaded.
    Timeline(std::FILE* out, std::string header) : Out(out), Header(std::move(header)) {}
    void On_Loaded() override;
    void On(const Happening& h) override;

private:
    std::FILE* Out;
    std::string Header;
    int LastDestroyed = -1;     // its scripts' detachments follow; they are no news
    bool Over = false;          // after the game, only the unloading remains
};

// One JSON object per line for every journal event and every action of the simulator.
class Stories;

class JsonLines : public Observer
{
public:
    explicit JsonLines(std::FILE* out) : Out(out) {}
    void On(const Happening& h) override;
    // After the match: one "outcome" line per object, what the summary's table says of it.
    void Outcomes(const Stories& stories, int rate);

private:
    std::FILE* Out;
    std::map<int, std::string> Names;  // object id to name, for damagers
};

// The words of a headline warning, the same in the scenario summary and the random report: a
// vehicle that lies turned over without reading as flipped, and one lifted without end.
extern const char* const NeverReadWords;
extern const char* const LiftedWords;

// The story of each object, for the summary and the chart.

struct Story
{
    ObjectInfo Info;
    double Spawned = 0;
    std::vector<std::pair<double, double>> FlippedSpans;  // end < 0: still flipped
    std::vector<std::pair<double, std::string>> Attached;
    std::vector<double> Checks;         // flip-kill checks
    std::vector<double> Steps;          // rotation steps
    std::vector<double> SelfRecoveries; // upright by itself while flipped
    std::vector<double> RightedByPlugin;
    double Damaged = -1;
    double Killed = -1;
    double Removed = -1;                // destroyed by the scenario or a level load
    const char* RemovedBy = "";
    bool Exempt = false;
    bool Rotated = false;
    float Height = 0;                   // z after the last lift
    double TurnedOverUnread = -1;       // first time it lay turned over without reading as flipped

    bool Flipped_Now() const { return !FlippedSpans.empty() && FlippedSpans.back().second < 0; }
    // It lay turned over but never read as flipped: the plug-in never handles it.
    bool Never_Handled() const { return TurnedOverUnread >= 0 && FlippedSpans.empty(); }
    // Still flipped at the end, after steps that never righted it: once a full turn's steps left it
    // flipped it is lifted without end (the random report's rule); before that, mid-turn.
    bool Being_Turned() const { return Flipped_Now() && !Steps.empty() && RightedByPlugin.empty(); }
    bool Lifted_Without_End() const { return Being_Turned() && Is_Lifted_Without_End(static_cast<int>(Steps.size())); }
    // It carries the rotate-upwards script from a scan.
    bool Found_For_Turning() const;
    std::string Outcome() const;
};

class Stories : public Observer
{
public:
    explicit Stories(int rate) : Foretold(rate) {}
    void On(const Happening& h) override;
    void On_End(double time) override
    {
        End = time;
        Foretold.On_End(time);
    }

    const std::vector<Story>& All() const { return List; }
    double End_Time() const { return End; }

    // When the plug-in scanned, as foretold (see Prediction).
    std::vector<double> Scan_Times() const { return Foretold.Scan_Times(); }
    // Settings handed over during the game: time and file.
    const std::vector<std::pair<double, std::string>>& Reloads() const { return ReloadList; }
    // When levels were loaded during the game.
    const std::vector<double>& Level_Loads() const { return LevelLoadList; }

    // The summary table, one row per object.
    void Print_Summary(std::FILE* out) const;

private:
    Story* Find(const Happening& h);
    void Set_Flipped(Story& story, double time, bool flipped);
    void On_Journal(Story& story, const Happening& h);

    Prediction Foretold;
    std::vector<Story> List;
    std::vector<std::pair<double, std::string>> ReloadList;
    std::vector<double> LevelLoadList;
    std::map<int, std::size_t> ById;
    double End = 0;
    bool Over = false;
};

// Draws the stories as an SVG timeline chart: a lane per object.
std::string Svg_Chart(const Stories& stories, const std::string& title);

// --- Scenarios ---

struct PlayOptions
{
    bool Json = false;      // JSON lines instead of the timeline and summary
    bool Progress = false;  // a progress bar on `err` for long runs
    bool Chart = false;     // draw the SVG chart into `svg`
};

// Plays `scenario` with the plug-in library `plugin` and tells its story to `out` (none when
// null: the chart alone, into `svg` when `options.Chart`). Fails when the plug-in cannot be
// loaded.
text::Status Tell_Scenario(const Scenario& scenario, const standin::PluginFile& plugin, const PlayOptions& options,
                           std::FILE* out, std::FILE* err, std::string& svg);

// --- Random matches ---

// What the report says of the world's assumptions, a line each.
std::string World_Text(const World& world);

// The report, in 80 columns, and the same figures as one JSON object.
void Print_Random_Report(const RandomResult& result, std::FILE* out);
std::string Random_Summary_Json(const RandomResult& result);

// The match chart: decided flips over time by outcome, and the spread of times from flip to
// outcome; reloads marked. Its size does not grow with the number of vehicles.
std::string Match_Chart(const RandomResult& result, const std::string& title);

// --- Sweeps ---

// The table; with a target, which points meet it and the best of them.
void Print_Sweep(const SweepSpec& spec, const std::vector<RandomResult>& results, std::FILE* out,
                 const SweepTarget* target = nullptr);
std::string Sweep_Summary_Json(const SweepSpec& spec, const std::vector<RandomResult>& results);
// The trade-off as a chart: each point of the sweep placed by the seconds a decided flip lies
// (across) and the share of needless kills (up), labelled with its settings; the target's bound
// drawn, and the best point ringed.
std::string Sweep_Chart(const SweepSpec& spec, const std::vector<RandomResult>& results, const SweepTarget* target);


}  // namespace sim
