// The scan: which objects it looks at, when, and which script each flipped vehicle gets; and the
// flip-kill script's checks through to the kill.
#include <climits>
#include <cmath>

#include "TestSupport.h"

namespace {

using standin::Event;
using test::Attached;
using test::FlipKill;
using test::RotateUpwards;

class ScanTest : public test::PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        standin::Load_Level(10);
    }
    int Id(ScriptableGameObj* obj) { return standin::Object_Id(obj); }
};

TEST_F(ScanTest, AVehicleThatStaysFlippedIsCheckedFourTimesAndKilled)
{
    VehicleGameObj* vehicle = Vehicle("Heavy_Tank", test::Rolled(180));
    const int id = Id(vehicle);  // the vehicle itself is gone once killed
    test::Run_Until(2.9);
    EXPECT_TRUE(Attached(FlipKill).empty());
    test::Run_Until(3.0);
    ASSERT_EQ(Attached(FlipKill, id), std::vector<double>{3.0});
    char params[16] = "x";
    standin::Find_Script(vehicle, FlipKill)->Get_Parameters_String(params, sizeof(params));
    EXPECT_STREQ(params, "");

    test::Run_Until(20.0);
    EXPECT_EQ(test::Times(Event::TimerExpired, id), (std::vector<double>{4, 5, 6, 7}));
    EXPECT_EQ(test::Times(Event::TimerStarted, id), (std::vector<double>{3, 4, 5, 6})) << "three restarts";
    const auto damage = test::Events(Event::Damaged, id);
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0].Time, 7.0);
    EXPECT_EQ(damage[0].As<standin::events::Damaged>().Amount, 9999.0f);
    EXPECT_STREQ(damage[0].As<standin::events::Damaged>().Warhead, "Death");
    EXPECT_EQ(damage[0].As<standin::events::Damaged>().Damager, -1);
    EXPECT_EQ(test::Times(Event::Destroyed, id), std::vector<double>{7.0});
    EXPECT_EQ(standin::Get_Journal().back().What(), Event::ScriptDetached) << "nothing after the kill";
}

TEST_F(ScanTest, UprightAtACheckRemovesTheScriptAndALaterFlipCountsFromZero)
{
    VehicleGameObj* vehicle = Vehicle("Heavy_Tank", test::Rolled(180));
    const int id = Id(vehicle);
    test::Run_Until(5.5);  // attached at 3, flipped checks at 4 and 5
    standin::Place(vehicle, test::Rolled(10));
    test::Run_Until(6.05);
    EXPECT_EQ(test::Times(Event::ScriptDetached, id), std::vector<double>{6.0});
    EXPECT_FALSE(Is_Script_Attached(vehicle, FlipKill));
    EXPECT_TRUE(test::Events(Event::Damaged).empty());

    standin::Place(vehicle, test::Rolled(170));
    test::Run_Until(20.0);
    EXPECT_EQ(Attached(FlipKill, id), (std::vector<double>{3.0, 9.0}));
    EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{13.0}) << "four new checks, not two";
}

TEST_F(ScanTest, ChecksCountOfOneOrLessKillsAtTheFirstFlippedCheck)
{
    for (int count : {1, 0, -5, INT_MIN}) {
        standin::Clear_Journal();
        Settings("[Veltrask]\nCheckInterval = 3\nChecksCount = " + std::to_string(count) + "\n");
        standin::Load_Level(10);
        const int id = Id(Vehicle("Heavy_Tank", test::Rolled(180)));
        test::Run_Until(6.0);
        EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{4.0}) << "ChecksCount " << count;
    }
}

TEST_F(ScanTest, ATimerNumberOtherThanOneChangesNothing)
{
    VehicleGameObj* vehicle = Vehicle("Heavy_Tank", test::Rolled(180));
    const int id = Id(vehicle);
    test::Run_Until(3.0);
    ScriptImpClass* script = standin::Find_Script(vehicle, FlipKill);
    ASSERT_NE(script, nullptr);
    const std::size_t before = standin::Get_Journal().size();
    for (int i = 0; i < 10; ++i) {
        script->Timer_Expired(vehicle, 2);
    }
    script->Timer_Expired(vehicle, 0);
    EXPECT_EQ(standin::Get_Journal().size(), before);
    test::Run_Until(10.0);
    EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{7.0}) << "the count did not move";
}

TEST_F(ScanTest, ASettingsEventWhileCountingTakesEffectAtTheNextUse)
{
    const int id = Id(Vehicle("Heavy_Tank", test::Rolled(180)));
    test::Run_Until(4.5);  // attached at 3, first check at 4, next timer started at 4 for 1.0
    Settings("[Veltrask]\nCheckInterval = 3\nChecksCount = 3\nScriptCheckingInterval = 0.5\n");
    test::Run_Until(10.0);
    EXPECT_EQ(test::Times(Event::TimerExpired, id), (std::vector<double>{4.0, 5.0, 5.5}));
    EXPECT_EQ(test::Times(Event::Damaged, id), std::vector<double>{5.5});
}

