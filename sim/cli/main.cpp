// veltrask-sim: a headless game server that loads the plug-in the way the host does and shows
// what it does with a set of settings.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "Check.h"
#include "Fleet.h"
#include "Host.h"
#include "PluginLoader.h"
#include "Isolated.h"
#include "INIClass.h"
#include "Match.h"
#include "Output.h"
#include "Play.h"
#include "Random.h"
#include "Report.h"
#include "Scenario.h"
#include "Settings.h"
#include "SettingsCache.h"
#include "Sweep.h"
#include "Text.h"

namespace {

// The plug-in built beside this program, or installed with it (bin/ and lib/veltrask/).
std::string Default_Plugin()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return "./libveltrask.so";
    }
    const std::string exe(path, static_cast<std::size_t>(n));
    const std::string folder = exe.substr(0, exe.rfind('/') + 1);
    const std::string beside = folder + "libveltrask.so";
    const std::string installed = folder + "../lib/veltrask/libveltrask.so";
    return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed : beside;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "veltrask-sim: %s\n", sim::Printable(message).c_str());
    return 2;
}

// Exit status `status`, unless what was written to standard output was lost (a full disk, a
// closed pipe): then 2, with the reason, since a lost report is no success.
int Finish(int status)
{
    if (const text::Status flushed = sim::Flush_Output(stdout, "the standard output"); !flushed) {
        return Fail(flushed.Error().Text());
    }
    return status;
}

// The settings files of this run: each read once, as the plug-in will see it, with what --check
// would say of it on standard error: the operator is about to watch the plug-in play it.
sim::SettingsCache& Settings_Files()
{
    static sim::SettingsCache files(stderr);
    return files;
}

// An operator's settings file named on the command line; null (the error said) when it cannot
// be read.
std::shared_ptr<INIClass> Load_Settings(const std::string& option, const std::string& path)
{
    if (path == "-") {
        Fail(option + " reads a file, not standard input");
        return nullptr;
    }
    text::Expected<std::shared_ptr<INIClass>> ini = Settings_Files().Read(path);
    if (!ini) {
        Fail(ini.Error().Text());
        return nullptr;
    }
    return *ini;
}

// A seed is a whole number from 0 to 2^64 - 1, written in decimal.
bool Parse_Seed(const std::string& text, std::uint64_t& seed)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    seed = std::strtoull(text.c_str(), &end, 10);
    return errno != ERANGE && *end == '\0';
}

// What the command line asked for.
struct Cli
{
    std::string Scenario;
    std::string Plugin = Default_Plugin();
    std::string Settings;
    std::string Check;
    std::string Svg;
    std::string SummaryJson;
    std::string Seed;
    std::string RecoverTime;
    std::string Mix;
    std::string Fleet;
    std::vector<std::string> Sweeps;
    std::string Target;
    int Seeds = 1;
    std::vector<std::string> Reloads;
    bool Json = false;
    double PluginTimeout = 10;
    int Vehicles = 100;
    double Length = 600;
    int Rate = 30;
    sim::World Assumed;
    sim::Limits Limits;
    // Options whose presence is asked about.
    CLI::Option* SettingsOption = nullptr;
    CLI::Option* CheckOption = nullptr;
    CLI::Option* SvgOption = nullptr;
    CLI::Option* SummaryOption = nullptr;
    CLI::Option* RandomOption = nullptr;
    CLI::Option* LengthOption = nullptr;
    CLI::Option* JsonOption = nullptr;
    CLI::Option* SweepOption = nullptr;
};

