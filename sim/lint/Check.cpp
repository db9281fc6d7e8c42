#include "Check.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Contract.h"
#include "IniFiles.h"
#include "INIClass.h"
#include "InForce.h"
#include "Settings.h"
#include "StringClass.h"
#include "Text.h"

namespace sim {
namespace {

const char* const Main = SETTINGS_SECTION;
const char* const DontKill = DONT_FLIP_KILL_SECTION;
const char* const Rotate = ROTATE_UPWARDS_SECTION;
std::vector<std::string> Keys()
{
    std::vector<std::string> keys;
    for (const SettingSpec& setting : SettingsTable) {
        keys.push_back(setting.Key);
    }
    return keys;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean X?)" when a known name is close to `name`.
template <class Names> std::string Suggest(const std::string& name, const Names& known)
{
    std::string best;
    std::size_t best_distance = 4;
    for (const auto& item : known) {
        const std::string candidate = item;
        const std::size_t d = Distance(Lower(name), Lower(candidate));
        if (d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    }
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

bool Whole_Number(const std::string& text, long long& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno != ERANGE && value >= INT32_MIN && value <= INT32_MAX;
}

// For a line that opens a section, true with `inside` the raw text between the brackets and
// `name` that text trimmed: the host's reader says which lines do.
bool Section_Line(const std::string& line, std::string& inside, std::string& name)
{
    const std::optional<standin::IniSectionLine> section = standin::Ini_Section_Line(line);
    if (!section) {
        return false;
    }
    inside = section->Inside;
    name = section->Name;
    return true;
}

// Blanks inside a section's brackets: this host drops them ("[ Veltrask ]" is [Veltrask]), but
// other readers of the same file may keep them and then see a section of another name.
template <class Warn> void Lint_Brackets(const std::string& text, Warn& warn)
{
    text::For_Each_Line(text, [&](int number, std::string_view line) {
        if (number > 1 && text::After_Byte_Order_Mark(line) > 0) {
            warn(number, "a byte-order mark starts this line, as where two files were joined: this host skips it, but "
                         "another reader of the file may not; remove it");
        }
        std::string inside;
        std::string name;
        if (Section_Line(std::string(line), inside, name) && !inside.empty() && inside != name) {
            warn(number, fmt::format("blanks inside the brackets of [{}]: this host drops them, but another reader of the "
                                     "file may take them as part of the name; write [{}]",
                                     inside, name));
        }
        return true;
    });
}

}  // namespace

namespace {

bool Is_Own_Key(const std::string& name) { return Setting_Named(name) != nullptr; }

bool Is_Own_Section(const std::string& name)
{
    for (const char* own : {SETTINGS_SECTION, DONT_FLIP_KILL_SECTION, ROTATE_UPWARDS_SECTION}) {
        if (Lower(name) == Lower(own)) {
            return true;
        }
    }
    return false;
}

// The text with every line outside the plug-in's own sections left blank, so line numbers stay.
std::string Own_Sections(const std::string& text, int refused_line, bool& refused_outside)
{
    std::string out;
    bool own = false;
    bool foreign = true;  // before any section, or within one that is another's
    refused_outside = false;
    text::For_Each_Line(text, [&](int number, std::string_view view) {
        const std::string line(view);
        std::string inside;
        std::string name;
        const bool section = Section_Line(line, inside, name);
        if (section) {
            own = !name.empty() && Is_Own_Section(name);
            foreign = !own;
        }
        // A line that might start a section but does not read as one is never another's: it may be
        // meant as one of ours. A whole section line of another name is another's, however long.
        const std::size_t first = line.find_first_not_of(" \t\v\f");
        if (number == refused_line) {
            const bool bracket = first != std::string::npos && line[first] == '[';
            refused_outside = foreign && (!bracket || section);
        }
        out += own ? line : std::string();
        out += '\n';
        return true;
    });
    return out;
}

}  // namespace

namespace {

// `text` with line `number` made harmless: a section line becomes one of a name no plug-in uses
// (so its entries stay out of the section before it), any other line blank.
std::string Without_Line(const std::string& text, int number)
{
    std::string out;
    text::For_Each_Line(text, [&](int n, std::string_view line) {
        std::string inside;
        std::string name;
        out += n != number ? std::string(line) : Section_Line(std::string(line), inside, name) ? "[~]" : "";
        out += '\n';
        return true;
    });
    return out;
}

// The most refusals outside the plug-in's sections that one reading reports.
constexpr std::size_t MaxNotes = 100;

// The file's text read as the plug-in will see it, or the finding that refuses it; `notes` are
// the refusals outside the plug-in's own sections, every one (up to MaxNotes), in line order.
std::optional<text::Diagnostic> Read_Settings_Text(const std::string& text, const std::string& name, INIClass& ini,
                                                   std::vector<text::Diagnostic>& notes)
{
    notes.clear();
    std::optional<text::Diagnostic> refused = standin::Read_Ini_Text(text, name, ini);
    if (!refused) {
        return std::nullopt;
    }
    bool outside = false;
    const std::string own = Own_Sections(text, refused->Line, outside);
    if (!outside) {
        return refused;
    }
    if (std::optional<text::Diagnostic> own_refused = standin::Read_Ini_Text(own, name, ini)) {
        return own_refused;
    }
    // The reader stops at its first refusal: each is set aside in turn to find the next.
    std::string rest = text;
    INIClass scratch;
    while (refused && notes.size() < MaxNotes) {
        notes.push_back(*refused);
        rest = Without_Line(rest, refused->Line);
        refused = standin::Read_Ini_Text(rest, name, scratch);
        bool also_outside = false;
        if (refused) {
            Own_Sections(rest, refused->Line, also_outside);
            if (!also_outside) {
                break;  // what remains concerns the plug-in's own sections, already read
            }
        }
    }
    return std::nullopt;
}

}  // namespace

namespace {

// A list's entry: the preset name (its value), the entry's own name, and its line.
struct Listed
{
    std::string Name;
    std::string Entry;
    int Line;
};
using Lists = std::map<std::string, std::vector<Listed>>;  // section -> entries

// Finds the plug-in's main section and gathers its lists' entries; warns of sections that look
// like the plug-in's but are not.
template <class Warn>
const standin::IniSectionView* Sort_Sections(const std::vector<standin::IniSectionView>& contents, Lists& lists, Warn& warn)
{
    const standin::IniSectionView* main = nullptr;
    for (const auto& section : contents) {
        const std::string name = section.Name;
        const int first_line = section.Entries.empty() ? 0 : section.Entries.front().Line;
        if (Lower(name) == Lower(Main)) {
            main = &section;
        } else if (Lower(name) == Lower(DontKill) || Lower(name) == Lower(Rotate)) {
            const std::string key = Lower(name) == Lower(DontKill) ? DontKill : Rotate;
            for (const auto& entry : section.Entries) {
                lists[key].push_back(Listed{entry.Value, entry.Name, entry.Line});
            }
        } else if (Lower(name).rfind(Lower(Main), 0) == 0) {
            warn(first_line, fmt::format("unknown section [{}]: the plug-in never reads it{}", name,
                                         Suggest(name, std::vector<std::string>{Main, DontKill, Rotate})));
        }
    }
    return main;
}

// What ChecksCount and ScriptCheckingInterval will be, where the file's values are usable.
struct KillTiming
{
    long long Checks = SettingsWhenMissing.ChecksCount;
    float Period = SettingsWhenMissing.ScriptCheckingInterval;
    int PeriodLine = 0;
    int ChecksLine = 0;
};

template <class Warn> void Check_Whole_Key(const char* key, const std::string& value, int line, KillTiming& timing, Warn& warn)
{
    const bool interval = std::string(key) == CHECK_INTERVAL_KEY;
    long long n = 0;
    char* end = nullptr;
    errno = 0;
    const long long wide = std::strtoll(value.c_str(), &end, 10);
    const bool digits = !value.empty() && *end == '\0';
    if (digits && (errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX)) {
        warn(line, fmt::format("{} {} is beyond the whole numbers the plug-in reads (-2147483648 to 2147483647): the host's "
                               "reader gives it the default, {}",
                               key, value, interval ? SettingsWhenMissing.CheckInterval : SettingsWhenMissing.ChecksCount));
    } else if (!Whole_Number(value, n)) {
        warn(line, fmt::format("{} '{}' is not a whole number: the plug-in uses {}", key, value,
                               interval ? SettingsWhenMissing.CheckInterval : SettingsWhenMissing.ChecksCount));
    } else if (interval && n <= 0) {
        warn(line, fmt::format("CheckInterval {} scans every vehicle on every tick", n));
    } else if (!interval && n <= 1) {
        warn(line, fmt::format("ChecksCount {} kills a flipped vehicle at its first check", n));
    } else if (!interval) {
        timing.Checks = n;
        timing.ChecksLine = line;
    }
}

template <class Warn> void Check_Period(const std::string& value, int line, KillTiming& timing, Warn& warn)
{
    char* end = nullptr;
    const float f = std::strtof(value.c_str(), &end);
    if (value.empty() || *end != '\0') {
        warn(line, fmt::format("ScriptCheckingInterval '{}' is not a number: the plug-in uses {:.1f}", value,
                               SettingsWhenMissing.ScriptCheckingInterval));
    } else if (std::isnan(f)) {
        warn(line, "ScriptCheckingInterval is not a number (NaN): every check comes at the next tick");
    } else if (std::isinf(f)) {
        warn(line, fmt::format("ScriptCheckingInterval '{}' reads as an infinite period (a 32-bit float holds no more): the "
                               "first check never comes, so no flipped vehicle is ever killed",
                               value));
    } else if (f <= 0) {
        warn(line, fmt::format("ScriptCheckingInterval {:g} makes every check come at the next tick", f));
    } else {
        timing.Period = f;
        timing.PeriodLine = line;
    }
}

template <class Warn> void Check_Main(const standin::IniSectionView* main, Warn& warn)
{
    if (main == nullptr) {
        warn(0, fmt::format("no [{}] section: CheckInterval {}, ChecksCount {} and ScriptCheckingInterval {:.1f} apply", Main,
                            SettingsWhenMissing.CheckInterval, SettingsWhenMissing.ChecksCount, SettingsWhenMissing.ScriptCheckingInterval));
        return;
    }
    KillTiming timing;
    for (const auto& entry : main->Entries) {
        const std::string key = entry.Name;
        if (Lower(key) == Lower(CHECK_INTERVAL_KEY)) {
            Check_Whole_Key(CHECK_INTERVAL_KEY, entry.Value, entry.Line, timing, warn);
        } else if (Lower(key) == Lower(CHECKS_COUNT_KEY)) {
            Check_Whole_Key(CHECKS_COUNT_KEY, entry.Value, entry.Line, timing, warn);
        } else if (Lower(key) == Lower(SCRIPT_CHECKING_INTERVAL_KEY)) {
            Check_Period(entry.Value, entry.Line, timing, warn);
        } else {
            warn(entry.Line, fmt::format("unknown key '{}' in [Veltrask]: ignored{}", key, Suggest(key, Keys())));
        }
    }
    // The kill comes ChecksCount periods after the scan finds the vehicle: past a day, it
    // comes in no real match.
    const double until_kill = static_cast<double>(timing.Period) * static_cast<double>(timing.Checks);
    if (std::max(timing.PeriodLine, timing.ChecksLine) > 0 && until_kill > 86400.0) {
        warn(std::max(timing.PeriodLine, timing.ChecksLine), fmt::format("ScriptCheckingInterval {:g} with ChecksCount {} kills a flipped vehicle only {:.3g} s "
                                            "after the scan finds it: more than a day, so in practice never",
                                            timing.Period, timing.Checks, until_kill));
    }
}

template <class Warn> void Check_Lists(Lists& lists, Warn& warn)
{
    for (const auto& [section, entries] : lists) {
        std::map<std::string, int> seen;
        std::map<std::string, std::pair<std::string, int>> folded;  // lower case -> first spelling, line
        for (const auto& [name, entry, line] : entries) {
            long long number = 0;
            if (Is_Own_Key(entry)) {
                warn(line, fmt::format("'{} = {}' in [{}]: a setting belongs in [{}]; here the plug-in takes '{}' for a "
                                       "preset name",
                                       entry, name, section, Main, name));
            } else if (Whole_Number(name, number) && !Whole_Number(entry, number)) {
                warn(line, fmt::format("'{} = {}': the preset name is the value, so the plug-in lists the preset '{}'; write "
                                       "'N = {}'",
                                       entry, name, name, entry));
            }
            if (name.find_first_of(";#") != std::string::npos) {
                const char mark = name[name.find_first_of(";#")];
                warn(line, fmt::format("preset name '{}' holds '{}', which is part of the name here ({})", name, mark,
                                       mark == ';' ? "only a ';' after a space starts a comment"
                                                   : "only a line that starts with '#' is a comment"));
            }
            const auto spelt = folded.emplace(Lower(name), std::make_pair(name, line));
            if (!spelt.second && spelt.first->second.first != name) {
                warn(line, fmt::format("presets '{}' and '{}' (line {}) differ only in case: the plug-in matches names "
                                       "exactly, so at most one of them is a real preset",
                                       name, spelt.first->second.first, spelt.first->second.second));
            }
            if (name.empty()) {
                warn(line, fmt::format("empty preset name in [{}]", section));
            } else if (name.find('"') != std::string::npos || name.find('\'') != std::string::npos) {
                warn(line, fmt::format("preset name {} has quotes: they are part of the name", name));
            }
            if (seen.count(name) != 0) {
                warn(line, fmt::format("preset '{}' is listed twice in [{}] (line {})", name, section, seen[name]));
            } else {
                seen[name] = line;
            }
        }
    }
    std::map<std::string, int> exempt;  // name -> first line
    for (const auto& [name, entry, line] : lists[DontKill]) {
        exempt.emplace(name, line);
    }
    // What the scan gives a preset that both lists hold, by the contract's rule.
    const Treatment both = ::Treatment_Of([](PresetList) { return true; });
    const char* const in_both = both == Treatment::TurnedUpright ? "it is turned upright"
                                : both == Treatment::LeftAlone   ? "it is left alone, never turned upright"
                                                                 : "it is killed like any other";
    for (const auto& [name, entry, line] : lists[Rotate]) {
        const auto other = exempt.find(name);
        if (other != exempt.end()) {
            warn(line, fmt::format("preset '{}' is in both lists (also line {}): {}", name, other->second, in_both));
        }
    }
}

}  // namespace

namespace {

// What the plug-in holds once it is handed a file, where each value comes from, and what that
// means for a flipped vehicle, in seconds.
struct CheckedInForce
{
    SettingsValues Values;
    int Lines[SettingsCount] = {};             // of each setting, in the table's order; 0: its default
    std::vector<std::string> NeverKilled;      // as the plug-in holds them, in file order
    std::vector<std::string> TurnedUpright;
    int ScanSeconds = 0;                       // 0: a scan on every tick
    int KillingCheck = 1;
    double KillAfterFound = -1;                // seconds; infinite: never; -1: at every tick's check
};

CheckedInForce In_Force_Of(const INIClass& ini, const standin::IniSectionView* main)
{
    CheckedInForce f;
    sim::InForce held;
    held.Apply(ini);
    f.Values = held.Values();
    for (int k = 0; k < SettingsCount && main != nullptr; ++k) {
        for (const auto& entry : main->Entries) {
            const SettingSpec* named = Setting_Named(entry.Name);
            if (named != nullptr && std::strcmp(named->Key, SettingsTable[k].Key) == 0) {
                f.Lines[k] = entry.Line;
                break;
            }
        }
    }
    for (const std::string* name : held.Entries(PresetList::DontFlipKill)) {
        f.NeverKilled.push_back(*name);
    }
    for (const std::string* name : held.Entries(PresetList::RotateUpwards)) {
        f.TurnedUpright.push_back(*name);
    }
    // The scan comes when the game's whole seconds have advanced by CheckInterval since the last.
    f.ScanSeconds = std::max(f.Values.CheckInterval, 0);
    f.KillingCheck = std::max(f.Values.ChecksCount, 1);
    const float period = f.Values.ScriptCheckingInterval;
    if (std::isfinite(period) && period > 0) {
        f.KillAfterFound = static_cast<double>(period) * f.KillingCheck;
    } else if (std::isinf(period) && period > 0) {
        f.KillAfterFound = HUGE_VAL;
    }
    return f;
}

std::string In_Force_Text(const std::string& shown, const CheckedInForce& f)
{
    const auto from = [&](int k) { return f.Lines[k] > 0 ? fmt::format("line {}", f.Lines[k]) : std::string("not in the file: its default"); };
    std::string out = fmt::format("{}: in force once the plug-in is handed this file:\n", shown);
    for (int k = 0; k < SettingsCount; ++k) {
        out += fmt::format("  {:<24} {:<12} {}\n", SettingsTable[k].Key, Value_Text(f.Values, SettingsTable[k]), from(k));
    }
    for (const auto& [names, what] : {std::pair<const std::vector<std::string>*, const char*>{&f.NeverKilled, "never killed"},
                                      std::pair<const std::vector<std::string>*, const char*>{&f.TurnedUpright, "turned upright"}}) {
        std::string list;
        for (const std::string& name : *names) {
            list += (list.empty() ? "" : ", ") + name;
        }
        out += fmt::format("  {:<24} {}\n", fmt::format("{} ({})", what, names->size()), names->empty() ? "none" : list);
    }
    out += "  A flipped vehicle of a scanned mode (all but mode 4) is found by the next scan, ";
    out += f.ScanSeconds == 0 ? std::string("on every tick")
                              : fmt::format("within {} s (a scan every {} s of game time)", f.ScanSeconds, f.ScanSeconds);
    if (std::isinf(f.KillAfterFound)) {
        out += ";\n  its first check never comes: no flipped vehicle is ever killed.\n";
    } else if (f.KillAfterFound >= 0) {
        const double kill = f.KillAfterFound;
        out += fmt::format(";\n  unless listed, it is checked every {:g} s and killed at check {}: {:g} s after it is found, "
                           "{:g} to {:g} s after it flips",
                           f.Values.ScriptCheckingInterval, f.KillingCheck, kill, kill, kill + f.ScanSeconds);
        out += kill > 86400.0 ? " (more than a day: in practice never).\n" : ".\n";
    } else {
        out += fmt::format(";\n  unless listed, it is checked at every tick and killed at check {}.\n", f.KillingCheck);
    }
    out += fmt::format("  One listed to be turned upright is turned {} degrees about its length and raised {:g} every {:g} s "
                       "until it reads upright;\n  one listed never to be killed lies as it is.\n",
                       TurnStepDegrees, TurnStepLift, TurnStepPeriod);
    return out;
}

// The same for tools: one JSON object with the findings.
std::string In_Force_Json(const std::string& shown, const CheckedInForce& f, const std::vector<text::Diagnostic>& findings)
{
    using nlohmann::json;
    json out;
    out["file"] = shown;
    out["findings"] = json::array();
    for (const text::Diagnostic& finding : findings) {
        out["findings"].push_back({{"line", finding.Line > 0 ? json(finding.Line) : json(nullptr)}, {"warning", finding.Message}});
    }
    for (int k = 0; k < SettingsCount; ++k) {
        const SettingSpec& setting = SettingsTable[k];
        const json value = setting.Whole != nullptr                 ? json(f.Values.*setting.Whole)
                           : std::isfinite(f.Values.*setting.Real) ? json(f.Values.*setting.Real)
                                                                    : json(nullptr);
        out["in_force"][setting.Key] = {{"value", value}, {"line", f.Lines[k] > 0 ? json(f.Lines[k]) : json(nullptr)}};
    }
    out["in_force"]["never_killed"] = f.NeverKilled;
    out["in_force"]["turned_upright"] = f.TurnedUpright;
    out["scan_every_s"] = f.ScanSeconds;
    out["killing_check"] = f.KillingCheck;
    out["kill_after_found_s"] = std::isfinite(f.KillAfterFound) ? json(std::max(f.KillAfterFound, 0.0)) : json(nullptr);
    return out.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// A file checked: its findings in the order of the file (what concerns it whole first), and what
// the plug-in then holds.
struct Checked
{
    std::string Shown;
    std::vector<text::Diagnostic> Findings;
    CheckedInForce InForce;
};

// Reads the file at `path` as the plug-in will see it into `ini` and checks it, or the finding
// that refuses it.
text::Expected<Checked> Check_File(const std::string& path, INIClass& ini)
{
    std::vector<text::Diagnostic> notes;
    const text::Expected<std::string> text = text::Read_Text_File(path);
    if (!text) {
        return text.Error();
    }
    if (std::optional<text::Diagnostic> refused = Read_Settings_Text(*text, text::Shown_Name(path), ini, notes)) {
        return *refused;
    }
    Checked checked;
    checked.Shown = text::Shown_Name(path);
    auto warn = [&](int line, const std::string& what) {
        checked.Findings.push_back(text::Diagnostic{checked.Shown, line, 0, text::Severity::Warning, what});
    };
    for (const text::Diagnostic& note : notes) {
        warn(note.Line, fmt::format("outside the plug-in's sections, the stand-in host refuses this file ({}): the real server "
                                    "may read it; the plug-in's own sections are checked as it would read them",
                                    note.Message));
    }
    if (notes.size() == MaxNotes) {
        warn(notes.back().Line, fmt::format("and perhaps more such lines: only the first {} are told", MaxNotes));
    }
    Lint_Brackets(*text, warn);
    const auto contents = standin::Ini_Contents(ini);
    Lists lists;
    const standin::IniSectionView* main = Sort_Sections(contents, lists, warn);
    Check_Main(main, warn);
    Check_Lists(lists, warn);
    std::stable_sort(checked.Findings.begin(), checked.Findings.end(),
                     [](const text::Diagnostic& a, const text::Diagnostic& b) { return a.Line < b.Line; });
    checked.InForce = In_Force_Of(ini, main);
    return checked;
}

// Prints each finding as "FILE:LINE: warning: ..." ("FILE: warning: ..." for the whole file).
void Print_Findings(const std::vector<text::Diagnostic>& findings, std::FILE* out)
{
    for (const text::Diagnostic& finding : findings) {
        // Names in the file may hold any bytes: control characters reach the terminal escaped.
        text::Diagnostic shown = finding;
        shown.Message = "warning: " + finding.Message;
        std::fprintf(out, "%s\n", Printable(shown.Text()).c_str());
    }
}

}  // namespace

text::Expected<std::vector<text::Diagnostic>> Lint_Settings(const std::string& path, INIClass& ini)
{
    text::Expected<Checked> checked = Check_File(path, ini);
    if (!checked) {
        return checked.Error();
    }
    return std::move(checked->Findings);
}

text::Expected<int> Check_Settings(const std::string& path, std::FILE* out, bool as_json)
{
    INIClass ini;
    text::Expected<Checked> checked = Check_File(path, ini);
    if (!checked) {
        return checked.Error();
    }
    const int warnings = static_cast<int>(checked->Findings.size());
    if (as_json) {
        std::fputs(In_Force_Json(checked->Shown, checked->InForce, checked->Findings).c_str(), out);
        return warnings;
    }
    Print_Findings(checked->Findings, out);
    if (warnings == 0) {
        std::fprintf(out, "%s: no findings\n", Printable(checked->Shown).c_str());
    }
    text::For_Each_Line(In_Force_Text(checked->Shown, checked->InForce), [&](int, std::string_view line) {
        std::fprintf(out, "%s\n", Printable(std::string(line)).c_str());
        return true;
    });
    return warnings;
}

text::Expected<int> Read_Checked_Settings(const std::string& path, INIClass& ini, std::FILE* warnings)
{
    text::Expected<Checked> checked = Check_File(path, ini);
    if (!checked) {
        return checked.Error();
    }
    if (warnings != nullptr) {
        Print_Findings(checked->Findings, warnings);
    }
    return static_cast<int>(checked->Findings.size());
}

}  // namespace sim
