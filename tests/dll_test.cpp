// veltrask.dll played by the simulator under the emulated processor, against libveltrask.so:
// every output byte for byte, whatever the scenario, settings or match; no block left behind
// after a hundred loads; and a DLL that faults is a message, never a crash.
#include <elf.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "SimSupport.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

const std::string examples = VELTRASK_SOURCE_DIR "/examples/";
const std::string dll = VELTRASK_DLL_PATH;

std::string Bytes_Of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs the simulator with `arguments` twice, with the .so and with the DLL, and compares.
void Expect_Same(const std::string& arguments)
{
    const Result so = Run_Sim(arguments);
    const Result windows = Run_Sim(arguments + " --plugin " + Quoted(dll));
    ASSERT_EQ(so.Status, windows.Status) << arguments << "\n" << windows.Err;
    EXPECT_GT(so.Out.size(), 100u) << arguments;
    EXPECT_TRUE(so.Out == windows.Out) << arguments << ": the DLL printed something else";
}

TEST(WindowsDll, PlaysEveryScenarioMatchAndSweepByteForByteAsTheLinuxBuild)
{
    ASSERT_TRUE(fs::exists(dll)) << dll;
    for (const std::string scenario : {"default.scenario", "reload.scenario"}) {
        Expect_Same(Quoted(examples + scenario) + " --json");
        Expect_Same(Quoted(examples + scenario));
    }
    Expect_Same(Quoted(examples + "default.scenario") + " --settings " + Quoted(examples + "settings-exempt.ini") + " --json");
    for (const std::string seed : {"1", "7", "42"}) {
        Expect_Same("--random " + seed + " --vehicles 300 --length 300 --settings " + Quoted(examples + "settings.ini") +
                    " --reload 150=" + Quoted(examples + "settings-fast.ini") + " --json");
        Expect_Same("--random " + seed + " --vehicles 1000 --length 600 --summary-json -");
    }
    Expect_Same("--random 3 --vehicles 200 --length 120 --sweep ChecksCount=2..5");
}

// The settings fuzzer's seeds and the INI reader's own cases, each played as a scenario's
// settings through both builds.
TEST(WindowsDll, PlaysTheSettingsCorpusAsTheLinuxBuild)
{
    Scratch scratch;
    int played = 0;
    for (const std::string folder : {"/tests/fuzz/corpus/ini", "/tests/ini_cases"}) {
        for (const auto& entry : fs::directory_iterator(VELTRASK_SOURCE_DIR + folder)) {
            if (entry.path().extension() != ".ini") {
                continue;
            }
            fs::copy_file(entry.path(), scratch.Path("s.ini"), fs::copy_options::overwrite_existing);
            const std::string scenario =
                scratch.Write("c.scenario", "settings s.ini\nlength 20\nvehicle T Heavy_Tank roll 180\nvehicle B Light_Buggy roll "
                                            "180\nvehicle D Recon_Drone pitch 90\nvehicle N Tank_0003 roll 180\n");
            const Result so = Run_Sim(Quoted(scenario) + " --json");
            const Result windows = Run_Sim(Quoted(scenario) + " --json --plugin " + Quoted(dll));
            EXPECT_EQ(so.Status, windows.Status) << entry.path();
            EXPECT_TRUE(so.Out == windows.Out) << entry.path() << ": the DLL played it otherwise";
            ++played;
        }
    }
    EXPECT_GT(played, 10);
}

