#include "Report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Contract.h"
#include "Settings.h"
#include "Text.h"

namespace sim {
namespace {

// What the points' labels say: the key, or for a grid both keys' short labels ("Checks, Period").
std::string Points_Heading(const SweepSpec& spec)
{
    return spec.Key2.empty() ? spec.Key : std::string(Setting_Named(spec.Key)->Label) + ", " + Setting_Named(spec.Key2)->Label;
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

PointFigures Figures_Of(const SweepSpec& spec, const std::vector<RandomResult>& results, std::size_t point);

// The points that meet `target`, and the best of them (or, when none does, the closest) in `best`.
std::vector<std::size_t> Meeting(const SweepSpec& spec, const std::vector<RandomResult>& results, const SweepTarget& target,
                                 std::size_t& best)
{
    const std::string rank = target.Figure == "lying" ? "needless" : "lying";
    std::vector<std::size_t> meeting;
    double distance = HUGE_VAL;
    best = 0;
    for (std::size_t point = 0; point < spec.Points(); ++point) {
        const double value = Figures_Of(spec, results, point).Of(target.Figure);
        if (target.AtMost ? value <= target.Bound : value >= target.Bound) {
            meeting.push_back(point);
        } else if (std::fabs(value - target.Bound) < distance) {
            distance = std::fabs(value - target.Bound);
            best = point;
        }
    }
    for (std::size_t point : meeting) {
        if (point == meeting.front() ||
            Figures_Of(spec, results, point).Of(rank) < Figures_Of(spec, results, best).Of(rank)) {
            best = point;
        }
    }
    return meeting;
}

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
    const auto shortly = [](const std::string& key) { return Setting_Named(key)->Label; };
    const std::string heading = Points_Heading(spec);
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
        std::size_t best = 0;
        const std::vector<std::size_t> meeting = Meeting(spec, results, *target, best);
        const std::string wanted = fmt::format("{}{}{:g}{}", target->Figure, target->AtMost ? "<=" : ">=", target->Bound,
                                               target->Figure == "needless" ? "%" : target->Figure == "lying" ? " s" : "");
        const auto describe = [&](std::size_t point) {
            const PointFigures f = Figures_Of(spec, results, point);
            return fmt::format("{} (needless {:.1f}%, lying {:.2f} s a flip, {:.0f} kills)", Point_Text(spec, point, " "),
                               f.Share(), f.Lying, f.Kills);
        };
        if (meeting.empty()) {
            text += Wrapped(fmt::format("\nTarget {}: no setting swept meets it; the closest is {}.", wanted, describe(best)),
                            80, "  ");
        } else {
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

std::string Sweep_Chart(const SweepSpec& spec, const std::vector<RandomResult>& results, const SweepTarget* target)
{
    constexpr double left = 80, top = 70, plot_w = 720, plot_h = 420, width = left + plot_w + 200, height = top + plot_h + 70;
    std::vector<PointFigures> points;
    double most_lying = 1, most_share = 10;
    for (std::size_t p = 0; p < spec.Points(); ++p) {
        points.push_back(Figures_Of(spec, results, p));
        most_lying = std::max(most_lying, points.back().Lying);
        most_share = std::max(most_share, points.back().Share());
    }
    // Round steps, five or six to an axis.
    const auto round_step = [](double most) {
        return Round_Step(most, 6, {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0}, 1000.0);
    };
    const double lying_step = round_step(most_lying * 1.05);
    most_lying = std::ceil(most_lying * 1.05 / lying_step) * lying_step;
    const double share_step = round_step(std::min(100.0, most_share * 1.05));
    most_share = std::min(100.0, std::ceil(most_share * 1.05 / share_step) * share_step);
    const auto x = [&](double lying) { return left + plot_w * lying / most_lying; };
    const auto y = [&](double share) { return top + plot_h - plot_h * share / most_share; };
    const RandomOptions& o = results.front().Options;
    const std::string keys = spec.Key2.empty() ? spec.Key : spec.Key + " x " + spec.Key2;
    std::string svg = fmt::format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:g}\" height=\"{:g}\" "
                                  "font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n",
                                  width, height);
    svg += fmt::format("<text x=\"{:g}\" y=\"24\" font-size=\"16\">{}</text>\n", left,
                       Xml_Text(fmt::format("Sweep of {}: needless kills against time lying flipped", keys)));
    svg += fmt::format("<text x=\"{:g}\" y=\"44\" fill=\"#555\">{}</text>\n", left,
                       Xml_Text(fmt::format("random match, seed {}{}, {} vehicles, {:g} s; other settings: {}", o.Seed,
                                            spec.Seeds > 1 ? fmt::format(" (+{} more)", spec.Seeds - 1) : std::string(), o.Vehicles,
                                            o.Length, o.SettingsPath.empty() ? "none" : o.SettingsPath)));
    // Axes and their grid.
    svg += fmt::format("<rect x=\"{:g}\" y=\"{:g}\" width=\"{:g}\" height=\"{:g}\" fill=\"none\" stroke=\"#999\"/>\n", left, top,
                       plot_w, plot_h);
    for (double share = 0; share <= most_share + 1e-9; share += share_step) {
        svg += fmt::format("<line x1=\"{:g}\" x2=\"{:g}\" y1=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#eee\"/>"
                           "<text x=\"{:g}\" y=\"{:.1f}\" text-anchor=\"end\">{:g}%</text>\n",
                           left, left + plot_w, y(share), y(share), left - 6, y(share) + 4, share);
    }
    for (double lying = 0; lying <= most_lying + 1e-9; lying += lying_step) {
        svg += fmt::format("<line x1=\"{:.1f}\" x2=\"{:.1f}\" y1=\"{:g}\" y2=\"{:g}\" stroke=\"#eee\"/>"
                           "<text x=\"{:.1f}\" y=\"{:g}\" text-anchor=\"middle\">{:g}</text>\n",
                           x(lying), x(lying), top, top + plot_h, x(lying), top + plot_h + 18, lying);
    }
    svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\" text-anchor=\"middle\">seconds a decided flip lies (mean)</text>\n",
                       left + plot_w / 2, top + plot_h + 40);
    svg += fmt::format("<text transform=\"translate(22 {:g}) rotate(-90)\" text-anchor=\"middle\">kills that would have got up "
                       "alone (% of kills)</text>\n",
                       top + plot_h / 2);
    std::size_t best = spec.Points();
    if (target != nullptr) {
        Meeting(spec, results, *target, best);
        if (target->Figure != "kills") {
            const bool across = target->Figure == "lying";
            const double at = across ? x(std::min(target->Bound, most_lying)) : y(std::min(target->Bound, most_share));
            svg += across ? fmt::format("<line x1=\"{:.1f}\" x2=\"{:.1f}\" y1=\"{:g}\" y2=\"{:g}\" stroke=\"#2e7d32\" "
                                        "stroke-dasharray=\"6 4\"/>\n",
                                        at, at, top, top + plot_h)
                          : fmt::format("<line x1=\"{:g}\" x2=\"{:g}\" y1=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#2e7d32\" "
                                        "stroke-dasharray=\"6 4\"/>\n",
                                        left, left + plot_w, at, at);
        }
    }
    // Points that land on one spot (their kills come at the same times: 2 checks a second apart
    // and 4 half a second apart) share one dot and one label.
    std::map<std::pair<long, long>, std::vector<std::size_t>> spots;
    for (std::size_t p = 0; p < points.size(); ++p) {
        spots[{std::lround(x(points[p].Lying)), std::lround(y(points[p].Share()))}].push_back(p);
    }
    // Each label goes where it covers no label placed before it: right above, right below, left
    // above or left below its dot.
    struct Box
    {
        double X0, Y0, X1, Y1;
    };
    std::vector<Box> placed;
    const auto free_at = [&](const Box& b) {
        return std::none_of(placed.begin(), placed.end(),
                            [&](const Box& o) { return b.X0 < o.X1 && o.X0 < b.X1 && b.Y0 < o.Y1 && o.Y0 < b.Y1; });
    };
    for (const auto& [spot, at] : spots) {
        (void)spot;
        const double px = x(points[at.front()].Lying), py = y(points[at.front()].Share());
        std::string label;
        for (std::size_t p : at) {
            label += (label.empty() ? "" : " / ") + Point_Text(spec, p);
            if (p == best) {
                svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"10\" fill=\"none\" stroke=\"#2e7d32\" "
                                   "stroke-width=\"2\"/>\n",
                                   px, py);
            }
        }
        const double w = Text_Width(label);
        const Box tries[4] = {{px + 7, py - 18, px + 7 + w, py - 4}, {px + 7, py + 4, px + 7 + w, py + 18},
                              {px - 7 - w, py - 18, px - 7, py - 4}, {px - 7 - w, py + 4, px - 7, py + 18}};
        Box where = tries[0];
        for (const Box& b : tries) {
            if (free_at(b)) {
                where = b;
                break;
            }
        }
        placed.push_back(where);
        svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"4\" fill=\"#1e88e5\"/>"
                           "<text x=\"{:.1f}\" y=\"{:.1f}\" fill=\"#333\">{}</text>\n",
                           px, py, where.X0, where.Y1 - 3, Xml_Text(label));
    }
    // The legend.
    const double lx = left + plot_w + 20;
    svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\">labels: {}</text>\n", lx, top + 10,
                       Xml_Text(Points_Heading(spec)));
    if (!spec.Key2.empty()) {
        svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\" fill=\"#555\">{}</text>\n", lx, top + 28,
                           Xml_Text("(first, second setting)"));
    }
    if (target != nullptr) {
        svg += fmt::format("<circle cx=\"{:g}\" cy=\"{:g}\" r=\"8\" fill=\"none\" stroke=\"#2e7d32\" stroke-width=\"2\"/>"
                           "<text x=\"{:g}\" y=\"{:g}\">best for the target</text>\n",
                           lx + 8, top + 56, lx + 22, top + 60);
    }
    svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\" fill=\"#555\">lower left is better:</text>\n", lx, top + 90);
    svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\" fill=\"#555\">fewer needless kills,</text>\n", lx, top + 106);
    svg += fmt::format("<text x=\"{:g}\" y=\"{:g}\" fill=\"#555\">less time lying</text>\n", lx, top + 122);
    return svg + "</svg>\n";
}

}  // namespace sim
