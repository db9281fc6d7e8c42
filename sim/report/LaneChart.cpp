// The scenario chart: a lane per object along the game's time, scans and reloads marked.
#include <algorithm>

#include <fmt/format.h>

#include "Report.h"
#include "Text.h"

namespace sim {

namespace {

// One object's lane, its middle at `y`; `x` maps game time to the chart.
// `text` cut to `most` characters, its end marked.
std::string Cut(const std::string& text, std::size_t most)
{
    return text.size() <= most ? text : text.substr(0, most - 1) + "~";
}

template <class X> void Draw_Lane(const Story& s, double y, double end, X x, std::string& svg)
{
    // What the plug-in makes of the object, in words and in the lane's line: one it never looks at
    // is drawn dashed, one it leaves lying dotted.
    const char* kind = !s.Info.IsVehicle ? "not a vehicle" : !Is_Scanned_Mode(s.Info.Mode) ? "mode 4" : s.Exempt ? "exempt" : "";
    const char* dashes = !s.Info.IsVehicle || !Is_Scanned_Mode(s.Info.Mode) ? " stroke-dasharray=\"8,4\"" : s.Exempt ? " stroke-dasharray=\"2,3\"" : "";
    // The label stays left of the plot (about 6.5 px a character at this size).
    const std::string name = Cut(s.Info.Name, 16);
    const std::string preset = Cut(s.Info.Preset, 30 - std::min<std::size_t>(name.size(), 16));
    svg += fmt::format("<text x=\"10\" y=\"{:.1f}\">{} <tspan fill=\"#888\">{}</tspan><title>{} {}</title></text>\n", y + 4,
                       Xml_Text(name), Xml_Text(preset), Xml_Text(s.Info.Name), Xml_Text(s.Info.Preset));
    if (*kind != '\0') {
        svg += fmt::format("<text x=\"10\" y=\"{:.1f}\" font-size=\"10\" fill=\"#888\">{}: never killed</text>\n", y + 15, kind);
    }
    const double last = s.Killed >= 0 ? s.Killed : s.Removed >= 0 ? s.Removed : end;
    svg += fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#999\"{}/>\n", x(s.Spawned), y,
                       x(last), y, dashes);
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
    // Room below the lanes for the marks' labels (at most one row each) and the legend.
    const double height = top + lane * static_cast<double>(lanes) + 110 +
                          14 * static_cast<double>(std::max<std::size_t>(stories.Reloads().size() + stories.Level_Loads().size(), 1) - 1);
    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text x=\"10\" y=\"22\" font-size=\"16\" font-weight=\"bold\">{}</text>\n",
        label + plot + 30, height, Xml_Text(title));
    // The time axis, with a line every few seconds.
    const double step = Round_Step(end, 20, {1.0, 2.0, 5.0, 10.0, 30.0, 60.0, 120.0, 300.0, 600.0}, 0);
    for (double t = 0; t <= end + 1e-9; t += step) {
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#ddd\"/>"
                           "<text x=\"{0:.1f}\" y=\"{3:.0f}\" text-anchor=\"middle\" fill=\"#666\">{4:g}s</text>\n",
                           x(t), top - 8, top + lane * static_cast<double>(lanes), top - 12, t);
    }
    // Scan lines closer than 4 px would turn to haze: then one line says how often they came.
    const std::vector<double> scans = stories.Scan_Times();
    const double bottom = top + lane * static_cast<double>(lanes);
    if (scans.size() > 1 && plot * (scans.back() - scans.front()) / end / static_cast<double>(scans.size() - 1) < 4) {
        svg += fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" fill=\"#7e57c2\">{} scans, about one every {:.2g} s: too close "
                           "to draw</text>\n",
                           label, top - 26, scans.size(), (scans.back() - scans.front()) / static_cast<double>(scans.size() - 1));
    } else {
        for (double t : scans) {
            svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" stroke=\"#7e57c2\" "
                               "stroke-opacity=\"0.35\" stroke-dasharray=\"3,3\"/>\n",
                               x(t), top - 4, bottom);
        }
    }
    // Reloads and level loads, each labelled by its file's name under the lanes, a row lower
    // when the label before would be overlapped.
    struct Mark
    {
        double Time;
        std::string Text;
        const char* Style;
    };
    std::vector<Mark> marks;
    for (const auto& [t, file] : stories.Reloads()) {
        marks.push_back({t, "reload: " + File_Name(file), "stroke=\"#000\" stroke-dasharray=\"6,3\""});
    }
    for (double t : stories.Level_Loads()) {
        marks.push_back({t, "level load", "stroke=\"#555\" stroke-width=\"3\""});
    }
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.Time < b.Time; });
    LabelRows rows;
    for (const Mark& m : marks) {
        const std::size_t row = rows.Place(x(m.Time), x(m.Time) + 4 + Text_Width(m.Text));
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1:.0f}\" x2=\"{0:.1f}\" y2=\"{2:.0f}\" {3}/><text x=\"{4:.1f}\" "
                           "y=\"{5:.0f}\">{6}</text>\n",
                           x(m.Time), top - 4, bottom, m.Style, x(m.Time) + 4,
                           bottom + 14 + 14 * static_cast<double>(row), Xml_Text(m.Text));
    }
    const double label_rows = static_cast<double>(std::max<std::size_t>(rows.Count(), 1));
    for (std::size_t i = 0; i < lanes; ++i) {
        Draw_Lane(stories.All()[i], top + lane * static_cast<double>(i) + lane / 2, end, x, svg);
    }
    const double ly = top + lane * static_cast<double>(lanes) + 26 + 14 * label_rows;
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
        "<path d=\"M0,14 l10,10 m0,-10 l-10,10\" stroke=\"#777\" stroke-width=\"2\"/><text x=\"16\" y=\"24\">removed by the "
        "scenario or a level load</text>"
        "<line x1=\"250\" y1=\"19\" x2=\"280\" y2=\"19\" stroke=\"#999\" stroke-dasharray=\"8,4\"/><text x=\"286\" y=\"24\">"
        "never looked at (mode 4, not a vehicle)</text>"
        "<line x1=\"520\" y1=\"19\" x2=\"550\" y2=\"19\" stroke=\"#999\" stroke-dasharray=\"2,3\"/><text x=\"556\" y=\"24\">"
        "exempt: left lying</text>"
        "</g>\n</svg>\n",
        ly);
    return svg;
}

}  // namespace sim
