// Objects: their states, spawning and destruction, the list plug-ins walk, and what the host
// tells of an object.
#include <cmath>
#include <cstdlib>
#include <new>

#include "WorldState.h"

namespace standin {

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

namespace {

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
        State_Of(next->Object)->PrevNode = state->PrevNode;
    } else {
        list.TailNode = state->PrevNode;
    }
    // The node keeps its own NextNode, so a walk standing on it goes on to the right object.
    ++W().ListChanges;
}

}  // namespace

void Destroy(HostObjectState* state, ScriptableGameObj* killer, bool killed)
{
    World& w = W();
    if (state == nullptr || !state->Alive) {
        return;
    }
    PluginCall call;
    state->Alive = false;
    Record(events::Destroyed{}, state);
    const SysVector<unsigned int> serials = state->Scripts;
    for (unsigned int serial : serials) {
        auto found = w.Scripts.find(serial);
        if (found == w.Scripts.end()) {
            continue;
        }
        ScriptImpClass* script = found->second.Script;
        if (killed) {
            InPlugin running("a script's Killed");
            script->Killed(state->Object, killer);
        }
        {
            InPlugin running("a script's Destroyed");
            script->Destroyed(state->Object);
        }
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
        Destroy(State_Of(GameObjManager::SmartGameObjList.HeadNode->Object), nullptr, false);
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
        state->Object = new (state->Storage) VehicleGameObj();
    } else {
        state->Object = new (state->Storage) SmartGameObj();
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
    ++w.ListChanges;
    w.Objects.emplace(state->Id, state);
    return state;
}

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

void Set_Invulnerable(ScriptableGameObj* obj, bool invulnerable)
{
    if (obj != nullptr) {
        State_Of(obj)->Invulnerable = invulnerable;
    }
}

void Destroy_Object(ScriptableGameObj* obj) { Destroy(State_Of(obj), nullptr, false); }

std::int64_t Object_List_Walks() { return W().ListWalks; }

int Object_Count() { return static_cast<int>(W().Objects.size()); }

}  // namespace standin

SList<SmartGameObj> GameObjManager::SmartGameObjList = {nullptr, nullptr};

SmartGameObj::SmartGameObj() = default;
SmartGameObj::~SmartGameObj() = default;
VehicleGameObj::VehicleGameObj() = default;
VehicleGameObj::~VehicleGameObj() = default;
ScriptableGameObj::~ScriptableGameObj() = default;

VehicleGameObj* As_VehicleGameObj(ScriptableGameObj* obj)
{
    // A walk of the object list asks about its first object first: that is a scan begun.
    const SLNode<SmartGameObj>* head = GameObjManager::SmartGameObjList.Head();
    if (head != nullptr && head->Data() == obj) {
        ++standin::W().ListWalks;
    }
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
    standin::Record(standin::events::TransformSet{transform}, state);
    if (w.SetTransformShift != 0.0f) {
        state->Transform.Row[2][3] += w.SetTransformShift;
    }
}

float Matrix3D::getRotationY() const
{
    const standin::World& w = standin::W();
    return w.RotationOverridden ? w.RotationOverride : std::atan2(Row[0][2], Row[2][2]);
}