TEST_F(ScanTest, ASpentScriptStaysIdleOnAVehicleThatSurvives)
{
    VehicleGameObj* vehicle = Vehicle("Armoured_Hauler", test::Rolled(180));
    standin::Set_Invulnerable(vehicle, true);
    test::Run_Until(30.0);
    EXPECT_EQ(test::Times(Event::Damaged, Id(vehicle)), std::vector<double>{7.0});
    EXPECT_EQ(test::Events(Event::TimerStarted, Id(vehicle)).size(), 4u) << "no timer after the damage";
    EXPECT_EQ(Attached(FlipKill, Id(vehicle)).size(), 1u) << "the spent script keeps others away";
    EXPECT_TRUE(Is_Script_Attached(vehicle, FlipKill));
}

TEST_F(ScanTest, NoGameMeansNothingHappens)
{
    Vehicle("Heavy_Tank", test::Rolled(180));
    standin::Shut_Down_Level();
    ASSERT_EQ(The_Game(), nullptr);
    standin::Clear_Journal();
    for (int i = 0; i < 100; ++i) {
        plugin.Get()->Tick();
    }
    EXPECT_TRUE(standin::Get_Journal().empty());
}

TEST_F(ScanTest, IntervalsOfZeroOrBelowScanEveryTickAndAHugeOneRarely)
{
    for (int interval : {0, -1, INT_MIN}) {
        standin::Clear_Journal();
        Settings("[Veltrask]\nCheckInterval = " + std::to_string(interval) + "\n");
        standin::Load_Level(10);
        test::Run_Until(4.3);
        const int id = Id(Vehicle("Heavy_Tank", test::Rolled(180)));
        standin::Tick();
        EXPECT_EQ(Attached(FlipKill, id), std::vector<double>{4.4}) << "CheckInterval " << interval;
    }
    // In 32-bit arithmetic these sums wrap negative once a scan has set the scan clock, and
    // every tick would scan.
    for (int interval : {INT_MAX, INT_MAX - 2}) {
        standin::Clear_Journal();
        Settings("[Veltrask]\nCheckInterval = 3\n");
        standin::Load_Level(10);
        test::Run_Until(3.0);  // the scan at 3 sets the scan clock to 3
        Settings("[Veltrask]\nCheckInterval = " + std::to_string(interval) + "\n");
        Vehicle("Heavy_Tank", test::Rolled(180));
        test::Run_Until(30.0);
        EXPECT_TRUE(Attached(FlipKill).empty()) << "CheckInterval " << interval;
    }
}

TEST_F(ScanTest, ALevelLoadResetsTheScanClock)
{
    test::Run_Until(5.0);  // scanned at 3; without a reset the next would wait for clock 6
    standin::Load_Level(10);
    const int id = Id(Vehicle("Heavy_Tank", test::Rolled(180)));
    test::Run_Until(3.0);
    EXPECT_EQ(Attached(FlipKill, id), std::vector<double>{3.0});
}

TEST_F(ScanTest, TheFlipLimitIsStrictlyAboveTheFloat13)
{
    const float limit = 1.3f;
    const float above = std::nextafter(limit, 2.0f);
    VehicleGameObj* at = Vehicle("Heavy_Tank", test::With_Rotation_Y(limit));
    VehicleGameObj* at_negative = Vehicle("Heavy_Tank", test::With_Rotation_Y(-limit));
    VehicleGameObj* over = Vehicle("Heavy_Tank", test::With_Rotation_Y(above));
    VehicleGameObj* over_negative = Vehicle("Heavy_Tank", test::With_Rotation_Y(-above));
    Matrix3D nan_transform = Matrix3D::Identity();
    nan_transform.Row[0][2] = std::nanf("");
    VehicleGameObj* nan = Vehicle("Heavy_Tank", nan_transform);
    ASSERT_TRUE(std::isnan(nan_transform.getRotationY()));
    test::Run_Until(3.0);
    EXPECT_FALSE(Is_Script_Attached(at, FlipKill));
    EXPECT_FALSE(Is_Script_Attached(at_negative, FlipKill));
    EXPECT_TRUE(Is_Script_Attached(over, FlipKill));
    EXPECT_TRUE(Is_Script_Attached(over_negative, FlipKill));
    EXPECT_FALSE(Is_Script_Attached(nan, FlipKill));
}

