// Settings reach the plug-in through the global-settings event and show in what it does: when
// it scans, how often and how long its scripts check, and which presets it spares or turns.
#include "TestSupport.h"

namespace {

using standin::Event;
using test::Attached;
using test::FlipKill;
using test::RotateUpwards;

class SettingsTest : public test::PluginTest
{
protected:
    // A level at ten ticks a second with one vehicle lying on its roof.
    int Flipped_Vehicle(const char* preset = "Heavy_Tank")
    {
        return standin::Object_Id(Vehicle(preset, test::Rolled(180)));
    }
    std::vector<float> Periods(int object)
    {
        std::vector<float> out;
        for (const auto& e : test::Events(Event::TimerStarted, object)) {
            out.push_back(e.As<standin::events::TimerStarted>().Period);
        }
        return out;
    }
};

TEST_F(SettingsTest, WithoutASettingsEventTheLoadTimeValuesHold)
{
    standin::Load_Level(10);
    const int id = Flipped_Vehicle();
    test::Run_Until(12.0);
    EXPECT_EQ(Attached(FlipKill, id), std::vector<double>{3.0}) << "CheckInterval 3";
    EXPECT_EQ(Periods(id), (std::vector<float>{1.0f, 1.0f, 1.0f, 1.0f})) << "ScriptCheckingInterval 1.0";
    EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{7.0}) << "ChecksCount 4";
}

TEST_F(SettingsTest, ASectionWithoutCheckIntervalMeansTwoNotThree)
{
    Settings("[Veltrask]\nChecksCount = 4\n");
    standin::Load_Level(10);
    const int id = Flipped_Vehicle();
    test::Run_Until(3.0);
    EXPECT_EQ(Attached(FlipKill, id), std::vector<double>{2.0});
}

TEST_F(SettingsTest, ZeroAndNegativeValuesAreUsedAsTheyCome)
{
    Settings("[Veltrask]\nCheckInterval = 0\nChecksCount = -5\nScriptCheckingInterval = 0\n");
    standin::Load_Level(10);
    const int id = Flipped_Vehicle();
    test::Run_Until(1.0);
    EXPECT_EQ(Attached(FlipKill, id), std::vector<double>{0.1}) << "an interval of 0 scans at every tick";
    EXPECT_EQ(Periods(id), std::vector<float>{0.0f});
    EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{0.2}) << "killed at the first check";

    Settings("[Veltrask]\nCheckInterval = -7\nScriptCheckingInterval = -1.5\n");
    const int late = Flipped_Vehicle();
    const double created = standin::Current_Time();
    standin::Tick();
    EXPECT_EQ(Attached(FlipKill, late), std::vector<double>{created + 0.1});
    EXPECT_EQ(Periods(late), std::vector<float>{-1.5f});
}

TEST_F(SettingsTest, AnEntryWithoutValueListsTheEmptyPresetName)
{
    Settings("[Veltrask_RotateUpwardsPresets]\n1 =\n");
    standin::Load_Level(10);
    const int unnamed = Flipped_Vehicle("");
    const int named = Flipped_Vehicle("Heavy_Tank");
    test::Run_Until(3.0);
    EXPECT_EQ(Attached(RotateUpwards, unnamed).size(), 1u);
    EXPECT_EQ(Attached(FlipKill, named).size(), 1u);
    EXPECT_TRUE(Attached(RotateUpwards, named).empty());
}

TEST_F(SettingsTest, ASecondEventOverwritesTheNumbersAndAddsTheNamesAgain)
{
    Settings(
        "[Veltrask]\nCheckInterval = 5\nChecksCount = 2\n"
        "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n"
        "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    Settings(
        "[Veltrask]\nCheckInterval = 1\n"
        "[Veltrask_RotateUpwardsPresets]\n1 = Scout_Jeep\n2 = Scout_Jeep\n");
    standin::Load_Level(10);
    const int first = Flipped_Vehicle("Light_Buggy");
    const int second = Flipped_Vehicle("Scout_Jeep");
    const int exempt = Flipped_Vehicle("Recon_Drone");
    const int other = Flipped_Vehicle("Heavy_Tank");
    test::Run_Until(8.0);
    EXPECT_EQ(Attached(RotateUpwards, first), std::vector<double>{1.0}) << "names dropped from the file stay";
    EXPECT_EQ(Attached(RotateUpwards, second), std::vector<double>{1.0});
    EXPECT_TRUE(Attached(FlipKill, exempt).empty());
    EXPECT_EQ(test::Times(Event::Damaged, other), std::vector<double>{5.0}) << "ChecksCount back to its default 4";
}

}  // namespace
