// The plug-in library as the host sees it: loading, the one export, subscriptions, unloading.
#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>
#include <tuple>

#include "TestSupport.h"

namespace {

using standin::Event;

struct Step
{
    Event What;
    std::string Script;
    int Number;
    bool operator==(const Step& o) const { return What == o.What && Script == o.Script && Number == o.Number; }
};

std::ostream& operator<<(std::ostream& out, const Step& s)
{
    return out << standin::Event_Name(s.What) << "(" << s.Script << ", " << s.Number << ")";
}

std::vector<Step> Steps()
{
    std::vector<Step> out;
    for (const standin::JournalEntry& e : standin::Get_Journal()) {
        // Registrations name their script; subscriptions carry their event type.
        const bool named = e.What() == Event::FactoryRegistered || e.What() == Event::FactoryWithdrawn;
        const int type = e.What() == Event::Subscribed     ? e.As<standin::events::Subscribed>().EventType
                         : e.What() == Event::Unsubscribed ? e.As<standin::events::Unsubscribed>().EventType
                                                           : 0;
        out.push_back({e.What(), named ? e.Script() : "", type});
    }
    return out;
}

std::string Output_Of(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) {
        out += buffer;
    }
    pclose(pipe);
    return out;
}

// Two full cycles, since a library that is not really unloaded would keep its subscriptions,
// names and settings into the second.
TEST(Lifecycle, LoadAndUnloadInOrderTwiceLeavingNothing)
{
    const std::vector<Step> on_load = {
        {Event::FactoryRegistered, "Veltrask_Script", 0},
        {Event::FactoryRegistered, "RotateUpwards_Script", 0},
        {Event::Subscribed, "", 0},
        {Event::Subscribed, "", 12},
        {Event::Subscribed, "", 4},
    };
    const std::vector<Step> on_unload = {
        {Event::Unsubscribed, "", 0},
        {Event::Unsubscribed, "", 12},
        {Event::Unsubscribed, "", 4},
        {Event::FactoryWithdrawn, "RotateUpwards_Script", 0},
        {Event::FactoryWithdrawn, "Veltrask_Script", 0},
    };
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        standin::Clear_Journal();
        const long long blocks = test::Live_Blocks();
        {
            standin::LoadedPlugin plugin;
            std::string error;
            ASSERT_TRUE(test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) << error;
            EXPECT_EQ(Steps(), on_load);
            EXPECT_TRUE(standin::Is_Script_Registered("Veltrask_Script"));
            EXPECT_TRUE(standin::Is_Script_Registered("RotateUpwards_Script"));

            // Plugin_Init again: the same object, and nothing subscribed twice.
            using Init = Plugin* (*)();
            Init init = reinterpret_cast<Init>(dlsym(plugin.Handle(), "Plugin_Init"));
            ASSERT_NE(init, nullptr);
            EXPECT_EQ(init(), plugin.Get());
            EXPECT_EQ(init(), plugin.Get());
            EXPECT_EQ(Steps(), on_load);

            standin::Clear_Journal();
            plugin.Unload();
            EXPECT_EQ(Steps(), on_unload);
        }
        EXPECT_FALSE(standin::Is_Script_Registered("Veltrask_Script"));
        EXPECT_FALSE(standin::Is_Script_Registered("RotateUpwards_Script"));
        void* still = dlopen(VELTRASK_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(still, nullptr) << "the library stayed mapped after dlclose";
        if (still != nullptr) {
            dlclose(still);
        }
        EXPECT_EQ(test::Live_Blocks(), blocks);
    }
}

// Teardown mirrors construction: the plug-in unsubscribes, the two factories withdraw their
// names, and only then do the preset sets give back their memory, RotateUpwardsPresets before
// DontFlipKillPresets, each its bucket array, then its keys, then its slot array.
TEST(Lifecycle, UnloadReleasesThePresetSetsLastInReverseOrder)
{
    standin::LoadedPlugin plugin;
    std::string error;
    ASSERT_TRUE(test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) << error;
    INIClass ini;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n"
                                       "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n",
                                       "order.ini", ini), error))
        << error;
    std::vector<test::BlockLog::Block> owned;
    {
        test::BlockLog log;
        standin::Raise_Global_Settings(&ini);
        owned = log.Still_Live();
    }
    // Each set's first insertion takes its slot array, its bucket array, then the key's copy.
    ASSERT_EQ(owned.size(), 6u) << "three blocks for each set";
    const auto& [dont_slots, dont_buckets, dont_key, rotate_slots, rotate_buckets, rotate_key] =
        std::tie(owned[0], owned[1], owned[2], owned[3], owned[4], owned[5]);

    standin::Clear_Journal();
    std::vector<test::BlockLog::Block> released;
    {
        test::BlockLog log;
        plugin.Unload();
        for (const auto& b : log.Releases()) {
            for (const auto& o : owned) {
                if (b.Start == o.Start) {
                    released.push_back(b);
                }
            }
        }
    }
    const std::vector<const char*> expected = {rotate_buckets.Start, rotate_key.Start, rotate_slots.Start,
                                               dont_buckets.Start,   dont_key.Start,   dont_slots.Start};
    std::vector<const char*> order;
    for (const auto& b : released) {
        order.push_back(b.Start);
        EXPECT_EQ(b.JournalLength, 5u) << "released before the plug-in and both factories were gone";
    }
    EXPECT_EQ(order, expected);
    ASSERT_EQ(standin::Get_Journal().size(), 5u);
    EXPECT_EQ(standin::Get_Journal().back().What(), Event::FactoryWithdrawn);
}

