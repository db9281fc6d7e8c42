// The stand-in host itself: strings, the memory manager, scripts and timers.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "HostMemory.h"
#include "StringClass.h"
#include "TestSupport.h"
#include "../../scripts/TypedScriptFactory.h"

namespace {

using standin::Event;

int Length_Word(const StringClass& s)
{
    std::int32_t n;
    std::memcpy(&n, s.Peek_Buffer() - sizeof(n), sizeof(n));
    return n;
}

// True when the string shares the host's empty buffer rather than owning one.
bool Is_Shared_Empty(const StringClass& s) { return s.Peek_Buffer() == StringClass::m_EmptyString; }

TEST(StringClassTest, ConstructionFromNullEmptyAndText)
{
    const long long blocks = test::Live_Blocks();
    {
        const StringClass from_null(nullptr);
        const StringClass from_empty("");
        const StringClass made;
        for (const StringClass* s : {&from_null, &from_empty, &made}) {
            EXPECT_TRUE(Is_Shared_Empty(*s));
            EXPECT_EQ(s->Get_Length(), 0);
            EXPECT_STREQ(s->Peek_Buffer(), "");
        }
        EXPECT_EQ(test::Live_Blocks(), blocks) << "empty strings own no buffer";

        const StringClass text("Light_Buggy");
        EXPECT_FALSE(Is_Shared_Empty(text));
        EXPECT_STREQ(text.Peek_Buffer(), "Light_Buggy");
        EXPECT_EQ(Length_Word(text), 11) << "construction stores the length";
        EXPECT_EQ(test::Live_Blocks(), blocks + 1);
    }
    EXPECT_EQ(test::Live_Blocks(), blocks);
    EXPECT_STREQ(StringClass::m_EmptyString, "") << "the shared buffer stays empty";
}

TEST(StringClassTest, LengthIsMeasuredOnceAndCachedEvenThroughConst)
{
    StringClass s;
    char* buffer = s.Get_String(16, false);  // a buffer of its own, length not yet measured
    std::memcpy(buffer, "Heavy_Tank", 11);
    ASSERT_EQ(Length_Word(s), 0);
    const StringClass& read_only = s;
    EXPECT_EQ(read_only.Get_Length(), 10);
    EXPECT_EQ(Length_Word(s), 10);
    buffer[5] = '\0';  // behind the cache's back
    EXPECT_EQ(read_only.Get_Length(), 10) << "a measured length is not measured again";
}

TEST(StringClassTest, CopyOfContentsIsIndependentAndSelfCopySafe)
{
    StringClass a("Scout_Jeep");
    StringClass b("Heavy_Tank_Mk2_Long_Name");
    a = b;
    EXPECT_STREQ(a.Peek_Buffer(), "Heavy_Tank_Mk2_Long_Name");
    EXPECT_EQ(Length_Word(a), 24);
    EXPECT_NE(a.Peek_Buffer(), b.Peek_Buffer());
    b = StringClass("x");
    EXPECT_STREQ(a.Peek_Buffer(), "Heavy_Tank_Mk2_Long_Name");

    StringClass& same = a;
    a = same;  // would read released memory if the grow came first
    EXPECT_STREQ(a.Peek_Buffer(), "Heavy_Tank_Mk2_Long_Name");

    a = StringClass("");
    EXPECT_STREQ(a.Peek_Buffer(), "");
    EXPECT_EQ(a.Get_Length(), 0);
}

TEST(MemoryManagerTest, CountsBlocksAndRefusesWhatItCannotServe)
{
    const standin::memory::Stats before = standin::memory::Current();
    void* single = Host_Allocate(40);
    void* array = Host_Allocate_Array(24);
    ASSERT_NE(single, nullptr);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(standin::memory::Current().LiveBlocks, before.LiveBlocks + 2);
    EXPECT_EQ(standin::memory::Current().LiveBytes, before.LiveBytes + 64);
    ::operator delete(single);
    Host_Free_Array(array);
    Host_Free_Array(nullptr);
    EXPECT_EQ(standin::memory::Current().LiveBlocks, before.LiveBlocks);

    // The overflow size of an array, and anything past the host's 32-bit address space.
    EXPECT_EQ(Host_Array_Bytes(std::numeric_limits<std::size_t>::max() / 4 + 1, 8), std::numeric_limits<std::size_t>::max());
    EXPECT_EQ(Host_Allocate_Array(std::numeric_limits<std::size_t>::max()), nullptr);
    EXPECT_EQ(Host_Allocate(0xFFFFFFFFu), nullptr);

    // An armed failure takes the request after `skip` others of its kind, and only that one.
    standin::memory::Fail_Request(standin::memory::Kind::Array, 1);
    void* first = Host_Allocate_Array(8);
    void* single_meanwhile = Host_Allocate(8);
    void* second = Host_Allocate_Array(8);
    void* third = Host_Allocate_Array(8);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(single_meanwhile, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    Host_Free_Array(first);
    Host_Free_Array(third);
    ::operator delete(single_meanwhile);
    EXPECT_EQ(standin::memory::Current().LiveBlocks, before.LiveBlocks);
    EXPECT_EQ(standin::memory::Current().Refused, before.Refused + 3);
}

// A script of the test's own, which logs what happens to it and can be told what to do.
std::vector<std::string> probe_log;

struct ProbeScript : ScriptImpClass
{
    enum Plan { Log, DestroySelf, KillObject, RestartZero };
    static Plan plan;
    static float period;

    ~ProbeScript() override { probe_log.push_back("deleted"); }
    void Created(ScriptableGameObj* obj) override
    {
        probe_log.push_back("created");
        Commands->Start_Timer(obj, this, period, 1);
    }
    void Timer_Expired(ScriptableGameObj* obj, int number) override
    {
        probe_log.push_back("expired " + std::to_string(number));
        switch (plan) {
        case Log: break;
        case DestroySelf:
            Destroy_Script();
            probe_log.push_back(Is_Script_Attached(obj, "Probe_Script") ? "still attached" : "detached");
            break;
        case KillObject:
            Commands->Apply_Damage(obj, 9999.0f, "Death", nullptr);
            probe_log.push_back(standin::Is_Alive(obj) ? "alive" : "dead");
            break;
        case RestartZero: Commands->Start_Timer(obj, this, 0.0f, 1); break;
        }
    }
};
ProbeScript::Plan ProbeScript::plan = ProbeScript::Log;
float ProbeScript::period = 1.0f;

class StandinGame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        probe_log.clear();
        ProbeScript::plan = ProbeScript::Log;
        ProbeScript::period = 1.0f;
        standin::Load_Level(30);
        standin::Clear_Journal();
        vehicle = standin::Create_Vehicle("v", "Light_Buggy", 0, Matrix3D::Identity());
    }
    void TearDown() override
    {
        standin::Shut_Down_Level();
        EXPECT_EQ(standin::Live_Script_Count(), 0);
    }

