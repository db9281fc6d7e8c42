// Script timers: started by the plug-in, fired in order at the ticks they fall due.
#include <algorithm>
#include <climits>
#include <cmath>

#include "WorldState.h"

namespace standin {

// The first tick at or after `seconds` past `start`, and never `start` itself, so a timer of
// zero, negative or NaN seconds expires at the next tick rather than looping within one.
std::int64_t Fire_Tick(std::int64_t start, float seconds, int rate)
{
    const std::int64_t next = start + 1;
    const double ticks = static_cast<double>(seconds) * rate;
    if (!(ticks > 0.0)) {
        return next;
    }
    // A tiny allowance keeps a period that is a whole number of ticks from slipping to the
    // following one through rounding.
    const double due = std::ceil(static_cast<double>(start) + ticks - 1e-9);
    if (due >= static_cast<double>(INT64_MAX / 2)) {
        return INT64_MAX;
    }
    return std::max(next, static_cast<std::int64_t>(due));
}

void Start_Timer(ScriptableGameObj* obj, ScriptImpClass* script, float seconds, int number)
{
    World& w = W();
    HostObjectState* state = State_Of(obj);
    ScriptRecord* record = Record_Of(script);
    if (state == nullptr || !state->Alive || record == nullptr) {
        return;
    }
    Timer timer{Fire_Tick(w.TickNumber, seconds, w.Rate), w.NextSequence++,
                Serial_Of(script), state->Id, number};
    w.Timers.push_back(timer);
    std::push_heap(w.Timers.begin(), w.Timers.end(), FiresLater{});
    Record(events::TimerStarted{record->Name, number, seconds}, state);
}

void Fire_Due_Timers()
{
    World& w = W();
    while (!w.Timers.empty() && w.Timers.front().FireTick <= w.TickNumber) {
        std::pop_heap(w.Timers.begin(), w.Timers.end(), FiresLater{});
        const Timer timer = w.Timers.back();
        w.Timers.pop_back();
        auto script = w.Scripts.find(timer.Serial);
        auto object = w.Objects.find(timer.ObjectId);
        if (script == w.Scripts.end() || object == w.Objects.end()) {
            continue;  // its script or object has gone: the timer went with it
        }
        ScriptImpClass* target = script->second.Script;
        HostObjectState* state = object->second;
        Record(events::TimerExpired{script->second.Name, timer.Number}, state);
        PluginCall call;
        InPlugin running("a script's Timer_Expired");
        target->Timer_Expired(state->Object, timer.Number);
    }
}

int Pending_Timer_Count()
{
    World& w = W();
    return static_cast<int>(std::count_if(w.Timers.begin(), w.Timers.end(), [&](const Timer& t) {
        return w.Scripts.count(t.Serial) != 0 && w.Objects.count(t.ObjectId) != 0;
    }));
}

}  // namespace standin
