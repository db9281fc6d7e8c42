// The stand-in host's game: objects, scripts, timers, events and the journal.
//
// Everything runs on the caller's thread, as the host delivers everything on its main thread.
// Scripts and objects that go away while a plug-in call is under way are only unlinked at
// once; their memory is released when the outermost call into the plug-in has returned, so a
// script may destroy itself (or its object) from inside its own callback.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "HashTemplate.h"
#include "Host.h"
#include "INIClass.h"
#include "Internal.h"

struct HostObjectState
{
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
    alignas(VehicleGameObj) unsigned char Storage[sizeof(VehicleGameObj)];
};
static_assert(sizeof(VehicleGameObj) >= sizeof(SmartGameObj), "either kind of object fits the storage");

SList<SmartGameObj> GameObjManager::SmartGameObjList = {nullptr, nullptr};

// The host's own access to the protected parts of a script.
struct HostScriptAccess
{
    static unsigned int& Serial(ScriptImpClass* s) { return s->HostSerial; }
    static void Attach(ScriptImpClass* s, ScriptableGameObj* obj) { s->Attach(obj); }
    static void Detach(ScriptImpClass* s, ScriptableGameObj* obj) { s->Detach(obj); }
};

namespace standin {
namespace {

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

struct World
{
    cGameData Game{0};
    bool Running = false;
    std::int64_t TickNumber = 0;
    int Rate = 30;

    SysVector<std::pair<EventType, Plugin*>> Subscribers;  // in order of registration
    SysVector<ScriptFactory*> Factories;

    SysMap<unsigned int, ScriptRecord> Scripts;  // attached scripts by serial
    unsigned int NextSerial = 1;
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
    long long AutoSaveRegistrations = 0;

    Journal Log;
    // Looked up by the text itself, so a name already interned (nearly every one) costs no
    // allocation.
    std::unordered_set<SysString, SysStringHash, std::equal_to<>, SysAlloc<SysString>> Interned;

