// veltrask-sim: a headless game server that loads the plug-in the way the host does and shows
// what it does with a set of settings.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "Check.h"
#include "Host.h"
#include "INIClass.h"
#include "Match.h"
#include "Output.h"
#include "Play.h"
#include "Random.h"
#include "Report.h"
#include "Scenario.h"
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
    std::string error;
    if (!sim::Flush_Output(stdout, "the standard output", error)) {
        return Fail(error);
    }
    return status;
}

// The operator's own settings file, read as the plug-in will see it, with what --check would say
// of it on standard error first: they are about to watch the plug-in play it. False (the error
// said) when it cannot be read.
bool Load_Settings(const std::string& path, INIClass& ini)
{
    if (path == "-") {
        Fail("--settings reads a file, not standard input");
        return false;
    }
    if (sim::Check_Settings(path, stderr, stderr, false) == 2) {
        return false;
    }
    std::string note;
    std::string error;
    if (!sim::Read_Settings(path, ini, note, error)) {
        Fail(error);
        return false;
    }
    return true;
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

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"veltrask-sim: plays the Veltrask plug-in in a headless game server, to show what your settings do"};
    app.set_version_flag("--version", "veltrask-sim " VELTRASK_VERSION);
    std::string scenario_path;
    std::string plugin_path = Default_Plugin();
    std::string settings_path;
    std::string check_path;
    std::string svg_path;
    std::string seed_text;
    bool json = false;
    int vehicles = 100;
    double length = 600;
    int rate = 30;
    sim::Limits limits;

    app.add_option("scenario", scenario_path, "scenario file to play (see examples/)");
    app.add_option("--plugin", plugin_path, "the plug-in library to load")->capture_default_str();
    auto* settings = app.add_option("--settings", settings_path, "settings file to use instead of the scenario's");
    auto* check = app.add_option("--check", check_path, "check a settings file, print what the plug-in would do with it, and exit");
    auto* json_flag = app.add_flag("--json", json, "one JSON object per line for every event, instead of the timeline");
    auto* svg = app.add_option("--svg", svg_path, "also draw the timeline as an SVG chart into this file");
    auto* random = app.add_option("--random", seed_text, "play a random match with this seed (0 to 2^64-1) instead of a scenario");
    app.add_option("--vehicles", vehicles, "vehicles in a random match")
        ->check(CLI::Range(1, 1000000))
        ->needs(random)
        ->capture_default_str();
    auto* length_option =
        app.add_option("--length", length, "seconds of game in a random match (1 to 1000000)")->needs(random)->capture_default_str();
    app.add_option("--rate", rate, "ticks per second in a random match")
        ->check(CLI::Range(1, 1000))
        ->needs(random)
        ->capture_default_str();
    app.add_option("--max-ticks", limits.MaxTicks, "refuse a run of more ticks than this")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--max-vehicle-ticks", limits.MaxVehicleTicks, "refuse a run of more ticks times objects than this")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.footer("FILE may be - for standard input with --check, and for standard output with --svg.\n"
               "Exit status: 0 played (or --check found nothing), 1 --check has warnings, 2 an error, "
               "said on standard error.\n"
               "Scenarios: one statement a line (settings, length, rate, vehicle, object, at ...); see the README's "
               "\"Scenarios\" and examples/default.scenario.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return Fail(std::string(e.what()) + " (--help lists the options)");
    }

    for (auto* option : {settings, check, svg}) {
        if (option->count() > 0 && option->as<std::string>().empty()) {
            return Fail(option->get_name() + " needs a file name");
        }
    }
    if (check->count() > 0) {
        if (!scenario_path.empty() || random->count() > 0 || json_flag->count() > 0 || svg->count() > 0 ||
            settings->count() > 0) {
            return Fail("--check takes the settings file alone: no scenario, --random, --settings, --json or --svg");
        }
        return Finish(sim::Check_Settings(check_path, stdout, stderr));
    }

    std::string error;
    if (random->count() > 0) {
        std::uint64_t seed = 0;
        if (!Parse_Seed(seed_text, seed)) {
            return Fail("--random takes a seed from 0 to 18446744073709551615, not '" + seed_text + "'");
        }
        if (length_option->count() > 0 && !(std::isfinite(length) && length >= 1.0 && length <= 1e6)) {
            return Fail(fmt::format("--length {} is not a number of seconds from 1 to 1000000", length_option->as<std::string>()));
        }
        if (!scenario_path.empty()) {
            return Fail("a random match takes no scenario");
        }
        if (!svg_path.empty() && vehicles > 200) {
            return Fail("--svg draws a lane per vehicle: use it with 200 vehicles or fewer");
        }
        if (!sim::Within_Limits(static_cast<double>(sim::Ticks_Of(length, rate)), vehicles, limits, "this random match",
                                error)) {
            return Fail(error);
        }
        INIClass ini;
        if (!settings_path.empty() && !Load_Settings(settings_path, ini)) {
            return 2;
        }
        sim::Match match(rate);
        sim::JsonLines lines(stdout);
        sim::Stories stories(rate);
        if (json) {
            match.Observe(&lines);
        }
        if (!svg_path.empty()) {
            match.Observe(&stories);
        }
        if (!match.Load_Plugin(plugin_path, error)) {
            return Fail(error);
        }
        sim::ActiveSettings active;
        if (!settings_path.empty()) {
            active.Apply(ini);
            match.Apply_Settings(ini, settings_path, false);
        }
        match.Level_Load();
        sim::RandomOptions options;
        options.Seed = seed;
        options.Vehicles = vehicles;
        options.Length = length;
        options.SettingsPath = settings_path;
        options.Report = !json;
        options.Progress = isatty(STDERR_FILENO) != 0;
        sim::Run_Random(match, active, options, stdout, stderr);
        if (!svg_path.empty() &&
            !sim::Write_File_Whole(svg_path, sim::Svg_Chart(stories, fmt::format("random match, seed {}", seed)), error)) {
            return Fail(error);
        }
        return Finish(0);
    }

    if (scenario_path.empty()) {
        return Fail("name a scenario to play (for instance examples/default.scenario), or use --random or --check");
    }
    sim::Scenario scenario;
    if (!sim::Load_Scenario(scenario_path, scenario, error)) {
        return Fail(error);
    }
    if (!settings_path.empty()) {
        sim::SettingsFile file{settings_path, std::make_shared<INIClass>()};
        if (!Load_Settings(settings_path, *file.Ini)) {
            return 2;
        }
        scenario.SettingsFiles.push_back(file);
        scenario.InitialSettings = static_cast<int>(scenario.SettingsFiles.size()) - 1;
    }
    const auto objects = std::count_if(scenario.Actions.begin(), scenario.Actions.end(),
                                       [](const sim::Action& a) { return a.Kind == sim::ActionKind::SpawnObject; });
    if (!sim::Within_Limits(static_cast<double>(sim::Ticks_Of(scenario.Length, scenario.Rate)), static_cast<double>(objects),
                            limits, "this scenario", error)) {
        return Fail(scenario_path + ": " + error);
    }
    sim::PlayOptions options;
    options.Json = json;
    options.Progress = isatty(STDERR_FILENO) != 0;
    options.Chart = !svg_path.empty();
    std::string chart;
    if (!sim::Play_Scenario(scenario, plugin_path, options, stdout, stderr, chart, error)) {
        return Fail(error);
    }
    if (!svg_path.empty() && !sim::Write_File_Whole(svg_path, chart, error)) {
        return Fail(error);
    }
    return Finish(0);
}
