// A plug-in DLL played by the stand-in host: its code runs under the emulated processor, and
// every call it makes into the host is bound here to the same stand-in the Linux plug-in meets
// (the world, the journal, the timers, the memory manager's accounting), by the host platform's
// calling conventions. What the DLL holds of the host's (the object list, strings, the command
// table) lives in its own memory, kept in step with the host's; what the host holds of the
// DLL's (its plug-in object, script factories and scripts) is met through native stand-ins
// that forward each virtual call into the DLL.
#include "GuestPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <new>
#include <unordered_map>

#include "GuestDll.h"
#include "PluginLoader.h"
#include "HashTemplate.h"
#include "HostMemory.h"
#include "INIClass.h"
#include "Internal.h"
#include "StringClass.h"
#include "WorldState.h"

namespace standin {
namespace {

using guest::Binding;
using guest::GuestCpu;
using guest::PeImport;

// Where things live in the DLL's address space.
constexpr std::uint32_t DllBase = 0x20000000u;     // not the DLL's own base: its relocations are applied
constexpr std::uint32_t HeapBase = 0x40000000u;    // blocks of the memory manager, grown as needed
constexpr std::uint32_t HeapChunk = 0x01000000u;
constexpr std::uint32_t HeapLimit = 0x60000000u;
constexpr std::uint32_t HostData = 0x68000000u;    // the host's variables, objects and strings
constexpr std::uint32_t HostDataSize = 0x04000000u;

// Slots of the virtual-function tables, as the host platform's compiler lays them out: one
// slot for the virtual destructor (its scalar deleting form).
enum PluginSlot : std::uint32_t { PluginDestructor = 0, LoadGlobalSettings = 2, LevelLoaded = 8, PluginTick = 16 };
enum ScriptSlot : std::uint32_t {
    ScriptDestructor = 0, GetName = 1, AttachSlot = 2, DetachSlot = 3, CreatedSlot = 4, DestroyedSlot = 5, KilledSlot = 6,
    DamagedSlot = 7, TimerExpiredSlot = 12, SetParametersSlot = 19,
};
enum FactorySlot : std::uint32_t { FactoryCreate = 1 };

std::uint32_t Bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

float Float_Of(std::uint32_t b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

}  // namespace

class GuestScript;
class GuestFactory;
class GuestPluginObject;

class GuestPlugin
{
public:
    explicit GuestPlugin(const std::string& name) : Name(name), Dll(Cpu) {}
    ~GuestPlugin();

    bool Load(const std::vector<char>& bytes, std::string& error);
    bool Init(Plugin*& instance, std::string& error);

    // A call into the DLL; a fault ends the process with what the DLL did (the host could not go
    // on with a plug-in whose state is unknown).
    std::uint32_t Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args);
    std::uint32_t Call_Virtual(std::uint32_t object, std::uint32_t slot, std::initializer_list<std::uint32_t> args)
    {
        return Call(Cpu.Read_U32(Cpu.Read_U32(object) + 4 * slot), object, args);
    }

    // The DLL's view of a host object, and back.
    std::uint32_t Handle_Of(ScriptableGameObj* obj);
    ScriptableGameObj* Object_Of(std::uint32_t handle);
    std::uint32_t Ini_Handle(INIClass* ini);
    // A text of the host's in the DLL's memory, kept for the plug-in's life.
    std::uint32_t Text(const char* text);
    // The native stand-in of one of the DLL's scripts (made on first sight).
    GuestScript* Script_Of(std::uint32_t script);
    void Forget_Script(std::uint32_t script) { Scripts.erase(script); }

    // The memory manager's blocks for the DLL: counted as the Linux plug-in's are.
    std::uint32_t New_Block(std::uint32_t bytes, bool array);
    void Delete_Block(std::uint32_t block);

    GuestCpu Cpu;

private:
    // Fills Table: every import the stand-in provides, by "DLL!NAME".
    void Bind_All();
    Binding Bind(const PeImport& import);
    void Sync_List();
    std::uint32_t Host_Alloc(std::uint32_t bytes);
    std::uint32_t Heap_Alloc(std::uint32_t bytes);
    // The guest's StringClass operations on the string at `self`.
    void String_Grow(std::uint32_t self, std::uint32_t length);
    void String_Free(std::uint32_t self);
    void String_Set(std::uint32_t self, const char* text);
    Matrix3D Read_Matrix(std::uint32_t at);
    // A script's parameter text: the host's own memory, as in the host.
    std::uint32_t Params_Copy(const std::string& text);
    void Params_Free(std::uint32_t at);

    std::unordered_map<std::uint32_t, std::uint32_t> HostParams;  // address -> size
    std::map<std::uint32_t, std::vector<std::uint32_t>> FreeParams;

