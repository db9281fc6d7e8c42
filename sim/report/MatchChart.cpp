// The chart of a random match: what it draws does not grow with the number of vehicles, only
// with the number of outcomes, so ten thousand vehicles read as well as ten.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <fmt/format.h>

#include "Random.h"
#include "Text.h"

namespace sim {
namespace {

const char* const Colours[OutcomeCount] = {"#c62828", "#f48fb1", "#1e88e5", "#43a047", "#9e9e9e", "#ffb300",
                                           "#8d6e63", "#7e57c2", "#ef6c00", "#64b5f6", "#bdbdbd"};

constexpr double Left = 70, Plot = 880, Width = Left + Plot + 50;

// A round step of time that cuts `span` seconds into at most `most` pieces.
double Time_Step(double span, double most)
{
    return Round_Step(span, most,
                      {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0, 14400.0, 43200.0,
                       86400.0},
                      86400.0);
}

double Nice_Ceiling(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(std::max(value, 1.0))));
    for (double m : {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0}) {
        if (m * power >= value) {
            return m * power;
        }
    }
    return 10 * power;
}

// Decided flips per time bin, stacked by outcome; reloads as labelled lines. Returns its height.
double Over_Time(const RandomResult& r, double top, std::string& svg)
{
    const double height = 260;
    const double length = std::max(r.Options.Length, 1.0);
    const double bin = Time_Step(length, 60);
    const auto bins = static_cast<std::size_t>(std::ceil(length / bin));
    std::vector<std::array<std::int64_t, OutcomeCount>> counts(bins, std::array<std::int64_t, OutcomeCount>{});
    for (const Decided& d : r.Timeline) {
        const auto b = std::min(bins - 1, static_cast<std::size_t>(static_cast<double>(d.Tick) / r.Options.Rate / bin));
        ++counts[b][d.What];
    }
    std::int64_t highest = 1;
    for (const auto& c : counts) {
        std::int64_t sum = 0;
        for (std::int64_t n : c) {
            sum += n;
        }
        highest = std::max(highest, sum);
    }
    const double ceiling = Nice_Ceiling(static_cast<double>(highest));
    const auto x = [&](double t) { return Left + Plot * t / length; };
    const auto y = [&](double n) { return top + height - height * n / ceiling; };
    svg += fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-weight=\"bold\">Flips decided in each {:g} s, by outcome</text>\n",
                       Left, top - 12, bin);
    for (int i = 0; i <= 4; ++i) {
        const double n = ceiling * i / 4;
        svg += fmt::format("<line x1=\"{0:.0f}\" y1=\"{1:.1f}\" x2=\"{2:.0f}\" y2=\"{1:.1f}\" stroke=\"#e0e0e0\"/>"
                           "<text x=\"{3:.0f}\" y=\"{4:.1f}\" text-anchor=\"end\" fill=\"#666\">{5:g}</text>\n",
                           Left, y(n), Left + Plot, Left - 6, y(n) + 4, n);
    }
    const double bar = Plot * bin / length;
    for (std::size_t b = 0; b < bins; ++b) {
        double base = 0;
        for (int o = 0; o < OutcomeCount; ++o) {
            const auto n = static_cast<double>(counts[b][static_cast<std::size_t>(o)]);
            if (n > 0) {
                svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"{}\"/>\n",
                                   x(static_cast<double>(b) * bin) + 0.5, y(base + n), std::max(bar - 1, 0.5),
                                   y(base) - y(base + n), Colours[o]);
            }
            base += n;
        }
    }
    const double step = Time_Step(length, 10);
    for (double t = 0; t <= length + 1e-9; t += step) {
        svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.0f}\" text-anchor=\"middle\" fill=\"#666\">{:g} s</text>\n", x(t),
                           top + height + 16, t);
    }
    svg += fmt::format("<line x1=\"{0:.0f}\" y1=\"{1:.0f}\" x2=\"{2:.0f}\" y2=\"{1:.0f}\" stroke=\"#333\"/>\n", Left,
                       top + height, Left + Plot);
    // Each reload labelled by its file's name, a row lower when the label before would be overlapped.
    LabelRows rows;
    for (const TimedSettings& change : r.Changes) {
        const std::string text = "reload: " + File_Name(change.Path);
        const std::size_t row = rows.Place(x(change.Time), x(change.Time) + 4 + Text_Width(text));
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#000\" "
                           "stroke-dasharray=\"6,3\"/><text x=\"{3:.1f}\" y=\"{4:.0f}\" fill=\"#000\">{5}<title>{6}</title></text>\n",
                           x(change.Time), top - 4, top + height, x(change.Time) + 4, top + 8 + 14 * static_cast<double>(row),
                           Xml_Text(text), Xml_Text(change.Path));
    }
    return height + 30;
}

