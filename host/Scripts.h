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
class HOST_API ScriptImpClass
{
public:
    ScriptImpClass();
    virtual ~ScriptImpClass();

    ScriptImpClass(const ScriptImpClass&) = delete;
    ScriptImpClass& operator=(const ScriptImpClass&) = delete;

    virtual const char* Get_Name();

protected:
    virtual void Attach(ScriptableGameObj* obj);
    virtual void Detach(ScriptableGameObj* obj);

public:
    virtual void Created(ScriptableGameObj* obj);
    virtual void Destroyed(ScriptableGameObj* obj);
    virtual void Killed(ScriptableGameObj* obj, ScriptableGameObj* killer);
    virtual void Damaged(ScriptableGameObj* obj, ScriptableGameObj* damager, float amount);
    virtual void Custom(ScriptableGameObj* obj, int type, int param, ScriptableGameObj* sender);
    virtual void Sound_Heard(ScriptableGameObj* obj, const CombatSound& sound);
    virtual void Enemy_Seen(ScriptableGameObj* obj, ScriptableGameObj* enemy);
    virtual void Action_Complete(ScriptableGameObj* obj, int action_id,
                                 ActionCompleteReason reason);
    virtual void Timer_Expired(ScriptableGameObj* obj, int number);
    virtual void Animation_Complete(ScriptableGameObj* obj, const char* animation_name);
    virtual void Poked(ScriptableGameObj* obj, ScriptableGameObj* poker);
    virtual void Entered(ScriptableGameObj* obj, ScriptableGameObj* enterer);
    virtual void Exited(ScriptableGameObj* obj, ScriptableGameObj* exiter);
    virtual ScriptableGameObj* Owner();
    virtual ScriptableGameObj** Get_Owner_Ptr();
    virtual void Set_Parameters_String(const char* params);
    virtual void Get_Parameters_String(char* buffer, unsigned int size);

protected:
    virtual void Save(ScriptSaver& saver);
    virtual void Load(ScriptLoader& loader);

public:
    virtual void Save_Data(ScriptSaver& saver);
    virtual void Load_Data(ScriptLoader& loader);
    virtual void Register_Auto_Save_Variables();

    // Detaches the script from its object; the host deletes it once the call that asked for
    // this has returned.
    void Destroy_Script();

    void Set_Factory(ScriptFactory* factory) { Factory = factory; }
    ScriptFactory* Get_Factory() const { return Factory; }

private:
    friend struct HostScriptAccess;

    ScriptableGameObj* OwnerObj;
    ScriptFactory* Factory;
    char* Parameters;
    unsigned int HostSerial;
};

// Makes the scripts of one name. A live factory makes its name creatable; destroying it
// withdraws the name.
class HOST_API ScriptFactory
{
public:
    ScriptFactory(const char* name, const char* param_description);
    virtual ~ScriptFactory();

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