    std::string Name;
    guest::GuestDll Dll;
    std::map<std::string, Binding> Table;
    // Host data.
    std::uint32_t HostNext = HostData;
    std::uint32_t CommandsVar = 0, ListVar = 0, EmptyStringVar = 0, EmptyPointer = 0, EmptyBuffer = 0, NullCharVar = 0,
                  NullChar = 0, GameData = 0;
    std::uint64_t SeenChanges = ~0ull;
    std::unordered_map<ScriptableGameObj*, std::uint32_t> Handles;
    std::unordered_map<std::uint32_t, ScriptableGameObj*> Objects;
    std::unordered_map<INIClass*, std::uint32_t> Inis;
    std::unordered_map<std::uint32_t, INIClass*> IniOf;
    std::unordered_map<std::string, std::uint32_t> Texts;
    // The DLL's objects and their native stand-ins.
    std::unordered_map<std::uint32_t, GuestScript*> Scripts;
    std::unordered_map<std::uint32_t, GuestFactory*> Factories;
    std::unordered_map<std::uint32_t, GuestPluginObject*> Plugins;
    std::deque<std::string> FactoryNames;
    // The memory manager's blocks: guest address -> the native block that carries the count.
    struct Block
    {
        void* Native;
        std::uint32_t Size;
        bool Array;
    };
    std::unordered_map<std::uint32_t, Block> Blocks;
    std::map<std::uint32_t, std::vector<std::uint32_t>> FreeBySize;
    std::uint32_t HeapNext = HeapBase;
    std::uint32_t HeapMapped = HeapBase;
    bool Started = false;
    bool Faulted = false;  // a fault stopped it: it is called no more
    // Notes a fault and tells the program's handler.
    void Fault(const std::string& what);
};

// --- Native stand-ins of the DLL's objects: allocated outside the memory manager, so that only
// the DLL's own blocks are counted.

template <class Base> class GuestObject : public Base
{
public:
    using Base::Base;
    static void* operator new(std::size_t bytes) { return std::malloc(bytes); }
    static void operator delete(void* block) { std::free(block); }
};

class GuestPluginObject final : public GuestObject<Plugin>
{
public:
    GuestPluginObject(GuestPlugin& host, std::uint32_t object) : Host(host), Object(object) {}
    void Load_Global_Settings(INIClass* ini) override { Host.Call_Virtual(Object, LoadGlobalSettings, {Host.Ini_Handle(ini)}); }
    void Level_Loaded() override { Host.Call_Virtual(Object, LevelLoaded, {}); }
    void Tick() override { Host.Call_Virtual(Object, PluginTick, {}); }

private:
    GuestPlugin& Host;
    std::uint32_t Object;
};

class GuestScript final : public GuestObject<ScriptImpClass>
{
public:
    GuestScript(GuestPlugin& host, std::uint32_t object) : Host(host), Object(object) {}
    // The host deletes a script through its virtual destructor: the DLL's scalar deleting
    // destructor, told to free the object too.
    ~GuestScript() override
    {
        Host.Forget_Script(Object);
        Host.Call_Virtual(Object, ScriptDestructor, {1});
    }
    const char* Get_Name() override { return Intern(Host.Cpu.Read_Text(Host.Call_Virtual(Object, GetName, {})).c_str()); }
    void Created(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, CreatedSlot, {Host.Handle_Of(obj)}); }
    void Destroyed(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, DestroyedSlot, {Host.Handle_Of(obj)}); }
    void Killed(ScriptableGameObj* obj, ScriptableGameObj* killer) override
    {
        Host.Call_Virtual(Object, KilledSlot, {Host.Handle_Of(obj), Host.Handle_Of(killer)});
    }
    void Damaged(ScriptableGameObj* obj, ScriptableGameObj* damager, float amount) override
    {
        Host.Call_Virtual(Object, DamagedSlot, {Host.Handle_Of(obj), Host.Handle_Of(damager), Bits(amount)});
    }
    void Timer_Expired(ScriptableGameObj* obj, int number) override
    {
        Host.Call_Virtual(Object, TimerExpiredSlot, {Host.Handle_Of(obj), static_cast<std::uint32_t>(number)});
    }
    void Set_Parameters_String(const char* params) override
    {
        Host.Call_Virtual(Object, SetParametersSlot, {Host.Text(params != nullptr ? params : "")});
    }
    std::uint32_t Guest() const { return Object; }

protected:
    void Attach(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, AttachSlot, {Host.Handle_Of(obj)}); }
    void Detach(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, DetachSlot, {Host.Handle_Of(obj)}); }

private:
    GuestPlugin& Host;
    std::uint32_t Object;
};

class GuestFactory final : public GuestObject<ScriptFactory>
{
public:
    GuestFactory(GuestPlugin& host, std::uint32_t object, const char* name, const char* description)
        : GuestObject<ScriptFactory>(name, description), Host(host), Object(object)
    {
    }
    ScriptImpClass* Create() override
    {
        const std::uint32_t script = Host.Call_Virtual(Object, FactoryCreate, {});
        return script != 0 ? Host.Script_Of(script) : nullptr;
    }

private:
    GuestPlugin& Host;
    std::uint32_t Object;
};

// --- The bridge ---

namespace {

GuestFaultHandler FaultHandler = nullptr;

}  // namespace

void On_Guest_Fault(GuestFaultHandler fault) { FaultHandler = fault; }

void GuestPlugin::Fault(const std::string& what)
{
    Faulted = true;
    if (FaultHandler != nullptr) {
        FaultHandler(what);
    }
}

