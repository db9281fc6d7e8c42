// One JSON object per line for every journal event and every action of the simulator.
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Report.h"

namespace sim {

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

}  // namespace sim