    // Object states come from blocks of many, and a state that goes is used again: a match
    // spawns and destroys objects all the time, and they stay close together in memory.
    static constexpr std::size_t StatesPerBlock = 256;
    SysVector<HostObjectState*> StateBlocks;
    SysVector<HostObjectState*> FreeStates;
};

HostObjectState* New_State(World& w)
{
    if (w.FreeStates.empty()) {
        auto* block = static_cast<HostObjectState*>(std::malloc(sizeof(HostObjectState) * World::StatesPerBlock));
        if (block == nullptr) {
            std::abort();  // the host itself out of memory
        }
        w.StateBlocks.push_back(block);
        for (std::size_t i = World::StatesPerBlock; i-- > 0;) {
            w.FreeStates.push_back(block + i);
        }
    }
    HostObjectState* state = w.FreeStates.back();
    w.FreeStates.pop_back();
    return new (state) HostObjectState();
}

void Delete_State(World& w, HostObjectState* state)
{
    state->Object->~SmartGameObj();
    state->~HostObjectState();
    w.FreeStates.push_back(state);
}

// Never destroyed: scripts may still be alive at process exit, and their code may be gone.
World& W()
{
    static World* world = Sys_New<World>();
    return *world;
}

const char* Intern(const char* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    World& w = W();
    const std::string_view key(text);
    const auto found = w.Interned.find(key);
    return found != w.Interned.end() ? found->c_str() : w.Interned.emplace(key).first->c_str();
}

void Release_Graveyard()
{
    World& w = W();
    while (!w.ScriptGraveyard.empty() || !w.ObjectGraveyard.empty()) {
        SysVector<ScriptImpClass*> scripts;
        scripts.swap(w.ScriptGraveyard);
        for (ScriptImpClass* script : scripts) {
            ++w.Depth;  // the destructor is plug-in code
            delete script;
            --w.Depth;
            --w.LiveScripts;
        }
        SysVector<HostObjectState*> objects;
        objects.swap(w.ObjectGraveyard);
        for (HostObjectState* state : objects) {
            Delete_State(w, state);
        }
    }
}

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

JournalEntry& Record(Event what, const HostObjectState* obj = nullptr, const char* script = nullptr)
{
    World& w = W();
    JournalEntry entry{};
    entry.What = what;
    entry.Tick = w.TickNumber;
    entry.Time = static_cast<double>(w.TickNumber) / w.Rate;
    entry.Object = obj != nullptr ? obj->Id : -1;
    entry.Script = Intern(script);
    entry.Damager = -1;
    w.Log.push_back(entry);
    return w.Log.back();
}

HostObjectState* State_Of(ScriptableGameObj* obj)
{
    return obj != nullptr ? obj->Host_State() : nullptr;
}

ScriptRecord* Record_Of(ScriptImpClass* script)
{
    if (script == nullptr) {
        return nullptr;
    }
    auto found = W().Scripts.find(HostScriptAccess::Serial(script));
    return found != W().Scripts.end() ? &found->second : nullptr;
}

// Detaches one attached script: it leaves its object at once and is deleted later.
void Detach_Script(unsigned int serial)
{
    World& w = W();
    auto found = w.Scripts.find(serial);
    if (found == w.Scripts.end()) {
        return;
    }
    const ScriptRecord record = found->second;
    w.Scripts.erase(found);
    auto& list = record.Owner->Scripts;
    list.erase(std::remove(list.begin(), list.end(), serial), list.end());
    Record(Event::ScriptDetached, record.Owner, record.Name);
    {
        PluginCall call;
        HostScriptAccess::Detach(record.Script, record.Owner->Object);
        w.ScriptGraveyard.push_back(record.Script);
    }
}

void Unlink(HostObjectState* state)
{
    SList<SmartGameObj>& list = GameObjManager::SmartGameObjList;
    SLNode<SmartGameObj>* next = state->Node.NextNode;
    if (state->PrevNode != nullptr) {
        state->PrevNode->NextNode = next;
    } else {
        list.HeadNode = next;
    }
    if (next != nullptr) {
        next->Object->Host_State()->PrevNode = state->PrevNode;
    } else {
        list.TailNode = state->PrevNode;
    }
    // The node keeps its own NextNode, so a walk standing on it goes on to the right object.
}

void Destroy(HostObjectState* state, ScriptableGameObj* killer, bool killed)
{
    World& w = W();
    if (state == nullptr || !state->Alive) {
        return;
    }
    PluginCall call;
    state->Alive = false;
    Record(Event::Destroyed, state);
    const SysVector<unsigned int> serials = state->Scripts;
    for (unsigned int serial : serials) {
        auto found = w.Scripts.find(serial);
        if (found == w.Scripts.end()) {
            continue;
        }
        ScriptImpClass* script = found->second.Script;
        if (killed) {
            script->Killed(state->Object, killer);
        }
        script->Destroyed(state->Object);
        Detach_Script(serial);
    }
    Unlink(state);
    w.Objects.erase(state->Id);
    w.ObjectGraveyard.push_back(state);
}

void Destroy_All()
{
    PluginCall call;
    while (GameObjManager::SmartGameObjList.HeadNode != nullptr) {
        Destroy(GameObjManager::SmartGameObjList.HeadNode->Object->Host_State(), nullptr, false);
    }
    W().Timers.clear();
}

HostObjectState* Spawn(const char* label, const char* preset, bool vehicle, unsigned int mode,
                       const Matrix3D& transform, float health)
{
    World& w = W();
    if (!w.Running) {
        return nullptr;
    }
    HostObjectState* state = New_State(w);
    state->Id = w.NextObjectId++;
    state->Label = label != nullptr ? label : "";
    state->Preset = preset != nullptr ? preset : "";
    state->IsVehicle = vehicle;
    state->Mode = mode;
    state->Transform = transform;
    state->Health = health;
    if (vehicle) {
        state->Object = new (state->Storage) VehicleGameObj(state);
    } else {
        state->Object = new (state->Storage) SmartGameObj(state);
    }
    SList<SmartGameObj>& list = GameObjManager::SmartGameObjList;
    state->Node.Object = state->Object;
    state->Node.NextNode = nullptr;
    state->PrevNode = list.TailNode;
    if (list.TailNode != nullptr) {
        list.TailNode->NextNode = &state->Node;
    } else {
        list.HeadNode = &state->Node;
    }
    list.TailNode = &state->Node;
    w.Objects.emplace(state->Id, state);
    return state;
}

void Raise(EventType event, INIClass* ini)
{
    World& w = W();
    SysVector<Plugin*> targets;
    for (const auto& subscription : w.Subscribers) {
        if (subscription.first == event) {
            targets.push_back(subscription.second);
        }
    }
    for (Plugin* plugin : targets) {
        // A handler may end another's subscription; it then hears nothing more.
        const bool still = std::any_of(w.Subscribers.begin(), w.Subscribers.end(), [&](const auto& s) {
            return s.first == event && s.second == plugin;
        });
        if (!still) {
            continue;
        }
        PluginCall call;
        switch (event) {
        case EVENT_GLOBAL_SETTINGS: plugin->Load_Global_Settings(ini); break;
        case EVENT_LEVEL_LOADED: plugin->Level_Loaded(); break;
        case EVENT_TICK: plugin->Tick(); break;
        }
    }
}

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

// --- The command table ---

const char* Cmd_Get_Preset_Name(ScriptableGameObj* obj)
{
    HostObjectState* state = State_Of(obj);
    return state != nullptr ? state->Preset.c_str() : "";
}

void Cmd_Start_Timer(ScriptableGameObj* obj, ScriptImpClass* script, float seconds, int number)
{
    World& w = W();
    HostObjectState* state = State_Of(obj);
    ScriptRecord* record = Record_Of(script);
    if (state == nullptr || !state->Alive || record == nullptr) {
        return;
    }
    Timer timer{Fire_Tick(w.TickNumber, seconds, w.Rate), w.NextSequence++,
                HostScriptAccess::Serial(script), state->Id, number};
    w.Timers.push_back(timer);
    std::push_heap(w.Timers.begin(), w.Timers.end(), FiresLater{});
    JournalEntry& entry = Record(Event::TimerStarted, state, record->Name);
    entry.Number = number;
    entry.Period = seconds;
}

void Cmd_Apply_Damage(ScriptableGameObj* obj, float amount, const char* warhead, ScriptableGameObj* damager)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || !state->Alive) {
        return;
    }
    JournalEntry& entry = Record(Event::Damaged, state);
    entry.Amount = amount;
    entry.Warhead = Intern(warhead != nullptr ? warhead : "");
    entry.Damager = damager != nullptr ? State_Of(damager)->Id : -1;
    if (state->Invulnerable) {
        return;
    }
    state->Health -= amount;
    if (state->Health <= 0.0f) {
        Destroy(state, damager, true);
    }
}

