// The stand-in host's game: the world, its levels and its ticks.
//
// Everything runs on the caller's thread, as the host delivers everything on its main thread.
// Scripts and objects that go away while a plug-in call is under way are only unlinked at
// once; their memory is released when the outermost call into the plug-in has returned, so a
// script may destroy itself (or its object) from inside its own callback.
#include <climits>
#include <cstdlib>

#include "WorldState.h"

namespace standin {

namespace {

World* Current = nullptr;

}  // namespace

World& W()
{
    if (Current == nullptr) {
        Current = Sys_New<World>();
    }
    return *Current;
}

World::~World()
{
    for (HostObjectState* block : StateBlocks) {
        std::free(block);
    }
}

bool New_World()
{
    World& w = W();
    // A world still in use stays: its game, its plug-in's subscriptions and factories, its
    // scripts and their memory would all go with it.
    if (w.Running || !w.Subscribers.empty() || !w.Factories.empty() || w.LiveScripts != 0 || !w.Objects.empty() ||
        w.Depth != 0 || !w.ScriptGraveyard.empty() || !w.ObjectGraveyard.empty()) {
        return false;
    }
    Sys_Delete(Current);
    Current = Sys_New<World>();
    GameObjManager::SmartGameObjList.HeadNode = nullptr;
    GameObjManager::SmartGameObjList.TailNode = nullptr;
    return true;
}

void Release_Graveyard()
{
    World& w = W();
    while (!w.ScriptGraveyard.empty() || !w.ObjectGraveyard.empty()) {
        SysVector<ScriptImpClass*> scripts;
        scripts.swap(w.ScriptGraveyard);
        for (ScriptImpClass* script : scripts) {
            ++w.Depth;  // the destructor is plug-in code
            InPlugin running("a script's destructor");
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

    Fire_Due_Timers();
    Raise(EVENT_TICK, nullptr);
}

void Override_Rotation_Y(float angle)
{
    W().RotationOverridden = true;
    W().RotationOverride = angle;
}

void Clear_Rotation_Override() { W().RotationOverridden = false; }

void Shift_On_Set_Transform(float dz) { W().SetTransformShift = dz; }

}  // namespace standin

cGameData* The_Game()
{
    standin::World& w = standin::W();
    return w.Running ? &w.Game : nullptr;
}
