// veltrask.dll itself, run under the emulated processor: laid out at a base other than its own
// with its relocations applied, its imports bound to native handlers, started, asked for its
// plug-in, and stopped, by the very calling conventions the host's platform uses.
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "GuestDll.h"
#include "Said.h"
#include "TestSupport.h"

namespace {

using standin::guest::Binding;
using standin::guest::GuestCpu;
using standin::guest::GuestDll;
using standin::guest::PeImport;

std::vector<char> Dll_Bytes()
{
    std::ifstream in(VELTRASK_DLL_PATH, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What the DLL asked of the host while it started and stopped.
struct Recorder
{
    explicit Recorder(GuestCpu& cpu) : Cpu(cpu) {}

    GuestCpu& Cpu;
    std::vector<std::pair<int, std::uint32_t>> Registered;    // (event, plug-in)
    std::vector<std::pair<int, std::uint32_t>> Unregistered;
    std::vector<std::string> Factories;                       // names, as made
    std::vector<std::string> Withdrawn;
    std::uint32_t Heap = 0x40000000;                          // a bump allocator for operator new
    std::map<std::string, std::uint32_t> Variables;

    Binding Bind(const PeImport& import)
    {
        Binding b;
        b.Known = true;
        const std::string& n = import.Name;
        if (standin::guest::Is_Data_Import(n)) {
            auto found = Variables.find(n);
            if (found == Variables.end()) {
                const std::uint32_t at = 0x50000000 + 0x100 * static_cast<std::uint32_t>(Variables.size());
                found = Variables.emplace(n, at).first;
            }
            b.Data = found->second;
        } else if (n == "?RegisterEvent@@YAXW4EventType@@PAVPlugin@@@Z") {
            b.Run = [this](GuestCpu& c) { Registered.emplace_back(static_cast<int>(c.Arg(0)), c.Arg(1)); };
        } else if (n == "?UnregisterEvent@@YAXW4EventType@@PAVPlugin@@@Z") {
            b.Run = [this](GuestCpu& c) { Unregistered.emplace_back(static_cast<int>(c.Arg(0)), c.Arg(1)); };
        } else if (n == "??0ScriptFactory@@QAE@PBD0@Z") {
            b.Pops = 8;  // __thiscall: this in ECX, the callee pops the name and description
            b.Run = [this](GuestCpu& c) {
                Factories.push_back(c.Read_Text(c.Arg(0)));
                c.Write_U32(c.This() + 4, c.Arg(0));
                c.Return(c.This());
            };
        } else if (n == "??1ScriptFactory@@UAE@XZ") {
            b.Run = [this](GuestCpu& c) { Withdrawn.push_back(c.Read_Text(c.Read_U32(c.This() + 4))); };
        } else if (n == "??2@YAPAXI@Z" || n == "??_U@YAPAXI@Z") {
            b.Run = [this](GuestCpu& c) {
                c.Return(Heap);
                Heap += (c.Arg(0) + 15) & ~15u;
            };
        } else if (n == "??3@YAXPAX@Z" || n == "??_V@YAXPAX@Z") {
            b.Run = [](GuestCpu&) {};
        } else {
            b.Known = false;
        }
        return b;
    }
};

struct Loaded
{
    GuestCpu Cpu;
    Recorder Record{Cpu};
    GuestDll Dll{Cpu};
    std::string Error;

    bool Load(const std::vector<char>& bytes, std::uint32_t base = 0x20000000)
    {
        return Cpu.Map(0x40000000, 0x100000) && Cpu.Map(0x50000000, 0x10000) &&
               test::Said(Dll.Load(bytes, base, [this](const PeImport& i) { return Record.Bind(i); }), Error);
    }
};

TEST(GuestDll, StartsAtAMovedBaseHandsOverItsPluginAndStopsAsTheHostsPlatformWould)
{
    const std::vector<char> bytes = Dll_Bytes();
    ASSERT_GT(bytes.size(), 4096u) << "no DLL at " VELTRASK_DLL_PATH;
    for (std::uint32_t base : {0x10000000u, 0x20000000u, 0x31230000u}) {
        SCOPED_TRACE("base " + std::to_string(base));
        Loaded dll;
        ASSERT_TRUE(dll.Cpu.Ready()) << dll.Cpu.Error();
        ASSERT_TRUE(dll.Load(bytes, base)) << dll.Error;
        ASSERT_TRUE(test::Said(dll.Dll.Attach(), dll.Error)) << dll.Error;
        // The plug-in object subscribes to its three events as it is built, and the two script
        // factories make their names creatable.
        ASSERT_EQ(dll.Record.Registered.size(), 3u);
        EXPECT_EQ(dll.Record.Registered[0].first, 0);
        EXPECT_EQ(dll.Record.Registered[1].first, 12);
        EXPECT_EQ(dll.Record.Registered[2].first, 4);
        EXPECT_EQ(dll.Record.Factories, (std::vector<std::string>{"Veltrask_Script", "RotateUpwards_Script"}));

        const std::uint32_t init = dll.Dll.Export("Plugin_Init");
        ASSERT_NE(init, 0u);
        std::uint32_t plugin = 0;
        ASSERT_TRUE(dll.Cpu.Call(init, 0, {}, plugin)) << dll.Cpu.Error();
        EXPECT_EQ(plugin, dll.Record.Registered[0].second) << "Plugin_Init hands over the object that subscribed";
        EXPECT_GE(plugin, base) << "the plug-in lives in the DLL's own image, relocated";
        EXPECT_LT(plugin, base + 0x100000);

        ASSERT_TRUE(test::Said(dll.Dll.Detach(), dll.Error)) << dll.Error;
        EXPECT_EQ(dll.Record.Unregistered.size(), 3u);
        EXPECT_EQ(dll.Record.Withdrawn, (std::vector<std::string>{"RotateUpwards_Script", "Veltrask_Script"}));
    }
}

TEST(GuestDll, FaultsInsideTheDllAreMessagesNamingWhatAndWhere)
{
    const std::vector<char> bytes = Dll_Bytes();
    ASSERT_GT(bytes.size(), 4096u);
    {
        // An import the stand-in does not provide stops the DLL when called, by its name.
        GuestCpu cpu;
        GuestDll dll(cpu);
        std::string error;
        ASSERT_TRUE(test::Said(dll.Load(bytes, 0x20000000,
                                        [](const PeImport& i) {
                                            Binding b;
                                            b.Known = standin::guest::Is_Data_Import(i.Name);
                                            b.Data = 0x7E000000;
                                            return b;
                                        }),
                               error))
            << error;
        EXPECT_FALSE(test::Said(dll.Attach(), error));
        EXPECT_NE(error.find("the DLL called ??0ScriptFactory@@QAE@PBD0@Z from scripts.dll, which the stand-in host does "
                             "not provide"),
                  std::string::npos)
            << error;
    }
    GuestCpu cpu;
    ASSERT_TRUE(cpu.Map(0x60000000, 0x1000));
    const unsigned char forever[] = {0xEB, 0xFE};  // jmp $
    const unsigned char invalid[] = {0x0F, 0x0B};  // ud2
    const unsigned char wild_read[] = {0xA1, 0x00, 0x00, 0x00, 0x00, 0xC3};  // mov eax, [0]; ret
    ASSERT_TRUE(cpu.Write(0x60000000, forever, sizeof(forever)));
    ASSERT_TRUE(cpu.Write(0x60000010, invalid, sizeof(invalid)));
    ASSERT_TRUE(cpu.Write(0x60000020, wild_read, sizeof(wild_read)));
    std::uint32_t result = 0;
    EXPECT_FALSE(cpu.Call(0x60000000, 0, {}, result, 100000));
    EXPECT_EQ(cpu.Error(), "the DLL did not return within 100000 instructions (at 0x60000000)");
    EXPECT_FALSE(cpu.Call(0x60000010, 0, {}, result));
    EXPECT_NE(cpu.Error().find("(instruction at 0x60000010)"), std::string::npos) << cpu.Error();
    EXPECT_FALSE(cpu.Call(0x60000020, 0, {}, result));
    EXPECT_EQ(cpu.Error(), "the DLL read from unmapped memory at 0x00000000 (instruction at 0x60000020)");
    EXPECT_FALSE(cpu.Call(0x00000040, 0, {}, result));
    EXPECT_EQ(cpu.Error().rfind("the DLL ran code at unmapped memory at 0x00000040", 0), 0u) << cpu.Error();
    // And the processor still serves a call that behaves.
    const unsigned char answer[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 42; ret
    ASSERT_TRUE(cpu.Write(0x60000030, answer, sizeof(answer)));
    ASSERT_TRUE(cpu.Call(0x60000030, 0, {}, result)) << cpu.Error();
    EXPECT_EQ(result, 42u);
}

TEST(GuestDll, AFileThatIsNoDllForThisLoaderIsRefusedWithWhy)
{
    std::vector<char> bytes = Dll_Bytes();
    ASSERT_GT(bytes.size(), 4096u);
    const auto refused = [](const std::vector<char>& b) {
        GuestCpu cpu;
        GuestDll dll(cpu);
        std::string error;
        EXPECT_FALSE(test::Said(dll.Load(b, 0x20000000, [](const PeImport&) { return Binding{}; }), error));
        return error;
    };
    EXPECT_EQ(refused(std::vector<char>(bytes.begin(), bytes.begin() + 40)), "not a Windows DLL");
    std::vector<char> other = bytes;
    std::uint32_t pe = 0;
    std::memcpy(&pe, other.data() + 0x3C, 4);
    other[pe + 4] = 0x64;  // x86-64
    other[pe + 5] = static_cast<char>(0x86);
    EXPECT_EQ(refused(other), "a Windows DLL for another processor than i386");
    EXPECT_EQ(refused(std::vector<char>(bytes.begin(), bytes.begin() + 1024)), "damaged: a section lies outside the file or the image");
    EXPECT_EQ(refused(bytes), "imports the variable ?Commands@@3PAUScriptCommands@@A from scripts.dll, which the stand-in host "
                              "does not provide");
}

}  // namespace