Vector3 Cmd_Get_Position(ScriptableGameObj* obj)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr) {
        return Vector3{0, 0, 0};
    }
    const Matrix3D& m = state->Transform;
    return Vector3{m.Row[0][3], m.Row[1][3], m.Row[2][3]};
}

void Cmd_Set_Position(ScriptableGameObj* obj, const Vector3& position)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || !state->Alive) {
        return;
    }
    state->Transform.Row[0][3] = position.X;
    state->Transform.Row[1][3] = position.Y;
    state->Transform.Row[2][3] = position.Z;
    Record(Event::PositionSet, state).Position = position;
}

ScriptCommands command_table = {Cmd_Get_Preset_Name, Cmd_Start_Timer, Cmd_Apply_Damage,
                                 Cmd_Get_Position, Cmd_Set_Position};

}  // namespace

// --- The stand-in's own interface ---

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

void Load_Level(int ticks_per_second)
{
    World& w = W();
    Destroy_All();
    w.TickNumber = 0;
    w.Game.ElapsedSeconds = 0;
    w.Rate = ticks_per_second > 0 ? ticks_per_second : 30;
    w.Running = true;
    Raise(EVENT_LEVEL_LOADED, nullptr);
}

void Shut_Down_Level()
{
    Destroy_All();
    W().Running = false;
}

bool Game_Running() { return W().Running; }
std::int64_t Current_Tick() { return W().TickNumber; }
double Current_Time() { return static_cast<double>(W().TickNumber) / W().Rate; }

void Tick()
{
    World& w = W();
    if (!w.Running) {
        return;
    }
    ++w.TickNumber;
    const std::int64_t seconds = w.TickNumber / w.Rate;
    w.Game.ElapsedSeconds = seconds > INT_MAX ? INT_MAX : static_cast<int>(seconds);

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
        Record(Event::TimerExpired, state, script->second.Name).Number = timer.Number;
        PluginCall call;
        target->Timer_Expired(state->Object, timer.Number);
    }
    Raise(EVENT_TICK, nullptr);
}