void Add_Random_Options(CLI::App& app, Cli& cli)
{
    CLI::Option* random = cli.RandomOption;
    app.add_option("--vehicles", cli.Vehicles, "vehicles in a random match")->check(CLI::Range(1, 1000000))->needs(random)->capture_default_str();
    cli.LengthOption =
        app.add_option("--length", cli.Length, "seconds of game in a random match (1 to 1000000)")->needs(random)->capture_default_str();
    app.add_option("--rate", cli.Rate, "ticks per second in a random match")->check(CLI::Range(1, 1000))->needs(random)->capture_default_str();
    app.add_option("--flip-every", cli.Assumed.FlipEvery, "random match: mean seconds an upright vehicle stands before it flips")
        ->needs(random)->capture_default_str();
    app.add_option("--nose-down", cli.Assumed.NoseDown, "random match: share of flips that land a vehicle on its nose")
        ->needs(random)->capture_default_str();
    app.add_option("--recover-share", cli.Assumed.RecoverShare, "random match: share of flips that right themselves alone")
        ->needs(random)->capture_default_str();
    app.add_option("--recover-time", cli.RecoverTime, "random match: seconds after the flip that they do, FROM..TO")
        ->needs(random)->default_str("0.5..12");
    app.add_option("--mix", cli.Mix, "random match: shares of ordinary:turned-upright:exempt:mode-4 vehicles")
        ->needs(random)->default_str("60:20:15:5");
    app.add_option("--fleet", cli.Fleet, "random match: your own presets and their shares, a line each (see the README)")
        ->needs(random);
    app.add_option("--respawn", cli.Assumed.Respawn, "random match: seconds before a killed vehicle comes back")
        ->needs(random)->capture_default_str();
    app.add_option("--reload", cli.Reloads, "random match: hand the plug-in a settings file at a time, SECONDS=FILE (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->needs(random);
    cli.SweepOption = app.add_option("--sweep", cli.Sweeps,
                   "random match once per value of a setting: KEY=FROM..TO[:STEP] or KEY=V1,V2,..., KEY one of " +
                       sim::Keys_Text(", ") + "; twice for a grid of two settings")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->needs(random);
    cli.SummaryOption = app.add_option("--summary-json", cli.SummaryJson, "random match: also write the report's figures as JSON")
                            ->needs(random);
    app.add_option("--seeds", cli.Seeds, "sweep: play each value with this many seeds (the seed, the seed + 1, ...) and show "
                                         "the spread")
        ->check(CLI::Range(1, 1000))
        ->needs(cli.SweepOption)
        ->capture_default_str();
    app.add_option("--target", cli.Target, "sweep: name the best settings that meet needless<=PERCENT%, lying<=SECONDS or "
                                           "kills>=COUNT")
        ->needs(cli.SweepOption);
}

void Add_Options(CLI::App& app, Cli& cli)
{
    app.add_option("scenario", cli.Scenario, "scenario file to play (see examples/)");
    app.add_option("--plugin", cli.Plugin, "the plug-in library to load")->capture_default_str();
    app.add_option("--plugin-timeout", cli.PluginTimeout,
                   "seconds one call into the plug-in may take before the run is stopped (0.1 to 86400)")
        ->check(CLI::Range(0.1, 86400.0))
        ->capture_default_str();
    cli.SettingsOption = app.add_option("--settings", cli.Settings, "settings file to use instead of the scenario's");
    cli.CheckOption =
        app.add_option("--check", cli.Check, "check a settings file, print what the plug-in would do with it, and exit");
    cli.JsonOption = app.add_flag("--json", cli.Json, "one JSON object per line for every event, instead of the timeline");
    cli.SvgOption = app.add_option("--svg", cli.Svg,
                                   "also draw a chart into this file: a lane per object for a scenario, outcomes over time "
                                   "for a random match");
    cli.RandomOption =
        app.add_option("--random", cli.Seed, "play a random match with this seed (0 to 2^64-1) instead of a scenario");
    Add_Random_Options(app, cli);
    // A bound of at least 1, said plainly when it is not (CLI11's own range would print the
    // largest double in full).
    const CLI::Validator at_least_one(
        [](std::string& text) {
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(text.c_str(), &end, 10);
            return text.empty() || *end != '\0' || errno == ERANGE || n < 1 ? "takes a whole number from 1, not " + text
                                                                           : std::string();
        },
        "N >= 1");
    app.add_option("--max-ticks", cli.Limits.MaxTicks, "refuse a run of more ticks than this")
        ->check(at_least_one)
        ->capture_default_str();
    app.add_option("--max-vehicle-ticks", cli.Limits.MaxVehicleTicks, "refuse a run of more ticks times objects than this")
        ->check(at_least_one)
        ->capture_default_str();
    app.add_option("--max-list-steps", cli.Limits.MaxListSteps,
                   "refuse a run whose preset lookups could take more steps along the plug-in's lists than this")
        ->check(at_least_one)
        ->capture_default_str();
    app.footer("FILE may be - for standard input with --check, and for standard output with --svg and --summary-json "
               "(in place of the timeline or report).\n"
               "Exit status: 0 played (or --check found nothing), 1 --check has warnings, 2 an error, "
               "said on standard error; an output that cannot be written (a full disk, a reader gone) stops the run "
               "at once with 2.\n"
               "Scenarios: one statement a line (settings, length, rate, vehicle, object, at ...); see the README's "
               "\"Scenarios\" and examples/default.scenario.");
}

// The files this run reads, which no output may replace.
std::vector<std::string> Inputs_Of(const Cli& cli, const sim::Scenario* scenario = nullptr)
{
    std::vector<std::string> inputs{cli.Plugin, cli.Scenario, cli.Settings, cli.Fleet};
    for (const std::string& reload : cli.Reloads) {
        inputs.push_back(reload.substr(reload.find('=') + 1));
    }
    if (scenario != nullptr) {
        for (const sim::SettingsFile& file : scenario->SettingsFiles) {
            inputs.push_back(file.Path);
        }
    }
    return inputs;
}

// Writes `text` to `path` ("-": standard output); false with the error said.
bool Write_Output(const std::string& path, const std::string& text, const std::vector<std::string>& inputs)
{
    if (const text::Status written = sim::Write_File_Whole(path, text, inputs); !written) {
        Fail(written.Error().Text());
        return false;
    }
    return true;
}

// The random match's options from the command line; false with the error said.
bool Random_Options(const Cli& cli, sim::RandomOptions& options)
{
    std::string error;
    if (!Parse_Seed(cli.Seed, options.Seed)) {
        Fail("--random takes a seed from 0 to 18446744073709551615, not '" + cli.Seed + "'");
        return false;
    }
    if (cli.LengthOption->count() > 0 && !(std::isfinite(cli.Length) && cli.Length >= 1.0 && cli.Length <= 1e6)) {
        Fail(fmt::format("--length {} is not a number of seconds from 1 to 1000000", cli.LengthOption->as<std::string>()));
        return false;
    }
    options.Assumed = cli.Assumed;
    for (const text::Status& world : {cli.RecoverTime.empty() ? text::Status() : sim::Parse_Recover_Time(cli.RecoverTime, options.Assumed),
                                      cli.Mix.empty() ? text::Status() : sim::Parse_Mix(cli.Mix, options.Assumed)}) {
        if (!world) {
            Fail(world.Error().Text());
            return false;
        }
    }
    if (const text::Status world = sim::Check_World(options.Assumed); !world) {
        Fail(world.Error().Text());
        return false;
    }
    if (!cli.Fleet.empty()) {
        if (!cli.Mix.empty()) {
            Fail("--fleet names the presets and their shares: no --mix");
            return false;
        }
        text::Expected<std::vector<sim::FleetPreset>> fleet = sim::Load_Fleet(cli.Fleet, options.Assumed);
        if (!fleet) {
            Fail(fleet.Error().Text());
            return false;
        }
        options.Fleet = *fleet;
        options.FleetPath = cli.Fleet;
    }
    options.Vehicles = cli.Vehicles;
    options.Length = cli.Length;
    options.Rate = cli.Rate;
    options.Progress = isatty(STDERR_FILENO) != 0;
    if (!cli.Settings.empty()) {
        options.SettingsPath = cli.Settings;
        options.Settings = Load_Settings("--settings", cli.Settings);
        if (options.Settings == nullptr) {
            return false;
        }
    }
    for (const std::string& reload : cli.Reloads) {
        const std::size_t equals = reload.find('=');
        double time = 0;
        if (equals == std::string::npos || !sim::Parse_Finite(reload.substr(0, equals), time) ||
            !(time >= 0 && time <= cli.Length) || equals + 1 == reload.size()) {
            Fail(fmt::format("--reload takes SECONDS=FILE, within the match's {:g} s, not '{}'", cli.Length, reload));
            return false;
        }
        const std::string path = reload.substr(equals + 1);
        sim::TimedSettings timed{time, sim::Due_Tick(time, cli.Rate), path, Load_Settings("--reload", path)};
        if (timed.Ini == nullptr) {
            return false;
        }
        options.Reloads.push_back(timed);
    }
    std::stable_sort(options.Reloads.begin(), options.Reloads.end(),
                     [](const sim::TimedSettings& a, const sim::TimedSettings& b) { return a.Time < b.Time; });
    return true;
}

int Run_Random(const Cli& cli, const standin::PluginFile& plugin)
{
    if (!cli.Scenario.empty()) {
        return Fail("a random match takes no scenario");
    }
    sim::RandomOptions options;
    if (!Random_Options(cli, options)) {
        return 2;
    }
    sim::SweepSpec sweep;
    const bool sweeping = !cli.Sweeps.empty();
    if (cli.Sweeps.size() > 2) {
        return Fail("--sweep takes at most two settings (a grid)");
    }
    if (sweeping) {
        const text::Expected<sim::SweepSpec> first = sim::Parse_Sweep(cli.Sweeps[0]);
        if (!first) {
            return Fail(first.Error().Text());
        }
        sweep = *first;
        if (cli.Sweeps.size() == 2) {
            if (const text::Status grid = sim::Add_Sweep_Axis(cli.Sweeps[1], sweep); !grid) {
                return Fail(grid.Error().Text());
            }
        }
    }
    sweep.Seeds = cli.Seeds;
    sim::SweepTarget target;
    if (!cli.Target.empty()) {
        const text::Expected<sim::SweepTarget> parsed = sim::Parse_Target(cli.Target);
        if (!parsed) {
            return Fail(parsed.Error().Text());
        }
        target = *parsed;
    }
    if (sweeping && cli.Json) {
        return Fail("--sweep prints a table of many matches: no --json");
    }
    const double runs = sweeping ? static_cast<double>(sweep.Points()) * sweep.Seeds : 1.0;
    if (const text::Status within = sim::Within_Limits(static_cast<double>(sim::Ticks_Of(options.Length, options.Rate)) * runs,
                                                       options.Vehicles, sim::Longest_List_Chain(sim::Settings_Handed(options)),
                                                       cli.Limits, sweeping ? "this sweep" : "this random match");
        !within) {
        return Fail(within.Error().Text());
    }
    // The report and the summary share standard output only when the summary goes elsewhere.
    const bool report = !cli.Json && cli.SummaryJson != "-" && cli.Svg != "-";
    if (sweeping) {
        std::vector<sim::RandomResult> results;
        const auto played = [&](std::size_t point, const sim::RandomResult& result) {
            std::fprintf(stderr, "%s\n",
                         fmt::format("veltrask-sim: {}, seed {} played in {:.2f} s", sim::Point_Text(sweep, point, " = "),
                                     result.Options.Seed, result.WallSeconds)
                             .c_str());
        };
        if (const text::Status swept = sim::Run_Sweep(plugin, options, sweep, stderr, results, played); !swept) {
            return Fail(swept.Error().Text());
        }
        if (report) {
            sim::Print_Sweep(sweep, results, stdout, cli.Target.empty() ? nullptr : &target);
        }
        if (!cli.Svg.empty() &&
            !Write_Output(cli.Svg, sim::Sweep_Chart(sweep, results, cli.Target.empty() ? nullptr : &target), Inputs_Of(cli))) {
            return 2;
        }
        return !cli.SummaryJson.empty() && !Write_Output(cli.SummaryJson, sim::Sweep_Summary_Json(sweep, results), Inputs_Of(cli))
                   ? 2
                   : Finish(0);
    }
    sim::JsonLines lines(stdout);
    std::vector<sim::Observer*> observers;
    if (cli.Json) {
        observers.push_back(&lines);
    }
    sim::RandomResult result;
    if (const text::Status played = sim::Play_Random(plugin, options, observers, result, stderr); !played) {
        return Fail(played.Error().Text());
    }
    std::fprintf(stderr, "%s\n",
                 fmt::format("veltrask-sim: {} ticks with {} vehicles in {:.2f} s: {:.3g} vehicle-ticks/s",
                             sim::Ticks_Of(options.Length, options.Rate), options.Vehicles, result.WallSeconds,
                             static_cast<double>(sim::Ticks_Of(options.Length, options.Rate)) * options.Vehicles /
                                 std::max(result.WallSeconds, 1e-9))
                     .c_str());
    if (report) {
        sim::Print_Random_Report(result, stdout);
    }
    if (!cli.SummaryJson.empty() && !Write_Output(cli.SummaryJson, sim::Random_Summary_Json(result), Inputs_Of(cli))) {
        return 2;
    }
    const std::string title = fmt::format("Random match, seed {}, settings {}", options.Seed,
                                          cli.Settings.empty() ? "none (the values at load)" : sim::File_Name(cli.Settings));
    if (!cli.Svg.empty() && !Write_Output(cli.Svg, sim::Match_Chart(result, title),
                                          Inputs_Of(cli))) {
        return 2;
    }
    return Finish(0);
}

int Run_Scenario(const Cli& cli, const standin::PluginFile& plugin)
{
    if (cli.Scenario.empty()) {
        return Fail("name a scenario to play (for instance examples/default.scenario), or use --random or --check");
    }
    if (cli.SummaryOption->count() > 0) {
        return Fail("--summary-json sums up a random match; a scenario's figures are in --json");
    }
    text::Expected<sim::Scenario> loaded =
        sim::Load_Scenario(cli.Scenario, [](const std::string& path) { return Settings_Files().Read(path); });
    if (!loaded) {
        return Fail(loaded.Error().Text());
    }
    sim::Scenario& scenario = *loaded;
    if (!cli.Settings.empty()) {
        sim::SettingsFile file{cli.Settings, Load_Settings("--settings", cli.Settings)};
        if (file.Ini == nullptr) {
            return 2;
        }
        scenario.SettingsFiles.push_back(file);
        scenario.InitialSettings = static_cast<int>(scenario.SettingsFiles.size()) - 1;
    }
    const auto objects = std::count_if(scenario.Actions.begin(), scenario.Actions.end(),
                                       [](const sim::Action& a) { return a.Kind == sim::ActionKind::SpawnObject; });
    if (const text::Status within = sim::Within_Limits(static_cast<double>(sim::Ticks_Of(scenario.Length, scenario.Rate)),
                                                       static_cast<double>(objects),
                                                       sim::Longest_List_Chain(sim::Settings_Handed(scenario)), cli.Limits,
                                                       "this scenario");
        !within) {
        return Fail(cli.Scenario + ": " + within.Error().Text());
    }
    sim::PlayOptions options;
    options.Json = cli.Json;
    options.Progress = isatty(STDERR_FILENO) != 0;
    options.Chart = !cli.Svg.empty();
    std::string chart;
    // A chart sent to standard output takes the timeline's place there.
    if (const text::Status told = sim::Tell_Scenario(scenario, plugin, options, cli.Svg == "-" ? nullptr : stdout, stderr, chart);
        !told) {
        return Fail(told.Error().Text());
    }
    return !cli.Svg.empty() && !Write_Output(cli.Svg, chart, Inputs_Of(cli, &scenario)) ? 2 : Finish(0);
}

}  // namespace

