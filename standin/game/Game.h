// Running a game around a plug-in: the world, the level and its clock, the objects in it, and
// its scripts and timers, for inspection.
#pragma once

#include <cstdint>

#include "GameObjects.h"
#include "HostApi.h"
#include "Math.h"
#include "Plugin.h"
#include "Scripts.h"

class INIClass;

namespace standin {

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

}  // namespace standin
