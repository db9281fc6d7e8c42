// Fault simulation over the memory manager: the plug-in's whole life (load, settings, scans, the
// scripts' checks, kills and turns, a reload, unload) played again and again with the Nth request
// of one kind refused, for every N until a run makes fewer requests than N. The host's memory
// manager answers a request it cannot serve with null, and the plug-in must then do without: no
// crash, no block left after unload, no script left, nothing attached twice. Refusing the Nth
// request rather than a chosen one reaches every allocation the plug-in makes, in every order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "MemoryManager.h"
#include "TestSupport.h"

namespace {

using standin::memory::Kind;

const char* const SettingsText =
    "[Veltrask]\nCheckInterval = 1\nChecksCount = 2\nScriptCheckingInterval = 0.5\n"
    "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n2 = A_Rather_Long_Exempt_Preset_Name\n3 = Field_Truck\n"
    "4 = Armoured_Car\n5 = Supply_Hauler\n"
    "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n2 = Scout_Jeep\n";

// One life of the plug-in: how many requests of `kind` it made, and whether a refusal was armed
// and spent within it. Every check of what must hold whatever was refused is made here.
struct Life
{
    long long Requests = 0;  // of a clean life: the requests of the kind under test
    bool Refused = false;
};

Life Play_Once(Kind kind, int refuse_at)
{
    Life life;
    standin::New_World();
    standin::Clear_Journal();
    INIClass ini;
    std::string error;
    EXPECT_TRUE(test::Said(standin::Load_Ini_Text(SettingsText, "faults.ini", ini), error)) << error;
    const long long blocks = test::Live_Blocks();
    standin::memory::Stats before{};
    std::optional<test::BlockLog> log;  // of a clean life, from the plug-in's first call to its unload
    {
        standin::LoadedPlugin plugin;
        // Loading asks nothing of the memory manager on the plug-in's side (its sets allocate at
        // their first insertion); the loader's own requests are the simulator's, not the host's.
        if (!test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) {
            ADD_FAILURE() << error;
            return life;
        }
        before = standin::memory::Current();
        // Only a clean life is logged: the log's own blocks come from the memory manager too, and
        // a refusal must not fall on them.
        if (refuse_at < 0) {
            log.emplace();
        } else {
            standin::memory::Fail_Request(kind, refuse_at);
        }
        standin::Raise_Global_Settings(&ini);
        standin::Load_Level(10);
        standin::Create_Vehicle("tank", "Heavy_Tank", 0, test::Rolled(180));
        standin::Create_Vehicle("buggy", "Light_Buggy", 0, test::Rolled(120));
        standin::Create_Vehicle("nose", "Scout_Jeep", 0, test::Pitched(90));
        standin::Create_Vehicle("drone", "Recon_Drone", 0, test::Rolled(180));
        standin::Create_Vehicle("parked", "Heavy_Tank", 4, test::Rolled(180));
        test::Run_Until(4.0);
        standin::Raise_Global_Settings(&ini);  // a reload inserts every name again
        standin::Create_Vehicle("late", "Medium_Tank", 0, test::Rolled(180));
        test::Run_Until(8.0);
        plugin.Unload();
    }
    const standin::memory::Stats after = standin::memory::Current();
    life.Refused = after.Refused > before.Refused;
    if (log) {
        life.Requests = std::count_if(log->Blocks.begin(), log->Blocks.end(),
                                      [&](const test::BlockLog::Block& b) { return !b.Released && b.Kind == kind; });
        log.reset();
    }
    standin::memory::Clear_Failures();
    EXPECT_EQ(test::Live_Blocks(), blocks) << "blocks left after unload";
    EXPECT_EQ(standin::Live_Script_Count(), 0) << "scripts left after unload";
    EXPECT_TRUE(test::Events(standin::Event::AttachRefused).empty()) << "a script was attached twice";
    return life;
}

class FaultSimulation : public ::testing::TestWithParam<Kind>
{
};

TEST_P(FaultSimulation, EveryRefusedRequestIsSurvivedWithoutALeak)
{
    const Kind kind = GetParam();
    const Life clean = Play_Once(kind, -1);
    ASSERT_FALSE(clean.Refused);
    ASSERT_GE(clean.Requests, 4) << "the life asks for memory of this kind";
    int spent = 0;
    for (int n = 0;; ++n) {
        SCOPED_TRACE("request " + std::to_string(n) + " refused");
        const Life life = Play_Once(kind, n);
        if (::testing::Test::HasFailure()) {
            return;  // the first failing N says enough
        }
        if (!life.Refused) {
            break;  // the life made fewer requests than n + 1: every one was refused once
        }
        ++spent;
    }
    // A refusal comes after the requests before it, which are the clean life's: so every request
    // of the clean life was refused once, and the first refusal never reached is the one past them.
    EXPECT_EQ(spent, clean.Requests);
    std::printf("%s: %lld requests in a clean life, %d refused in turn\n", kind == Kind::Single ? "single" : "array",
                clean.Requests, spent);
}

INSTANTIATE_TEST_SUITE_P(EachKind, FaultSimulation, ::testing::Values(Kind::Single, Kind::Array),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param == Kind::Single ? "Single" : "Array");
                         });

}  // namespace