namespace {

// A fault inside a DLL under the emulated processor ends the run: the host could not go on
// either. It happens inside the match's own process, which its watcher then reports.
void On_Dll_Fault(const std::string& fault)
{
    std::fprintf(stderr, "veltrask-sim: %s\n", fault.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    sim::Guard_Outputs();
    standin::On_Guest_Fault(On_Dll_Fault);
    CLI::App app{"veltrask-sim: plays the Veltrask plug-in in a headless game server, to show what your settings do"};
    app.set_version_flag("--version", "veltrask-sim " VELTRASK_VERSION);
    Cli cli;
    Add_Options(app, cli);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // Written as any output is, so that a failure says why.
        return Write_Output("-", app.help(), {}) ? Finish(0) : 2;
    } catch (const CLI::CallForVersion& e) {
        return Write_Output("-", std::string(e.what()) + "\n", {}) ? Finish(0) : 2;
    } catch (const CLI::ParseError& e) {
        return Fail(std::string(e.what()) + " (--help lists the options)");
    }
    for (auto* option : {cli.SettingsOption, cli.CheckOption, cli.SvgOption, cli.SummaryOption}) {
        if (option->count() > 0 && option->as<std::string>().empty()) {
            return Fail(option->get_name() + " needs a file name");
        }
    }
    for (const std::string& sweep : cli.Sweeps) {
        if (sweep.empty()) {
            return Fail("--sweep needs KEY=VALUES");
        }
    }
    if (cli.CheckOption->count() > 0) {
        if (!cli.Scenario.empty() || cli.RandomOption->count() > 0 || cli.SvgOption->count() > 0 ||
            cli.SettingsOption->count() > 0) {
            return Fail("--check takes the settings file alone (and --json): no scenario, --random, --settings or --svg");
        }
        const text::Expected<int> warnings = sim::Check_Settings(cli.Check, stdout, cli.Json);
        if (!warnings) {
            return Fail(warnings.Error().Text());
        }
        return Finish(*warnings == 0 ? 0 : 1);
    }
    // Standard output carries one output: the timeline or report, or else the one named "-".
    if ((cli.Json ? 1 : 0) + (cli.Svg == "-" ? 1 : 0) + (cli.SummaryJson == "-" ? 1 : 0) > 1) {
        return Fail("standard output carries one output: choose one of --json, --svg - and --summary-json -");
    }
    // The plug-in file is opened and checked once, here: every match loads that very file. It
    // plays in a child process, so that whatever it does, this one stands to say so.
    standin::PluginFile plugin;
    if (const text::Status opened = plugin.Open(cli.Plugin); !opened) {
        return Fail(opened.Error().Text());
    }
    const sim::WatchedEnd end = sim::Run_Isolated(
        [&] { return cli.RandomOption->count() > 0 ? Run_Random(cli, plugin) : Run_Scenario(cli, plugin); }, cli.PluginTimeout);
    return end.Fault.empty() ? end.Status : Fail(end.Fault);
}