GuestPlugin::~GuestPlugin()
{
    if (Started && !Faulted) {
        std::string error;
        if (!Dll.Detach(error)) {
            Fault(Name + ": " + error + " (as it was unloaded)");
        }
    }
    for (auto& [object, plugin] : Plugins) {
        delete plugin;
    }
    // Blocks the DLL never gave back are its leak: their native blocks stay, so the memory
    // manager's count shows it, as it shows the Linux plug-in's.
}

std::uint32_t GuestPlugin::Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args)
{
    if (Faulted) {
        return 0;  // a DLL that faulted is called no more
    }
    Sync_List();
    std::uint32_t result = 0;
    if (!Cpu.Call(address, self, args, result)) {
        Fault(Name + ": " + Cpu.Error() + "; the import it last called: " +
              (Cpu.Current_Import().empty() ? std::string("none") : Cpu.Current_Import()));
        return 0;
    }
    return result;
}

std::uint32_t GuestPlugin::Host_Alloc(std::uint32_t bytes)
{
    const std::uint32_t at = HostNext;
    HostNext += (bytes + 15u) & ~15u;
    if (HostNext > HostData + HostDataSize) {
        Cpu.Stop("the host's memory for the DLL is full");
        return 0;
    }
    return at;
}

std::uint32_t GuestPlugin::Heap_Alloc(std::uint32_t bytes)
{
    const std::uint32_t size = (std::max<std::uint32_t>(bytes, 1) + 15u) & ~15u;
    auto reuse = FreeBySize.find(size);
    if (reuse != FreeBySize.end() && !reuse->second.empty()) {
        const std::uint32_t at = reuse->second.back();
        reuse->second.pop_back();
        return at;
    }
    if (size > HeapLimit - HeapNext) {
        return 0;
    }
    while (HeapNext + size > HeapMapped) {
        if (!Cpu.Map(HeapMapped, HeapChunk)) {
            return 0;
        }
        HeapMapped += HeapChunk;
    }
    const std::uint32_t at = HeapNext;
    HeapNext += size;
    return at;
}

std::uint32_t GuestPlugin::New_Block(std::uint32_t bytes, bool array)
{
    // The native block carries the count (and any refusal the tests ask the memory manager for).
    // The host's operator new answers a request it cannot serve with null, as the DLL's would.
    void* native = array ? Host_Allocate_Array(std::max<std::uint32_t>(bytes, 1)) : Host_Allocate(std::max<std::uint32_t>(bytes, 1));
    if (native == nullptr) {
        return 0;
    }
    const std::uint32_t at = Heap_Alloc(bytes);
    if (at == 0) {
        array ? Host_Free_Array(native) : ::operator delete(native);
        return 0;
    }
    Blocks[at] = Block{native, (std::max<std::uint32_t>(bytes, 1) + 15u) & ~15u, array};
    return at;
}

void GuestPlugin::Delete_Block(std::uint32_t block)
{
    if (block == 0) {
        return;
    }
    const auto found = Blocks.find(block);
    if (found == Blocks.end()) {
        Cpu.Stop("the DLL freed memory the host never gave it (" + std::to_string(block) + ")");
        return;
    }
    found->second.Array ? Host_Free_Array(found->second.Native) : ::operator delete(found->second.Native);
    FreeBySize[found->second.Size].push_back(block);
    Blocks.erase(found);
}

std::uint32_t GuestPlugin::Handle_Of(ScriptableGameObj* obj)
{
    if (obj == nullptr) {
        return 0;
    }
    const auto found = Handles.find(obj);
    if (found != Handles.end()) {
        return found->second;
    }
    // The object itself (4 bytes the DLL never reads) and its list node {next, object}.
    const std::uint32_t at = Host_Alloc(12);
    Cpu.Write_U32(at + 8, at);
    Handles[obj] = at;
    Objects[at] = obj;
    return at;
}

ScriptableGameObj* GuestPlugin::Object_Of(std::uint32_t handle)
{
    if (handle == 0) {
        return nullptr;
    }
    const auto found = Objects.find(handle);
    if (found == Objects.end()) {
        Cpu.Stop("the DLL passed an object the host never gave it (" + std::to_string(handle) + ")");
        return nullptr;
    }
    return found->second;
}

void GuestPlugin::Sync_List()
{
    if (ListVar == 0 || W().ListChanges == SeenChanges) {
        return;
    }
    SeenChanges = W().ListChanges;
    const SList<SmartGameObj>& list = GameObjManager::SmartGameObjList;
    const auto node = [&](SLNode<SmartGameObj>* n) { return n != nullptr ? Handle_Of(n->Object) + 4 : 0u; };
    for (SLNode<SmartGameObj>* n = list.HeadNode; n != nullptr; n = n->NextNode) {
        Cpu.Write_U32(Handle_Of(n->Object) + 4, node(n->NextNode));
    }
    Cpu.Write_U32(ListVar, node(list.HeadNode));
    Cpu.Write_U32(ListVar + 4, node(list.TailNode));
}

std::uint32_t GuestPlugin::Ini_Handle(INIClass* ini)
{
    if (ini == nullptr) {
        return 0;
    }
    const auto found = Inis.find(ini);
    if (found != Inis.end()) {
        return found->second;
    }
    const std::uint32_t at = Host_Alloc(16);
    Inis[ini] = at;
    IniOf[at] = ini;
    return at;
}

