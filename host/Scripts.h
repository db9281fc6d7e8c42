// The host's script interface: scripts, their factories and the command table.
#pragma once

#include "GameObjects.h"
#include "HostApi.h"
#include "Math.h"

class ScriptFactory;
class ScriptSaver;
class ScriptLoader;
class CombatSound;
enum ActionCompleteReason : int;

// Base class of every script. The host creates scripts through their factory, attaches them
// to objects and owns them from then on; it ends them through the virtual destructor.
// HOST_API marks what the host's library exports; the inline members are compiled into users.
class ScriptImpClass
{
public:
    HOST_API ScriptImpClass();
    HOST_API virtual ~ScriptImpClass();

    ScriptImpClass(const ScriptImpClass&) = delete;
    ScriptImpClass& operator=(const ScriptImpClass&) = delete;

    HOST_API virtual const char* Get_Name();

protected:
    HOST_API virtual void Attach(ScriptableGameObj* obj);
    HOST_API virtual void Detach(ScriptableGameObj* obj);

public:
    HOST_API virtual void Created(ScriptableGameObj* obj);
    HOST_API virtual void Destroyed(ScriptableGameObj* obj);
    HOST_API virtual void Killed(ScriptableGameObj* obj, ScriptableGameObj* killer);
    HOST_API virtual void Damaged(ScriptableGameObj* obj, ScriptableGameObj* damager, float amount);
    HOST_API virtual void Custom(ScriptableGameObj* obj, int type, int param, ScriptableGameObj* sender);
    HOST_API virtual void Sound_Heard(ScriptableGameObj* obj, const CombatSound& sound);
    HOST_API virtual void Enemy_Seen(ScriptableGameObj* obj, ScriptableGameObj* enemy);
    HOST_API virtual void Action_Complete(ScriptableGameObj* obj, int action_id,
                                          ActionCompleteReason reason);
    HOST_API virtual void Timer_Expired(ScriptableGameObj* obj, int number);
    HOST_API virtual void Animation_Complete(ScriptableGameObj* obj, const char* animation_name);
    HOST_API virtual void Poked(ScriptableGameObj* obj, ScriptableGameObj* poker);
    HOST_API virtual void Entered(ScriptableGameObj* obj, ScriptableGameObj* enterer);
    HOST_API virtual void Exited(ScriptableGameObj* obj, ScriptableGameObj* exiter);
    HOST_API virtual ScriptableGameObj* Owner();
    HOST_API virtual ScriptableGameObj** Get_Owner_Ptr();
    HOST_API virtual void Set_Parameters_String(const char* params);
    HOST_API virtual void Get_Parameters_String(char* buffer, unsigned int size);

protected:
    HOST_API virtual void Save(ScriptSaver& saver);
    HOST_API virtual void Load(ScriptLoader& loader);

public:
    HOST_API virtual void Save_Data(ScriptSaver& saver);
    HOST_API virtual void Load_Data(ScriptLoader& loader);
    HOST_API virtual void Register_Auto_Save_Variables();

    // Detaches the script from its object; the host deletes it once the call that asked for
    // this has returned.
    HOST_API void Destroy_Script();

    void Set_Factory(ScriptFactory* factory) { Factory = factory; }
    ScriptFactory* Get_Factory() const { return Factory; }

private:
    ScriptableGameObj* OwnerObj;
    ScriptFactory* Factory;
    char* Parameters;
};

// Makes the scripts of one name. A live factory makes its name creatable; destroying it
// withdraws the name.
class ScriptFactory
{
public:
    HOST_API ScriptFactory(const char* name, const char* param_description);
    HOST_API virtual ~ScriptFactory();

    ScriptFactory(const ScriptFactory&) = delete;
    ScriptFactory& operator=(const ScriptFactory&) = delete;

    // A new script of this factory's kind, or null when none could be made.
    virtual ScriptImpClass* Create() = 0;

    const char* Get_Name() const { return Name; }
    const char* Get_Param_Description() const { return ParamDescription; }

private:
    const char* Name;
    const char* ParamDescription;
};

// The host's table of script commands (only the entries plug-ins here use).
struct ScriptCommands
{
    const char* (*Get_Preset_Name)(ScriptableGameObj* obj);
    void (*Start_Timer)(ScriptableGameObj* obj, ScriptImpClass* script, float seconds,
                        int number);
    void (*Apply_Damage)(ScriptableGameObj* obj, float amount, const char* warhead,
                         ScriptableGameObj* damager);
    Vector3 (*Get_Position)(ScriptableGameObj* obj);
    void (*Set_Position)(ScriptableGameObj* obj, const Vector3& position);
};

extern HOST_API ScriptCommands* Commands;

HOST_API bool Is_Script_Attached(ScriptableGameObj* obj, const char* name);

// Creates the script registered under `name` and attaches it, unless the object already
// carries one of that name; the script then receives Created.
HOST_API void Attach_Script_Once(ScriptableGameObj* obj, const char* name, const char* params);
