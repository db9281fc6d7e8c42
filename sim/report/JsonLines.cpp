// One JSON object per line for every journal event and every action of the simulator.
#include <cmath>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Overloaded.h"
#include "Report.h"

namespace sim {

namespace {

// The host's name for an event a plug-in subscribes to, as the JSON tells it.
const char* Event_Type_Name(int type)
{
    switch (type) {
    case EVENT_GLOBAL_SETTINGS: return "global-settings";
    case EVENT_LEVEL_LOADED: return "level-loaded";
    case EVENT_TICK: return "tick";
    default: return "unknown";
    }
}

}  // namespace

void JsonLines::On(const Happening& h)
{
    using nlohmann::json;
    json line;
    line["time"] = h.Time;
    line["tick"] = h.Tick;
    line["event"] = h.Event;
    line["source"] = h.Entry() != nullptr ? "journal" : "scenario";
    if (h.Object != nullptr) {
        line["vehicle"] = h.Object->Name;
        line["preset"] = h.Object->Preset;
        Names[h.Object->Id] = h.Object->Name;
    }
    if (h.Pose() != nullptr) {
        line["roll"] = h.Pose()->Roll;
        line["pitch"] = h.Pose()->Pitch;
        line["yaw"] = h.Pose()->Yaw;
    }
    if (h.Settings() != nullptr) {
        line["settings"] = *h.Settings();
    }
    if (const auto* skipped = std::get_if<happened::Skipped>(&h.Kind)) {
        line["vehicle"] = *skipped->Name;
        line["action"] = skipped->Action;
    }
    if (h.What() == Happened::Spawn) {
        line["is_vehicle"] = h.Object->IsVehicle;
        line["mode"] = h.Object->Mode;
    }
    if (const standin::JournalEntry* j = h.Entry()) {
        namespace events = standin::events;
        if (const char* script = j->Script()) {
            line["script"] = script;
        }
        // Each kind writes what it carries.
        std::visit(Overloaded{
                       [&](const events::Subscribed& e) {
                           line["event_type"] = e.EventType;
                           line["event_type_name"] = Event_Type_Name(e.EventType);
                       },
                       [&](const events::Unsubscribed& e) {
                           line["event_type"] = e.EventType;
                           line["event_type_name"] = Event_Type_Name(e.EventType);
                       },
                       [&](const events::TimerStarted& e) {
                           // JSON has no NaN or infinity: null is a period that never ends, and
                           // the text says what the rest are, each of which ends at the next tick.
                           line["period"] = std::isfinite(e.Period) ? json(e.Period)
                                            : e.Period > 0          ? json(nullptr)
                                                                    : json(std::isnan(e.Period) ? "NaN" : "-Infinity");
                           line["number"] = e.Number;
                       },
                       [&](const events::TimerExpired& e) { line["number"] = e.Number; },
                       [&](const events::Damaged& e) {
                           line["amount"] = e.Amount;
                           line["warhead"] = e.Warhead;
                           const auto damager = Names.find(e.Damager);
                           line["damager"] = damager != Names.end() ? json(damager->second) : json(nullptr);
                       },
                       [&](const events::TransformSet& e) {
                           json rows = json::array();
                           for (const auto& row : e.Transform.Row) {
                               rows.push_back({row[0], row[1], row[2], row[3]});
                           }
                           line["transform"] = rows;
                       },
                       [&](const events::PositionSet& e) { line["position"] = {e.Position.X, e.Position.Y, e.Position.Z}; },
                       [&](const events::Destroyed&) { Names.erase(j->Object); },
                       [](const auto&) {},
                   },
                   j->Data);
    }
    // Names and paths are bytes, not always UTF-8 (Latin-1 preset names are real): a byte that is
    // not part of valid UTF-8 is written as U+FFFD, so every line stays valid JSON.
    std::fprintf(Out, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

void JsonLines::Outcomes(const Stories& stories, int rate)
{
    using nlohmann::json;
    const auto at = [](const std::vector<double>& times) { return times.empty() ? json(nullptr) : json(times.front()); };
    for (const Story& s : stories.All()) {
        json line;
        line["time"] = stories.End_Time();
        line["tick"] = static_cast<std::int64_t>(std::llround(stories.End_Time() * rate));
        line["event"] = "outcome";
        line["source"] = "summary";
        line["vehicle"] = s.Info.Name;
        line["preset"] = s.Info.Preset;
        line["is_vehicle"] = s.Info.IsVehicle;
        line["mode"] = s.Info.Mode;
        line["flipped_at"] = s.FlippedSpans.empty() ? json(nullptr) : json(s.FlippedSpans.front().first);
        line["found_at"] = s.Attached.empty() ? json(nullptr) : json(s.Attached.front().first);
        line["killed_at"] = s.Killed >= 0 ? json(s.Killed) : json(nullptr);
        line["righted_at"] = at(s.RightedByPlugin);
        // Up by itself, while flipped: the time the outcome names.
        line["recovered_at"] = s.SelfRecoveries.empty() ? json(nullptr) : json(s.SelfRecoveries.back());
        line["checks"] = s.Checks.size();
        line["steps"] = s.Steps.size();
        line["lying_flipped_at_end"] = s.Flipped_Now();
        line["never_handled"] = s.Never_Handled();
        line["lifted_without_end"] = s.Lifted_Without_End();
        line["outcome"] = s.Outcome();
        std::fprintf(Out, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
}

}  // namespace sim
