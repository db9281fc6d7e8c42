// What the stand-in game library's files share: the world they all act on, and the helpers
// between them. Nothing here is part of the host's interface.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "GameObjects.h"
#include "Host.h"
#include "Plugin.h"
#include "Scripts.h"
#include "SysAlloc.h"

// The stand-in's record of one game object, with the object itself at its very start: the host
// declares nothing of its own bookkeeping, so an object's record is found from the object's
// address (State_Of), with no lookup on the paths a plug-in calls on every tick.
struct HostObjectState
{
    // First, so that the object's address is the record's: the object is constructed here, and
    // the ScriptableGameObj part of either kind sits at its start (single inheritance).
    alignas(VehicleGameObj) unsigned char Storage[sizeof(VehicleGameObj)];
    int Id = 0;
    standin::SysString Label;
    standin::SysString Preset;
    bool IsVehicle = false;
    unsigned int Mode = 0;
    Matrix3D Transform{};
    float Health = 0.0f;
    bool Invulnerable = false;
    bool Alive = true;
    standin::SysVector<unsigned int> Scripts;  // serials, in order of attachment
    SLNode<SmartGameObj> Node{};
    SLNode<SmartGameObj>* PrevNode = nullptr;
    SmartGameObj* Object = nullptr;  // constructed in Storage
};
static_assert(sizeof(VehicleGameObj) >= sizeof(SmartGameObj), "either kind of object fits the storage");

// The host's own calls of a script's protected Attach and Detach. A class derived from the
// script base may name them, and a member pointer formed that way calls them on any script,
// through its vtable, as the host's script manager does.
struct ScriptHooks : ScriptImpClass
{
    static void Call_Attach(ScriptImpClass* s, ScriptableGameObj* obj) { (s->*&ScriptHooks::Attach)(obj); }
    static void Call_Detach(ScriptImpClass* s, ScriptableGameObj* obj) { (s->*&ScriptHooks::Detach)(obj); }
};

// Not exported: only the library's own files call what follows.
#pragma GCC visibility push(hidden)

namespace standin {

struct ScriptRecord
{
    ScriptImpClass* Script;
    const char* Name;
    HostObjectState* Owner;
};

struct Timer
{
    std::int64_t FireTick;
    std::uint64_t Sequence;
    unsigned int Serial;
    int ObjectId;
    int Number;
};

// Orders the timer heap so that the earliest tick, then the earliest started, is on top.
struct FiresLater
{
    bool operator()(const Timer& a, const Timer& b) const
    {
        return a.FireTick != b.FireTick ? a.FireTick > b.FireTick : a.Sequence > b.Sequence;
    }
};

// One game world: its clock, objects, scripts, timers, subscribers and journal. A world is made
// for each match (New_World), so matches and tests start alike; the host's own statics (the
// object list, the command table, the strings' statics) stay static, and always describe the
// current world.
//  - Stale timers stay queued and are skipped when they come due (their script or object gone).
//  - Scripts and objects that go while a call into the plug-in is under way are unlinked at once
//    and released, from the graveyards, when the outermost call returns.
//  - GameObjManager::SmartGameObjList holds exactly the live objects, in order of creation.
struct World
{
    World() = default;
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    cGameData Game{0};
    bool Running = false;
    std::int64_t TickNumber = 0;
    int Rate = 30;

    SysVector<std::pair<EventType, Plugin*>> Subscribers;  // in order of registration
    SysVector<ScriptFactory*> Factories;

    SysMap<unsigned int, ScriptRecord> Scripts;  // attached scripts by serial
    unsigned int NextSerial = 1;
    SysMap<const ScriptImpClass*, unsigned int> SerialOf;  // of each attached script
    int LiveScripts = 0;

    SysMap<int, HostObjectState*> Objects;  // live objects by id
    int NextObjectId = 1;

    SysVector<Timer> Timers;  // a heap under FiresLater
    std::uint64_t NextSequence = 0;

    SysVector<ScriptImpClass*> ScriptGraveyard;
    SysVector<HostObjectState*> ObjectGraveyard;
    int Depth = 0;  // calls into the plug-in under way
    bool RotationOverridden = false;
    float RotationOverride = 0.0f;
    float SetTransformShift = 0.0f;
    std::uint64_t ListChanges = 0;  // objects linked into or unlinked from the list
    std::int64_t ListWalks = 0;  // walks of the object list begun, as As_VehicleGameObj sees them

    Journal Log;

    // Object states come from blocks of many, and a state that goes is used again: a match
    // spawns and destroys objects all the time, and they stay close together in memory.
    static constexpr std::size_t StatesPerBlock = 256;
    SysVector<HostObjectState*> StateBlocks;
    SysVector<HostObjectState*> FreeStates;
};

// The current world. The last one is never destroyed: scripts may still be alive at process exit,
// and their code may be gone. (Exported, like InPlugin and Intern below, for the loader's bridge
// to a DLL under the emulated processor, which lives outside this library.)
HOST_API World& W();

// Object states come from a pool and go back to it.
HostObjectState* New_State(World& w);
void Delete_State(World& w, HostObjectState* state);
HostObjectState* Spawn(const char* label, const char* preset, bool vehicle, unsigned int mode, const Matrix3D& transform,
                       float health);
// Takes an object out of the game: its scripts are told and detached, its memory released later.
void Destroy(HostObjectState* state, ScriptableGameObj* killer, bool killed);
void Destroy_All();
// The record of an object the stand-in made (see HostObjectState), or null for null.
inline HostObjectState* State_Of(ScriptableGameObj* obj) { return reinterpret_cast<HostObjectState*>(obj); }

// Releases the scripts and objects that went away during calls into the plug-in.
void Release_Graveyard();

// Marks a call into the plug-in; the outermost one releases what went away meanwhile.
class PluginCall
{
public:
    PluginCall() { ++W().Depth; }
    ~PluginCall()
    {
        if (--W().Depth == 0) {
            Release_Graveyard();
        }
    }
    PluginCall(const PluginCall&) = delete;
    PluginCall& operator=(const PluginCall&) = delete;
};

// Marks the plug-in's own code running (`what`: what the host asked of it), in the note a
// watcher reads (see Note_Plugin_Calls).
class HOST_API InPlugin
{
public:
    explicit InPlugin(const char* what);
    ~InPlugin();
    InPlugin(const InPlugin&) = delete;
    InPlugin& operator=(const InPlugin&) = delete;
};

// The journal: a text kept for the life of the process, and one entry recorded.
HOST_API const char* Intern(const char* text);
void Record(const EventData& event, const HostObjectState* obj = nullptr);

// Attached scripts, by the host's serial. The serial of an attached script; 0 for one not
// attached (any more).
unsigned int Serial_Of(const ScriptImpClass* script);
ScriptRecord* Record_Of(ScriptImpClass* script);
void Detach_Script(unsigned int serial);

// Timers: the tick one started at `start` fires at; starting one; firing those due this tick.
std::int64_t Fire_Tick(std::int64_t start, float seconds, int rate);
void Start_Timer(ScriptableGameObj* obj, ScriptImpClass* script, float seconds, int number);
void Fire_Due_Timers();

// Tells the plug-ins subscribed to `event`.
void Raise(EventType event, INIClass* ini);

}  // namespace standin

#pragma GCC visibility pop
