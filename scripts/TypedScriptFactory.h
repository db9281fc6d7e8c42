// A script factory for one script class. Constructing it registers the script's name with the
// host; destroying it withdraws the name.
#pragma once

#include <new>

#include "HostMemory.h"
#include "Scripts.h"

template <class Script> class TypedScriptFactory : public ScriptFactory
{
public:
    TypedScriptFactory(const char* name, const char* param_description)
        : ScriptFactory(name, param_description)
    {
    }
    ~TypedScriptFactory() override {}

    // A new script from the host's memory manager, or null when it has no memory: the host then
    // attaches nothing. The host owns the script from here on and ends it through its virtual
    // destructor, which returns the storage through the host's operator delete.
    ScriptImpClass* Create() override
    {
        void* storage = Host_Allocate(sizeof(Script));
        if (storage == nullptr) {
            return nullptr;
        }
        Script* script = new (storage) Script();
        script->Set_Factory(this);
        script->Register_Auto_Save_Variables();
        return script;
    }
};
