#include "Sweep.h"

#include <cmath>
#include <limits>
#include <strings.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Contract.h"
#include "INIClass.h"
#include "Text.h"

namespace sim {
namespace {

constexpr std::size_t MaxValues = 50;

// Whether the setting of `key` (as the table spells it) is a whole number.
bool Whole_Key(const std::string& key)
{
    for (const SettingSpec& setting : SettingsTable) {
        if (key == setting.Key) {
            return setting.Whole != nullptr;
        }
    }
    return false;
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

std::string Value_Text(const std::string& key, double value)
{
    return Whole_Key(key) ? fmt::format("{}", static_cast<long long>(value)) : fmt::format("{:g}", value);
}

}  // namespace

bool Parse_Sweep(const std::string& text, SweepSpec& spec, std::string& error)
{
    const std::size_t equals = text.find('=');
    const std::string key = text.substr(0, std::min(equals, text.size()));
    spec = SweepSpec();
    for (const SettingSpec& setting : SettingsTable) {
        if (strcasecmp(key.c_str(), setting.Key) == 0) {
            spec.Key = setting.Key;  // the host reads keys in any case
        }
    }
    if (spec.Key.empty()) {
        error = "--sweep takes CheckInterval, ChecksCount or ScriptCheckingInterval, not '" + key + "'";
        return false;
    }
    if (equals == std::string::npos || !Read_Values(text.substr(equals + 1), spec.Values)) {
        error = fmt::format("--sweep {}: give the values as FROM..TO, FROM..TO:STEP or V1,V2,... (at most {}), not '{}'",
                            spec.Key, MaxValues, text);
        return false;
    }
    for (double value : spec.Values) {
        const bool whole = value == std::floor(value) && value >= std::numeric_limits<int>::min() &&
                           value <= std::numeric_limits<int>::max();
        if (Whole_Key(spec.Key) && !whole) {
            error = fmt::format("--sweep {}: {} is not a whole number from {} to {}, as the plug-in holds them", spec.Key,
                                value == std::floor(value) ? fmt::format("{:.0f}", value) : fmt::format("{:g}", value),
                                std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
            return false;
        }
    }
    return true;
}

bool Run_Sweep(const standin::PluginFile& plugin, const RandomOptions& base, const SweepSpec& spec, std::FILE* err,
               std::vector<RandomResult>& results, std::string& error)
{
    results.clear();
    for (std::size_t run = 0; run < spec.Values.size() * static_cast<std::size_t>(spec.Seeds); ++run) {
        const double value = spec.Values[run / static_cast<std::size_t>(spec.Seeds)];
        RandomOptions options = base;
        options.Seed = base.Seed + run % static_cast<std::size_t>(spec.Seeds);
        options.Progress = false;
        options.Settings = std::make_shared<INIClass>();
        if (base.Settings != nullptr) {
            Copy_Settings(*base.Settings, *options.Settings);
        }
        standin::Set_Ini_Value(*options.Settings, SETTINGS_SECTION, spec.Key.c_str(), Value_Text(spec.Key, value).c_str());
        results.emplace_back();
        if (!Play_Random(plugin, options, {}, results.back(), err, error)) {
            return false;
        }
        std::fprintf(err, "%s\n", fmt::format("veltrask-sim: {} = {}, seed {} played in {:.2f} s", spec.Key,
                                              Value_Text(spec.Key, value), options.Seed, results.back().WallSeconds)
                                      .c_str());
    }
    return true;
}

void Print_Sweep(const SweepSpec& spec, const std::vector<RandomResult>& results, std::FILE* out)
{
    if (results.empty()) {
        return;
    }
    const RandomOptions& o = results.front().Options;
    std::string text = fmt::format("Sweep of {}: random match, seed {}, {} vehicles, {:g} s at {} ticks/s\n", spec.Key, o.Seed,
                                   o.Vehicles, o.Length, o.Rate);
    text += fmt::format("Other settings: {}\n",
                        o.SettingsPath.empty() ? "none (the plug-in's defaults when a key is missing)" : Printable(o.SettingsPath));
    text += World_Text(o.Assumed);
    const std::size_t seeds = static_cast<std::size_t>(std::max(spec.Seeds, 1));
    if (seeds > 1) {
        text += fmt::format("Each value is played with {} seeds, {} to {}: figures are means, with the lowest and\n"
                            "highest needless share.\n",
                            seeds, o.Seed, o.Seed + seeds - 1);
    }
    const auto range_column = [&](const std::string& text) { return seeds > 1 ? fmt::format(" {:>15}", text) : std::string(); };
    text += fmt::format("\n{:>22} {:>7} {:>7} {:>9}{} {:>9} {:>9}\n", spec.Key, "flips", "killed", "needless",
                        range_column("needless range"), "lying [1]", "all [2]");
    const auto mean_lying = [&](std::int64_t ticks, std::int64_t flips) {
        return flips == 0 ? 0.0 : static_cast<double>(ticks) / o.Rate / static_cast<double>(flips);
    };
    for (std::size_t v = 0; v < spec.Values.size(); ++v) {
        double flips = 0, kills = 0, needless = 0, lying = 0, all = 0;
        double lowest = 100, highest = 0;
        for (std::size_t k = 0; k < seeds && v * seeds + k < results.size(); ++k) {
            const RandomResult& r = results[v * seeds + k];
            flips += static_cast<double>(r.Flips);
            kills += static_cast<double>(r.Kills());
            needless += static_cast<double>(r.WouldHaveRecovered.Count);
            lowest = std::min(lowest, r.Needless_Kill_Percent());
            highest = std::max(highest, r.Needless_Kill_Percent());
            lying += mean_lying(r.KillableLyingTicks, r.KillableFlips);
            all += mean_lying(r.Lying_Ticks(), r.Flips);
        }
        const double n = static_cast<double>(seeds);
        const double share = kills == 0 ? 0.0 : 100.0 * needless / kills;
        text += fmt::format("{:>22} {:>7.{}f} {:>7.{}f} {:>8.1f}%{} {:>9.2f} {:>9.2f}\n", Value_Text(spec.Key, spec.Values[v]),
                            flips / n, seeds > 1 ? 1 : 0, kills / n, seeds > 1 ? 1 : 0, share,
                            range_column(fmt::format("{:.1f}-{:.1f}%", lowest, highest)), lying / n, all / n);
    }
    text += "\nneedless: kills of vehicles that would have got up alone soon after, as a share\n"
            "    of the kills.\n"
            "[1] seconds a flip lies, for flips of ordinary vehicles that read as flipped:\n"
            "    the ones these settings decide.\n"
            "[2] seconds a flip lies, all flips: exempt, mode-4 and never-read flips lie\n"
            "    until they get up alone, whatever the settings, and weigh on this column.\n"
            "The flips differ between values as killed vehicles come back at other times.\n";
    std::fputs(text.c_str(), out);
}

std::string Sweep_Summary_Json(const SweepSpec& spec, const std::vector<RandomResult>& results)
{
    using nlohmann::json;
    json runs = json::array();
    for (std::size_t i = 0; i < results.size(); ++i) {
        json run = json::parse(Random_Summary_Json(results[i]));
        run["value"] = spec.Values[std::min(i / static_cast<std::size_t>(std::max(spec.Seeds, 1)), spec.Values.size() - 1)];
        runs.push_back(run);
    }
    return json{{"sweep", spec.Key}, {"runs", runs}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace sim
