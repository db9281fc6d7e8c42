#include "Scenario.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "SettingsCache.h"
#include "Clock.h"
#include "INIClass.h"
#include "Text.h"

namespace sim {
namespace {

// Splits a line into words: blanks separate, "double quotes" hold blanks, '#' outside quotes
// starts a comment.
bool Tokenise(const std::string& line, std::vector<std::string>& words, std::string& what)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '#') {
            break;
        }
        std::string word;
        if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                what = "a quote is not closed";
                return false;
            }
            word = line.substr(i + 1, close - i - 1);
            i = close + 1;
            if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#') {
                what = "text right after a closing quote";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#') {
                if (line[i] == '"') {
                    what = "a quote inside a word";
                    return false;
                }
                word += line[i++];
            }
        }
        words.push_back(word);
    }
    return true;
}

class Parser
{
public:
    Parser(const std::string& file, Scenario& out, const SettingsReader& reader) : File(file), Out(out), Reader(reader)
    {
        const std::size_t slash = file.rfind('/');
        Folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    }

    void Line(int number, const std::vector<std::string>& words)
    {
        Number = number;
        Words = &words;
        Next = 0;
        const std::string keyword = Word("a keyword");
        if (keyword == "settings") {
            Once(SeenSettings, "settings");
            Out.InitialSettings = Settings_File(Word("a settings file"));
        } else if (keyword == "length") {
            Once(SeenLength, "length");
            Out.Length = Number_Of(Word("the game length in seconds"), "game length", 0.0, 1e7);
            if (Out.Length <= 0) {
                Fail("the game length must be above 0");
            }
            End();
        } else if (keyword == "rate") {
            Once(SeenRate, "rate");
            const double rate = Number_Of(Word("ticks per second"), "tick rate", 1, 1000);
            if (rate != std::floor(rate)) {
                Fail("the tick rate must be a whole number");
            }
            Out.Rate = static_cast<int>(rate);
            End();
        } else if (keyword == "vehicle" || keyword == "object") {
            Add_Spawn(0.0, keyword == "vehicle");
        } else if (keyword == "at") {
            const double time = Number_Of(Word("a time in seconds"), "time", 0.0, 1e7);
            const std::string what = Word("an action");
            if (what == "vehicle" || what == "object") {
                Add_Spawn(time, what == "vehicle");
                return;
            }
            Action action;
            action.Time = time;
            action.Line = Number;
            if (what == "flip") {
                action.Kind = ActionKind::Flip;
                action.Name = Name();
                action.Pose = Pose_Options();
            } else if (what == "upright" || what == "destroy" || what == "invulnerable") {
                action.Kind = what == "upright" ? ActionKind::Upright
                              : what == "destroy" ? ActionKind::Destroy : ActionKind::Invulnerable;
                action.Name = Name();
            } else if (what == "reload") {
                action.Kind = ActionKind::Reload;
                action.Settings = Settings_File(Word("a settings file"));
            } else if (what == "level-load") {
                action.Kind = ActionKind::LevelLoad;
            } else {
                Fail("unknown action '" + what + "' (flip, upright, destroy, invulnerable, reload, level-load, vehicle, object)");
            }
            End();
            Out.Actions.push_back(action);
        } else {
            Fail("unknown keyword '" + keyword + "' (settings, length, rate, vehicle, object, at)");
        }
    }

