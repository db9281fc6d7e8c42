// The rotate-upwards script: the exact step, what it leaves alone, and the number of steps a
// vehicle needs to come upright.
#include <cmath>
#include <cstring>

#include "TestSupport.h"

namespace {

using standin::Event;
using test::Attached;
using test::RotateUpwards;

const double Theta = 0.43633231520652771;

bool Same_Bits(float a, float b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

class RotateTest : public test::PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        Settings("[Veltrask]\nCheckInterval = 3\n[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
        standin::Load_Level(10);
    }
    int Id(ScriptableGameObj* obj) { return standin::Object_Id(obj); }

    // Runs to the first step (attached at the scan at 3, stepped at 3.5) and returns what it
    // set: the transform and the position.
    std::pair<standin::JournalEntry, standin::JournalEntry> First_Step(ScriptableGameObj* obj)
    {
        test::Run_Until(3.5);
        const auto turns = test::Events(Event::TransformSet, Id(obj));
        const auto lifts = test::Events(Event::PositionSet, Id(obj));
        EXPECT_EQ(turns.size(), 1u);
        EXPECT_EQ(lifts.size(), 1u);
        if (turns.size() != 1 || lifts.size() != 1) {
            return {};
        }
        return {turns[0], lifts[0]};
    }
};

TEST_F(RotateTest, OneStepOnTheIdentityIsExactToTheBit)
{
    VehicleGameObj* buggy = Vehicle("Light_Buggy", Matrix3D::Identity());
    standin::Override_Rotation_Y(3.0f);  // reads flipped without leaving the identity
    const auto [turn, lift] = First_Step(buggy);
    standin::Clear_Rotation_Override();
    ASSERT_FALSE(HasFailure());
    const float s = static_cast<float>(std::sin(Theta));
    const float c = static_cast<float>(std::cos(Theta));
    const float expected[3][4] = {{1, 0, 0, 0}, {0, c, -s, 0}, {0, s, c, 0}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_TRUE(Same_Bits(turn.As<standin::events::TransformSet>().Transform.Row[i][j], expected[i][j]))
                << "row " << i << " column " << j << ": " << turn.As<standin::events::TransformSet>().Transform.Row[i][j];
        }
    }
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.X, 0.0f));
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.Y, 0.0f));
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.Z, 3.0f));
    EXPECT_TRUE(turn.Time == 3.5 && lift.Time == 3.5);

    test::Run_Until(4.0);  // 25 degrees of roll reads upright
    EXPECT_EQ(test::Times(Event::ScriptDetached, Id(buggy)), std::vector<double>{4.0});
}

TEST_F(RotateTest, AStepKeepsTheXAxisAndMovesThePositionOnlyUp)
{
    // Rolled over, then turned about the world's vertical so every element is in play.
    Matrix3D m = test::Rolled(160, {12.5f, -7.25f, 2.0f});
    const double yaw = 0.7;
    Matrix3D turned = m;
    for (int j = 0; j < 3; ++j) {
        turned.Row[0][j] = static_cast<float>(std::cos(yaw) * m.Row[0][j] - std::sin(yaw) * m.Row[1][j]);
        turned.Row[1][j] = static_cast<float>(std::sin(yaw) * m.Row[0][j] + std::cos(yaw) * m.Row[1][j]);
    }
    ASSERT_GT(std::fabs(turned.getRotationY()), 1.3f);
    const auto [turn, lift] = First_Step(Vehicle("Light_Buggy", turned));
    ASSERT_FALSE(HasFailure());
    const float s = static_cast<float>(std::sin(Theta));
    const float c = static_cast<float>(std::cos(Theta));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Same_Bits(turn.As<standin::events::TransformSet>().Transform.Row[i][0], turned.Row[i][0])) << "x axis, row " << i;
        EXPECT_TRUE(Same_Bits(turn.As<standin::events::TransformSet>().Transform.Row[i][3], turned.Row[i][3])) << "translation, row " << i;
        const double a = turned.Row[i][1];
        const double b = turned.Row[i][2];
        EXPECT_TRUE(Same_Bits(turn.As<standin::events::TransformSet>().Transform.Row[i][1], static_cast<float>(a * c + b * s))) << "row " << i;
        EXPECT_TRUE(Same_Bits(turn.As<standin::events::TransformSet>().Transform.Row[i][2], static_cast<float>(b * c - a * s))) << "row " << i;
    }
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.X, 12.5f));
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.Y, -7.25f));
    EXPECT_TRUE(Same_Bits(lift.As<standin::events::PositionSet>().Position.Z, 5.0f));
}

