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

// A point's values: "4" or "4, 0.5"; with `equals`, each with its key ("ChecksCount = 4").
std::string Point_Text(const SweepSpec& spec, std::size_t point, const char* equals = nullptr)
{
    const std::size_t second = spec.Key2.empty() ? 1 : spec.Values2.size();
    std::string text = (equals != nullptr ? spec.Key + equals : std::string()) + Value_Text(spec.Key, spec.Values[point / second]);
    if (!spec.Key2.empty()) {
        text += ", " + (equals != nullptr ? spec.Key2 + equals : std::string()) + Value_Text(spec.Key2, spec.Values2[point % second]);
    }
    return text;
}

// A point's figures, over its seeds.
struct PointFigures
{
    double Flips = 0, Kills = 0, Needless = 0, Lowest = 100, Highest = 0, Lying = 0, All = 0;
    double Share() const { return Kills == 0 ? 0.0 : 100.0 * Needless / Kills; }
    double Of(const std::string& figure) const
    {
        return figure == "needless" ? Share() : figure == "lying" ? Lying : Kills;
    }
};

PointFigures Figures_Of(const SweepSpec& spec, const std::vector<RandomResult>& results, std::size_t point)
{
    const std::size_t seeds = static_cast<std::size_t>(std::max(spec.Seeds, 1));
    PointFigures f;
    const auto mean_lying = [](const RandomResult& r, std::int64_t ticks, std::int64_t flips) {
        return flips == 0 ? 0.0 : static_cast<double>(ticks) / r.Options.Rate / static_cast<double>(flips);
    };
    std::size_t n = 0;
    for (std::size_t k = 0; k < seeds && point * seeds + k < results.size(); ++k, ++n) {
        const RandomResult& r = results[point * seeds + k];
        f.Flips += static_cast<double>(r.Flips);
        f.Kills += static_cast<double>(r.Kills());
        f.Needless += static_cast<double>(r.WouldHaveRecovered.Count);
        f.Lowest = std::min(f.Lowest, r.Needless_Kill_Percent());
        f.Highest = std::max(f.Highest, r.Needless_Kill_Percent());
        f.Lying += mean_lying(r, r.KillableLyingTicks, r.KillableFlips);
        f.All += mean_lying(r, r.Lying_Ticks(), r.Flips);
    }
    const double count = std::max<double>(static_cast<double>(n), 1.0);
    f.Flips /= count;
    f.Kills /= count;
    f.Needless /= count;
    f.Lying /= count;
    f.All /= count;
    return f;
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
        if (!Play_Random(plugin, options, {}, results.back(), err, error)) {
            return false;
        }
        std::fprintf(err, "%s\n", fmt::format("veltrask-sim: {}, seed {} played in {:.2f} s", Point_Text(spec, point, " = "),
                                              options.Seed, results.back().WallSeconds)
                                      .c_str());
    }
    return true;
}

