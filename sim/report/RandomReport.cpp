// The random match's report in words, and the same figures for tools.
#include <algorithm>
#include <cstdio>
#include <numeric>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Random.h"
#include "Report.h"
#include "Settings.h"
#include "Text.h"

namespace sim {
namespace {

const char* const KindNames[4] = {"ordinary", "turned upright", "exempt", "in mode 4"};
const char* const KindKeys[4] = {"ordinary", "turned_upright", "exempt", "mode_4"};
const char* const EndNames[EndStateCount] = {"upright", "waiting to respawn after a kill", "lying flipped"};
const char* const EndKeys[EndStateCount] = {"upright", "respawning", "lying_flipped"};

double Seconds(std::int64_t ticks, int rate) { return static_cast<double>(ticks) / rate; }

std::string Row(const char* label, const Distribution& d, int rate)
{
    if (d.Count == 0) {
        return fmt::format("{:<35} {:>7}\n", label, 0);
    }
    return fmt::format("{:<35} {:>7}  {:>8.2f} {:>8.2f} {:>8.2f} {:>8.2f}\n", label, d.Count, Seconds(d.Min(), rate),
                       Seconds(d.Quantile(0.5), rate), Seconds(d.Quantile(0.9), rate), Seconds(d.Max(), rate));
}

}  // namespace

std::string Settings_Numbers(const HeldSettings& s)
{
    return Numbers_Text(s.Values);
}

std::string Settings_In_Force(const HeldSettings& s)
{
    return fmt::format("{}; {} never killed, {} turned upright", Settings_Numbers(s), s.DontFlipKill, s.RotateUpwards);
}

std::string World_Text(const World& w)
{
    return fmt::format(
        "Assumed of the world (change with --flip-every, --nose-down, --recover-share,\n"
        "  --recover-time, --mix and --respawn):\n"
        "  an upright vehicle flips once every {:g} s on average; {:g}% land on their nose\n"
        "  {:g}% of flips right themselves alone, {:g} to {:g} s after (uniformly)\n"
        "  mix {:g}:{:g}:{:g}:{:g} of ordinary, turned-upright, exempt and mode-4 vehicles\n"
        "  a killed vehicle comes back {:g} s later\n",
        w.FlipEvery, w.NoseDown * 100, w.RecoverShare * 100, w.RecoverFrom, w.RecoverTo, w.Mix[0], w.Mix[1], w.Mix[2], w.Mix[3],
        w.Respawn);
}

namespace {

std::string Header(const RandomResult& r)
{
    const RandomOptions& o = r.Options;
    const World& w = o.Assumed;
    std::string text = fmt::format("Random match: seed {}, {} vehicles, {:g} s at {} ticks/s\n", o.Seed, o.Vehicles, o.Length,
                                   o.Rate);
    text += fmt::format("Settings: {}\n  {}\n",
                        o.SettingsPath.empty() ? "none (the plug-in's values at load)" : Printable(o.SettingsPath),
                        Settings_Numbers(r.Start));
    for (std::size_t i = 0; i < r.Changes.size(); ++i) {
        const TimedSettings& change = r.Changes[i];
        text += fmt::format("  reloaded at {:g} s from {}\n", change.Time, Printable(change.Path));
        if (i < r.InForceAfter.size()) {
            text += Wrapped(fmt::format("    then {}", Settings_In_Force(r.InForceAfter[i])), 80, "    ");
        }
    }
    std::string world = World_Text(w);
    if (!o.Fleet.empty()) {
        // The fleet decides the presets, their shares and their modes; the mix plays no part.
        const std::size_t mix = world.find("  mix ");
        if (mix != std::string::npos) {
            world.erase(mix, world.find('\n', mix) + 1 - mix);
        }
        world += Wrapped(fmt::format("  the fleet of {}: {} presets, with their shares, modes and any world of their own as "
                                     "written there",
                                     Printable(o.FleetPath), o.Fleet.size()),
                         80, "    ");
    }
    text += world;
    text += fmt::format("Vehicles: {} {}, {} {}, {} {}, {} {}\n", r.Kinds[0], KindNames[0], r.Kinds[1], KindNames[1],
                        r.Kinds[2], KindNames[2], r.Kinds[3], KindNames[3]);
    if (!r.OrdinaryLeftOut.empty()) {
        std::string names;
        for (const std::string& name : r.OrdinaryLeftOut) {
            names += (names.empty() ? "" : ", ") + Printable(name);
        }
        text += fmt::format("  (the settings list {}: no ordinary vehicle is of {})\n", names,
                            r.OrdinaryLeftOut.size() == 1 ? "that preset" : "those presets");
    }
    for (int k = 1; k < 3; ++k) {
        if (r.KindEmpty[k] && w.Mix[k] > 0) {
            text += fmt::format("  (no {} preset is listed in the settings: those vehicles are ordinary)\n", KindNames[k]);
        }
    }
    return text;
}

// With the operator's fleet: what became of each preset's flips.
std::string Fleet_Table(const RandomResult& r)
{
    if (r.Presets.empty()) {
        return std::string();
    }
    const int rate = r.Options.Rate;
    std::size_t width = 16;
    for (const auto& p : r.Presets) {
        width = std::max(width, std::min<std::size_t>(Printable(p.Preset).size(), 20));
    }
    std::string text = fmt::format("\nBy preset of the fleet ({}):\n", Printable(r.Options.FleetPath));
    text += fmt::format("{:<{}} {:>8} {:>6} {:>6} {:>8} {:>6} {:>6} {:>6} {:>6} {:>6}\n", "preset", width, "vehicles", "flips",
                        "killed", "needless", "turned", "lifted", "unseen", "lying", "unread");
    for (const auto& p : r.Presets) {
        std::string name = Printable(p.Preset);
        if (name.size() > width) {
            name = name.substr(0, width - 1) + "~";
        }
        const std::int64_t closed = std::accumulate(std::begin(p.Outcomes), std::end(p.Outcomes), std::int64_t{0});
        const std::int64_t read = closed - p.UnreadFlips;
        const auto mean = [&](std::int64_t ticks, std::int64_t flips) {
            return flips == 0 ? std::string("-") : fmt::format("{:.1f}", Seconds(ticks, rate) / static_cast<double>(flips));
        };
        text += fmt::format("{:<{}} {:>8} {:>6} {:>6} {:>8} {:>6} {:>6} {:>6} {:>6} {:>6}\n", name, width, p.Vehicles, p.Flips,
                            p.Outcomes[Killed] + p.Outcomes[KilledAfterReflip], p.NeedlessKills, p.Outcomes[Righted],
                            p.Outcomes[LiftedWithoutEnd],
                            p.Outcomes[UnseenMode4] + p.Outcomes[UnseenNotFlipped] + p.Outcomes[UnseenExempt],
                            mean(p.LyingTicks - p.UnreadLyingTicks, read), mean(p.UnreadLyingTicks, p.UnreadFlips));
    }
    text += "needless: killed though it would soon have got up alone; unseen: never looked\n"
            "at (mode 4, exempt, or not read as flipped); lying: a flip's mean seconds down,\n"
            "of the flips read as flipped; unread: the same of those never read as flipped,\n"
            "which lie until they get up alone or the match ends, whatever the settings.\n";
    return text;
}

std::string Notes(const RandomResult& r)
{
    std::string text = "\n[1] it righted itself and flipped again between two checks, so the script that\n"
                       "    came for the flip before never saw it upright and counted on";
    const Distribution& kept = r.KeptChecks;
    text += kept.Count == 0 ? ".\n"
                            : fmt::format(": it had\n    counted {} to {} checks (median {}) when the vehicle flipped again.\n",
                                          kept.Min(), kept.Max(), kept.Quantile(0.5));
    text += "[2] on its nose: the flip test reads the rotation about the world's Y axis, so\n"
            "    whether a vehicle on its nose counts as flipped depends on its heading.\n"
            "[3] on its nose and listed for turning: turning about its own length axis never\n"
            "    rights it, so it is lifted at every step";
    text += r.HighestLift > 0 ? fmt::format(" (the highest to z = {:g}).\n", r.HighestLift) : ".\n";
    text += "[4] the plug-in stops turning once the flip test reads upright";
    text += r.Outcomes[Righted].Count == 0
                ? ".\n"
                : fmt::format(": it left these\n    tilted {:.0f} to {:.0f} degrees from upright, for the game to settle.\n",
                              r.RightedTiltMin, r.RightedTiltMax);
    text += "Times of flips undecided or unseen run until the vehicle got up or the end.\n";
    return text;
}

}  // namespace

void Print_Random_Report(const RandomResult& r, std::FILE* out)
{
    const int rate = r.Options.Rate;
    const double lying = Seconds(r.Lying_Ticks(), rate);
    std::string text = Header(r);
    // What an operator must not miss comes before the tables, in the scenario summary's words.
    const Distribution& unread = r.Outcomes[UnseenNotFlipped];
    const Distribution& lifted = r.Outcomes[LiftedWithoutEnd];
    if (unread.Count > 0 || lifted.Count > 0) {
        text += "Warnings:\n";
        if (unread.Count > 0) {
            text += Wrapped(fmt::format("  ! {} flips were never read as flipped (lying up to {:.2f} s): {}.", unread.Count,
                                        Seconds(unread.Max(), rate), NeverReadWords),
                            80, "    ");
        }
        if (lifted.Count > 0) {
            text += Wrapped(fmt::format("  ! {} flips ended lifted without end (the highest to z = {:g}): {}.", lifted.Count,
                                        r.HighestLift, LiftedWords),
                            80, "    ");
        }
    }
    text += fmt::format("Flips: {}; lying flipped {:.0f} s in all, {:.2f} s a flip on average\n\n", r.Flips, lying,
                        r.Flips == 0 ? 0.0 : lying / static_cast<double>(r.Flips));
    text += fmt::format("{:<35} {:>7}  {:>8} {:>8} {:>8} {:>8}\n", "what became of each flip (seconds)", "count", "min",
                        "median", "p90", "max");
    for (int o = 0; o < OutcomeCount; ++o) {
        text += Row(Outcome_Label(static_cast<Outcome>(o)), r.Outcomes[o], rate);
    }
    text += Notes(r);
    text += Fleet_Table(r);
    text += fmt::format("\nKilled though they would soon have recovered alone: {} of {} ({:.1f}%)\n", r.WouldHaveRecovered.Count,
                        r.Kills(), r.Needless_Kill_Percent());
    if (r.WouldHaveRecovered.Count > 0) {
        text += Row("would have been up after a further", r.WouldHaveRecovered, rate);
    }
    text += fmt::format("\nAt the end, of the {} vehicles:\n", r.Options.Vehicles);
    for (int e = 0; e < EndStateCount; ++e) {
        text += fmt::format("  {:<42} {:>7}\n", EndNames[e], r.AtEnd[e]);
        if (e == EndLying) {
            for (int o = 0; o < OutcomeCount; ++o) {
                if (r.LyingAtEnd[o] > 0) {
                    text += fmt::format("    {:<40} {:>7}\n", Outcome_Label(static_cast<Outcome>(o)), r.LyingAtEnd[o]);
                }
            }
        }
    }
    std::fputs(text.c_str(), out);
}

std::string Random_Summary_Json(const RandomResult& r)
{
    using nlohmann::json;
    const int rate = r.Options.Rate;
    const RandomOptions& o = r.Options;
    const World& w = o.Assumed;
    const auto numbers = [](const HeldSettings& s) {
        json numbers;
        for (const SettingSpec& setting : SettingsTable) {
            numbers[setting.Key] = setting.Whole != nullptr ? json(s.Values.*setting.Whole) : json(s.Values.*setting.Real);
        }
        return numbers;
    };
    const auto spread = [&](const Distribution& d) {
        return json{{"count", d.Count},
                    {"min", Seconds(d.Min(), rate)},
                    {"median", Seconds(d.Quantile(0.5), rate)},
                    {"p90", Seconds(d.Quantile(0.9), rate)},
                    {"max", Seconds(d.Max(), rate)},
                    {"total", Seconds(d.Sum, rate)}};
    };
    json summary;
    summary["seed"] = o.Seed;
    summary["vehicles"] = o.Vehicles;
    summary["length"] = o.Length;
    summary["rate"] = rate;
    summary["settings"] = {{"file", o.SettingsPath.empty() ? json(nullptr) : json(o.SettingsPath)}, {"at_start", numbers(r.Start)}};
    json reloads = json::array();
    for (const TimedSettings& change : r.Changes) {
        reloads.push_back({{"time", change.Time}, {"file", change.Path}});
    }
    summary["settings"]["reloads"] = reloads;
    summary["world"] = {{"flip_every", w.FlipEvery},       {"nose_down", w.NoseDown},
                        {"recover_share", w.RecoverShare}, {"recover_time", {w.RecoverFrom, w.RecoverTo}},
                        {"respawn", w.Respawn},            {"mix", {w.Mix[0], w.Mix[1], w.Mix[2], w.Mix[3]}}};
    for (int k = 0; k < 4; ++k) {
        summary["kinds"][KindKeys[k]] = r.Kinds[k];
    }
    summary["flips"] = r.Flips;
    summary["lying_flipped_seconds"] = Seconds(r.Lying_Ticks(), rate);
    summary["killable"] = {{"flips", r.KillableFlips}, {"lying_flipped_seconds", Seconds(r.KillableLyingTicks, rate)}};
    for (int i = 0; i < OutcomeCount; ++i) {
        summary["outcomes"][Outcome_Key(static_cast<Outcome>(i))] = spread(r.Outcomes[i]);
    }
    summary["killed_would_have_recovered"] = spread(r.WouldHaveRecovered);
    summary["turned_tilt_degrees"] = r.Outcomes[Righted].Count == 0 ? json(nullptr) : json{r.RightedTiltMin, r.RightedTiltMax};
    summary["kept_checks"] = {{"count", r.KeptChecks.Count}, {"min", r.KeptChecks.Min()}, {"max", r.KeptChecks.Max()}};
    for (int e = 0; e < EndStateCount; ++e) {
        summary["at_end"][EndKeys[e]] = r.AtEnd[e];
    }
    if (!r.Presets.empty()) {
        summary["fleet"] = o.FleetPath;
        summary["presets"] = json::array();
        for (const auto& p : r.Presets) {
            json outcomes;
            for (int i = 0; i < OutcomeCount; ++i) {
                outcomes[Outcome_Key(static_cast<Outcome>(i))] = p.Outcomes[i];
            }
            summary["presets"].push_back({{"preset", p.Preset},
                                          {"vehicles", p.Vehicles},
                                          {"flips", p.Flips},
                                          {"outcomes", outcomes},
                                          {"needless_kills", p.NeedlessKills},
                                          {"lying_flipped_seconds", Seconds(p.LyingTicks, rate)},
                                          {"never_read", {{"flips", p.UnreadFlips},
                                                          {"lying_flipped_seconds", Seconds(p.UnreadLyingTicks, rate)}}}});
        }
    }
    summary["lying_at_end"] = json::object();
    for (int i = 0; i < OutcomeCount; ++i) {
        if (r.LyingAtEnd[i] > 0) {
            summary["lying_at_end"][Outcome_Key(static_cast<Outcome>(i))] = r.LyingAtEnd[i];
        }
    }
    return summary.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace sim