std::uint32_t GuestPlugin::Text(const char* text)
{
    const std::string key = text != nullptr ? text : "";
    const auto found = Texts.find(key);
    if (found != Texts.end()) {
        return found->second;
    }
    const std::uint32_t at = Host_Alloc(static_cast<std::uint32_t>(key.size() + 1));
    Cpu.Write(at, key.c_str(), key.size() + 1);
    Texts.emplace(key, at);
    return at;
}

GuestScript* GuestPlugin::Script_Of(std::uint32_t script)
{
    const auto found = Scripts.find(script);
    if (found != Scripts.end()) {
        return found->second;
    }
    auto* native = new GuestScript(*this, script);
    Scripts[script] = native;
    return native;
}

void GuestPlugin::String_Free(std::uint32_t self)
{
    const std::uint32_t buffer = Cpu.Read_U32(self);
    if (buffer != EmptyBuffer && buffer != 0) {
        Delete_Block(buffer - 8);
        Cpu.Write_U32(self, EmptyBuffer);
    }
}

void GuestPlugin::String_Grow(std::uint32_t self, std::uint32_t length)
{
    if (static_cast<std::int32_t>(length) <= 1) {
        return;
    }
    const std::uint32_t buffer = Cpu.Read_U32(self);
    if (buffer != EmptyBuffer && buffer != 0 && Cpu.Read_U32(buffer - 8) >= length) {
        return;
    }
    const std::uint32_t capacity = (length + 15u) & ~15u;
    const std::uint32_t block = length < 0x7FFFFFF0u - 8 ? New_Block(8 + capacity, true) : 0;
    String_Free(self);
    if (block == 0) {
        return;  // the shared empty buffer stays, as the host's own strings do without memory
    }
    const std::uint32_t header[2] = {capacity, 0};
    Cpu.Write(block, header, sizeof(header));
    const char nul = 0;
    Cpu.Write(block + 8, &nul, 1);
    Cpu.Write_U32(self, block + 8);
}

void GuestPlugin::String_Set(std::uint32_t self, const char* text)
{
    // As StringClass's own assignment: room for the text, then the length word and the text.
    const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text));
    String_Grow(self, n + 1);
    const std::uint32_t buffer = Cpu.Read_U32(self);
    const char nul = 0;
    if (buffer == EmptyBuffer) {
        Cpu.Write(buffer, &nul, 1);
        return;
    }
    Cpu.Write_U32(buffer - 4, n);
    Cpu.Write(buffer, text, n);
    Cpu.Write(buffer + n, &nul, 1);
}

std::uint32_t GuestPlugin::Params_Copy(const std::string& text)
{
    const std::uint32_t size = (static_cast<std::uint32_t>(text.size()) + 16u) & ~15u;
    std::vector<std::uint32_t>& free = FreeParams[size];
    std::uint32_t at = 0;
    if (!free.empty()) {
        at = free.back();
        free.pop_back();
    } else {
        at = Host_Alloc(size);
    }
    if (at != 0) {
        Cpu.Write(at, text.c_str(), text.size() + 1);
        HostParams[at] = size;
    }
    return at;
}

void GuestPlugin::Params_Free(std::uint32_t at)
{
    const auto found = HostParams.find(at);
    if (found != HostParams.end()) {
        FreeParams[found->second].push_back(at);
        HostParams.erase(found);
    }
}

Matrix3D GuestPlugin::Read_Matrix(std::uint32_t at)
{
    Matrix3D m;
    Cpu.Read(at, &m.Row[0][0], sizeof(m.Row));
    return m;
}

bool GuestPlugin::Load(const std::vector<char>& bytes, std::string& error)
{
    if (!Cpu.Ready() || !Cpu.Map(HostData, HostDataSize)) {
        error = Cpu.Ready() ? "no room for the host's memory" : Cpu.Error();
        return false;
    }
    // The host's variables the DLL imports.
    CommandsVar = Host_Alloc(4);
    ListVar = Host_Alloc(8);
    EmptyBuffer = Host_Alloc(4);
    EmptyPointer = Host_Alloc(4);
    Cpu.Write_U32(EmptyPointer, EmptyBuffer);
    EmptyStringVar = Host_Alloc(4);
    Cpu.Write_U32(EmptyStringVar, EmptyPointer);  // a reference: the address of the pointer
    NullChar = Host_Alloc(4);
    NullCharVar = Host_Alloc(4);
    Cpu.Write_U32(NullCharVar, NullChar);
    GameData = Host_Alloc(4);
    Bind_All();
    if (!Dll.Load(bytes, DllBase, [this](const PeImport& i) { return Bind(i); }, error)) {
        return false;
    }
    if (!Dll.Attach(error)) {
        return false;
    }
    Started = true;
    return true;
}

bool GuestPlugin::Init(Plugin*& instance, std::string& error)
{
    const std::uint32_t init = Dll.Export("Plugin_Init");
    if (init == 0) {
        error = "no Plugin_Init";
        return false;
    }
    const std::uint32_t object = Call(init, 0, {});
    instance = nullptr;
    if (object != 0) {
        auto found = Plugins.find(object);
        if (found == Plugins.end()) {
            found = Plugins.emplace(object, new GuestPluginObject(*this, object)).first;
        }
        instance = found->second;
    }
    return true;
}

