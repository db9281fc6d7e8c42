// Load, play and unload the plug-in many times over: every cycle must leave the library unmapped
// and the memory manager where it was. VELTRASK_SOAK_CYCLES sets the number (default 1000).
#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace {

// How many objects the loader has mapped: the program, its libraries and any plug-in.
int Mapped_Objects()
{
    int objects = 0;
    dl_iterate_phdr([](dl_phdr_info*, std::size_t, void* data) { return ++*static_cast<int*>(data), 0; }, &objects);
    return objects;
}

// The cycles asked for: VELTRASK_SOAK_CYCLES, a whole number from 1, or 1000; 0 for anything
// else, which the test refuses rather than pass on no cycle at all.
int Cycles()
{
    const char* text = std::getenv("VELTRASK_SOAK_CYCLES");
    if (text == nullptr) {
        return 1000;
    }
    char* end = nullptr;
    const long cycles = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && cycles >= 1 && cycles <= 1000000 ? static_cast<int>(cycles) : 0;
}

TEST(Soak, LoadPlayUnloadLeavesNothingBehind)
{
    const int cycles = Cycles();
    ASSERT_GE(cycles, 1) << "VELTRASK_SOAK_CYCLES='" << std::getenv("VELTRASK_SOAK_CYCLES") << "' asks for no cycle to run";
    int played = 0;  // cycles in which the plug-in handled the flipped vehicles
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask]\nCheckInterval = 1\nChecksCount = 2\n"
                                       "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n"
                                       "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n2 = A_Rather_Long_Preset_Name\n",
                                       "soak.ini", ini), error))
        << error;
    const long long blocks = test::Live_Blocks();
    const int mapped = Mapped_Objects();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        standin::Clear_Journal();
        {
            standin::LoadedPlugin plugin;
            ASSERT_TRUE(test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) << error;
            ASSERT_EQ(Mapped_Objects(), mapped + 1);
            standin::Raise_Global_Settings(&ini);
            standin::Load_Level(10);
            standin::Create_Vehicle("a", "Heavy_Tank", 0, test::Rolled(180));
            standin::Create_Vehicle("b", "Light_Buggy", 0, test::Pitched(90));
            standin::Create_Vehicle("c", "Recon_Drone", 0, test::Rolled(180));
            standin::Create_Vehicle("d", "Heavy_Tank", 0, test::Rolled(100));
            for (int tick = 0; tick < 15 + cycle % 7; ++tick) {
                standin::Tick();
            }
            ASSERT_GT(standin::Pending_Timer_Count(), 0) << "cycle " << cycle << ": scripts should be waiting on timers";
            // The tank got the flip-kill script, the buggy the rotate-upwards one, the drone none.
            int kill_scripts = 0;
            int rotate_scripts = 0;
            for (const standin::JournalEntry& entry : standin::Get_Journal()) {
                if (const auto* attached = std::get_if<standin::events::ScriptAttached>(&entry.Data)) {
                    kill_scripts += std::string(attached->Script) == "Veltrask_Script" ? 1 : 0;
                    rotate_scripts += std::string(attached->Script) == "RotateUpwards_Script" ? 1 : 0;
                }
            }
            played += kill_scripts == 2 && rotate_scripts == 1 ? 1 : 0;
            standin::Shut_Down_Level();
            plugin.Unload();
        }
        ASSERT_EQ(Mapped_Objects(), mapped) << "cycle " << cycle << ": the library stayed mapped";
        ASSERT_EQ(test::Live_Blocks(), blocks) << "cycle " << cycle;
        ASSERT_EQ(standin::Live_Script_Count(), 0) << "cycle " << cycle;
    }
    EXPECT_EQ(played, cycles) << "cycles in which the plug-in attached its scripts as its settings say";
}

}  // namespace