    TypedScriptFactory<ProbeScript> factory{"Probe_Script", ""};
    VehicleGameObj* vehicle = nullptr;
};

TEST_F(StandinGame, AttachCreatesADistinctScriptOnceAndUnknownNamesNothing)
{
    VehicleGameObj* other = standin::Create_Vehicle("w", "Heavy_Tank", 0, Matrix3D::Identity());
    Attach_Script_Once(vehicle, "Probe_Script", "");
    Attach_Script_Once(vehicle, "Probe_Script", "");
    Attach_Script_Once(other, "Probe_Script", "");
    Attach_Script_Once(vehicle, "No_Such_Script", "");
    EXPECT_EQ(standin::Script_Count(vehicle), 1);
    EXPECT_EQ(standin::Live_Script_Count(), 2);
    ScriptImpClass* a = standin::Find_Script(vehicle, "Probe_Script");
    ScriptImpClass* b = standin::Find_Script(other, "Probe_Script");
    EXPECT_NE(a, b);
    EXPECT_EQ(a->Get_Factory(), &factory);
    EXPECT_EQ(a->Owner(), vehicle);
}

TEST_F(StandinGame, TimerExpiresAtTheFirstTickAtOrAfterItsDeadline)
{
    ProbeScript::period = 0.51f;  // 15.3 ticks at 30 a second
    Attach_Script_Once(vehicle, "Probe_Script", "");
    test::Run_Until(1.0);
    const auto expired = test::Events(Event::TimerExpired);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0].Tick, 16);

    standin::Clear_Journal();
    ProbeScript::period = 1.0f;
    VehicleGameObj* other = standin::Create_Vehicle("w", "Heavy_Tank", 0, Matrix3D::Identity());
    Attach_Script_Once(other, "Probe_Script", "");  // at tick 30
    test::Run_Until(3.0);
    const auto whole = test::Events(Event::TimerExpired, standin::Object_Id(other));
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].Tick, 60) << "a whole second is exactly 30 ticks, not 31";
}

TEST_F(StandinGame, ZeroNegativeAndNaNPeriodsExpireAtTheNextTickNeverWithinOne)
{
    for (float period : {0.0f, -5.0f, std::nanf("")}) {
        SCOPED_TRACE(period);
        standin::Clear_Journal();
        ProbeScript::period = period;
        ProbeScript::plan = ProbeScript::RestartZero;
        VehicleGameObj* v = standin::Create_Vehicle("p", "Light_Buggy", 0, Matrix3D::Identity());
        const std::int64_t start = standin::Current_Tick();
        Attach_Script_Once(v, "Probe_Script", "");
        for (int i = 0; i < 5; ++i) {
            standin::Tick();
        }
        const auto expired = test::Events(Event::TimerExpired, standin::Object_Id(v));
        ASSERT_EQ(expired.size(), 5u) << "one expiry per tick";
        EXPECT_EQ(expired[0].Tick, start + 1);
        standin::Destroy_Object(v);
    }
}

