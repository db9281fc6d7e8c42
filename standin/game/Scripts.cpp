// The host's script base class and script factories.
#include <cstdlib>
#include <cstring>

#include "Internal.h"
#include "Scripts.h"

ScriptImpClass::ScriptImpClass() : OwnerObj(nullptr), Factory(nullptr), Parameters(nullptr) {}

// The parameter copy is the host's own memory, not the plug-in's.
ScriptImpClass::~ScriptImpClass() { std::free(Parameters); }

const char* ScriptImpClass::Get_Name() { return Factory != nullptr ? Factory->Get_Name() : ""; }

void ScriptImpClass::Attach(ScriptableGameObj* obj) { OwnerObj = obj; }
void ScriptImpClass::Detach(ScriptableGameObj*) { OwnerObj = nullptr; }
void ScriptImpClass::Created(ScriptableGameObj*) {}
void ScriptImpClass::Destroyed(ScriptableGameObj*) {}
void ScriptImpClass::Killed(ScriptableGameObj*, ScriptableGameObj*) {}
void ScriptImpClass::Damaged(ScriptableGameObj*, ScriptableGameObj*, float) {}
void ScriptImpClass::Custom(ScriptableGameObj*, int, int, ScriptableGameObj*) {}
void ScriptImpClass::Sound_Heard(ScriptableGameObj*, const CombatSound&) {}
void ScriptImpClass::Enemy_Seen(ScriptableGameObj*, ScriptableGameObj*) {}
void ScriptImpClass::Action_Complete(ScriptableGameObj*, int, ActionCompleteReason) {}
void ScriptImpClass::Timer_Expired(ScriptableGameObj*, int) {}
void ScriptImpClass::Animation_Complete(ScriptableGameObj*, const char*) {}
void ScriptImpClass::Poked(ScriptableGameObj*, ScriptableGameObj*) {}
void ScriptImpClass::Entered(ScriptableGameObj*, ScriptableGameObj*) {}
void ScriptImpClass::Exited(ScriptableGameObj*, ScriptableGameObj*) {}
ScriptableGameObj* ScriptImpClass::Owner() { return OwnerObj; }
ScriptableGameObj** ScriptImpClass::Get_Owner_Ptr() { return &OwnerObj; }

void ScriptImpClass::Set_Parameters_String(const char* params)
{
    std::free(Parameters);
    Parameters = nullptr;
    if (params != nullptr) {
        const std::size_t size = std::strlen(params) + 1;
        Parameters = static_cast<char*>(std::malloc(size));
        if (Parameters != nullptr) {
            std::memcpy(Parameters, params, size);
        }
    }
}

void ScriptImpClass::Get_Parameters_String(char* buffer, unsigned int size)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    const char* text = Parameters != nullptr ? Parameters : "";
    std::size_t n = std::strlen(text);
    if (n >= size) {
        n = size - 1;
    }
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

void ScriptImpClass::Save(ScriptSaver&) {}
void ScriptImpClass::Load(ScriptLoader&) {}
void ScriptImpClass::Save_Data(ScriptSaver&) {}
void ScriptImpClass::Load_Data(ScriptLoader&) {}
void ScriptImpClass::Register_Auto_Save_Variables() { standin::Host_Note_Auto_Save_Registration(); }

void ScriptImpClass::Destroy_Script() { standin::Host_Destroy_Script(this); }

ScriptFactory::ScriptFactory(const char* name, const char* param_description)
    : Name(name != nullptr ? name : ""), ParamDescription(param_description != nullptr ? param_description : "")
{
    standin::Host_Register_Factory(this);
}

ScriptFactory::~ScriptFactory() { standin::Host_Withdraw_Factory(this); }
