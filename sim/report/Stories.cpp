// The story of each object, and the summary table that tells each one's outcome.
#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "Contract.h"
#include "Overloaded.h"
#include "Report.h"
#include "Text.h"

namespace sim {

namespace {

// Whether a pose lays the vehicle over: its own up axis more than 60 degrees from the world's.
bool Lies_Turned_Over(const Orientation& pose)
{
    const double origin[3] = {0, 0, 0};
    return Transform_Of(pose, origin).Row[2][2] < 0.5f;
}

}  // namespace


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

void Stories::On_Journal(Story& story, const Happening& h)
{
    namespace events = standin::events;
    const double time = h.Time;
    std::visit(Overloaded{
                   [&](const events::ScriptAttached& e) { story.Attached.emplace_back(time, e.Script); },
                   [&](const events::TimerExpired& e) {
                       if (Is_Flip_Kill(e.Script)) {
                           story.Checks.push_back(time);
                       }
                   },
                   [&](const events::TransformSet&) {
                       story.Steps.push_back(time);
                       const bool was_flipped = story.Flipped_Now();
                       Set_Flipped(story, time, h.Record->ReadsFlipped);
                       if (was_flipped && !story.Flipped_Now()) {
                           story.RightedByPlugin.push_back(time);
                       }
                   },
                   [&](const events::PositionSet&) { story.Height = h.Record->Height; },
                   [&](const events::Damaged&) { story.Damaged = time; },
                   [&](const events::Destroyed&) {
                       if (story.Removed < 0) {
                           story.Killed = time;
                           Set_Flipped(story, time, false);
                       }
                   },
                   [](const auto&) {},
               },
               h.Entry()->Data);
}

void Stories::On(const Happening& h)
{
    const Happened e = h.What();
    if (e == Happened::GameOver) {
        Over = true;
    }
    if (Over) {
        return;
    }
    Foretold.On(h);
    if (e == Happened::Reload) {
        ReloadList.emplace_back(h.Time, *h.Settings());
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
        if (h.Record->ReadsFlipped) {
            story.FlippedSpans.emplace_back(h.Time, -1.0);
        } else if (h.Object->IsVehicle && Lies_Turned_Over(*h.Pose())) {
            story.TurnedOverUnread = h.Time;
        }
        List.push_back(story);
        return;
    }
    if (e == Happened::LevelLoad) {
        LevelLoadList.push_back(h.Time);
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
    if (e == Happened::Flip) {
        Set_Flipped(*story, h.Time, h.Record->ReadsFlipped);
        if (!h.Record->ReadsFlipped && story->Info.IsVehicle && story->TurnedOverUnread < 0 && Lies_Turned_Over(*h.Pose())) {
            story->TurnedOverUnread = h.Time;
        }
    } else if (e == Happened::Upright) {
        if (story->Flipped_Now()) {
            story->SelfRecoveries.push_back(h.Time);
        }
        Set_Flipped(*story, h.Time, false);
    } else if (e == Happened::Destroy) {
        story->Removed = h.Time;
        story->RemovedBy = "the scenario";
        Set_Flipped(*story, h.Time, false);
    } else if (h.Entry() != nullptr) {
        On_Journal(*story, h);
    }
}

const char* const NeverReadWords =
    "the plug-in reads only the rotation about the world's Y axis, so a vehicle on its side, or on its nose at some "
    "headings, is never handled";
const char* const LiftedWords =
    "on its nose and listed for turning, a vehicle is lifted at every step and never turned upright";

bool Story::Found_For_Turning() const
{
    return std::any_of(Attached.begin(), Attached.end(),
                       [](const auto& a) { return a.second == ROTATE_UPWARDS_SCRIPT_NAME; });
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
        return Never_Handled() ? "turned over, never read as flipped: never handled" : "never flipped";
    }
    if (!Is_Scanned_Mode(Info.Mode)) {
        return Flipped_Now() ? "ignored (mode 4): still lying flipped" : "ignored (mode 4)";
    }
    if (Damaged >= 0) {
        return fmt::format("survived the kill at {:.2f}: its script is spent, it stays flipped", Damaged);
    }
    if (!RightedByPlugin.empty()) {
        return fmt::format("turned upright by the plug-in at {:.2f} ({} steps)", RightedByPlugin.back(), Steps.size());
    }
    // Still open: what the plug-in has under way comes first, then a recovery, then why it lies.
    OpenFlip flip;
    flip.Exempt = Exempt;
    flip.Turning = Found_For_Turning() || Being_Turned();
    flip.Steps = static_cast<int>(Steps.size());
    flip.BeingChecked = !Attached.empty();
    const sim::Outcome open = Open_Outcome(flip);
    if (Being_Turned()) {
        return open == LiftedWithoutEnd
                   ? fmt::format("still being turned at the end: {} steps, lifted to z = {:g}, never upright", Steps.size(), Height)
                   : fmt::format("being turned upright at the end: {} steps so far, lifted to z = {:g}", Steps.size(), Height);
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
    switch (open) {
    case UnseenExempt: return "left lying: exempt preset";
    case EndNotYetFound: return "flipped, not yet found by a scan";
    case EndBeingTurned:
    case LiftedWithoutEnd: return "found flipped, to be turned upright: no step yet";
    default: return fmt::format("flipped, {} checks so far", Checks.size());
    }
}

void Stories::Print_Summary(std::FILE* out) const
{
    // What an operator must not miss comes first, in the words the random report uses.
    std::string warnings;
    for (const Story& s : List) {
        if (s.Never_Handled()) {
            warnings += Wrapped(fmt::format("  ! {} lies turned over from {:.2f} s but is never read as flipped: {}.",
                                            Printable(s.Info.Name), s.TurnedOverUnread, NeverReadWords),
                                80, "    ");
        }
        if (s.Lifted_Without_End()) {
            warnings += Wrapped(fmt::format("  ! {} is lifted without end ({} steps, to z = {:g}): {}.",
                                            Printable(s.Info.Name), s.Steps.size(), s.Height, LiftedWords),
                                80, "    ");
        }
    }
    if (!warnings.empty()) {
        std::fprintf(out, "\nWarnings:\n%s", warnings.c_str());
    }
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

}  // namespace sim
