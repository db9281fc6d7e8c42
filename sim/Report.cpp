#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Contract.h"
#include "Text.h"

namespace sim {
namespace {

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool Is_Flip_Kill(const char* script) { return script != nullptr && Is(script, FLIP_KILL_SCRIPT_NAME); }

std::string Pose_Text(const Orientation& p)
{
    std::string out;
    if (p.Roll != 0) {
        out += fmt::format(" roll {:g}", p.Roll);
    }
    if (p.Pitch != 0) {
        out += fmt::format(" pitch {:g}", p.Pitch);
    }
    if (p.Yaw != 0) {
        out += fmt::format(" heading {:g}", p.Yaw);
    }
    return out;
}

}  // namespace

// --- Timeline ---

void Timeline::On(const Happening& h)
{
    std::string text;
    const Happened e = h.What;
    const standin::JournalEntry* j = h.Entry;
    if (e == Happened::Spawn) {
        text = fmt::format("enters the game: {}{}{}", Printable(h.Object->Preset),
                           h.Object->IsVehicle ? fmt::format(", mode {}", h.Object->Mode) : std::string(", not a vehicle"),
                           Pose_Text(*h.Pose));
    } else if (e == Happened::Flip) {
        text = "rolls over:" + Pose_Text(*h.Pose);
    } else if (e == Happened::Upright) {
        text = "comes back on its wheels by itself";
    } else if (e == Happened::Destroy) {
        text = "destroyed by the scenario";
    } else if (e == Happened::Invulnerable) {
        text = "turns invulnerable: damage no longer hurts it";
    } else if (e == Happened::Settings) {
        text = "settings handed to the plug-in from " + Printable(*h.Settings);
    } else if (e == Happened::Reload) {
        text = "settings reloaded from " + Printable(*h.Settings);
    } else if (e == Happened::LevelLoad) {
        text = "a new level is loaded: every object goes, the clock starts again";
    } else if (e == Happened::GameOver) {
        text = "the game ends";
        Over = true;
    } else if (j == nullptr || Over) {
        return;
    } else if (j->What == standin::Event::ScriptAttached) {
        Checks[j->Object] = 0;
        text = Is_Flip_Kill(j->Script) ? "found flipped by the scan: flip-kill script attached"
                                       : "found flipped by the scan: rotate-upwards script attached";
    } else if (j->What == standin::Event::TimerExpired && Is_Flip_Kill(j->Script)) {
        text = fmt::format("flip-kill check {}", ++Checks[j->Object]);
    } else if (j->What == standin::Event::Damaged) {
        text = fmt::format("takes {:g} damage, warhead \"{}\"", j->Amount, Printable(j->Warhead));
    } else if (j->What == standin::Event::Destroyed) {
        LastDestroyed = j->Object;
        text = "destroyed";
    } else if (j->What == standin::Event::PositionSet) {
        text = fmt::format("turned 25 degrees about its own X axis and lifted to z = {:g}", j->Position.Z);
    } else if (j->What == standin::Event::AttachRefused) {
        text = fmt::format("asked again to attach {}, which it already carries: refused", Printable(j->Script));
    } else if (j->What == standin::Event::ScriptDetached && j->Object != LastDestroyed) {
        text = Is_Flip_Kill(j->Script) ? "found upright: flip-kill script removed itself"
                                       : "found upright: rotate-upwards script removed itself";
    } else {
        return;
    }
    const std::string who = h.Object != nullptr ? Printable(h.Object->Name) : "";
    std::fprintf(Out, "%s\n", fmt::format("{:9.3f}  {:<16} {}", h.Time, who, text).c_str());
}

// --- JSON lines ---

void JsonLines::On(const Happening& h)
{
    using nlohmann::json;
    json line;
    line["time"] = h.Time;
    line["tick"] = h.Tick;
    line["event"] = h.Event;
    line["source"] = h.Entry != nullptr ? "journal" : "scenario";
    if (h.Object != nullptr) {
        line["vehicle"] = h.Object->Name;
        line["preset"] = h.Object->Preset;
        Names[h.Object->Id] = h.Object->Name;
    }
    if (h.Pose != nullptr) {
        line["roll"] = h.Pose->Roll;
        line["pitch"] = h.Pose->Pitch;
        line["yaw"] = h.Pose->Yaw;
    }
    if (h.Settings != nullptr) {
        line["settings"] = *h.Settings;
    }
    if (h.What == Happened::Spawn) {
        line["is_vehicle"] = h.Object->IsVehicle;
        line["mode"] = h.Object->Mode;
    }
    if (const standin::JournalEntry* j = h.Entry) {
        if (j->Script != nullptr) {
            line["script"] = j->Script;
        }
        switch (j->What) {
        case standin::Event::Subscribed:
        case standin::Event::Unsubscribed: line["event_type"] = j->Number; break;
        case standin::Event::TimerStarted:
            line["period"] = j->Period;
            line["number"] = j->Number;
            break;
        case standin::Event::TimerExpired: line["number"] = j->Number; break;
        case standin::Event::Damaged: {
            line["amount"] = j->Amount;
            line["warhead"] = j->Warhead;
            const auto damager = Names.find(j->Damager);
            line["damager"] = damager != Names.end() ? json(damager->second) : json(nullptr);
            break;
        }
        case standin::Event::TransformSet: {
            json rows = json::array();
            for (const auto& row : j->Transform.Row) {
                rows.push_back({row[0], row[1], row[2], row[3]});
            }
            line["transform"] = rows;
            break;
        }
        case standin::Event::PositionSet: line["position"] = {j->Position.X, j->Position.Y, j->Position.Z}; break;
        default: break;
        }
        if (j->What == standin::Event::Destroyed) {
            Names.erase(j->Object);
        }
    }
    // Names and paths are bytes, not always UTF-8 (Latin-1 preset names are real): a byte that is
    // not part of valid UTF-8 is written as U+FFFD, so every line stays valid JSON.
    std::fprintf(Out, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

// --- Stories ---

Story* Stories::Find(const Happening& h)
{
    if (h.Object == nullptr) {
        return nullptr;
    }
    const auto found = ById.find(h.Object->Id);
    return found != ById.end() ? &List[found->second] : nullptr;
}

void Stories::Set_Flipped(Story& story, double time, bool flipped)
{
    if (flipped && !story.Flipped_Now()) {
        story.FlippedSpans.emplace_back(time, -1.0);
    } else if (!flipped && story.Flipped_Now()) {
        story.FlippedSpans.back().second = time;
    }
}

void Stories::On(const Happening& h)
{
    const Happened e = h.What;
    if (e == Happened::GameOver) {
        Over = true;
    }
    if (Over) {
        return;
    }
    Foretold.On(h);
    if (e == Happened::Reload) {
        ReloadList.emplace_back(h.Time, *h.Settings);
    }
    if (e == Happened::Settings || e == Happened::Reload) {
        // The lists only grow, and a later settings event can exempt a vehicle already in play.
        for (Story& story : List) {
            story.Exempt = story.Exempt || Foretold.Settings_Now().Is_Exempt(story.Info.Preset);
        }
        return;
    }
    if (e == Happened::Spawn) {
        ById[h.Object->Id] = List.size();
        Story story;
        story.Info = *h.Object;
        story.Spawned = h.Time;
        story.Exempt = Foretold.Settings_Now().Is_Exempt(h.Object->Preset);
        story.Rotated = Foretold.Turned_Upright(*h.Object);
        const double origin[3] = {0, 0, 0};
        if (Reads_Flipped(Transform_Of(*h.Pose, origin))) {
            story.FlippedSpans.emplace_back(h.Time, -1.0);
        }
        List.push_back(story);
        return;
    }
    if (e == Happened::LevelLoad) {
        for (Story& story : List) {
            if (story.Removed < 0 && story.Killed < 0) {
                story.Removed = h.Time;
                story.RemovedBy = "the level load";
                Set_Flipped(story, h.Time, false);
            }
        }
        return;
    }
    Story* story = Find(h);
    if (story == nullptr) {
        return;
    }
    const double origin[3] = {0, 0, 0};
    if (e == Happened::Flip) {
        Set_Flipped(*story, h.Time, Reads_Flipped(Transform_Of(*h.Pose, origin)));
    } else if (e == Happened::Upright) {
        if (story->Flipped_Now()) {
            story->SelfRecoveries.push_back(h.Time);
        }
        Set_Flipped(*story, h.Time, false);
    } else if (e == Happened::Destroy) {
        story->Removed = h.Time;
        story->RemovedBy = "the scenario";
        Set_Flipped(*story, h.Time, false);
    } else if (const standin::JournalEntry* j = h.Entry) {
        switch (j->What) {
        case standin::Event::ScriptAttached: story->Attached.emplace_back(h.Time, j->Script); break;
        case standin::Event::TimerExpired:
            if (Is_Flip_Kill(j->Script)) {
                story->Checks.push_back(h.Time);
            }
            break;
        case standin::Event::TransformSet: {
            story->Steps.push_back(h.Time);
            const bool was_flipped = story->Flipped_Now();
            Set_Flipped(*story, h.Time, Reads_Flipped(j->Transform));
            if (was_flipped && !story->Flipped_Now()) {
                story->RightedByPlugin.push_back(h.Time);
            }
            break;
        }
        case standin::Event::PositionSet: story->Height = j->Position.Z; break;
        case standin::Event::Damaged: story->Damaged = h.Time; break;
        case standin::Event::Destroyed:
            if (story->Removed < 0) {
                story->Killed = h.Time;
                Set_Flipped(*story, h.Time, false);
            }
            break;
        default: break;
        }
    }
}

std::string Story::Outcome() const
{
    if (!Info.IsVehicle) {
        return "not a vehicle: never looked at";
    }
    if (Killed >= 0) {
        return fmt::format("killed at {:.2f} after {} checks", Killed, Checks.size());
    }
    if (Removed >= 0 && FlippedSpans.empty()) {
        return fmt::format("removed by {} at {:.2f}", RemovedBy, Removed);
    }
    if (FlippedSpans.empty()) {
        return "never flipped";
    }
    if (Info.Mode == ExemptVehicleMode) {
        return Flipped_Now() ? "ignored (mode 4): still lying flipped" : "ignored (mode 4)";
    }
    if (Damaged >= 0) {
        return fmt::format("survived the kill at {:.2f}: its script is spent, it stays flipped", Damaged);
    }
    if (!RightedByPlugin.empty()) {
        return fmt::format("turned upright by the plug-in at {:.2f} ({} steps)", RightedByPlugin.back(), Steps.size());
    }
    if (Flipped_Now() && !Steps.empty()) {
        return fmt::format("still being turned at the end: {} steps, lifted to z = {:g}, never upright", Steps.size(), Height);
    }
    if (!SelfRecoveries.empty()) {
        const double up = SelfRecoveries.back();
        const auto before = std::count_if(Checks.begin(), Checks.end(), [&](double t) { return t <= up; });
        return fmt::format("recovered by itself at {:.2f}{}", up,
                           Attached.empty() ? "" : fmt::format(", after {} flipped checks", before));
    }
    if (Removed >= 0) {
        return fmt::format("removed by {} at {:.2f}", RemovedBy, Removed);
    }
    if (Exempt) {
        return "left lying: exempt preset";
    }
    if (Attached.empty()) {
        return "flipped, not yet found by a scan";
    }
    return fmt::format("flipped, {} checks so far", Checks.size());
}

void Stories::Print_Summary(std::FILE* out) const
{
    std::fprintf(out, "\n%s\n", fmt::format("{:<16} {:<20} {:>4}  {:>8}  {:>8}  {}", "Vehicle", "Preset", "Mode",
                                             "Flipped", "Found", "Outcome").c_str());
    for (const Story& s : List) {
        const std::string flipped = s.FlippedSpans.empty() ? "-" : fmt::format("{:.2f}", s.FlippedSpans.front().first);
        const std::string found = s.Attached.empty() ? "-" : fmt::format("{:.2f}", s.Attached.front().first);
        const std::string mode = s.Info.IsVehicle ? std::to_string(s.Info.Mode) : "-";
        std::fprintf(out, "%s\n", fmt::format("{:<16} {:<20} {:>4}  {:>8}  {:>8}  {}", Printable(s.Info.Name),
                                             Printable(s.Info.Preset), mode,
                                             flipped, found, s.Outcome()).c_str());
    }
}

// --- The chart ---

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
        const Story& s = stories.All()[i];
        const double y = top + lane * static_cast<double>(i) + lane / 2;
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
