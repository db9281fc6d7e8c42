// Script factories and the scripts they make: registration, attachment, lookup and detachment.
#include <algorithm>
#include <cstring>

#include "Internal.h"
#include "WorldState.h"

namespace standin {

unsigned int Serial_Of(const ScriptImpClass* script)
{
    const auto found = W().SerialOf.find(script);
    return found != W().SerialOf.end() ? found->second : 0;
}

ScriptRecord* Record_Of(ScriptImpClass* script)
{
    if (script == nullptr) {
        return nullptr;
    }
    auto found = W().Scripts.find(Serial_Of(script));
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
    w.SerialOf.erase(record.Script);
    auto& list = record.Owner->Scripts;
    list.erase(std::remove(list.begin(), list.end(), serial), list.end());
    Record(events::ScriptDetached{record.Name}, record.Owner);
    {
        PluginCall call;
        InPlugin running("a script's Detach");
        ScriptHooks::Call_Detach(record.Script, record.Owner->Object);
        w.ScriptGraveyard.push_back(record.Script);
    }
}

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

namespace {

long long AutoSaveRegistrations = 0;  // over the process, whatever the world

}  // namespace

long long Auto_Save_Registrations() { return AutoSaveRegistrations; }
void Host_Note_Auto_Save_Registration() { ++AutoSaveRegistrations; }

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
    Record(events::FactoryRegistered{Intern(factory->Get_Name())});
}

void Host_Withdraw_Factory(ScriptFactory* factory)
{
    auto& list = W().Factories;
    list.erase(std::remove(list.begin(), list.end(), factory), list.end());
    Record(events::FactoryWithdrawn{Intern(factory->Get_Name())});
}

void Host_Destroy_Script(ScriptImpClass* script)
{
    if (Record_Of(script) == nullptr) {
        return;  // not attached (any more)
    }
    PluginCall call;
    Detach_Script(Serial_Of(script));
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
        Record(events::AttachRefused{Intern(name)}, state);
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
    ScriptImpClass* script = nullptr;
    {
        InPlugin running("a script factory's Create");
        script = factory->Create();
    }
    if (script == nullptr) {
        return;  // the factory had no memory for it: nothing is attached
    }
    ++w.LiveScripts;
    const unsigned int serial = w.NextSerial++;
    w.SerialOf[script] = serial;
    const char* interned = Intern(name);
    w.Scripts.emplace(serial, ScriptRecord{script, interned, state});
    state->Scripts.push_back(serial);
    script->Set_Parameters_String(params != nullptr ? params : "");
    {
        InPlugin running("a script's Attach");
        ScriptHooks::Call_Attach(script, obj);
    }
    Record(events::ScriptAttached{interned}, state);
    InPlugin running("a script's Created");
    script->Created(obj);
}

}  // namespace standin

bool Is_Script_Attached(ScriptableGameObj* obj, const char* name)
{
    return standin::Find_Script(obj, name) != nullptr;
}

void Attach_Script_Once(ScriptableGameObj* obj, const char* name, const char* params)
{
    standin::Host_Attach_Script(obj, name, params);
}
