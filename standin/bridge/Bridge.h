// The bridge between a DLL under the emulated processor and the stand-in host. Every call the
// DLL makes into the host is bound (GuestImports.cpp) to the same stand-in the Linux plug-in
// meets, by the host platform's calling conventions. What the DLL holds of the host's (the
// object list, strings, the command table) lives in its own memory (GuestMemory, GuestHandles);
// what the host holds of the DLL's (its plug-in object, script factories and scripts) is met
// through native stand-ins that forward each virtual call into the DLL (GuestStandIns).
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "GuestCpu.h"
#include "GuestDll.h"
#include "GuestHandles.h"
#include "GuestMemory.h"
#include "TextFile.h"

class Plugin;

namespace standin {

class GuestScript;
class GuestFactory;
class GuestPluginObject;

// Slots of the virtual-function tables, as the host platform's compiler lays them out: one
// slot for the virtual destructor (its scalar deleting form).
enum PluginSlot : std::uint32_t { PluginDestructor = 0, LoadGlobalSettings = 2, LevelLoaded = 8, PluginTick = 16 };
enum ScriptSlot : std::uint32_t {
    ScriptDestructor = 0, GetName = 1, AttachSlot = 2, DetachSlot = 3, CreatedSlot = 4, DestroyedSlot = 5, KilledSlot = 6,
    DamagedSlot = 7, TimerExpiredSlot = 12, SetParametersSlot = 19,
};
enum FactorySlot : std::uint32_t { FactoryCreate = 1 };

class GuestPlugin
{
public:
    explicit GuestPlugin(const std::string& name) : Memory(Cpu), Handles(Cpu, Memory), Name(name), Dll(Cpu) {}
    ~GuestPlugin();
    GuestPlugin(const GuestPlugin&) = delete;
    GuestPlugin& operator=(const GuestPlugin&) = delete;

    // Lays the DLL out, binds its imports and starts it.
    text::Status Load(const std::vector<char>& bytes);
    // Its Plugin_Init: the native stand-in of the plug-in it hands over, null for none.
    text::Expected<Plugin*> Init();

    // A call into the DLL; a fault is told to the program's handler, and the DLL is called no
    // more (the host could not go on with a plug-in whose state is unknown).
    std::uint32_t Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args);
    std::uint32_t Call_Virtual(std::uint32_t object, std::uint32_t slot, std::initializer_list<std::uint32_t> args)
    {
        return Call(Cpu.Read_U32(Cpu.Read_U32(object) + 4 * slot), object, args);
    }

    // The native stand-ins of the DLL's objects, each made on first sight.
    GuestScript* Script_Of(std::uint32_t script);
    void Forget_Script(std::uint32_t script) { Scripts.erase(script); }
    GuestPluginObject* Plugin_Of(std::uint32_t object);
    // The stand-in of a plug-in object already seen; null for one never seen.
    GuestPluginObject* Known_Plugin(std::uint32_t object) const
    {
        const auto found = Plugins.find(object);
        return found != Plugins.end() ? found->second : nullptr;
    }
    // The stand-in of the script factory the DLL constructs at `self`, and its end.
    void Add_Factory(std::uint32_t self, const std::string& name, const std::string& description);
    void Remove_Factory(std::uint32_t self);

    guest::GuestCpu Cpu;
    GuestMemory Memory;
    GuestHandles Handles;

private:
    void Fault(const std::string& what);

    std::string Name;
    guest::GuestDll Dll;
    std::map<std::string, guest::Binding> Imports;  // by "DLL!NAME"
    std::unordered_map<std::uint32_t, GuestScript*> Scripts;
    std::unordered_map<std::uint32_t, GuestFactory*> Factories;
    std::unordered_map<std::uint32_t, GuestPluginObject*> Plugins;
    std::deque<std::string> FactoryNames;  // the factories' texts, which the host keeps pointers to
    bool Started = false;
    bool Faulted = false;  // a fault stopped it: it is called no more
};

// Every import the stand-in provides to a DLL, by "DLL!NAME", bound to `plugin`.
std::map<std::string, guest::Binding> Bind_Imports(GuestPlugin& plugin);

}  // namespace standin
