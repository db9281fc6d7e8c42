// The stand-in host's own interface: what the simulator and the tests use to run a game
// around a plug-in. Plug-ins never see this; they see only the declarations in host/.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "GameObjects.h"
#include "HostApi.h"
#include "Math.h"
#include "Plugin.h"
#include "Scripts.h"
#include "SysAlloc.h"
#include "TextFile.h"

class INIClass;

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

// --- The game ---

// Makes a fresh world the current one: clock, ids, serials, timers and journal as in a process
// that never ran a game. Only when the current one is not in use (no game running, no plug-in
// subscribed or registered, no script or object alive); false, and nothing changed, otherwise.
HOST_API bool New_World();

// Starts a new level: destroys every object (and with it every script and timer), sets the
// clock to zero, runs the game at `ticks_per_second`, and raises the level-loaded event.
HOST_API void Load_Level(int ticks_per_second = 30);

// Ends the game: destroys every object; The_Game() is null afterwards.
HOST_API void Shut_Down_Level();

HOST_API bool Game_Running();
HOST_API std::int64_t Current_Tick();
HOST_API double Current_Time();

// Advances the game by one tick: the clock moves on, timers due at or before the new time
// expire in the order they were started, then the tick event is raised. Does nothing while no
// game runs.
HOST_API void Tick();

// Raises the global-settings event with `ini`.
HOST_API void Raise_Global_Settings(INIClass* ini);

// --- Objects ---

// A vehicle of `preset` in `mode` with `transform`. Needs a running game; null otherwise.
HOST_API VehicleGameObj* Create_Vehicle(const char* label, const char* preset, unsigned int mode,
                                        const Matrix3D& transform, float health = 100.0f);
// An object that is not a vehicle.
HOST_API SmartGameObj* Create_Object(const char* label, const char* preset,
                                     const Matrix3D& transform);

HOST_API int Object_Id(ScriptableGameObj* obj);
HOST_API bool Is_Alive(ScriptableGameObj* obj);

// Changes the transform without journaling it: the world moving the object, not a plug-in.
HOST_API void Place(ScriptableGameObj* obj, const Matrix3D& transform);
// Makes every transform read `angle` as its rotation about Y, so a test can have an object
// look flipped while its transform is, say, the identity. Cleared by Clear_Rotation_Override.
HOST_API void Override_Rotation_Y(float angle);
HOST_API void Clear_Rotation_Override();

// While set, the host moves an object up by `dz` whenever a plug-in sets its transform, as a
// host whose physics settles the object would: what a plug-in reads back afterwards is then not
// what it wrote. 0 turns it off.
HOST_API void Shift_On_Set_Transform(float dz);

// Damage no longer lowers health.
HOST_API void Set_Invulnerable(ScriptableGameObj* obj, bool invulnerable);
// Destroys the object with its scripts and timers.
HOST_API void Destroy_Object(ScriptableGameObj* obj);

// The number of objects in the game.
HOST_API int Object_Count();
// Walks of the object list a plug-in has begun, over the process: a scan asks whether the
// list's first object is a vehicle before any other (an empty list shows no walk).
HOST_API std::int64_t Object_List_Walks();

// --- Scripts and timers, for inspection ---

HOST_API int Script_Count(ScriptableGameObj* obj);
// The attached script of `name`, or null.
HOST_API ScriptImpClass* Find_Script(ScriptableGameObj* obj, const char* name);
// Scripts created and not yet deleted, attached or awaiting deletion.
HOST_API int Live_Script_Count();
HOST_API int Pending_Timer_Count();
// How many times the host's base Register_Auto_Save_Variables has run, over the process.
HOST_API long long Auto_Save_Registrations();
// Whether a factory of `name` is registered.
HOST_API bool Is_Script_Registered(const char* name);

// --- Settings files ---

struct IniEntry
{
    SysString Name;
    SysString Value;
    int Line;  // in the file it was read from
};

struct IniEntryView
{
    const char* Name;
    const char* Value;
    int Line;
};

struct IniSectionView
{
    const char* Name;
    std::vector<IniEntryView> Entries;
};

// A line that opens a section as the reader reads it ('[' after any byte-order mark and
// indentation, then a ']'): the text between the brackets as written, and the section's name,
// which is that text without the blanks around it. Whether the rest of the line is allowed is
// the reader's to say.
struct IniSectionLine
{
    std::string Inside;
    std::string Name;
};
HOST_API std::optional<IniSectionLine> Ini_Section_Line(std::string_view line);

// Reads a settings file ("-": standard input) into `ini`, replacing what it held. A file that
// cannot be read exactly as written is refused whole: the finding that says where and why is
// returned, and `ini` is unchanged.
HOST_API std::optional<text::Diagnostic> Read_Ini_File(const std::string& path, INIClass& ini);
// The same for text already in memory; `name` stands for the file in findings.
HOST_API std::optional<text::Diagnostic> Read_Ini_Text(const std::string& text, const std::string& name, INIClass& ini);
// The two above, as a status: done, or the finding that refuses the file.
HOST_API text::Status Load_Ini_File(const std::string& path, INIClass& ini);
HOST_API text::Status Load_Ini_Text(const std::string& text, const std::string& name, INIClass& ini);
// What `ini` holds, section by section in file order, with the line of each entry.
HOST_API std::vector<IniSectionView> Ini_Contents(const INIClass& ini);
// Sets one entry, as if the file had said so: its value replaced where it is, or the entry (and
// its section) added at the end, with line 0.
HOST_API void Set_Ini_Value(INIClass& ini, const char* section, const char* entry, const char* value);

// --- Watching the plug-in ---

// Where the host notes each call into the plug-in as it begins and ends. Placed in memory that a
// watcher in another process shares, it outlives a plug-in that crashes, hangs or ends the
// process, and says what the plug-in was doing and when.
struct PluginCallNote
{
    std::atomic<std::uint32_t> Began{0};  // calls begun so far
    std::atomic<std::int32_t> Depth{0};   // calls under way (the plug-in may call the host, which calls it again)
    // The outermost call under way, or the last one: what the host asked, and the game then.
    char What[48] = {};
    bool Running = false;  // whether a game was running
    double Time = 0;       // game seconds
};

// Notes every call into the plug-in in `note` from now on (null: nowhere).
HOST_API void Note_Plugin_Calls(PluginCallNote* note);

}  // namespace standin
