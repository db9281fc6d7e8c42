// The host's journal, as the programs read it: each thing a plug-in did, by kind.
#pragma once

#include <cstdint>
#include <type_traits>
#include <variant>

#include "HostApi.h"
#include "Math.h"
#include "SysAlloc.h"

namespace standin {

// Everything a plug-in did that the host can see, in order, with the game time it happened.
// Each kind carries what it is about and nothing else; names are interned and live as long as
// the process.
namespace events {

struct Subscribed { int EventType; };
struct Unsubscribed { int EventType; };
struct FactoryRegistered { const char* Script; };
struct FactoryWithdrawn { const char* Script; };
struct ScriptAttached { const char* Script; };
struct ScriptDetached { const char* Script; };
struct TimerStarted { const char* Script; int Number; float Period; };  // Period in seconds
struct TimerExpired { const char* Script; int Number; };
struct Damaged { float Amount; const char* Warhead; int Damager; };  // Damager: an object id, or -1
struct Destroyed {};
struct TransformSet { Matrix3D Transform; };
struct PositionSet { Vector3 Position; };
struct AttachRefused { const char* Script; };  // asked to attach a name the object already carries

// Whether a kind names a script.
template <class T, class = void> struct NamesScript : std::false_type {};
template <class T> struct NamesScript<T, std::void_t<decltype(T::Script)>> : std::true_type {};

}  // namespace events

// The kinds, in the order of EventData's alternatives.
enum class Event : int
{
    Subscribed,
    Unsubscribed,
    FactoryRegistered,
    FactoryWithdrawn,
    ScriptAttached,
    ScriptDetached,
    TimerStarted,
    TimerExpired,
    Damaged,
    Destroyed,
    TransformSet,
    PositionSet,
    AttachRefused,
};

using EventData = std::variant<events::Subscribed, events::Unsubscribed, events::FactoryRegistered, events::FactoryWithdrawn,
                               events::ScriptAttached, events::ScriptDetached, events::TimerStarted, events::TimerExpired,
                               events::Damaged, events::Destroyed, events::TransformSet, events::PositionSet,
                               events::AttachRefused>;

// Event names the alternatives of EventData in their order: a kind added to one and not the
// other, or out of order, does not compile.
template <Event What, class Data>
constexpr bool Is_Event_Of = std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(What), EventData>, Data>;
static_assert(std::variant_size_v<EventData> == static_cast<std::size_t>(Event::AttachRefused) + 1);
static_assert(Is_Event_Of<Event::Subscribed, events::Subscribed> && Is_Event_Of<Event::Unsubscribed, events::Unsubscribed> &&
              Is_Event_Of<Event::FactoryRegistered, events::FactoryRegistered> &&
              Is_Event_Of<Event::FactoryWithdrawn, events::FactoryWithdrawn> &&
              Is_Event_Of<Event::ScriptAttached, events::ScriptAttached> &&
              Is_Event_Of<Event::ScriptDetached, events::ScriptDetached> &&
              Is_Event_Of<Event::TimerStarted, events::TimerStarted> && Is_Event_Of<Event::TimerExpired, events::TimerExpired> &&
              Is_Event_Of<Event::Damaged, events::Damaged> && Is_Event_Of<Event::Destroyed, events::Destroyed> &&
              Is_Event_Of<Event::TransformSet, events::TransformSet> && Is_Event_Of<Event::PositionSet, events::PositionSet> &&
              Is_Event_Of<Event::AttachRefused, events::AttachRefused>);

HOST_API const char* Event_Name(Event event);

struct JournalEntry
{
    std::int64_t Tick;   // ticks since the level started
    double Time;         // seconds of game time since the level started
    int Object;          // object id, or -1
    EventData Data;

    Event What() const { return static_cast<Event>(Data.index()); }
    // The script or factory named, for the kinds that name one; null for the others.
    const char* Script() const
    {
        return std::visit(
            [](const auto& e) -> const char* {
                if constexpr (events::NamesScript<std::decay_t<decltype(e)>>::value) {
                    return e.Script;
                } else {
                    return nullptr;
                }
            },
            Data);
    }
    // The event as its kind, which the caller knows it is.
    template <class Kind> const Kind& As() const { return std::get<Kind>(Data); }
};

using Journal = SysVector<JournalEntry>;

HOST_API const Journal& Get_Journal();
HOST_API void Clear_Journal();

}  // namespace standin
