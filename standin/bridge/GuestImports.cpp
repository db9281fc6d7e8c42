// Every import the stand-in provides to a DLL, one row each: the DLL it names, its decorated
// name, the bytes of arguments its convention pops on return (0 for __cdecl: the caller pops;
// the argument bytes for __thiscall, `this` in ECX), whether it returns a float (in ST0), and
// what it does, on the stand-in host the Linux plug-in meets.
#include <cstring>
#include <string>
#include <vector>

#include "Bridge.h"
#include "GuestStandIns.h"
#include "HashTemplate.h"
#include "INIClass.h"
#include "Internal.h"
#include "StringClass.h"
#include "WorldState.h"

namespace standin {
namespace {

using guest::Binding;
using guest::GuestCpu;

using Run = void (*)(GuestPlugin&, GuestCpu&);

constexpr const char* ScriptsDll = "scripts.dll";
constexpr const char* ShadersDll = "shaders.dll";
constexpr const char* MemoryDll = "MemoryManager.dll";
constexpr const char* RuntimeDll = "msvcrt.dll";

struct FunctionImport
{
    const char* Dll;
    const char* Name;
    unsigned Pops;
    bool Float;
    Run Do;
};

struct DataImport
{
    const char* Dll;
    const char* Name;
    std::uint32_t HostVariables::*At;
};

// The command table: five functions of the host's (__cdecl), reached through the table.
struct Command
{
    const char* Name;
    Run Do;
};

ScriptableGameObj* Obj(GuestPlugin& h, std::uint32_t handle) { return h.Handles.Object_Of(handle); }

// A text argument: null stays null.
const char* Text_Or_Null(GuestCpu& cpu, std::uint32_t at, std::string& keep)
{
    keep = cpu.Read_Text(at);
    return at != 0 ? keep.c_str() : nullptr;
}

constexpr Command Commands_Table[] = {
    {"Commands->Get_Preset_Name",
     [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return(h.Memory.Text(Commands->Get_Preset_Name(Obj(h, cpu.Arg(0))))); }},
    {"Commands->Start_Timer",
     [](GuestPlugin& h, GuestCpu& cpu) {
         Commands->Start_Timer(Obj(h, cpu.Arg(0)), cpu.Arg(1) != 0 ? h.Script_Of(cpu.Arg(1)) : nullptr, Float_Of(cpu.Arg(2)),
                               static_cast<int>(cpu.Arg(3)));
     }},
    {"Commands->Apply_Damage",
     [](GuestPlugin& h, GuestCpu& cpu) {
         const std::string warhead = cpu.Read_Text(cpu.Arg(2));
         Commands->Apply_Damage(Obj(h, cpu.Arg(0)), Float_Of(cpu.Arg(1)), cpu.Arg(2) != 0 ? warhead.c_str() : nullptr,
                                Obj(h, cpu.Arg(3)));
     }},
    // A Vector3 (12 bytes) comes back through a hidden pointer, the first argument.
    {"Commands->Get_Position",
     [](GuestPlugin& h, GuestCpu& cpu) {
         const Vector3 v = Commands->Get_Position(Obj(h, cpu.Arg(1)));
         cpu.Write(cpu.Arg(0), &v, sizeof(v));
         cpu.Return(cpu.Arg(0));
     }},
    {"Commands->Set_Position",
     [](GuestPlugin& h, GuestCpu& cpu) {
         Vector3 v;
         cpu.Read(cpu.Arg(1), &v, sizeof(v));
         Commands->Set_Position(Obj(h, cpu.Arg(0)), v);
     }},
};

constexpr DataImport Data[] = {
    {ScriptsDll, "?Commands@@3PAUScriptCommands@@A", &HostVariables::CommandsVar},
    {ScriptsDll, "?SmartGameObjList@GameObjManager@@2V?$SList@VSmartGameObj@@@@A", &HostVariables::ListVar},
    {ShadersDll, "?m_EmptyString@StringClass@@2AAPADA", &HostVariables::EmptyStringVar},
    {ShadersDll, "?m_NullChar@StringClass@@2AADA", &HostVariables::NullCharVar},
};

void Nothing(GuestPlugin&, GuestCpu&) {}

constexpr FunctionImport Functions[] = {
    // Free functions (__cdecl).
    {ScriptsDll, "?RegisterEvent@@YAXW4EventType@@PAVPlugin@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { RegisterEvent(static_cast<EventType>(cpu.Arg(0)), h.Plugin_Of(cpu.Arg(1))); }},
    {ScriptsDll, "?UnregisterEvent@@YAXW4EventType@@PAVPlugin@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { UnregisterEvent(static_cast<EventType>(cpu.Arg(0)), h.Known_Plugin(cpu.Arg(1))); }},
    {ScriptsDll, "?As_VehicleGameObj@@YAPAVVehicleGameObj@@PAVScriptableGameObj@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return(h.Handles.Handle_Of(As_VehicleGameObj(Obj(h, cpu.Arg(0))))); }},
    {ScriptsDll, "?Get_Vehicle_Mode@@YAIPAVScriptableGameObj@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return(Get_Vehicle_Mode(Obj(h, cpu.Arg(0)))); }},
    // A Matrix3D (48 bytes) comes back through a hidden pointer, the first argument.
    {ScriptsDll, "?Get_Transform@@YA?AVMatrix3D@@PAVScriptableGameObj@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         const Matrix3D m = Get_Transform(Obj(h, cpu.Arg(1)));
         cpu.Write(cpu.Arg(0), &m.Row[0][0], sizeof(m.Row));
         cpu.Return(cpu.Arg(0));
     }},
    {ScriptsDll, "?Set_Transform@@YAXPAVScriptableGameObj@@ABVMatrix3D@@@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { Set_Transform(Obj(h, cpu.Arg(0)), h.Memory.Read_Matrix(cpu.Arg(1))); }},
    {ScriptsDll, "?Is_Script_Attached@@YA_NPAVScriptableGameObj@@PBD@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         cpu.Return(Is_Script_Attached(Obj(h, cpu.Arg(0)), cpu.Read_Text(cpu.Arg(1)).c_str()) ? 1 : 0);
     }},
    {ScriptsDll, "?Attach_Script_Once@@YAXPAVScriptableGameObj@@PBD1@Z", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string name, params;
         const char* n = Text_Or_Null(cpu, cpu.Arg(1), name);
         const char* p = Text_Or_Null(cpu, cpu.Arg(2), params);
         Attach_Script_Once(Obj(h, cpu.Arg(0)), n, p);
     }},
    {ScriptsDll, "?The_Game@@YAPAVcGameData@@XZ", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         cGameData* game = The_Game();
         const std::uint32_t data = h.Memory.Vars().GameData;
         if (game != nullptr) {
             cpu.Write_U32(data, static_cast<std::uint32_t>(game->Get_Elapsed_Seconds()));
         }
         cpu.Return(game != nullptr ? data : 0);
     }},
    {ScriptsDll, "?Get_Hash_Value@?$HashTemplateKeyClass@I@@SAIABI@Z", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         const unsigned int key = cpu.Read_U32(cpu.Arg(0));
         cpu.Return(HashTemplateKeyClass<unsigned int>::Get_Hash_Value(key));
     }},
    // Matrix3D::getRotationY (__thiscall, a float back in ST0): the host's own computation.
    {ScriptsDll, "?getRotationY@Matrix3D@@QBEMXZ", 0, true,
     [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return_Float(h.Memory.Read_Matrix(cpu.This()).getRotationY()); }},

    // INIClass (__thiscall) on a settings reader the host handed over.
    {ScriptsDll, "?Entry_Count@INIClass@@QBEHPBD@Z", 4, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string s;
         if (INIClass* i = h.Handles.Ini_Of(cpu.This())) {
             cpu.Return(static_cast<std::uint32_t>(i->Entry_Count(Text_Or_Null(cpu, cpu.Arg(0), s))));
         }
     }},
    {ScriptsDll, "?Get_Entry@INIClass@@QBEPBDPBDH@Z", 8, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string s;
         if (INIClass* i = h.Handles.Ini_Of(cpu.This())) {
             const char* entry = i->Get_Entry(Text_Or_Null(cpu, cpu.Arg(0), s), static_cast<int>(cpu.Arg(1)));
             cpu.Return(entry != nullptr ? h.Memory.Text(entry) : 0);
         }
     }},
    {ScriptsDll, "?Get_Int@INIClass@@QBEHPBD0H@Z", 12, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string s, e;
         if (INIClass* i = h.Handles.Ini_Of(cpu.This())) {
             cpu.Return(static_cast<std::uint32_t>(i->Get_Int(Text_Or_Null(cpu, cpu.Arg(0), s), Text_Or_Null(cpu, cpu.Arg(1), e),
                                                              static_cast<int>(cpu.Arg(2)))));
         }
     }},
    {ScriptsDll, "?Get_Float@INIClass@@QBEMPBD0M@Z", 12, true,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string s, e;
         if (INIClass* i = h.Handles.Ini_Of(cpu.This())) {
             cpu.Return_Float(
                 i->Get_Float(Text_Or_Null(cpu, cpu.Arg(0), s), Text_Or_Null(cpu, cpu.Arg(1), e), Float_Of(cpu.Arg(2))));
         }
     }},
    {ScriptsDll, "?Get_String@INIClass@@QBEHAAVStringClass@@PBD11@Z", 16, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         std::string s, e, d;
         if (INIClass* i = h.Handles.Ini_Of(cpu.This())) {
             StringClass value;
             const int n = i->Get_String(value, Text_Or_Null(cpu, cpu.Arg(1), s), Text_Or_Null(cpu, cpu.Arg(2), e),
                                         Text_Or_Null(cpu, cpu.Arg(3), d));
             h.Memory.String_Set(cpu.Arg(0), value.Peek_Buffer());
             cpu.Return(static_cast<std::uint32_t>(n));
         }
     }},

    // StringClass's library functions (__thiscall) on the DLL's strings.
    {ShadersDll, "?Get_String@StringClass@@QAEPADH_N@Z", 8, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         h.Memory.String_Grow(cpu.This(), cpu.Arg(0));
         cpu.Return(cpu.Read_U32(cpu.This()));
     }},
    {ShadersDll, "?Uninitialised_Grow@StringClass@@QAEXH@Z", 4, false,
     [](GuestPlugin& h, GuestCpu& cpu) { h.Memory.String_Grow(cpu.This(), cpu.Arg(0)); }},
    {ShadersDll, "?Free_String@StringClass@@QAEXXZ", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { h.Memory.String_Free(cpu.This()); }},

    // The memory manager (__cdecl).
    {MemoryDll, "??2@YAPAXI@Z", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return(h.Memory.New_Block(cpu.Arg(0), false)); }},
    {MemoryDll, "??_U@YAPAXI@Z", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { cpu.Return(h.Memory.New_Block(cpu.Arg(0), true)); }},
    {MemoryDll, "??3@YAXPAX@Z", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { h.Memory.Delete_Block(cpu.Arg(0)); }},
    {MemoryDll, "??_V@YAXPAX@Z", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { h.Memory.Delete_Block(cpu.Arg(0)); }},

    // The C runtime (__cdecl), on the DLL's memory.
    {RuntimeDll, "memcpy", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         std::vector<char> bytes(cpu.Arg(2));
         cpu.Read(cpu.Arg(1), bytes.data(), bytes.size());
         cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
         cpu.Return(cpu.Arg(0));
     }},
    {RuntimeDll, "memset", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         const std::vector<char> bytes(cpu.Arg(2), static_cast<char>(cpu.Arg(1)));
         cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
         cpu.Return(cpu.Arg(0));
     }},
    {RuntimeDll, "strlen", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) { cpu.Return(static_cast<std::uint32_t>(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF).size())); }},
    {RuntimeDll, "strcmp", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         const int c = std::strcmp(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF).c_str(), cpu.Read_Text(cpu.Arg(1), 0x7FFFFFFF).c_str());
         cpu.Return(static_cast<std::uint32_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
     }},

    // The script base class (__thiscall) on the DLL's scripts: {vtable, owner, factory, parameters}.
    {ScriptsDll, "??0ScriptImpClass@@QAE@XZ", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         const std::uint32_t zero[3] = {0, 0, 0};
         cpu.Write(cpu.This() + 4, zero, sizeof(zero));
         cpu.Return(cpu.This());
     }},
    {ScriptsDll, "??1ScriptImpClass@@UAE@XZ", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         const std::uint32_t params = cpu.Read_U32(cpu.This() + 12);
         if (params != 0) {
             h.Memory.Params_Free(params);
         }
     }},
    {ScriptsDll, "?Get_Name@ScriptImpClass@@UAEPBDXZ", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) {
         const std::uint32_t factory = cpu.Read_U32(cpu.This() + 8);
         cpu.Return(factory != 0 ? cpu.Read_U32(factory + 4) : 0);
     }},
    {ScriptsDll, "?Attach@ScriptImpClass@@MAEXPAVScriptableGameObj@@@Z", 4, false,
     [](GuestPlugin&, GuestCpu& cpu) { cpu.Write_U32(cpu.This() + 4, cpu.Arg(0)); }},
    {ScriptsDll, "?Detach@ScriptImpClass@@MAEXPAVScriptableGameObj@@@Z", 4, false,
     [](GuestPlugin&, GuestCpu& cpu) { cpu.Write_U32(cpu.This() + 4, 0); }},
    {ScriptsDll, "?Owner@ScriptImpClass@@UAEPAVScriptableGameObj@@XZ", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) { cpu.Return(cpu.Read_U32(cpu.This() + 4)); }},
    {ScriptsDll, "?Get_Owner_Ptr@ScriptImpClass@@UAEPAPAVScriptableGameObj@@XZ", 0, false,
     [](GuestPlugin&, GuestCpu& cpu) { cpu.Return(cpu.This() + 4); }},
    {ScriptsDll, "?Set_Parameters_String@ScriptImpClass@@UAEXPBD@Z", 4, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         const std::uint32_t old = cpu.Read_U32(cpu.This() + 12);
         if (old != 0) {
             h.Memory.Params_Free(old);
         }
         std::uint32_t copy = 0;
         if (cpu.Arg(0) != 0) {
             copy = h.Memory.Params_Copy(cpu.Read_Text(cpu.Arg(0), 0x7FFFFFFF));
         }
         cpu.Write_U32(cpu.This() + 12, copy);
     }},
    {ScriptsDll, "?Get_Parameters_String@ScriptImpClass@@UAEXPADI@Z", 8, false,
     [](GuestPlugin&, GuestCpu& cpu) {
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
     }},
    {ScriptsDll, "?Register_Auto_Save_Variables@ScriptImpClass@@UAEXXZ", 0, false,
     [](GuestPlugin&, GuestCpu&) { Host_Note_Auto_Save_Registration(); }},
    {ScriptsDll, "?Destroy_Script@ScriptImpClass@@QAEXXZ", 0, false,
     [](GuestPlugin& h, GuestCpu& cpu) { Host_Destroy_Script(h.Script_Of(cpu.This())); }},
    // The events a script does not handle itself: nothing, its arguments popped.
    {ScriptsDll, "?Created@ScriptImpClass@@UAEXPAVScriptableGameObj@@@Z", 4, false, Nothing},
    {ScriptsDll, "?Destroyed@ScriptImpClass@@UAEXPAVScriptableGameObj@@@Z", 4, false, Nothing},
    {ScriptsDll, "?Killed@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8, false, Nothing},
    {ScriptsDll, "?Damaged@ScriptImpClass@@UAEXPAVScriptableGameObj@@0M@Z", 12, false, Nothing},
    {ScriptsDll, "?Custom@ScriptImpClass@@UAEXPAVScriptableGameObj@@HH0@Z", 16, false, Nothing},
    {ScriptsDll, "?Sound_Heard@ScriptImpClass@@UAEXPAVScriptableGameObj@@ABVCombatSound@@@Z", 8, false, Nothing},
    {ScriptsDll, "?Enemy_Seen@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8, false, Nothing},
    {ScriptsDll, "?Action_Complete@ScriptImpClass@@UAEXPAVScriptableGameObj@@HW4ActionCompleteReason@@@Z", 12, false, Nothing},
    {ScriptsDll, "?Timer_Expired@ScriptImpClass@@UAEXPAVScriptableGameObj@@H@Z", 8, false, Nothing},
    {ScriptsDll, "?Animation_Complete@ScriptImpClass@@UAEXPAVScriptableGameObj@@PBD@Z", 8, false, Nothing},
    {ScriptsDll, "?Poked@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8, false, Nothing},
    {ScriptsDll, "?Entered@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8, false, Nothing},
    {ScriptsDll, "?Exited@ScriptImpClass@@UAEXPAVScriptableGameObj@@0@Z", 8, false, Nothing},
    {ScriptsDll, "?Save@ScriptImpClass@@MAEXAAVScriptSaver@@@Z", 4, false, Nothing},
    {ScriptsDll, "?Load@ScriptImpClass@@MAEXAAVScriptLoader@@@Z", 4, false, Nothing},
    {ScriptsDll, "?Save_Data@ScriptImpClass@@UAEXAAVScriptSaver@@@Z", 4, false, Nothing},
    {ScriptsDll, "?Load_Data@ScriptImpClass@@UAEXAAVScriptLoader@@@Z", 4, false, Nothing},

    // Script factories (__thiscall): {vtable, name, description}; each a native factory too,
    // through which the host creates the DLL's scripts.
    {ScriptsDll, "??0ScriptFactory@@QAE@PBD0@Z", 8, false,
     [](GuestPlugin& h, GuestCpu& cpu) {
         const std::uint32_t self = cpu.This();
         cpu.Write_U32(self + 4, cpu.Arg(0));
         cpu.Write_U32(self + 8, cpu.Arg(1));
         h.Add_Factory(self, cpu.Read_Text(cpu.Arg(0)), cpu.Read_Text(cpu.Arg(1)));
         cpu.Return(self);
     }},
    {ScriptsDll, "??1ScriptFactory@@UAE@XZ", 0, false, [](GuestPlugin& h, GuestCpu& cpu) { h.Remove_Factory(cpu.This()); }},
};

std::string Key(const char* dll, const char* name) { return std::string(dll) + "!" + name; }

}  // namespace

std::map<std::string, Binding> Bind_Imports(GuestPlugin& plugin)
{
    std::map<std::string, Binding> imports;
    GuestCpu& cpu = plugin.Cpu;
    const HostVariables& vars = plugin.Memory.Vars();

    const std::uint32_t table = plugin.Memory.Host_Alloc(sizeof(Commands_Table) / sizeof(Commands_Table[0]) * 4);
    cpu.Write_U32(vars.CommandsVar, table);
    std::uint32_t slot = table;
    for (const Command& command : Commands_Table) {
        const Run run = command.Do;
        cpu.Write_U32(slot, cpu.Add_Stub(command.Name, 0, false, [&plugin, run](GuestCpu& c) { run(plugin, c); }));
        slot += 4;
    }
    for (const DataImport& data : Data) {
        Binding b;
        b.Known = true;
        b.Data = vars.*data.At;
        imports[Key(data.Dll, data.Name)] = b;
    }
    for (const FunctionImport& function : Functions) {
        Binding b;
        b.Known = true;
        b.Pops = function.Pops;
        b.Float = function.Float;
        const Run run = function.Do;
        b.Run = [&plugin, run](GuestCpu& c) { run(plugin, c); };
        imports[Key(function.Dll, function.Name)] = b;
    }
    return imports;
}

}  // namespace standin
