// A match: the plug-in loaded into the stand-in host, objects spawned and moved by the
// simulator, and everything that happens told to observers in match time.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>
#include <unordered_map>
#include <vector>

#include "Contract.h"
#include "Host.h"
#include "PluginLoader.h"
#include "InForce.h"
#include "Pose.h"
#include "Progress.h"

namespace sim {

// What the simulator knows of one object it spawned.
struct ObjectInfo
{
    int Id = -1;
    std::string Name;
    std::string Preset;
    bool IsVehicle = true;
    unsigned int Mode = 0;
};

// The ledger's line for one object in play: everything the outputs ask of it now, kept by the
// match itself from every happening before any observer hears of that happening, so that the
// timeline, the stories, the random match and the tests all read one account. It lives from the
// object's spawn until the happenings of its destruction have been told.
struct ObjectRecord
{
    ObjectInfo Info;
    ScriptableGameObj* Object = nullptr;
    Orientation Pose;            // the last one the simulator set
    int Flip = 0;                // the simulator's flips of it so far: the flip it lies in
    bool ReadsFlipped = false;   // the plug-in's flip test reads its transform as flipped
    bool FlipKill = false;       // it carries the flip-kill script,
    int KillScriptFlip = -1;     // ... which came during this flip,
    int Checks = 0;              // ... and has counted this many checks
    bool Turning = false;        // it carries the rotate-upwards script
    int Steps = 0;               // turning steps since the simulator last flipped it
    float Height = 0;            // z after the plug-in's last lift; 0 before any

    bool Carries_Script() const { return FlipKill || Turning; }
};

// What happened: a journal entry (the kind is then the entry's own), or an action of the
// simulator's.
enum class Happened
{
    Journal,
    Settings,
    Spawn,
    Flip,
    Upright,
    Destroy,
    Invulnerable,
    Reload,
    LevelLoad,
    GameOver,
    Skipped,
};

// The name an action has in the outputs: settings, spawn, flip, upright, destroy, invulnerable,
// reload, level-load, game-over, skipped.
const char* Happened_Name(Happened what);

// One thing that happened: a journal entry (what the plug-in did, or the host did for it) or an
// action of the simulator's own.
// Each kind of happening with what it carries, in the order of Happened.
namespace happened {

struct Journal { const standin::JournalEntry* Entry; };
// The file, what it holds, and what the plug-in holds once handed it.
struct Settings { const std::string* File; const INIClass* Ini; const InForce* Held; };
struct Spawn { const Orientation* Pose; };
struct Flip { const Orientation* Pose; };
struct Upright { const Orientation* Pose; };
struct Destroy {};
struct Invulnerable {};
struct Reload { const std::string* File; const INIClass* Ini; const InForce* Held; };
struct LevelLoad {};
struct GameOver {};
// An action on an object that was no longer in the game (`Action`: its name, as in Happened_Name).
struct Skipped { const char* Action; const std::string* Name; };

// Whether a kind sets a pose.
template <class T, class = void> struct SetsPose : std::false_type {};
template <class T> struct SetsPose<T, std::void_t<decltype(T::Pose)>> : std::true_type {};

}  // namespace happened

using HappeningKind = std::variant<happened::Journal, happened::Settings, happened::Spawn, happened::Flip, happened::Upright,
                                   happened::Destroy, happened::Invulnerable, happened::Reload, happened::LevelLoad,
                                   happened::GameOver, happened::Skipped>;

// Happened names the alternatives of HappeningKind in their order: a kind added to one and not
// the other, or out of order, does not compile.
template <Happened What, class Kind>
constexpr bool Is_Kind_Of = std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(What), HappeningKind>, Kind>;
static_assert(std::variant_size_v<HappeningKind> == static_cast<std::size_t>(Happened::Skipped) + 1);
static_assert(Is_Kind_Of<Happened::Journal, happened::Journal> && Is_Kind_Of<Happened::Settings, happened::Settings> &&
              Is_Kind_Of<Happened::Spawn, happened::Spawn> && Is_Kind_Of<Happened::Flip, happened::Flip> &&
              Is_Kind_Of<Happened::Upright, happened::Upright> && Is_Kind_Of<Happened::Destroy, happened::Destroy> &&
              Is_Kind_Of<Happened::Invulnerable, happened::Invulnerable> && Is_Kind_Of<Happened::Reload, happened::Reload> &&
              Is_Kind_Of<Happened::LevelLoad, happened::LevelLoad> && Is_Kind_Of<Happened::GameOver, happened::GameOver> &&
              Is_Kind_Of<Happened::Skipped, happened::Skipped>);

struct Happening
{
    double Time = 0;          // seconds since the match began
    std::int64_t Tick = 0;    // ticks since the match began
    const char* Event = "";   // its name: the journal event's, or the action's (Happened_Name)
    const ObjectInfo* Object = nullptr;          // the object, when there is one
    const ObjectRecord* Record = nullptr;        // ... and its ledger line, this happening counted
    HappeningKind Kind;

