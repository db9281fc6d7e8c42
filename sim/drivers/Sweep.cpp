#include "Sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <fmt/format.h>

#include "Contract.h"
#include "INIClass.h"
#include "Settings.h"
#include "Text.h"

namespace sim {
namespace {

constexpr std::size_t MaxValues = 50;

// Whether the setting of `key` (as the table spells it) is a whole number.
bool Whole_Key(const std::string& key)
{
    const SettingSpec* setting = Setting_Named(key);
    return setting != nullptr && setting->Whole != nullptr;
}

bool Read_Values(const std::string& text, std::vector<double>& values)
{
    const std::size_t dots = text.find("..");
    if (dots == std::string::npos) {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            double value = 0;
            if (!Parse_Finite(text.substr(start, comma - start), value) || values.size() == MaxValues) {
                return false;
            }
            values.push_back(value);
            start = comma + 1;
        }
        return true;
    }
    const std::size_t colon = text.find(':', dots);
    double from = 0, to = 0, step = 1;
    if (!Parse_Finite(text.substr(0, dots), from) ||
        !Parse_Finite(text.substr(dots + 2, colon == std::string::npos ? std::string::npos : colon - dots - 2), to) ||
        (colon != std::string::npos && !Parse_Finite(text.substr(colon + 1), step)) || !(step > 0) || to < from ||
        (to - from) / step >= static_cast<double>(MaxValues)) {
        return false;
    }
    // Counted, not summed, so 0.1 steps do not drift past the end.
    const auto count = static_cast<int>(std::floor((to - from) / step + 1e-9)) + 1;
    for (int i = 0; i < count; ++i) {
        values.push_back(from + step * i);
    }
    return true;
}

// A fresh copy of `from`, since the host's settings class cannot be copied.
void Copy_Settings(const INIClass& from, INIClass& to)
{
    for (const standin::IniSectionView& section : standin::Ini_Contents(from)) {
        for (const standin::IniEntryView& entry : section.Entries) {
            standin::Set_Ini_Value(to, section.Name, entry.Name, entry.Value);
        }
    }
}

}  // namespace

std::string Value_Text(const std::string& key, double value)
{
    return Whole_Key(key) ? fmt::format("{}", static_cast<long long>(value)) : fmt::format("{:g}", value);
}

// A point's values: "4" or "4, 0.5"; with `equals`, each with its key ("KEY = 4").
std::string Point_Text(const SweepSpec& spec, std::size_t point, const char* equals)
{
    const std::size_t second = spec.Key2.empty() ? 1 : spec.Values2.size();
    std::string text = (equals != nullptr ? spec.Key + equals : std::string()) + Value_Text(spec.Key, spec.Values[point / second]);
    if (!spec.Key2.empty()) {
        text += ", " + (equals != nullptr ? spec.Key2 + equals : std::string()) + Value_Text(spec.Key2, spec.Values2[point % second]);
    }
    return text;
}

text::Expected<SweepSpec> Parse_Sweep(const std::string& text)
{
    SweepSpec spec;
    const std::size_t equals = text.find('=');
    const std::string key = text.substr(0, std::min(equals, text.size()));
    const SettingSpec* setting = Setting_Named(key);  // the host reads keys in any case
    if (setting == nullptr) {
        return text::Failure("--sweep takes " + Keys_Text(" or ") + ", not '" + key + "'");
    }
    spec.Key = setting->Key;
    if (equals == std::string::npos || !Read_Values(text.substr(equals + 1), spec.Values)) {
        return text::Failure(fmt::format("--sweep {}: give the values as FROM..TO, FROM..TO:STEP or V1,V2,... (at most {}), not '{}'",
                            spec.Key, MaxValues, text));
    }
    for (double value : spec.Values) {
        const bool whole = value == std::floor(value) && value >= std::numeric_limits<int>::min() &&
                           value <= std::numeric_limits<int>::max();
        if (Whole_Key(spec.Key) && !whole) {
            return text::Failure(fmt::format("--sweep {}: {} is not a whole number from {} to {}, as the plug-in holds them", spec.Key,
                                value == std::floor(value) ? fmt::format("{:.0f}", value) : fmt::format("{:g}", value),
                                std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        }
    }
    return spec;
}

text::Status Run_Sweep(const standin::PluginFile& plugin, const RandomOptions& base, const SweepSpec& spec, std::FILE* err,
                       std::vector<RandomResult>& results, const Played& played)
{
    results.clear();
    const std::size_t seeds = static_cast<std::size_t>(std::max(spec.Seeds, 1));
    const std::size_t second = spec.Key2.empty() ? 1 : spec.Values2.size();
    for (std::size_t run = 0; run < spec.Points() * seeds; ++run) {
        const std::size_t point = run / seeds;
        const double value = spec.Values[point / second];
        RandomOptions options = base;
        options.Seed = base.Seed + run % seeds;
        options.Progress = false;
        options.Settings = std::make_shared<INIClass>();
        if (base.Settings != nullptr) {
            Copy_Settings(*base.Settings, *options.Settings);
        }
        standin::Set_Ini_Value(*options.Settings, SETTINGS_SECTION, spec.Key.c_str(), Value_Text(spec.Key, value).c_str());
        if (!spec.Key2.empty()) {
            standin::Set_Ini_Value(*options.Settings, SETTINGS_SECTION, spec.Key2.c_str(),
                                   Value_Text(spec.Key2, spec.Values2[point % second]).c_str());
        }
        results.emplace_back();
        if (text::Status playing = Play_Random(plugin, options, {}, results.back(), err); !playing) {
            return playing;
        }
        if (played) {
            played(point, results.back());
        }
    }
    return {};
}

text::Status Add_Sweep_Axis(const std::string& text, SweepSpec& spec)
{
    const text::Expected<SweepSpec> second = Parse_Sweep(text);
    if (!second) {
        return second.Error();
    }
    if (second->Key == spec.Key) {
        return text::Failure("--sweep names " + spec.Key + " twice: give a second setting for a grid");
    }
    if (spec.Values.size() * second->Values.size() > 400) {
        return text::Failure(
            fmt::format("--sweep: a grid of {} x {} settings is more than 400 points", spec.Values.size(), second->Values.size()));
    }
    spec.Key2 = second->Key;
    spec.Values2 = second->Values;
    return {};
}

text::Expected<SweepTarget> Parse_Target(const std::string& text)
{
    const text::Diagnostic refused = text::Failure(
        "--target takes needless<=PERCENT%, lying<=SECONDS or kills>=COUNT (or the other bound), not '" + text + "'");
    const std::size_t op = text.find_first_of("<>");
    if (op == std::string::npos || op + 1 >= text.size() || text[op + 1] != '=') {
        return refused;
    }
    SweepTarget target;
    target.Figure = text.substr(0, op);
    target.AtMost = text[op] == '<';
    std::string number = text.substr(op + 2);
    if (target.Figure == "needless" && !number.empty() && number.back() == '%') {
        number.pop_back();
    } else if (target.Figure == "lying" && number.size() > 1 && number.back() == 's') {
        number.pop_back();
    }
    if ((target.Figure != "needless" && target.Figure != "lying" && target.Figure != "kills") ||
        !Parse_Finite(number, target.Bound) || target.Bound < 0) {
        return refused;
    }
    return target;
}

}  // namespace sim
