// Scenarios: what happens in a game, written by an operator to see what their settings do.
//
//   # comments run to the end of a line
//   settings FILE                 the settings file (relative to the scenario's folder)
//   length SECONDS                game time to play (default 60)
//   rate TICKS                    ticks per second (default 30)
//   vehicle NAME PRESET [mode N] [pos X Y Z] [heading DEG] [roll DEG] [pitch DEG]
//   object NAME PRESET [pos X Y Z]          something that is not a vehicle
//   at SECONDS flip NAME [roll DEG] [pitch DEG] [yaw DEG]
//   at SECONDS upright NAME       it comes back on its wheels by itself
//   at SECONDS destroy NAME
//   at SECONDS invulnerable NAME  damage no longer hurts it
//   at SECONDS reload FILE        the server reloads its settings from FILE
//   at SECONDS level-load         a new level: every vehicle and object goes
//   at SECONDS vehicle ...        spawns later; likewise `at SECONDS object ...`
// Words may be "quoted" to hold blanks. Parsing is strict: the first error names the file, the
// line and what is wrong, and nothing runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Pose.h"
#include "TextFile.h"

class INIClass;

namespace sim {

enum class ActionKind
{
    SpawnObject,
    Flip,
    Upright,
    Destroy,
    Invulnerable,
    Reload,
    LevelLoad,
};

struct Action
{
    double Time = 0;
    std::int64_t Tick = 0;   // when it happens: the due tick of Time at the scenario's rate
    int Line = 0;
    ActionKind Kind = ActionKind::Flip;
    std::string Name;        // the object it acts on
    Orientation Pose;        // Flip
    Spawn Object;            // SpawnObject
    int Settings = -1;       // Reload: index into Scenario::SettingsFiles
};

struct SettingsFile
{
    std::string Path;
    std::shared_ptr<INIClass> Ini;
};

struct Scenario
{
    std::string File;
    double Length = 60;
    int Rate = 30;
    int InitialSettings = -1;  // index into SettingsFiles, or -1 for none
    std::vector<SettingsFile> SettingsFiles;
    std::vector<Action> Actions;  // spawns at 0 first, then by time, then by line
};

// Reads a settings file a scenario names; the finding that refuses it when it cannot.
using SettingsReader = std::function<text::Expected<std::shared_ptr<INIClass>>(const std::string& path)>;

// Parses `text` as the scenario file `file`: the scenario, or the first fault found. Settings
// files named in it are read too, each once however often it is named (as the plug-in will see
// it, unless `reader` is given), so a scenario that parses can run to its end.
text::Expected<Scenario> Parse_Scenario(const std::string& text, const std::string& file, const SettingsReader& reader = {});
// The settings the plug-in is handed in `scenario`, in order: at the start, then each reload.
std::vector<const INIClass*> Settings_Handed(const Scenario& scenario);

// Reads the scenario file at `path` and parses it.
text::Expected<Scenario> Load_Scenario(const std::string& path, const SettingsReader& reader = {});

}  // namespace sim
