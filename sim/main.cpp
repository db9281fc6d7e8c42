// veltrask-sim: a headless game server around the plug-in.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "Host.h"
#include "INIClass.h"

int main(int argc, char** argv)
{
    CLI::App app{"veltrask-sim: runs the Veltrask plug-in in a headless stand-in game server"};
    std::string plugin_path = "./libveltrask.so";
    std::string settings_path;
    double seconds = 10.0;
    int rate = 30;
    app.add_option("--plugin", plugin_path, "the plug-in library to load");
    app.add_option("--settings", settings_path, "settings file handed to the plug-in");
    app.add_option("--seconds", seconds, "game time to run")->check(CLI::Range(0.0, 1e7));
    app.add_option("--rate", rate, "ticks per second")->check(CLI::Range(1, 1000));
    CLI11_PARSE(app, argc, argv);

    INIClass ini;
    std::string error;
    if (!settings_path.empty() && !standin::Load_Ini_File(settings_path, ini, error)) {
        std::fprintf(stderr, "veltrask-sim: %s\n", error.c_str());
        return 2;
    }
    standin::LoadedPlugin plugin;
    if (!plugin.Load(plugin_path, error)) {
        std::fprintf(stderr, "veltrask-sim: %s\n", error.c_str());
        return 2;
    }
    if (!settings_path.empty()) {
        standin::Raise_Global_Settings(&ini);
    }
    standin::Load_Level(rate);
    const long long ticks = static_cast<long long>(seconds * rate);
    for (long long i = 0; i < ticks; ++i) {
        standin::Tick();
    }
    plugin.Unload();
    for (const standin::JournalEntry& e : standin::Get_Journal()) {
        std::printf("%8.3f %-18s %s\n", e.Time, standin::Event_Name(e.What), e.Script != nullptr ? e.Script : "");
    }
    return 0;
}
