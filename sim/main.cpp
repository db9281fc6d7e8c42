// veltrask-sim: a headless game server that loads the plug-in the way the host does and shows
// what it does with a set of settings.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "Check.h"
#include "Host.h"
#include "INIClass.h"
#include "Match.h"
#include "Random.h"
#include "Report.h"
#include "Scenario.h"

namespace {

// The plug-in built beside this program.
std::string Default_Plugin()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return "./libveltrask.so";
    }
    std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1) + "libveltrask.so";
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "veltrask-sim: %s\n", message.c_str());
    return 2;
}

bool Write_File(const std::string& path, const std::string& text, std::string& error)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        error = path + ": cannot write";
        return false;
    }
    return true;
}

int Play_Scenario(const sim::Scenario& scenario, const std::string& plugin_path, bool json, const std::string& svg_path)
{
    sim::Match match(scenario.Rate);
    sim::Timeline timeline(stdout);
    sim::JsonLines lines(stdout);
    sim::Stories stories(scenario.Rate);
    match.Observe(&stories);
    match.Observe(json ? static_cast<sim::Observer*>(&lines) : &timeline);

    std::string error;
    if (!match.Load_Plugin(plugin_path, error)) {
        return Fail(error);
    }
    if (!json) {
        std::printf("%s\n\n", fmt::format("{}: {:g} s of game at {} ticks/s, settings {}", scenario.File, scenario.Length,
                                          scenario.Rate,
                                          scenario.InitialSettings < 0 ? "none (the plug-in's values at load)"
                                                                       : scenario.SettingsFiles[scenario.InitialSettings].Path)
                                  .c_str());
    }
    if (scenario.InitialSettings >= 0) {
        const sim::SettingsFile& file = scenario.SettingsFiles[scenario.InitialSettings];
        match.Apply_Settings(*file.Ini, file.Path, false);
    }
    match.Level_Load();

    std::size_t next = 0;
    const auto total = static_cast<std::int64_t>(std::llround(scenario.Length * scenario.Rate));
    for (std::int64_t k = 0; k <= total; ++k) {
        for (; next < scenario.Actions.size() && scenario.Actions[next].Time <= match.Now() + 1e-9; ++next) {
            const sim::Action& a = scenario.Actions[next];
            switch (a.Kind) {
            case sim::ActionKind::SpawnObject: match.Spawn(a.Object); break;
            case sim::ActionKind::Flip: match.Set_Pose(a.Name, a.Pose); break;
            case sim::ActionKind::Upright: match.Upright(a.Name); break;
            case sim::ActionKind::Destroy: match.Destroy(a.Name); break;
            case sim::ActionKind::Invulnerable: match.Make_Invulnerable(a.Name); break;
            case sim::ActionKind::Reload: {
                const sim::SettingsFile& file = scenario.SettingsFiles[a.Settings];
                match.Apply_Settings(*file.Ini, file.Path, true);
                break;
            }
            case sim::ActionKind::LevelLoad: match.Level_Load(); break;
            }
        }
        if (k < total) {
            match.Tick();
        }
    }
    match.Finish();
    if (!json) {
        stories.Print_Summary(stdout);
    }
    if (!svg_path.empty() && !Write_File(svg_path, sim::Svg_Chart(stories, scenario.File), error)) {
        return Fail(error);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"veltrask-sim: plays the Veltrask plug-in in a headless game server, to show what your settings do"};
    app.set_version_flag("--version", "veltrask-sim 1.0");
    std::string scenario_path;
    std::string plugin_path = Default_Plugin();
    std::string settings_path;
    std::string check_path;
    std::string svg_path;
    bool json = false;
    std::uint64_t seed = 0;
    int vehicles = 100;
    double length = 600;
    int rate = 30;

    app.add_option("scenario", scenario_path, "scenario file to play (see examples/)");
    app.add_option("--plugin", plugin_path, "the plug-in library to load")->capture_default_str();
    app.add_option("--settings", settings_path, "settings file to use instead of the scenario's");
    app.add_option("--check", check_path, "check a settings file, print what the plug-in would do with it, and exit");
    app.add_flag("--json", json, "one JSON object per line for every event, instead of the timeline");
    app.add_option("--svg", svg_path, "also draw the timeline as an SVG chart into this file");
    auto* random = app.add_option("--random", seed, "play a random match with this seed instead of a scenario");
    app.add_option("--vehicles", vehicles, "vehicles in a random match")->check(CLI::Range(1, 1000000))->needs(random);
    app.add_option("--length", length, "seconds of game in a random match")->check(CLI::Range(1.0, 1e6))->needs(random);
    app.add_option("--rate", rate, "ticks per second in a random match")->check(CLI::Range(1, 1000))->needs(random);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (!check_path.empty()) {
        return sim::Check_Settings(check_path, stdout, stderr);
    }

    std::string error;
    if (*random) {
        if (!scenario_path.empty()) {
            return Fail("a random match takes no scenario");
        }
        if (!svg_path.empty() && vehicles > 200) {
            return Fail("--svg draws a lane per vehicle: use it with 200 vehicles or fewer");
        }
        INIClass ini;
        if (!settings_path.empty() && !standin::Load_Ini_File(settings_path, ini, error)) {
            return Fail(error);
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
        if (!svg_path.empty() && !Write_File(svg_path, sim::Svg_Chart(stories, fmt::format("random match, seed {}", seed)), error)) {
            return Fail(error);
        }
        return 0;
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
        if (!standin::Load_Ini_File(settings_path, *file.Ini, error)) {
            return Fail(error);
        }
        scenario.SettingsFiles.push_back(file);
        scenario.InitialSettings = static_cast<int>(scenario.SettingsFiles.size()) - 1;
    }
    return Play_Scenario(scenario, plugin_path, json, svg_path);
}