TEST(WindowsDll, LoadPlayAndUnloadAHundredTimesLeavesNoBlock)
{
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask]\nCheckInterval = 1\nChecksCount = 2\n[Veltrask_RotateUpwardsPresets]\n"
                                       "1 = Light_Buggy\n",
                                       "dll.ini", ini), error))
        << error;
    standin::PluginFile file;
    ASSERT_TRUE(test::Said(file.Open(dll), error)) << error;
    ASSERT_TRUE(file.Is_Windows_Dll());
    const long long blocks = test::Live_Blocks();
    for (int cycle = 0; cycle < 100; ++cycle) {
        standin::LoadedPlugin plugin;
        ASSERT_TRUE(test::Said(plugin.Load(file), error)) << error;
        standin::Raise_Global_Settings(&ini);
        standin::Load_Level(10);
        standin::Create_Vehicle("a", "Heavy_Tank", 0, test::Rolled(180));
        standin::Create_Vehicle("b", "Light_Buggy", 0, test::Pitched(90));
        for (int tick = 0; tick < 40 + cycle % 7; ++tick) {
            standin::Tick();
        }
        plugin.Unload();
        ASSERT_EQ(test::Live_Blocks(), blocks) << "cycle " << cycle << ": blocks the DLL never gave back";
        ASSERT_EQ(standin::Live_Script_Count(), 0) << "cycle " << cycle;
    }
}

// The file offset of the export Plugin_Init's first instruction in a PE32 DLL.
std::size_t Plugin_Init_Offset(const std::string& b)
{
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    const auto u16 = [&](std::size_t at) {
        std::uint16_t v;
        std::memcpy(&v, b.data() + at, 2);
        return v;
    };
    const std::size_t pe = u32(0x3C), opt = pe + 24, sections = opt + u16(pe + 20);
    const auto offset = [&](std::uint32_t rva) -> std::size_t {
        for (unsigned i = 0; i < u16(pe + 6); ++i) {
            const std::size_t s = sections + 40 * i;
            if (rva >= u32(s + 12) && rva < u32(s + 12) + u32(s + 16)) {
                return rva - u32(s + 12) + u32(s + 20);
            }
        }
        return 0;
    };
    const std::size_t exports = offset(u32(opt + 96));
    const std::size_t names = offset(u32(exports + 32)), ordinals = offset(u32(exports + 36)), functions = offset(u32(exports + 28));
    for (std::uint32_t i = 0; i < u32(exports + 24); ++i) {
        if (std::strcmp(b.data() + offset(u32(names + 4 * i)), "Plugin_Init") == 0) {
            return offset(u32(functions + 4 * u16(ordinals + 2 * i)));
        }
    }
    return 0;
}

TEST(WindowsDll, ADllThatFaultsOrRunsAwayIsAMessageNeverACrash)
{
    Scratch scratch;
    const std::string original = Bytes_Of(dll);
    const std::size_t init = Plugin_Init_Offset(original);
    ASSERT_GT(init, 0u);
    const struct
    {
        std::string What;
        std::string Code;
        std::string Said;
    } cases[] = {
        {"an invalid instruction", std::string("\x0f\x0b", 2), "veltrask.dll: the DLL stopped on Invalid instruction"},
        // xor eax, eax; mov eax, [eax] (the relocation of the code it overwrites touches only its fifth byte)
        {"a read of address 0", std::string("\x31\xc0\x8b\x00", 4), "the DLL read from unmapped memory at 0x00000000"},
        {"a loop without end", std::string("\xeb\xfe", 2), "the DLL did not return within 50000000 instructions"},
    };
    for (const auto& c : cases) {
        std::string patched = original;
        patched.replace(init, c.Code.size(), c.Code);
        const std::string path = scratch.Write("veltrask.dll", patched);
        const Result r = Run_Sim(Quoted(examples + "default.scenario") + " --plugin " + Quoted(path));
        EXPECT_EQ(r.Status, 2) << c.What;
        EXPECT_NE(r.Err.find(c.Said), std::string::npos) << c.What << ": " << r.Err;
        EXPECT_NE(r.Err.find("in Plugin_Init, before the game began"), std::string::npos) << c.What << ": " << r.Err;
    }
    // A DLL the loader cannot lay out is refused before anything runs.
    const std::string cut = scratch.Write("cut.dll", original.substr(0, 900));
    const Result r = Run_Sim(Quoted(examples + "default.scenario") + " --plugin " + Quoted(cut));
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("cut.dll: not a plug-in DLL this host can run: damaged:"), std::string::npos) << r.Err;
}

}  // namespace