// Each step adds 25 degrees of roll; a vehicle reads upright once its roll passes 270.
TEST_F(RotateTest, ARolledVehicleComesUprightAfterThePredictedSteps)
{
    for (double roll : {100.0, 180.0, 200.0, 260.0}) {
        standin::Clear_Journal();
        standin::Load_Level(10);
        VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Rolled(roll));
        const int steps = static_cast<int>(std::ceil((270.0 - roll) / 25.0));
        test::Run_Until(30.0);
        EXPECT_EQ(test::Events(Event::TransformSet, Id(buggy)).size(), static_cast<std::size_t>(steps)) << roll;
        EXPECT_EQ(test::Times(Event::ScriptDetached, Id(buggy)), std::vector<double>{3.0 + 0.5 * (steps + 1)}) << roll;
        EXPECT_FLOAT_EQ(Commands->Get_Position(buggy).Z, 3.0f * steps) << roll;
        EXPECT_FALSE(Is_Script_Attached(buggy, RotateUpwards));
        EXPECT_TRUE(test::Events(Event::Damaged).empty());
    }
}

TEST_F(RotateTest, AVehicleOnItsNoseClimbsForever)
{
    VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Pitched(90));
    test::Run_Until(13.0);
    EXPECT_EQ(test::Events(Event::TransformSet, Id(buggy)).size(), 20u);
    EXPECT_FLOAT_EQ(Commands->Get_Position(buggy).Z, 60.0f);
    EXPECT_TRUE(Is_Script_Attached(buggy, RotateUpwards));
}

TEST_F(RotateTest, UprightAtTheFirstCheckItLeavesWithoutTouchingTheVehicle)
{
    VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Rolled(180));
    test::Run_Until(3.2);
    standin::Place(buggy, test::With_Rotation_Y(1.3f));  // exactly the limit reads upright
    test::Run_Until(5.0);
    EXPECT_EQ(test::Times(Event::ScriptDetached, Id(buggy)), std::vector<double>{3.5});
    EXPECT_TRUE(test::Events(Event::TransformSet).empty());
    EXPECT_TRUE(test::Events(Event::PositionSet).empty());
}

TEST_F(RotateTest, ThePeriodIsHalfASecondWhateverTheSettingsAndOtherTimersAreIgnored)
{
    Settings("[Veltrask]\nCheckInterval = 3\nScriptCheckingInterval = 2.0\n");
    VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Pitched(90));
    test::Run_Until(3.0);
    ScriptImpClass* script = standin::Find_Script(buggy, RotateUpwards);
    ASSERT_NE(script, nullptr);
    const std::size_t before = standin::Get_Journal().size();
    script->Timer_Expired(buggy, 7);
    EXPECT_EQ(standin::Get_Journal().size(), before) << "timer 7 turns nothing";
    test::Run_Until(6.0);
    const auto timers = test::Events(Event::TimerStarted, Id(buggy));
    ASSERT_EQ(timers.size(), 7u);
    for (const auto& t : timers) {
        EXPECT_EQ(t.As<standin::events::TimerStarted>().Period, 0.5f);
        EXPECT_EQ(t.As<standin::events::TimerStarted>().Number, 1);
    }
    EXPECT_EQ(Attached(RotateUpwards, Id(buggy)).size(), 1u) << "one rotate script per vehicle";
    EXPECT_TRUE(test::Events(Event::AttachRefused).empty()) << "the scans at 3 and 6 asked first";
}

TEST_F(RotateTest, AStepReadsThePositionAfterTurningAndRestartsItsTimerLast)
{
    VehicleGameObj* buggy = Vehicle("Light_Buggy", test::Pitched(90, {4.0f, 5.0f, 1.0f}));
    // This host settles an object 10 up whenever its transform is set: a step that read the
    // position before turning would lift from where the vehicle no longer is.
    standin::Shift_On_Set_Transform(10.0f);
    test::Run_Until(3.5);
    const auto lifts = test::Events(Event::PositionSet, Id(buggy));
    ASSERT_EQ(lifts.size(), 1u);
    EXPECT_EQ(lifts[0].As<standin::events::PositionSet>().Position.Z, 14.0f);
    EXPECT_EQ(lifts[0].As<standin::events::PositionSet>().Position.X, 4.0f);
    EXPECT_EQ(lifts[0].As<standin::events::PositionSet>().Position.Y, 5.0f);

    std::vector<Event> step;
    for (const standin::JournalEntry& e : standin::Get_Journal()) {
        if (e.Object == Id(buggy) && e.Time == 3.5) {
            step.push_back(e.What());
        }
    }
    EXPECT_EQ(step, (std::vector<Event>{Event::TimerExpired, Event::TransformSet, Event::PositionSet, Event::TimerStarted}));
}

}  // namespace