TEST(Lifecycle, PluginInitIsTheOnlyExportAndNothingIsUnique)
{
    const std::string path = VELTRASK_PLUGIN_PATH;
    const std::string defined = Output_Of("nm -D --defined-only '" + path + "'");
    std::set<std::string> names;
    std::size_t start = 0;
    while (start < defined.size()) {
        const std::size_t end = defined.find('\n', start);
        const std::string line = defined.substr(start, end - start);
        const std::size_t space = line.rfind(' ');
        if (!line.empty()) {
            names.insert(line.substr(space + 1));
        }
        start = end == std::string::npos ? defined.size() : end + 1;
    }
    EXPECT_EQ(names, std::set<std::string>{"Plugin_Init"}) << defined;

    const std::string symbols = Output_Of("readelf --dyn-syms -W '" + path + "'");
    ASSERT_NE(symbols.find("Plugin_Init"), std::string::npos) << "readelf gave nothing usable";
    EXPECT_EQ(symbols.find("UNIQUE"), std::string::npos) << symbols;
}

class PluginScripts : public test::PluginTest
{
};

TEST_F(PluginScripts, EachAttachCreatesANewDistinctScriptFromItsFactory)
{
    standin::Load_Level(10);
    VehicleGameObj* a = Vehicle("Heavy_Tank", Matrix3D::Identity());
    VehicleGameObj* b = Vehicle("Heavy_Tank", Matrix3D::Identity());
    const long long registrations = standin::Auto_Save_Registrations();
    for (VehicleGameObj* v : {a, b}) {
        Attach_Script_Once(v, test::FlipKill, "");
        Attach_Script_Once(v, test::RotateUpwards, "");
    }
    ScriptImpClass* scripts[] = {standin::Find_Script(a, test::FlipKill), standin::Find_Script(a, test::RotateUpwards),
                                 standin::Find_Script(b, test::FlipKill), standin::Find_Script(b, test::RotateUpwards)};
    EXPECT_EQ(standin::Live_Script_Count(), 4);
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(scripts[i], nullptr);
        EXPECT_STREQ(scripts[i]->Get_Name(), i % 2 == 0 ? test::FlipKill : test::RotateUpwards);
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(scripts[i], scripts[j]);
        }
    }
    EXPECT_EQ(scripts[0]->Get_Factory(), scripts[2]->Get_Factory()) << "one factory per name";
    EXPECT_NE(scripts[0]->Get_Factory(), scripts[1]->Get_Factory());
    EXPECT_STREQ(scripts[0]->Get_Factory()->Get_Param_Description(), "");
    EXPECT_STREQ(scripts[1]->Get_Factory()->Get_Param_Description(), "");
    EXPECT_EQ(standin::Auto_Save_Registrations(), registrations + 4) << "once for each script made";
    // Upright vehicles: each script removes itself at its first check.
    test::Run_Until(1.5);
    EXPECT_EQ(standin::Live_Script_Count(), 0);
}

// A failed script allocation leaves the vehicle without a script, and the next scan tries again.
class CreateWithoutMemory : public test::PluginTest
{
};

TEST_F(CreateWithoutMemory, AttachesNothingThenRecovers)
{
    standin::Load_Level(10);
    VehicleGameObj* vehicle = Vehicle("Light_Buggy", test::Rolled(180));
    test::Run_Until(2.9);
    const long long refused = standin::memory::Current().Refused;
    standin::memory::Fail_Request(standin::memory::Kind::Single);
    test::Run_Until(3.0);  // the first scan
    EXPECT_EQ(standin::memory::Current().Refused, refused + 1);
    EXPECT_EQ(standin::Script_Count(vehicle), 0);
    EXPECT_TRUE(test::Events(Event::ScriptAttached).empty());
    test::Run_Until(6.0);  // the next scan, with memory
    EXPECT_TRUE(Is_Script_Attached(vehicle, "Veltrask_Script"));
}

}  // namespace