TEST_F(StandinGame, ScriptDestroyingItselfIsDeletedOnlyAfterItsCallbackReturns)
{
    ProbeScript::plan = ProbeScript::DestroySelf;
    Attach_Script_Once(vehicle, "Probe_Script", "");
    test::Run_Until(2.0);
    EXPECT_EQ(probe_log, (std::vector<std::string>{"created", "expired 1", "detached", "deleted"}));
    EXPECT_EQ(standin::Script_Count(vehicle), 0);
    EXPECT_EQ(test::Events(Event::ScriptDetached).size(), 1u);
    EXPECT_TRUE(standin::Is_Alive(vehicle));
}

TEST_F(StandinGame, KillingDamageDestroysTheObjectWithItsScriptsAfterTheCallback)
{
    ProbeScript::plan = ProbeScript::KillObject;
    Attach_Script_Once(vehicle, "Probe_Script", "");
    test::Run_Until(2.0);
    EXPECT_EQ(probe_log, (std::vector<std::string>{"created", "expired 1", "dead", "deleted"}));
    const auto damage = test::Events(Event::Damaged);
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0].As<standin::events::Damaged>().Amount, 9999.0f);
    EXPECT_STREQ(damage[0].As<standin::events::Damaged>().Warhead, "Death");
    EXPECT_EQ(damage[0].As<standin::events::Damaged>().Damager, -1);
    EXPECT_EQ(test::Events(Event::Destroyed).size(), 1u);
    EXPECT_EQ(standin::Object_Count(), 0);
}

TEST_F(StandinGame, InvulnerableObjectSurvivesDamage)
{
    standin::Set_Invulnerable(vehicle, true);
    Commands->Apply_Damage(vehicle, 9999.0f, "Death", nullptr);
    EXPECT_TRUE(standin::Is_Alive(vehicle));
    EXPECT_EQ(test::Events(Event::Damaged).size(), 1u);
}

TEST_F(StandinGame, ObjectDestroyedWithTimersPendingTakesThemAlong)
{
    Attach_Script_Once(vehicle, "Probe_Script", "");
    EXPECT_EQ(standin::Pending_Timer_Count(), 1);
    test::Run_Until(0.5);
    standin::Destroy_Object(vehicle);
    EXPECT_EQ(standin::Pending_Timer_Count(), 0);
    test::Run_Until(3.0);
    EXPECT_EQ(probe_log, (std::vector<std::string>{"created", "deleted"}));
    EXPECT_TRUE(test::Events(Event::TimerExpired).empty());
}

TEST_F(StandinGame, ObjectListIsWalkedInOrderOfCreationAndSurvivesRemoval)
{
    VehicleGameObj* second = standin::Create_Vehicle("b", "B", 0, Matrix3D::Identity());
    SmartGameObj* third = standin::Create_Object("c", "Crate", Matrix3D::Identity());
    std::vector<ScriptableGameObj*> seen;
    for (SLNode<SmartGameObj>* n = GameObjManager::SmartGameObjList.Head(); n != nullptr; n = n->Next()) {
        seen.push_back(n->Data());
    }
    EXPECT_EQ(seen, (std::vector<ScriptableGameObj*>{vehicle, second, third}));
    EXPECT_EQ(As_VehicleGameObj(third), nullptr);
    EXPECT_EQ(As_VehicleGameObj(second), second);

    standin::Destroy_Object(second);
    seen.clear();
    for (SLNode<SmartGameObj>* n = GameObjManager::SmartGameObjList.Head(); n != nullptr; n = n->Next()) {
        seen.push_back(n->Data());
    }
    EXPECT_EQ(seen, (std::vector<ScriptableGameObj*>{vehicle, third}));
}

TEST(MatrixTest, RotationYReadsRollAndPitchBeyondTheLimit)
{
    EXPECT_FLOAT_EQ(test::Pitched(30).getRotationY(), static_cast<float>(30 * M_PI / 180));
    EXPECT_FLOAT_EQ(Matrix3D::Identity().getRotationY(), 0.0f);
    EXPECT_FLOAT_EQ(std::fabs(test::Rolled(180).getRotationY()), static_cast<float>(M_PI));
    EXPECT_FLOAT_EQ(test::Rolled(60).getRotationY(), 0.0f) << "a roll under 90 degrees reads upright";
}

}  // namespace