    // Checks what needs the whole file: times within the game, names that exist when used.
    // Actions at one time happen in this order: a level load, then spawns, then the rest, each
    // group in file order.
    void Finish()
    {
        auto rank = [](const Action& a) {
            return a.Kind == ActionKind::LevelLoad ? 0 : a.Kind == ActionKind::SpawnObject ? 1 : 2;
        };
        std::stable_sort(Out.Actions.begin(), Out.Actions.end(), [&](const Action& a, const Action& b) {
            return a.Time != b.Time ? a.Time < b.Time : rank(a) < rank(b);
        });
        std::map<std::string, int> declared;  // name, line of its spawn
        for (const Action& a : Out.Actions) {
            if (a.Kind == ActionKind::SpawnObject) {
                if (declared.count(a.Name) != 0) {
                    Number = std::max(a.Line, declared[a.Name]);
                    Fail(fmt::format("'{}' is already the name of the object on line {}", a.Name,
                                     std::min(a.Line, declared[a.Name])));
                }
                declared[a.Name] = a.Line;
            }
        }
        // Level loads so far, in time order: an object spawned after the first N of them is gone
        // once there are more. Each action costs a lookup, however many loads and objects there
        // are (walking every object at each level load made this quadratic).
        struct Life
        {
            std::size_t LoadsBefore;  // level loads that came before its spawn
            double Destroyed;         // when the scenario destroyed it, or never
        };
        std::vector<double> loads;
        std::map<std::string, Life> lives;
        for (const Action& a : Out.Actions) {
            if (Fault) {
                return;
            }
            Number = a.Line;
            if (a.Time > Out.Length) {
                Fail(fmt::format("at {:g} is after the end of the game ({:g} s)", a.Time, Out.Length));
            }
            if (a.Kind == ActionKind::SpawnObject) {
                lives[a.Name] = Life{loads.size(), 1e300};
            } else if (a.Kind == ActionKind::LevelLoad) {
                loads.push_back(a.Time);
            } else if (!a.Name.empty()) {
                const auto found = lives.find(a.Name);
                if (found == lives.end()) {
                    Fail(declared.count(a.Name) != 0 ? fmt::format("'{}' does not exist yet at {:g}", a.Name, a.Time)
                                                     : "no vehicle or object is named '" + a.Name + "'");
                } else if (loads.size() > found->second.LoadsBefore) {
                    Fail(fmt::format("'{}' was removed by the level load at {:g}", a.Name, loads[found->second.LoadsBefore]));
                } else if (a.Time >= found->second.Destroyed) {
                    // Once silently dropped when the game came to it.
                    Fail(fmt::format("'{}' was destroyed by the scenario at {:g}", a.Name, found->second.Destroyed));
                } else if (a.Kind == ActionKind::Destroy) {
                    found->second.Destroyed = a.Time;
                }
            }
        }
    }

    int Number = 0;
    // The first fault found, at the line being read when it was found. Parsing stops at the end
    // of that line; what the parser makes of the rest of the line after a fault is never used.
    std::optional<text::Diagnostic> Fault;

private:
    void Fail(const std::string& what)
    {
        if (!Fault) {
            Fault = text::Diagnostic{File, Number, 0, text::Severity::Error, what};
        }
    }

    std::string Word(const char* expected)
    {
        if (Next >= Words->size()) {
            Fail(std::string("expected ") + expected);
            return std::string();
        }
        return (*Words)[Next++];
    }

    // The name of a vehicle or object: any text but the empty one, which nothing could tell apart
    // from a missing name.
    std::string Name()
    {
        std::string name = Word("a name");
        if (name.empty()) {
            Fail("a name cannot be empty");
        }
        return name;
    }

    bool More() const { return Next < Words->size(); }

    void End()
    {
        if (More()) {
            Fail("unexpected '" + (*Words)[Next] + "'");
        }
    }

    void Once(bool& seen, const char* what)
    {
        if (seen) {
            Fail(std::string("'") + what + "' is given twice");
        }
        seen = true;
    }

    double Number_Of(const std::string& text, const char* what, double low, double high)
    {
        double value = 0;
        if (!Parse_Finite(text, value)) {
            Fail(fmt::format("'{}' is not a number ({})", text, what));
            return low;
        }
        if (value < low || value > high) {
            Fail(fmt::format("{} {:g} is outside {:g} .. {:g}", what, value, low, high));
            return low;
        }
        return value;
    }

    // Yaw and heading are two names for one turn about the vertical, accepted alike everywhere.
    Orientation Pose_Options()
    {
        Orientation pose;
        while (More()) {
            const std::string option = Word("an option");
            if (option == "roll") {
                pose.Roll = Number_Of(Word("degrees of roll"), "roll", -36000, 36000);
            } else if (option == "pitch") {
                pose.Pitch = Number_Of(Word("degrees of pitch"), "pitch", -36000, 36000);
            } else if (option == "yaw" || option == "heading") {
                pose.Yaw = Number_Of(Word("degrees of heading"), "heading", -36000, 36000);
            } else {
                Fail("unknown option '" + option + "' (roll, pitch, yaw or heading)");
            }
        }
        return pose;
    }