void Print_Sweep(const SweepSpec& spec, const std::vector<RandomResult>& results, std::FILE* out, const SweepTarget* target)
{
    if (results.empty()) {
        return;
    }
    const RandomOptions& o = results.front().Options;
    const std::string keys = spec.Key2.empty() ? spec.Key : spec.Key + " x " + spec.Key2;
    std::string text = fmt::format("Sweep of {}: random match, seed {}, {} vehicles, {:g} s at {} ticks/s\n", keys, o.Seed,
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
    // The first column holds the point's values: "ChecksCount" over "4", or for a grid both keys,
    // in short, over "4, 0.5".
    const auto shortly = [](const std::string& key) {
        return key == CHECK_INTERVAL_KEY ? "Interval" : key == CHECKS_COUNT_KEY ? "Checks" : "Period";
    };
    const std::string heading = spec.Key2.empty() ? spec.Key : std::string(shortly(spec.Key)) + ", " + shortly(spec.Key2);
    if (!spec.Key2.empty()) {
        text += fmt::format("{} is {} and {} is {}.\n", shortly(spec.Key), spec.Key, shortly(spec.Key2), spec.Key2);
    }
    const std::size_t width = std::max<std::size_t>(22, heading.size());
    text += fmt::format("\n{:>{}} {:>7} {:>7} {:>9}{} {:>9} {:>9}\n", heading, width, "flips", "killed", "needless",
                        range_column("needless range"), "lying [1]", "all [2]");
    for (std::size_t point = 0; point < spec.Points(); ++point) {
        const PointFigures f = Figures_Of(spec, results, point);
        text += fmt::format("{:>{}} {:>7.{}f} {:>7.{}f} {:>8.1f}%{} {:>9.2f} {:>9.2f}\n", Point_Text(spec, point), width, f.Flips,
                            seeds > 1 ? 1 : 0, f.Kills, seeds > 1 ? 1 : 0, f.Share(),
                            range_column(fmt::format("{:.1f}-{:.1f}%", f.Lowest, f.Highest)), f.Lying, f.All);
    }
    text += "\nneedless: kills of vehicles that would have got up alone soon after, as a share\n"
            "    of the kills.\n"
            "[1] seconds a flip lies, for flips of ordinary vehicles that read as flipped:\n"
            "    the ones these settings decide.\n"
            "[2] seconds a flip lies, all flips: exempt, mode-4 and never-read flips lie\n"
            "    until they get up alone, whatever the settings, and weigh on this column.\n"
            "The flips differ between values as killed vehicles come back at other times.\n";
    if (target != nullptr) {
        // Of the points that meet the target, the best: least lying for a bound on needless kills or
        // kills, fewest needless kills for a bound on lying.
        const std::string rank = target->Figure == "lying" ? "needless" : "lying";
        std::vector<std::size_t> meeting;
        for (std::size_t point = 0; point < spec.Points(); ++point) {
            const double value = Figures_Of(spec, results, point).Of(target->Figure);
            if (target->AtMost ? value <= target->Bound : value >= target->Bound) {
                meeting.push_back(point);
            }
        }
        const std::string wanted = fmt::format("{}{}{:g}{}", target->Figure, target->AtMost ? "<=" : ">=", target->Bound,
                                               target->Figure == "needless" ? "%" : target->Figure == "lying" ? " s" : "");
        const auto describe = [&](std::size_t point) {
            const PointFigures f = Figures_Of(spec, results, point);
            return fmt::format("{} (needless {:.1f}%, lying {:.2f} s a flip, {:.0f} kills)", Point_Text(spec, point, " "),
                               f.Share(), f.Lying, f.Kills);
        };
        if (meeting.empty()) {
            std::size_t closest = 0;
            double distance = HUGE_VAL;
            for (std::size_t point = 0; point < spec.Points(); ++point) {
                const double d = std::fabs(Figures_Of(spec, results, point).Of(target->Figure) - target->Bound);
                if (d < distance) {
                    distance = d;
                    closest = point;
                }
            }
            text += Wrapped(fmt::format("\nTarget {}: no setting swept meets it; the closest is {}.", wanted, describe(closest)),
                            80, "  ");
        } else {
            std::size_t best = meeting.front();
            for (std::size_t point : meeting) {
                if (Figures_Of(spec, results, point).Of(rank) < Figures_Of(spec, results, best).Of(rank)) {
                    best = point;
                }
            }
            text += Wrapped(fmt::format("\nTarget {}: met by {} of {}; the best (least {}) is {}.", wanted, meeting.size(),
                                        spec.Points(), rank == "lying" ? "time lying flipped" : "needless kills", describe(best)),
                            80, "  ");
        }
    }
    std::fputs(text.c_str(), out);
}

std::string Sweep_Summary_Json(const SweepSpec& spec, const std::vector<RandomResult>& results)
{
    using nlohmann::json;
    json runs = json::array();
    for (std::size_t i = 0; i < results.size(); ++i) {
        json run = json::parse(Random_Summary_Json(results[i]));
        const std::size_t point = i / static_cast<std::size_t>(std::max(spec.Seeds, 1));
        const std::size_t second = spec.Key2.empty() ? 1 : spec.Values2.size();
        run["value"] = spec.Values[std::min(point / second, spec.Values.size() - 1)];
        if (!spec.Key2.empty()) {
            run["value2"] = spec.Values2[point % second];
        }
        runs.push_back(run);
    }
    json out{{"sweep", spec.Key}, {"runs", runs}};
    if (!spec.Key2.empty()) {
        out["sweep2"] = spec.Key2;
    }
    return out.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool Add_Sweep_Axis(const std::string& text, SweepSpec& spec, std::string& error)
{
    SweepSpec second;
    if (!Parse_Sweep(text, second, error)) {
        return false;
    }
    if (second.Key == spec.Key) {
        error = "--sweep names " + spec.Key + " twice: give a second setting for a grid";
        return false;
    }
    if (spec.Values.size() * second.Values.size() > 400) {
        error = fmt::format("--sweep: a grid of {} x {} settings is more than 400 points", spec.Values.size(), second.Values.size());
        return false;
    }
    spec.Key2 = second.Key;
    spec.Values2 = second.Values;
    return true;
}

bool Parse_Target(const std::string& text, SweepTarget& target, std::string& error)
{
    error = "--target takes needless<=PERCENT%, lying<=SECONDS or kills>=COUNT (or the other bound), not '" + text + "'";
    const std::size_t op = text.find_first_of("<>");
    if (op == std::string::npos || op + 1 >= text.size() || text[op + 1] != '=') {
        return false;
    }
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
        return false;
    }
    error.clear();
    return true;
}

}  // namespace sim