void Raise_Global_Settings(INIClass* ini) { Raise(EVENT_GLOBAL_SETTINGS, ini); }

VehicleGameObj* Create_Vehicle(const char* label, const char* preset, unsigned int mode,
                               const Matrix3D& transform, float health)
{
    HostObjectState* state = Spawn(label, preset, true, mode, transform, health);
    return state != nullptr ? static_cast<VehicleGameObj*>(state->Object) : nullptr;
}

SmartGameObj* Create_Object(const char* label, const char* preset, const Matrix3D& transform)
{
    HostObjectState* state = Spawn(label, preset, false, 0, transform, 100.0f);
    return state != nullptr ? state->Object : nullptr;
}

int Object_Id(ScriptableGameObj* obj) { return obj != nullptr ? State_Of(obj)->Id : -1; }
bool Is_Alive(ScriptableGameObj* obj) { return obj != nullptr && State_Of(obj)->Alive; }

void Place(ScriptableGameObj* obj, const Matrix3D& transform)
{
    if (obj != nullptr) {
        State_Of(obj)->Transform = transform;
    }
}

void Override_Rotation_Y(float angle)
{
    W().RotationOverridden = true;
    W().RotationOverride = angle;
}

void Clear_Rotation_Override() { W().RotationOverridden = false; }

void Shift_On_Set_Transform(float dz) { W().SetTransformShift = dz; }

void Set_Invulnerable(ScriptableGameObj* obj, bool invulnerable)
{
    if (obj != nullptr) {
        State_Of(obj)->Invulnerable = invulnerable;
    }
}

void Destroy_Object(ScriptableGameObj* obj) { Destroy(State_Of(obj), nullptr, false); }

int Object_Count() { return static_cast<int>(W().Objects.size()); }

int Script_Count(ScriptableGameObj* obj)
{
    return obj != nullptr ? static_cast<int>(State_Of(obj)->Scripts.size()) : 0;
}

ScriptImpClass* Find_Script(ScriptableGameObj* obj, const char* name)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || name == nullptr) {
        return nullptr;
    }
    for (unsigned int serial : state->Scripts) {
        const ScriptRecord& record = W().Scripts.at(serial);
        if (std::strcmp(record.Name, name) == 0) {
            return record.Script;
        }
    }
    return nullptr;
}

int Live_Script_Count() { return W().LiveScripts; }

long long Auto_Save_Registrations() { return W().AutoSaveRegistrations; }
void Host_Note_Auto_Save_Registration() { ++W().AutoSaveRegistrations; }

int Pending_Timer_Count()
{
    World& w = W();
    return static_cast<int>(std::count_if(w.Timers.begin(), w.Timers.end(), [&](const Timer& t) {
        return w.Scripts.count(t.Serial) != 0 && w.Objects.count(t.ObjectId) != 0;
    }));
}

bool Is_Script_Registered(const char* name)
{
    for (ScriptFactory* factory : W().Factories) {
        if (std::strcmp(factory->Get_Name(), name) == 0) {
            return true;
        }
    }
    return false;
}

// Used by the script base class and the factories, which live in Scripts.cpp.
void Host_Register_Factory(ScriptFactory* factory)
{
    W().Factories.push_back(factory);
    Record(Event::FactoryRegistered, nullptr, factory->Get_Name());
}

void Host_Withdraw_Factory(ScriptFactory* factory)
{
    auto& list = W().Factories;
    list.erase(std::remove(list.begin(), list.end(), factory), list.end());
    Record(Event::FactoryWithdrawn, nullptr, factory->Get_Name());
}

void Host_Destroy_Script(ScriptImpClass* script)
{
    if (Record_Of(script) == nullptr) {
        return;  // not attached (any more)
    }
    PluginCall call;
    Detach_Script(HostScriptAccess::Serial(script));
}