    void Add_Spawn(double time, bool vehicle)
    {
        Action action;
        action.Time = time;
        action.Line = Number;
        action.Kind = ActionKind::SpawnObject;
        Spawn& spawn = action.Object;
        spawn.IsVehicle = vehicle;
        spawn.Name = Name();
        spawn.Preset = Word("a preset name");
        action.Name = spawn.Name;
        while (More()) {
            const std::string option = Word("an option");
            if (option == "pos") {
                for (double& c : spawn.Position) {
                    c = Number_Of(Word("three coordinates after 'pos'"), "coordinate", -1e6, 1e6);
                }
            } else if (vehicle && option == "mode") {
                const double mode = Number_Of(Word("a vehicle mode"), "mode", 0, 4294967295.0);
                if (mode != std::floor(mode)) {
                    Fail("a vehicle mode is a whole number");
                }
                spawn.Mode = static_cast<unsigned int>(mode);
            } else if (vehicle && (option == "heading" || option == "yaw")) {
                spawn.Pose.Yaw = Number_Of(Word("degrees of heading"), "heading", -36000, 36000);
            } else if (vehicle && option == "roll") {
                spawn.Pose.Roll = Number_Of(Word("degrees of roll"), "roll", -36000, 36000);
            } else if (vehicle && option == "pitch") {
                spawn.Pose.Pitch = Number_Of(Word("degrees of pitch"), "pitch", -36000, 36000);
            } else {
                Fail("unknown option '" + option + (vehicle ? "' (mode, pos, heading or yaw, roll, pitch)" : "' (pos)"));
            }
        }
        Out.Actions.push_back(action);
    }

    int Settings_File(const std::string& name)
    {
        End();
        if (Fault) {
            return -1;
        }
        const std::string path = !name.empty() && name[0] == '/' ? name : Folder + name;
        const auto known = Indexed.find(path);
        if (known != Indexed.end()) {
            return known->second;
        }
        const text::Expected<std::shared_ptr<INIClass>> ini = Reader ? Reader(path) : Own.Read(path);
        if (!ini) {
            Fail("settings: " + ini.Error().Text());
            return -1;
        }
        Out.SettingsFiles.push_back(SettingsFile{path, *ini});
        return Indexed[path] = static_cast<int>(Out.SettingsFiles.size()) - 1;
    }

    std::string File;
    std::string Folder;
    Scenario& Out;
    const SettingsReader& Reader;
    SettingsCache Own{nullptr};              // when no reader is given
    std::map<std::string, int> Indexed;      // settings files read, by path
    const std::vector<std::string>* Words = nullptr;
    std::size_t Next = 0;
    bool SeenSettings = false;
    bool SeenLength = false;
    bool SeenRate = false;
};

}  // namespace

text::Expected<Scenario> Parse_Scenario(const std::string& text, const std::string& file, const SettingsReader& reader)
{
    Scenario result;
    result.File = file;
    Parser parser(file, result, reader);
    std::vector<std::string> words;
    text::For_Each_Line(std::string_view(text).substr(text::After_Byte_Order_Mark(text)), [&](int number, std::string_view line) {
        parser.Number = number;
        std::string what;
        if (line.find('\0') != std::string_view::npos) {
            parser.Fault = text::Diagnostic{file, number, 0, text::Severity::Error, "NUL byte: this is not a text file"};
        } else if (line.size() > 4096) {
            parser.Fault = text::Diagnostic{file, number, 0, text::Severity::Error, "line longer than 4096 characters"};
        } else if (!Tokenise(std::string(line), words, what)) {
            parser.Fault = text::Diagnostic{file, number, 0, text::Severity::Error, what};
        } else if (!words.empty()) {
            parser.Line(number, words);
        }
        return !parser.Fault;
    });
    if (!parser.Fault) {
        parser.Finish();
    }
    for (Action& action : result.Actions) {
        action.Tick = Due_Tick(action.Time, result.Rate);
    }
    if (parser.Fault) {
        return *parser.Fault;
    }
    return result;
}

std::vector<const INIClass*> Settings_Handed(const Scenario& scenario)
{
    std::vector<const INIClass*> handed;
    if (scenario.InitialSettings >= 0) {
        handed.push_back(scenario.SettingsFiles[static_cast<std::size_t>(scenario.InitialSettings)].Ini.get());
    }
    for (const Action& action : scenario.Actions) {
        if (action.Kind == ActionKind::Reload) {
            handed.push_back(scenario.SettingsFiles[static_cast<std::size_t>(action.Settings)].Ini.get());
        }
    }
    return handed;
}

text::Expected<Scenario> Load_Scenario(const std::string& path, const SettingsReader& reader)
{
    const text::Expected<std::string> text = text::Read_Text_File(path);
    if (!text) {
        return text.Error();
    }
    return Parse_Scenario(*text, path, reader);
}

}  // namespace sim