TEST_F(ScanTest, ModeFourNonVehiclesAndExemptPresetsAreLeftAlone)
{
    Settings(
        "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n"
        "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    standin::Load_Level(10);
    VehicleGameObj* parked = Vehicle("Light_Buggy", test::Rolled(180), 4);
    const int parked_tank = Id(Vehicle("Heavy_Tank", test::Rolled(180), 4));
    const int driven = Id(Vehicle("Heavy_Tank", test::Rolled(180), 3));
    SmartGameObj* crate = standin::Create_Object("crate", "Light_Buggy", test::Rolled(180));
    VehicleGameObj* exempt = Vehicle("Recon_Drone", test::Rolled(180));
    test::Run_Until(20.0);
    EXPECT_EQ(standin::Script_Count(parked), 0);
    EXPECT_TRUE(test::Events(Event::ScriptAttached, parked_tank).empty()) << "mode 4 is skipped before any list is asked";
    EXPECT_EQ(standin::Script_Count(crate), 0);
    EXPECT_EQ(standin::Script_Count(exempt), 0);
    EXPECT_TRUE(standin::Is_Alive(exempt));
    // Settings without the key set CheckInterval to 2: found at 2, killed four checks later.
    EXPECT_EQ(test::Times(Event::Destroyed, driven), std::vector<double>{6.0}) << "mode 3 is scanned like any other";
}

TEST_F(ScanTest, APresetInBothListsIsTurnedNeverKilled)
{
    Settings(
        "[Veltrask_DontFlipKillPresets]\n1 = Light_Buggy\n"
        "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    standin::Load_Level(10);
    VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Rolled(180));
    test::Run_Until(20.0);
    EXPECT_EQ(Attached(RotateUpwards, Id(buggy)).size(), 1u);
    EXPECT_TRUE(Attached(FlipKill).empty());
    EXPECT_TRUE(test::Events(Event::Damaged).empty());
}

// The scan takes a flipped vehicle's preset name from the host for each lookup it makes: once for
// the turning list, and again, into a string of its own, for the exempt list when the turning list
// did not have it. Sharing one copy gives the same answers with other host calls, which a host
// that counts or hooks its calls would see.
int preset_name_calls = 0;
const char* (*host_preset_name)(ScriptableGameObj*) = nullptr;
const char* Counting_Preset_Name(ScriptableGameObj* obj)
{
    ++preset_name_calls;
    return host_preset_name(obj);
}

TEST_F(ScanTest, EachLookupTakesThePresetNameFromTheHostAgain)
{
    Settings("[Veltrask]\nCheckInterval = 1\nChecksCount = 100\n"
             "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n"
             "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    standin::Load_Level(10);
    host_preset_name = Commands->Get_Preset_Name;
    Commands->Get_Preset_Name = Counting_Preset_Name;
    struct Restore
    {
        ~Restore() { Commands->Get_Preset_Name = host_preset_name; }
    } restore;
    for (const auto& [preset, calls] : {std::pair{"Light_Buggy", 1}, std::pair{"Recon_Drone", 2}, std::pair{"Heavy_Tank", 2}}) {
        VehicleGameObj* vehicle = Vehicle(preset, test::Rolled(180));
        preset_name_calls = 0;
        test::Run_Until(standin::Current_Time() + 1.0);  // one scan
        EXPECT_EQ(preset_name_calls, calls) << preset;
        standin::Destroy_Object(vehicle);
        test::Run_Until(standin::Current_Time() + 0.1);
    }
}

TEST_F(ScanTest, OneFlipKillScriptPerVehicleButRotationCanJoinIt)
{
    Settings("[Veltrask]\nCheckInterval = 1\nChecksCount = 100\n");
    standin::Load_Level(10);
    VehicleGameObj* tank = Vehicle("Heavy_Tank", test::Rolled(180));
    test::Run_Until(10.0);
    EXPECT_EQ(Attached(FlipKill, Id(tank)), std::vector<double>{1.0}) << "nine more scans gave no second copy";
    EXPECT_TRUE(test::Events(Event::AttachRefused).empty()) << "each scan asked before attaching";
    Settings("[Veltrask]\nCheckInterval = 1\nChecksCount = 100\n[Veltrask_RotateUpwardsPresets]\n1 = Heavy_Tank\n");
    test::Run_Until(11.0);
    EXPECT_EQ(Attached(RotateUpwards, Id(tank)), std::vector<double>{11.0});
    EXPECT_EQ(standin::Script_Count(tank), 2);
    test::Run_Until(15.0);
    EXPECT_TRUE(test::Events(Event::AttachRefused).empty()) << "each scan asked before attaching";
}

TEST_F(ScanTest, UnloadingWithScriptsAndTimersPendingLeavesNothing)
{
    Settings("[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    standin::Load_Level(10);
    Vehicle("Light_Buggy", test::Pitched(90));
    Vehicle("Heavy_Tank", test::Rolled(180));
    test::Run_Until(4.2);
    EXPECT_EQ(standin::Live_Script_Count(), 2);
    EXPECT_EQ(standin::Pending_Timer_Count(), 2);
    plugin.Unload();  // TearDown checks that no script and no block is left
    EXPECT_EQ(standin::Pending_Timer_Count(), 0);
    EXPECT_EQ(standin::Object_Count(), 0);
}

}  // namespace