// One row per outcome: the spread of times from the flip to it, on a logarithmic axis.
double Spread(const RandomResult& r, double top, std::string& svg)
{
    const int rate = r.Options.Rate;
    const double row = 24;
    const double label = 300;
    const double plot = Width - label - 40;
    std::int64_t longest = 1;
    for (const Distribution& d : r.Outcomes) {
        longest = std::max(longest, d.Max());
    }
    // The axis runs to the decade above the longest time, so its last label is beyond every box.
    const double low = std::log10(0.1), high = std::ceil(std::log10(std::max(static_cast<double>(longest) / rate, 1.0)) + 1e-9);
    const auto x = [&](std::int64_t ticks) {
        const double seconds = std::max(static_cast<double>(ticks) / rate, 0.1);
        return label + plot * (std::log10(seconds) - low) / (high - low);
    };
    svg += fmt::format("<text x=\"10\" y=\"{:.0f}\" font-weight=\"bold\">Seconds from the flip to its outcome "
                       "(whiskers: min to max; box: 10% to 90%; bar: median)</text>\n",
                       top - 12);
    double y = top;
    for (int o = 0; o < OutcomeCount; ++o) {
        const Distribution& d = r.Outcomes[o];
        if (d.Count == 0) {
            continue;
        }
        const double mid = y + row / 2;
        svg += fmt::format("<rect x=\"10\" y=\"{:.1f}\" width=\"12\" height=\"12\" fill=\"{}\"/>"
                           "<text x=\"28\" y=\"{:.1f}\">{} <tspan fill=\"#666\">{}</tspan></text>\n",
                           mid - 6, Colours[o], mid + 4, Xml_Text(Outcome_Label(static_cast<Outcome>(o))), d.Count);
        svg += fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#555\"/>\n", x(d.Min()), mid,
                           x(d.Max()), mid);
        const double from = x(d.Quantile(0.1)), to = x(d.Quantile(0.9));
        svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"12\" fill=\"{}\" stroke=\"#333\"/>\n",
                           from, mid - 6, std::max(to - from, 1.5), Colours[o]);
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{0:.1f}\" y2=\"{2:.1f}\" stroke=\"#000\" stroke-width=\"2.5\"/>\n",
                           x(d.Quantile(0.5)), mid - 8, mid + 8);
        y += row;
    }
    for (double decade = 0.1; std::log10(decade) <= high + 1e-9; decade *= 10) {
        const double at = x(static_cast<std::int64_t>(std::llround(decade * rate)));
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#e0e0e0\"/>"
                           "<text x=\"{0:.1f}\" y=\"{3:.0f}\" text-anchor=\"middle\" fill=\"#666\">{4:g} s</text>\n",
                           at, top, y, y + 16, decade);
    }
    return y - top + 40;
}

}  // namespace

std::string Match_Chart(const RandomResult& r, const std::string& title)
{
    std::string body;
    double top = 70;
    top += Over_Time(r, top, body) + 40;
    std::int64_t at_end = 0;
    for (int n : r.LyingAtEnd) {
        at_end += n;
    }
    body += fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" fill=\"#666\">Not drawn above: {} flips still open at the end "
                        "(their rows below run to the end).</text>\n",
                        Left, top - 36, at_end);
    top += Spread(r, top + 30, body) + 30;
    for (const char* note : {"[1] it righted itself and flipped again between two checks: the script that came for the "
                             "flip before counted on.",
                             "[2] on its nose: the flip test reads the rotation about the world's Y axis, so it depends on "
                             "the heading.",
                             "[3] on its nose and listed for turning: turning about its own length axis never rights it.",
                             "[4] the plug-in stops turning once the flip test reads upright, the vehicle still tilted."}) {
        body += fmt::format("<text x=\"10\" y=\"{:.0f}\" fill=\"#444\">{}</text>\n", top, Xml_Text(note));
        top += 16;
    }
    top += 10;
    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text x=\"10\" y=\"22\" font-size=\"16\" font-weight=\"bold\">{}</text>\n"
        "<text x=\"10\" y=\"40\" fill=\"#444\">{} vehicles, {} flips, {:g} s of game; {} kills, {:.1f}% of them needless (the "
        "vehicle would soon have got up alone)</text>\n",
        Width, top, Xml_Text(title), r.Options.Vehicles, r.Flips, r.Options.Length, r.Kills(), r.Needless_Kill_Percent());
    return svg + body + "</svg>\n";
}

}  // namespace sim
