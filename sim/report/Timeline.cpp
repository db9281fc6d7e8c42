// The readable timeline: a line for each thing worth telling, as it happens.
#include <fmt/format.h>

#include "Contract.h"
#include "Overloaded.h"

#include "Report.h"
#include "Text.h"

namespace sim {

namespace {

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

void Timeline::On_Loaded() { std::fprintf(Out, "%s\n\n", Header.c_str()); }

void Timeline::On(const Happening& h)
{
    std::string text;
    const Happened e = h.What();
    const standin::JournalEntry* j = h.Entry();
    if (e == Happened::Spawn) {
        text = fmt::format("enters the game: {}{}{}", Printable(h.Object->Preset),
                           h.Object->IsVehicle ? fmt::format(", mode {}", h.Object->Mode) : std::string(", not a vehicle"),
                           Pose_Text(*h.Pose()));
    } else if (e == Happened::Flip) {
        const std::string pose = Pose_Text(*h.Pose());
        text = "rolls over:" + (pose.empty() ? std::string(" to no roll, pitch or heading at all: upright") : pose);
    } else if (e == Happened::Upright) {
        text = "comes back on its wheels by itself";
    } else if (e == Happened::Destroy) {
        text = "destroyed by the scenario";
    } else if (e == Happened::Invulnerable) {
        text = "turns invulnerable: damage no longer hurts it";
    } else if (e == Happened::Settings || e == Happened::Reload) {
        // A reload keeps no number from before (a key the file lacks takes its default), and the
        // lists only grow: what the plug-in holds now is said with it.
        text = (e == Happened::Settings ? "settings handed to the plug-in from " : "settings reloaded from ") +
               Printable(*h.Settings()) + ": " + Settings_In_Force(h.Held()->Held());
    } else if (e == Happened::LevelLoad) {
        text = "a new level is loaded: every object goes, the clock starts again";
    } else if (e == Happened::GameOver) {
        text = "the game ends";
        Over = true;
    } else if (e == Happened::Skipped) {
        const auto& skipped = std::get<happened::Skipped>(h.Kind);
        std::fprintf(Out, "%s\n",
                     fmt::format("{:9.3f}  {:<16} {} not done: the plug-in had killed it", h.Time, Printable(*skipped.Name),
                                 skipped.Action)
                         .c_str());
        return;
    } else if (j == nullptr || Over) {
        return;
    } else {
        namespace events = standin::events;
        text = std::visit(
            Overloaded{
                [](const events::ScriptAttached& e) -> std::string {
                    return Is_Flip_Kill(e.Script) ? "found flipped by the scan: flip-kill script attached"
                                                  : "found flipped by the scan: rotate-upwards script attached";
                },
                [&](const events::TimerExpired& e) -> std::string {
                    return Is_Flip_Kill(e.Script) ? fmt::format("flip-kill check {}", h.Record != nullptr ? h.Record->Checks : 0)
                                                  : std::string();
                },
                [](const events::Damaged& e) -> std::string {
                    return fmt::format("takes {:g} damage, warhead \"{}\"", e.Amount, Printable(e.Warhead));
                },
                [&](const events::Destroyed&) -> std::string {
                    LastDestroyed = j->Object;
                    return "destroyed";
                },
                [](const events::PositionSet& e) -> std::string {
                    return fmt::format("turned {} degrees about its own X axis and lifted to z = {:g}", TurnStepDegrees,
                                       e.Position.Z);
                },
                [](const events::AttachRefused& e) -> std::string {
                    return fmt::format("asked again to attach {}, which it already carries: refused", Printable(e.Script));
                },
                [&](const events::ScriptDetached& e) -> std::string {
                    // A destroyed object's scripts go with it: no news.
                    if (j->Object == LastDestroyed) {
                        return std::string();
                    }
                    return Is_Flip_Kill(e.Script) ? "found upright: flip-kill script removed itself"
                                                  : "found upright: rotate-upwards script removed itself";
                },
                [](const auto&) { return std::string(); },
            },
            j->Data);
        if (text.empty()) {
            return;
        }
    }
    const std::string who = h.Object != nullptr ? Printable(h.Object->Name) : "";
    std::fprintf(Out, "%s\n", fmt::format("{:9.3f}  {:<16} {}", h.Time, who, text).c_str());
}

}  // namespace sim