    Happened What() const { return static_cast<Happened>(Kind.index()); }
    // The journal entry of a journal event; null for the simulator's own actions.
    const standin::JournalEntry* Entry() const
    {
        const auto* journal = std::get_if<happened::Journal>(&Kind);
        return journal != nullptr ? journal->Entry : nullptr;
    }
    // The pose set by a spawn, flip or upright; null for the other kinds.
    const Orientation* Pose() const
    {
        return std::visit(
            [](const auto& k) -> const Orientation* {
                if constexpr (happened::SetsPose<std::decay_t<decltype(k)>>::value) {
                    return k.Pose;
                } else {
                    return nullptr;
                }
            },
            Kind);
    }
    // The settings file handed over, and what it holds, for settings and reload; null otherwise.
    const std::string* Settings() const
    {
        const auto* given = std::get_if<happened::Settings>(&Kind);
        const auto* reloaded = std::get_if<happened::Reload>(&Kind);
        return given != nullptr ? given->File : reloaded != nullptr ? reloaded->File : nullptr;
    }
    const INIClass* Ini() const
    {
        const auto* given = std::get_if<happened::Settings>(&Kind);
        const auto* reloaded = std::get_if<happened::Reload>(&Kind);
        return given != nullptr ? given->Ini : reloaded != nullptr ? reloaded->Ini : nullptr;
    }
    // For settings and reload, what the plug-in holds once handed them; null otherwise. It is
    // the match's own model, valid while the match lasts.
    const InForce* Held() const
    {
        const auto* given = std::get_if<happened::Settings>(&Kind);
        const auto* reloaded = std::get_if<happened::Reload>(&Kind);
        return given != nullptr ? given->Held : reloaded != nullptr ? reloaded->Held : nullptr;
    }
};

class Observer
{
public:
    virtual ~Observer() = default;
    // Called once the plug-in is loaded, before anything else is handed to it.
    virtual void On_Loaded() {}
    virtual void On(const Happening& happening) = 0;
    // Called once, when the match is over.
    virtual void On_End(double /*time*/) {}
};

// The host's transform for a pose at a position.
Matrix3D Transform_Of(const Orientation& pose, const double position[3]);
// Whether the plug-in reads a transform as flipped (the contract's rule, on its rotation about Y).
bool Reads_Flipped(const Matrix3D& transform);
// Whether a script name is the flip-kill script's (the other is the rotate-upwards one).
bool Is_Flip_Kill(const char* script);

class Match
{
public:
    explicit Match(int rate);
    ~Match();

    void Observe(Observer* observer) { Observers.push_back(observer); }

    text::Status Load_Plugin(const standin::PluginFile& file);
    // Hands the plug-in settings, as a server does at start and on a reload.
    void Apply_Settings(INIClass& ini, const std::string& path, bool reload);
    void Level_Load();

    // Objects by the simulator's name: an action on one that is gone does nothing and returns
    // false.
    ScriptableGameObj* Spawn(const Spawn& spawn);
    bool Set_Pose(const std::string& name, const Orientation& pose);
    bool Upright(const std::string& name);
    bool Destroy(const std::string& name);
    bool Make_Invulnerable(const std::string& name);
    // Tells the observers that the action `what` on the object `name` was not done: it had gone.
    void Tell_Skipped(Happened what, const std::string& name);

    // One tick of the game; everything the journal saw goes to the observers.
    void Tick();
    // Unloads the plug-in and tells the observers the match is over.
    void Finish();

    // The one tick loop of every match: `act(false)` before each of `ticks` ticks (what is due
    // then happens after the tick before it, so the plug-in sees it from this tick on), then
    // `act(true)` once after the last. The progress bar follows.
    template <class Act> void Run(std::int64_t ticks, Progress& progress, Act&& act)
    {
        for (std::int64_t k = 0; k < ticks; ++k) {
            act(false);
            Tick();
            progress.Update(static_cast<double>(k) / static_cast<double>(ticks), Now());
        }
        act(true);
        progress.Done(Now());
    }

    // Game time since the match began. An action due at T happens when Now() reaches T, after
    // that tick: the plug-in sees it from the next one.
    double Now() const { return static_cast<double>(TickCount) / Rate; }
    std::int64_t Ticks() const { return TickCount; }
    // The match ticks at which the plug-in began a walk of the host's object list: its scans,
    // as the host sees them (a scan of an empty list shows none).
    const std::vector<std::int64_t>& Walk_Ticks() const { return WalkTicks; }
    // The ledger's line for a live object, by id; null for none.
    const ObjectRecord* Record_Of(int id) const;
    int Tick_Rate() const { return Rate; }
    // What the plug-in holds after the settings handed so far.
    const InForce& In_Force() const { return Held; }

private:
    void Tell(Happened what, ObjectRecord* record, const std::string* settings = nullptr, const INIClass* ini = nullptr);
    // Counts a happening into the object's line of the ledger.
    static void Enter(ObjectRecord& record, const Happening& h);
    void Drain_Journal();
    bool Turn(const std::string& name, const Orientation* pose, Happened what);

    int Rate;
    std::int64_t TickCount = 0;
    std::int64_t LevelStartTick = 0;  // match tick at which the current level began
    std::vector<std::int64_t> WalkTicks;
    InForce Held;
    standin::LoadedPlugin Plugin;
    std::vector<Observer*> Observers;
    ObjectRecord* Named(const std::string& name);

    std::unordered_map<int, ObjectRecord> ById;    // the ledger: live objects (lines stay put)
    std::unordered_map<std::string, int> ByName;   // live objects
};

}  // namespace sim