Binding GuestPlugin::Bind(const PeImport& import)
{
    const auto found = Table.find(import.Dll + "!" + import.Name);
    return found != Table.end() ? found->second : Binding{};
}

void GuestPlugin::Bind_All()
{
    const auto fn = [&](const std::string& dll, const std::string& name, unsigned pops, GuestCpu::Handler run, bool real = false) {
        Binding b;
        b.Known = true;
        b.Pops = pops;
        b.Float = real;
        b.Run = std::move(run);
        Table[dll + "!" + name] = b;
    };
    const auto data = [&](const std::string& dll, const std::string& name, std::uint32_t at) {
        Binding b;
        b.Known = true;
        b.Data = at;
        Table[dll + "!" + name] = b;
    };
    const std::string scripts = "scripts.dll", shaders = "shaders.dll", memory = "MemoryManager.dll", crt = "msvcrt.dll";
    GuestPlugin& h = *this;
    GuestCpu& cpu = Cpu;
    // The command table: five functions of the host's (__cdecl), reached through the table.
    const std::uint32_t table = Host_Alloc(20);
    Cpu.Write_U32(CommandsVar, table);
    const std::uint32_t commands[5] = {
        Cpu.Add_Stub("Commands->Get_Preset_Name", 0, false,
                     [&h, &cpu](GuestCpu&) { cpu.Return(h.Text(Commands->Get_Preset_Name(h.Object_Of(cpu.Arg(0))))); }),
        Cpu.Add_Stub("Commands->Start_Timer", 0, false,
                     [&h, &cpu](GuestCpu&) {
                         Commands->Start_Timer(h.Object_Of(cpu.Arg(0)), cpu.Arg(1) != 0 ? h.Script_Of(cpu.Arg(1)) : nullptr,
                                               Float_Of(cpu.Arg(2)), static_cast<int>(cpu.Arg(3)));
                     }),
        Cpu.Add_Stub("Commands->Apply_Damage", 0, false,
                     [&h, &cpu](GuestCpu&) {
                         const std::string warhead = cpu.Read_Text(cpu.Arg(2));
                         Commands->Apply_Damage(h.Object_Of(cpu.Arg(0)), Float_Of(cpu.Arg(1)),
                                                cpu.Arg(2) != 0 ? warhead.c_str() : nullptr, h.Object_Of(cpu.Arg(3)));
                     }),
        // A Vector3 (12 bytes) comes back through a hidden pointer, the first argument.
        Cpu.Add_Stub("Commands->Get_Position", 0, false,
                     [&h, &cpu](GuestCpu&) {
                         const Vector3 v = Commands->Get_Position(h.Object_Of(cpu.Arg(1)));
                         cpu.Write(cpu.Arg(0), &v, sizeof(v));
                         cpu.Return(cpu.Arg(0));
                     }),
        Cpu.Add_Stub("Commands->Set_Position", 0, false,
                     [&h, &cpu](GuestCpu&) {
                         Vector3 v;
                         cpu.Read(cpu.Arg(1), &v, sizeof(v));
                         Commands->Set_Position(h.Object_Of(cpu.Arg(0)), v);
                     }),
    };
    Cpu.Write(table, commands, sizeof(commands));
    data(scripts, "?Commands@@3PAUScriptCommands@@A", CommandsVar);
    data(scripts, "?SmartGameObjList@GameObjManager@@2V?$SList@VSmartGameObj@@@@A", ListVar);
    data(shaders, "?m_EmptyString@StringClass@@2AAPADA", EmptyStringVar);
    data(shaders, "?m_NullChar@StringClass@@2AADA", NullCharVar);

    // Free functions (__cdecl: the caller pops).
    fn(scripts, "?RegisterEvent@@YAXW4EventType@@PAVPlugin@@@Z", 0, [this, &cpu](GuestCpu&) {
        auto found = Plugins.find(cpu.Arg(1));
        if (found == Plugins.end()) {
            found = Plugins.emplace(cpu.Arg(1), new GuestPluginObject(*this, cpu.Arg(1))).first;
        }
        RegisterEvent(static_cast<EventType>(cpu.Arg(0)), found->second);
    });
    fn(scripts, "?UnregisterEvent@@YAXW4EventType@@PAVPlugin@@@Z", 0, [this, &cpu](GuestCpu&) {
        const auto found = Plugins.find(cpu.Arg(1));
        UnregisterEvent(static_cast<EventType>(cpu.Arg(0)), found != Plugins.end() ? found->second : nullptr);
    });
    fn(scripts, "?As_VehicleGameObj@@YAPAVVehicleGameObj@@PAVScriptableGameObj@@@Z", 0,
       [&h, &cpu](GuestCpu&) { cpu.Return(h.Handle_Of(As_VehicleGameObj(h.Object_Of(cpu.Arg(0))))); });
    fn(scripts, "?Get_Vehicle_Mode@@YAIPAVScriptableGameObj@@@Z", 0,
       [&h, &cpu](GuestCpu&) { cpu.Return(Get_Vehicle_Mode(h.Object_Of(cpu.Arg(0)))); });
    // A Matrix3D (48 bytes) comes back through a hidden pointer, the first argument.
    fn(scripts, "?Get_Transform@@YA?AVMatrix3D@@PAVScriptableGameObj@@@Z", 0, [&h, &cpu](GuestCpu&) {
        const Matrix3D m = Get_Transform(h.Object_Of(cpu.Arg(1)));
        cpu.Write(cpu.Arg(0), &m.Row[0][0], sizeof(m.Row));
        cpu.Return(cpu.Arg(0));
    });
    fn(scripts, "?Set_Transform@@YAXPAVScriptableGameObj@@ABVMatrix3D@@@Z", 0,
       [&h, &cpu](GuestCpu&) { Set_Transform(h.Object_Of(cpu.Arg(0)), h.Read_Matrix(cpu.Arg(1))); });
    fn(scripts, "?Is_Script_Attached@@YA_NPAVScriptableGameObj@@PBD@Z", 0, [&h, &cpu](GuestCpu&) {
        cpu.Return(Is_Script_Attached(h.Object_Of(cpu.Arg(0)), cpu.Read_Text(cpu.Arg(1)).c_str()) ? 1 : 0);
    });
    fn(scripts, "?Attach_Script_Once@@YAXPAVScriptableGameObj@@PBD1@Z", 0, [&h, &cpu](GuestCpu&) {
        const std::string name = cpu.Read_Text(cpu.Arg(1));
        const std::string params = cpu.Read_Text(cpu.Arg(2));
        Attach_Script_Once(h.Object_Of(cpu.Arg(0)), cpu.Arg(1) != 0 ? name.c_str() : nullptr,
                           cpu.Arg(2) != 0 ? params.c_str() : nullptr);
    });
    fn(scripts, "?The_Game@@YAPAVcGameData@@XZ", 0, [this, &cpu](GuestCpu&) {
        cGameData* game = The_Game();
        if (game != nullptr) {
            cpu.Write_U32(GameData, static_cast<std::uint32_t>(game->Get_Elapsed_Seconds()));
        }
        cpu.Return(game != nullptr ? GameData : 0);
    });
    fn(scripts, "?Get_Hash_Value@?$HashTemplateKeyClass@I@@SAIABI@Z", 0, [&cpu](GuestCpu&) {
        const unsigned int key = cpu.Read_U32(cpu.Arg(0));
        cpu.Return(HashTemplateKeyClass<unsigned int>::Get_Hash_Value(key));
    });
    // Matrix3D::getRotationY (__thiscall, a float back in ST0): the host's own computation.
    fn(scripts, "?getRotationY@Matrix3D@@QBEMXZ", 0,
       [&h, &cpu](GuestCpu&) { cpu.Return_Float(h.Read_Matrix(cpu.This()).getRotationY()); }, true);

    // INIClass (__thiscall: this in ECX, the callee pops).
    const auto ini = [this, &cpu]() -> INIClass* {
        const auto found = IniOf.find(cpu.This());
        if (found == IniOf.end()) {
            cpu.Stop("the DLL read settings the host never handed it");
            return nullptr;
        }
        return found->second;
    };
    const auto text_or_null = [&cpu](std::uint32_t at, std::string& keep) -> const char* {
        keep = cpu.Read_Text(at);
        return at != 0 ? keep.c_str() : nullptr;
    };
    fn(scripts, "?Entry_Count@INIClass@@QBEHPBD@Z", 4, [ini, text_or_null, &cpu](GuestCpu&) {
        std::string s;
        if (INIClass* i = ini()) {
            cpu.Return(static_cast<std::uint32_t>(i->Entry_Count(text_or_null(cpu.Arg(0), s))));
        }
    });
    fn(scripts, "?Get_Entry@INIClass@@QBEPBDPBDH@Z", 8, [this, ini, text_or_null, &cpu](GuestCpu&) {
        std::string s;
        if (INIClass* i = ini()) {
            const char* entry = i->Get_Entry(text_or_null(cpu.Arg(0), s), static_cast<int>(cpu.Arg(1)));
            cpu.Return(entry != nullptr ? Text(entry) : 0);
        }
    });
    fn(scripts, "?Get_Int@INIClass@@QBEHPBD0H@Z", 12, [ini, text_or_null, &cpu](GuestCpu&) {
        std::string s, e;
        if (INIClass* i = ini()) {
            cpu.Return(static_cast<std::uint32_t>(
                i->Get_Int(text_or_null(cpu.Arg(0), s), text_or_null(cpu.Arg(1), e), static_cast<int>(cpu.Arg(2)))));
        }
    });
    fn(scripts, "?Get_Float@INIClass@@QBEMPBD0M@Z", 12, [ini, text_or_null, &cpu](GuestCpu&) {
        std::string s, e;
        if (INIClass* i = ini()) {
            cpu.Return_Float(i->Get_Float(text_or_null(cpu.Arg(0), s), text_or_null(cpu.Arg(1), e), Float_Of(cpu.Arg(2))));
        }
    }, true);
    fn(scripts, "?Get_String@INIClass@@QBEHAAVStringClass@@PBD11@Z", 16, [this, ini, text_or_null, &cpu](GuestCpu&) {
        std::string s, e, d;
        if (INIClass* i = ini()) {
            StringClass value;
            const int n = i->Get_String(value, text_or_null(cpu.Arg(1), s), text_or_null(cpu.Arg(2), e),
                                        text_or_null(cpu.Arg(3), d));
            String_Set(cpu.Arg(0), value.Peek_Buffer());
            cpu.Return(static_cast<std::uint32_t>(n));
        }
    });

    // StringClass's library functions (__thiscall) on the DLL's strings.
    fn(shaders, "?Get_String@StringClass@@QAEPADH_N@Z", 8, [this, &cpu](GuestCpu&) {
        String_Grow(cpu.This(), cpu.Arg(0));
        cpu.Return(cpu.Read_U32(cpu.This()));
    });
    fn(shaders, "?Uninitialised_Grow@StringClass@@QAEXH@Z", 4, [this, &cpu](GuestCpu&) { String_Grow(cpu.This(), cpu.Arg(0)); });
    fn(shaders, "?Free_String@StringClass@@QAEXXZ", 0, [this, &cpu](GuestCpu&) { String_Free(cpu.This()); });

    // The memory manager (__cdecl).
    fn(memory, "??2@YAPAXI@Z", 0, [this, &cpu](GuestCpu&) { cpu.Return(New_Block(cpu.Arg(0), false)); });
    fn(memory, "??_U@YAPAXI@Z", 0, [this, &cpu](GuestCpu&) { cpu.Return(New_Block(cpu.Arg(0), true)); });
    fn(memory, "??3@YAXPAX@Z", 0, [this, &cpu](GuestCpu&) { Delete_Block(cpu.Arg(0)); });
    fn(memory, "??_V@YAXPAX@Z", 0, [this, &cpu](GuestCpu&) { Delete_Block(cpu.Arg(0)); });

    // The C runtime (__cdecl), on the DLL's memory.
    fn(crt, "memcpy", 0, [&cpu](GuestCpu&) {
        std::vector<char> bytes(cpu.Arg(2));
        cpu.Read(cpu.Arg(1), bytes.data(), bytes.size());
        cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
        cpu.Return(cpu.Arg(0));
    });
    fn(crt, "memset", 0, [&cpu](GuestCpu&) {
        const std::vector<char> bytes(cpu.Arg(2), static_cast<char>(cpu.Arg(1)));
        cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
        cpu.Return(cpu.Arg(0));
    });
    fn(crt, "strlen", 0, [&cpu](GuestCpu&) { cpu.Return(static_cast<std::uint32_t>(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF).size())); });
    fn(crt, "strcmp", 0, [&cpu](GuestCpu&) {
        const int c = std::strcmp(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF).c_str(), cpu.Read_Text(cpu.Arg(1), 0x7FFFFFFF).c_str());
        cpu.Return(static_cast<std::uint32_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
    });

    // The script base class (__thiscall) on the DLL's scripts: {vtable, owner, factory, parameters}.
    fn(scripts, "??0ScriptImpClass@@QAE@XZ", 0, [&cpu](GuestCpu&) {
        const std::uint32_t zero[3] = {0, 0, 0};
        cpu.Write(cpu.This() + 4, zero, sizeof(zero));
        cpu.Return(cpu.This());
    });
    fn(scripts, "??1ScriptImpClass@@UAE@XZ", 0, [this, &cpu](GuestCpu&) {
        const std::uint32_t params = cpu.Read_U32(cpu.This() + 12);
        if (params != 0) {
            Params_Free(params);
        }
    });
    fn(scripts, "?Get_Name@ScriptImpClass@@UAEPBDXZ", 0, [&cpu](GuestCpu&) {
        const std::uint32_t factory = cpu.Read_U32(cpu.This() + 8);
        cpu.Return(factory != 0 ? cpu.Read_U32(factory + 4) : 0);
    });
    fn(scripts, "?Attach@ScriptImpClass@@MAEXPAVScriptableGameObj@@@Z", 4,
       [&cpu](GuestCpu&) { cpu.Write_U32(cpu.This() + 4, cpu.Arg(0)); });
    fn(scripts, "?Detach@ScriptImpClass@@MAEXPAVScriptableGameObj@@@Z", 4, [&cpu](GuestCpu&) { cpu.Write_U32(cpu.This() + 4, 0); });
    fn(scripts, "?Owner@ScriptImpClass@@UAEPAVScriptableGameObj@@XZ", 0, [&cpu](GuestCpu&) { cpu.Return(cpu.Read_U32(cpu.This() + 4)); });
    fn(scripts, "?Get_Owner_Ptr@ScriptImpClass@@UAEPAPAVScriptableGameObj@@XZ", 0, [&cpu](GuestCpu&) { cpu.Return(cpu.This() + 4); });
    fn(scripts, "?Set_Parameters_String@ScriptImpClass@@UAEXPBD@Z", 4, [this, &cpu](GuestCpu&) {
        const std::uint32_t old = cpu.Read_U32(cpu.This() + 12);
        if (old != 0) {
            Params_Free(old);
        }
        std::uint32_t copy = 0;
        if (cpu.Arg(0) != 0) {
            copy = Params_Copy(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF));
        }
        cpu.Write_U32(cpu.This() + 12, copy);
    });
    fn(scripts, "?Get_Parameters_String@ScriptImpClass@@UAEXPADI@Z", 8, [&cpu](GuestCpu&) {
        const std::uint32_t buffer = cpu.Arg(0), size = cpu.Arg(1);
        if (buffer == 0 || size == 0) {
            return;
        }
        const std::uint32_t params = cpu.Read_U32(cpu.This() + 12);
        std::string text = params != 0 ? cpu.Read_Text(params, 0x7FFFFFFF) : "";
        if (text.size() >= size) {
            text.resize(size - 1);
        }
        cpu.Write(buffer, text.c_str(), text.size() + 1);
    });
    fn(scripts, "?Register_Auto_Save_Variables@ScriptImpClass@@UAEXXZ", 0, [](GuestCpu&) { Host_Note_Auto_Save_Registration(); });
    fn(scripts, "?Destroy_Script@ScriptImpClass@@QAEXXZ", 0, [this, &cpu](GuestCpu&) { Host_Destroy_Script(Script_Of(cpu.This())); });
    // The events a script does not handle itself: nothing, its arguments popped.
    const std::pair<const char*, unsigned> nothing[] = {
        {"?Created@ScriptImpClass@@UAEXPAVScriptableGameObj@@@Z", 4},
        {"?Destroyed@ScriptImpClass@@UAEXPAVScriptableGameObj@@@Z", 4},
        {"?Killed@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8},
        {"?Damaged@ScriptImpClass@@UAEXPAVScriptableGameObj@@0M@Z", 12},
        {"?Custom@ScriptImpClass@@UAEXPAVScriptableGameObj@@HH0@Z", 16},
        {"?Sound_Heard@ScriptImpClass@@UAEXPAVScriptableGameObj@@ABVCombatSound@@@Z", 8},
        {"?Enemy_Seen@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8},
        {"?Action_Complete@ScriptImpClass@@UAEXPAVScriptableGameObj@@HW4ActionCompleteReason@@@Z", 12},
        {"?Timer_Expired@ScriptImpClass@@UAEXPAVScriptableGameObj@@H@Z", 8},
        {"?Animation_Complete@ScriptImpClass@@UAEXPAVScriptableGameObj@@PBD@Z", 8},
        {"?Poked@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8},
        {"?Entered@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8},
        {"?Exited@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8},
        {"?Save@ScriptImpClass@@MAEXAAVScriptSaver@@@Z", 4},
        {"?Load@ScriptImpClass@@MAEXAAVScriptLoader@@@Z", 4},
        {"?Save_Data@ScriptImpClass@@UAEXAAVScriptSaver@@@Z", 4},
        {"?Load_Data@ScriptImpClass@@UAEXAAVScriptLoader@@@Z", 4},
    };
    for (const auto& [name, pops] : nothing) {
        fn(scripts, name, pops, [](GuestCpu&) {});
    }

    // Script factories (__thiscall): {vtable, name, description}; each a native factory too,
    // through which the host creates the DLL's scripts.
    fn(scripts, "??0ScriptFactory@@QAE@PBD0@Z", 8, [this, &cpu](GuestCpu&) {
        const std::uint32_t self = cpu.This();
        cpu.Write_U32(self + 4, cpu.Arg(0));
        cpu.Write_U32(self + 8, cpu.Arg(1));
        FactoryNames.push_back(cpu.Read_Text(cpu.Arg(0)));
        const char* name = FactoryNames.back().c_str();
        FactoryNames.push_back(cpu.Read_Text(cpu.Arg(1)));
        Factories[self] = new GuestFactory(*this, self, name, FactoryNames.back().c_str());
        cpu.Return(self);
    });
    fn(scripts, "??1ScriptFactory@@UAE@XZ", 0, [this, &cpu](GuestCpu&) {
        const auto found = Factories.find(cpu.This());
        if (found != Factories.end()) {
            delete found->second;
            Factories.erase(found);
        }
    });
}

}  // namespace standin

namespace standin {

text::Status Check_Guest_Plugin(const std::vector<char>& bytes)
{
    guest::PeImage image;
    std::vector<std::uint8_t> laid_out;
    std::string error;
    if (!image.Read(bytes, error) || !image.Lay_Out(DllBase, laid_out, error)) {
        return text::Failure(error);
    }
    return {};
}

text::Expected<GuestPlugin*> Load_Guest_Plugin(const std::vector<char>& bytes, const std::string& name)
{
    auto* plugin = new (std::nothrow) GuestPlugin(name);
    if (plugin == nullptr) {
        return text::Failure("no memory to run the DLL");
    }
    std::string error;
    if (!plugin->Load(bytes, error)) {
        delete plugin;
        return text::Failure(error);
    }
    return plugin;
}

text::Expected<Plugin*> Guest_Plugin_Init(GuestPlugin* plugin)
{
    Plugin* instance = nullptr;
    std::string error;
    if (!plugin->Init(instance, error)) {
        return text::Failure(error);
    }
    return instance;
}

void Unload_Guest_Plugin(GuestPlugin* plugin) { delete plugin; }

}  // namespace standin