void Host_Attach_Script(ScriptableGameObj* obj, const char* name, const char* params)
{
    World& w = W();
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || !state->Alive || name == nullptr) {
        return;
    }
    // The host promises nothing for a second attach of one name; this one refuses it, and says
    // so, so that a caller relying on it instead of asking Is_Script_Attached shows.
    if (Find_Script(obj, name) != nullptr) {
        Record(Event::AttachRefused, state, name);
        return;
    }
    ScriptFactory* factory = nullptr;
    for (ScriptFactory* candidate : w.Factories) {
        if (std::strcmp(candidate->Get_Name(), name) == 0) {
            factory = candidate;
            break;
        }
    }
    if (factory == nullptr) {
        return;
    }
    PluginCall call;
    ScriptImpClass* script = factory->Create();
    if (script == nullptr) {
        return;  // the factory had no memory for it: nothing is attached
    }
    ++w.LiveScripts;
    const unsigned int serial = w.NextSerial++;
    HostScriptAccess::Serial(script) = serial;
    const char* interned = Intern(name);
    w.Scripts.emplace(serial, ScriptRecord{script, interned, state});
    state->Scripts.push_back(serial);
    script->Set_Parameters_String(params != nullptr ? params : "");
    HostScriptAccess::Attach(script, obj);
    Record(Event::ScriptAttached, state, interned);
    script->Created(obj);
}

}  // namespace standin

// --- The host interface that plug-ins import ---

cGameData* The_Game()
{
    standin::World& w = standin::W();
    return w.Running ? &w.Game : nullptr;
}

ScriptCommands* Commands = &standin::command_table;

SmartGameObj::SmartGameObj(HostObjectState* state) : ScriptableGameObj(state) {}
SmartGameObj::~SmartGameObj() = default;
VehicleGameObj::VehicleGameObj(HostObjectState* state) : SmartGameObj(state) {}
VehicleGameObj::~VehicleGameObj() = default;
ScriptableGameObj::~ScriptableGameObj() = default;

VehicleGameObj* As_VehicleGameObj(ScriptableGameObj* obj)
{
    HostObjectState* state = standin::State_Of(obj);
    return state != nullptr && state->IsVehicle ? static_cast<VehicleGameObj*>(obj) : nullptr;
}

unsigned int Get_Vehicle_Mode(ScriptableGameObj* obj)
{
    HostObjectState* state = standin::State_Of(obj);
    return state != nullptr && state->IsVehicle ? state->Mode : 0;
}

Matrix3D Get_Transform(ScriptableGameObj* obj)
{
    HostObjectState* state = standin::State_Of(obj);
    return state != nullptr ? state->Transform : Matrix3D::Identity();
}

void Set_Transform(ScriptableGameObj* obj, const Matrix3D& transform)
{
    const standin::World& w = standin::W();
    HostObjectState* state = standin::State_Of(obj);
    if (state == nullptr || !state->Alive) {
        return;
    }
    state->Transform = transform;
    standin::Record(standin::Event::TransformSet, state).Transform = transform;
    if (w.SetTransformShift != 0.0f) {
        state->Transform.Row[2][3] += w.SetTransformShift;
    }
}

float Matrix3D::getRotationY() const
{
    const standin::World& w = standin::W();
    return w.RotationOverridden ? w.RotationOverride : std::atan2(Row[0][2], Row[2][2]);
}

bool Is_Script_Attached(ScriptableGameObj* obj, const char* name)
{
    return standin::Find_Script(obj, name) != nullptr;
}

void Attach_Script_Once(ScriptableGameObj* obj, const char* name, const char* params)
{
    standin::Host_Attach_Script(obj, name, params);
}

void RegisterEvent(EventType event, Plugin* plugin)
{
    standin::W().Subscribers.emplace_back(event, plugin);
    standin::Record(standin::Event::Subscribed).Number = event;
}

void UnregisterEvent(EventType event, Plugin* plugin)
{
    auto& list = standin::W().Subscribers;
    auto found = std::find(list.begin(), list.end(), std::make_pair(event, plugin));
    if (found != list.end()) {
        list.erase(found);
    }
    standin::Record(standin::Event::Unsubscribed).Number = event;
}

// A 32-bit finaliser: any function of the key alone serves, and this one spreads keys that
// differ in few bits across the whole range.
unsigned int HashTemplateKeyClass<unsigned int>::Get_Hash_Value(const unsigned int& key)
{
    std::uint32_t h = key;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}
