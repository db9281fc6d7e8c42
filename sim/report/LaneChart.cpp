// The scenario chart: a lane per object along the game's time, scans and reloads marked.
#include <algorithm>

#include <fmt/format.h>

#include "Report.h"
#include "Text.h"

namespace sim {

namespace {

// One object's lane, its middle at `y`; `x` maps game time to the chart.
template <class X> void Draw_Lane(const Story& s, double y, double end, X x, std::string& svg)
{
    svg += fmt::format("<text x=\"10\" y=\"{:.1f}\">{} <tspan fill=\"#888\">{}</tspan></text>\n", y + 4,
                       Xml_Text(s.Info.Name), Xml_Text(s.Info.Preset));
    const double last = s.Killed >= 0 ? s.Killed : s.Removed >= 0 ? s.Removed : end;
    svg += fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#999\"/>\n", x(s.Spawned), y,
                       x(last), y);
    for (const auto& [from, to] : s.FlippedSpans) {
        const double until = to < 0 ? last : to;
        svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"14\" fill=\"#e53935\" fill-opacity=\"0.3\"/>\n",
                           x(from), y - 7, std::max(1.0, x(until) - x(from)));
    }
    for (const auto& [t, script] : s.Attached) {
        const char* colour = Is_Flip_Kill(script.c_str()) ? "#ef6c00" : "#1e88e5";
        svg += fmt::format("<path d=\"M{0:.1f},{1:.1f} l-5,-9 h10 z\" fill=\"{2}\"/>\n", x(t), y - 7, colour);
    }
    for (double t : s.Checks) {
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{0:.1f}\" y2=\"{2:.1f}\" stroke=\"#333\" stroke-width=\"2\"/>\n",
                           x(t), y - 7, y + 7);
    }
    for (double t : s.Steps) {
        svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3\" fill=\"#1e88e5\"/>\n", x(t), y);
    }
    for (double t : s.SelfRecoveries) {
        svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"6\" fill=\"none\" stroke=\"#43a047\" stroke-width=\"2.5\"/>\n", x(t), y);
    }
    for (double t : s.RightedByPlugin) {
        svg += fmt::format("<path d=\"M{0:.1f},{1:.1f} l6,7 l-6,7 l-6,-7 z\" fill=\"#43a047\"/>\n", x(t), y - 7);
    }
    if (s.Killed >= 0 || s.Damaged >= 0) {
        const double t = s.Killed >= 0 ? s.Killed : s.Damaged;
        const char* colour = s.Killed >= 0 ? "#c62828" : "#f9a825";
        svg += fmt::format("<path d=\"M{0:.1f},{1:.1f} l12,12 m0,-12 l-12,12\" stroke=\"{2}\" stroke-width=\"3\"/>\n", x(t) - 6,
                           y - 6, colour);
    }
    if (s.Removed >= 0) {
        svg += fmt::format("<path d=\"M{0:.1f},{1:.1f} l10,10 m0,-10 l-10,10\" stroke=\"#777\" stroke-width=\"2\"/>\n",
                           x(s.Removed) - 5, y - 5);
    }
}

}  // namespace

std::string Svg_Chart(const Stories& stories, const std::string& title)
{
    const double label = 230, plot = 900, lane = 34, top = 60;
    const double end = std::max(stories.End_Time(), 1.0);
    const auto x = [&](double t) { return label + plot * t / end; };
    const std::size_t lanes = stories.All().size();
    const double height = top + lane * static_cast<double>(lanes) + 90;
    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text x=\"10\" y=\"22\" font-size=\"16\" font-weight=\"bold\">{}</text>\n",
        label + plot + 30, height, Xml_Text(title));
    // The time axis, with a line every few seconds.
    double step = 1;
    for (double s : {1.0, 2.0, 5.0, 10.0, 30.0, 60.0, 120.0, 300.0, 600.0}) {
        step = s;
        if (end / s <= 20) {
            break;
        }
    }
    for (double t = 0; t <= end + 1e-9; t += step) {
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#ddd\"/>"
                           "<text x=\"{0:.1f}\" y=\"{3:.0f}\" text-anchor=\"middle\" fill=\"#666\">{4:g}s</text>\n",
                           x(t), top - 8, top + lane * static_cast<double>(lanes), top - 12, t);
    }
    for (double t : stories.Scan_Times()) {
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#7e57c2\" "
                           "stroke-opacity=\"0.35\" stroke-dasharray=\"3,3\"/>\n",
                           x(t), top - 4, top + lane * static_cast<double>(lanes));
    }
    for (const auto& [t, file] : stories.Reloads()) {
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#000\" "
                           "stroke-dasharray=\"6,3\"/><text x=\"{3:.1f}\" y=\"{4:.0f}\">reload: {5}</text>\n",
                           x(t), top - 4, top + lane * static_cast<double>(lanes), x(t) + 4, top + lane * static_cast<double>(lanes) + 14,
                           Xml_Text(file));
    }
    for (std::size_t i = 0; i < lanes; ++i) {
        Draw_Lane(stories.All()[i], top + lane * static_cast<double>(i) + lane / 2, end, x, svg);
    }
    const double ly = top + lane * static_cast<double>(lanes) + 40;
    svg += fmt::format(
        "<g transform=\"translate(10,{:.0f})\">"
        "<rect x=\"0\" y=\"-10\" width=\"24\" height=\"14\" fill=\"#e53935\" fill-opacity=\"0.3\"/><text x=\"30\" y=\"2\">flipped</text>"
        "<path d=\"M110,-3 l-5,-9 h10 z\" fill=\"#ef6c00\"/><text x=\"122\" y=\"2\">flip-kill attached</text>"
        "<path d=\"M250,-3 l-5,-9 h10 z\" fill=\"#1e88e5\"/><text x=\"262\" y=\"2\">rotate attached</text>"
        "<line x1=\"385\" y1=\"-10\" x2=\"385\" y2=\"4\" stroke=\"#333\" stroke-width=\"2\"/><text x=\"393\" y=\"2\">check</text>"
        "<circle cx=\"450\" cy=\"-3\" r=\"3\" fill=\"#1e88e5\"/><text x=\"458\" y=\"2\">rotation step</text>"
        "<path d=\"M550,-9 l12,12 m0,-12 l-12,12\" stroke=\"#c62828\" stroke-width=\"3\"/><text x=\"568\" y=\"2\">killed</text>"
        "<path d=\"M620,-9 l12,12 m0,-12 l-12,12\" stroke=\"#f9a825\" stroke-width=\"3\"/><text x=\"638\" y=\"2\">survived the kill</text>"
        "<circle cx=\"760\" cy=\"-3\" r=\"6\" fill=\"none\" stroke=\"#43a047\" stroke-width=\"2.5\"/><text x=\"770\" y=\"2\">recovered alone</text>"
        "<path d=\"M885,-10 l6,7 l-6,7 l-6,-7 z\" fill=\"#43a047\"/><text x=\"895\" y=\"2\">turned upright</text>"
        "<line x1=\"1000\" y1=\"-10\" x2=\"1000\" y2=\"4\" stroke=\"#7e57c2\" stroke-opacity=\"0.6\" stroke-dasharray=\"3,3\"/>"
        "<text x=\"1008\" y=\"2\">scan</text>"
        "</g>\n</svg>\n",
        ly);
    return svg;
}

}  // namespace sim
