// The journal: what the plug-in did and the host did for it, in order, for tests and the simulator.
#include <string_view>

#include "WorldState.h"

namespace standin {

const char* Intern(const char* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    // Looked up by the text itself, so a name already interned (nearly every one) costs no
    // allocation; kept for the process, whatever the world, since entries point into it.
    static auto* interned = Sys_New<std::unordered_set<SysString, SysStringHash, std::equal_to<>, SysAlloc<SysString>>>();
    const std::string_view key(text);
    const auto found = interned->find(key);
    return found != interned->end() ? found->c_str() : interned->emplace(key).first->c_str();
}

void Record(const EventData& event, const HostObjectState* obj)
{
    World& w = W();
    w.Log.push_back(JournalEntry{w.TickNumber, static_cast<double>(w.TickNumber) / w.Rate, obj != nullptr ? obj->Id : -1, event});
}

const char* Event_Name(Event event)
{
    switch (event) {
    case Event::Subscribed: return "subscribed";
    case Event::Unsubscribed: return "unsubscribed";
    case Event::FactoryRegistered: return "factory-registered";
    case Event::FactoryWithdrawn: return "factory-withdrawn";
    case Event::ScriptAttached: return "script-attached";
    case Event::ScriptDetached: return "script-detached";
    case Event::TimerStarted: return "timer-started";
    case Event::TimerExpired: return "timer-expired";
    case Event::Damaged: return "damaged";
    case Event::Destroyed: return "destroyed";
    case Event::TransformSet: return "transform-set";
    case Event::PositionSet: return "position-set";
    case Event::AttachRefused: return "attach-refused";
    }
    return "unknown";
}

const Journal& Get_Journal() { return W().Log; }
void Clear_Journal() { W().Log.clear(); }

}  // namespace standin
