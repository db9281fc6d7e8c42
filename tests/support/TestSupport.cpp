#include "TestSupport.h"

#include <cmath>

namespace test {

long long Live_Blocks() { return standin::memory::Current().LiveBlocks; }

Matrix3D Rolled(double degrees, Vector3 p)
{
    const double r = degrees * M_PI / 180.0;
    const float c = static_cast<float>(std::cos(r));
    const float s = static_cast<float>(std::sin(r));
    Matrix3D m = {{{1, 0, 0, p.X}, {0, c, -s, p.Y}, {0, s, c, p.Z}}};
    return m;
}

Matrix3D Pitched(double degrees, Vector3 p)
{
    const double r = degrees * M_PI / 180.0;
    const float c = static_cast<float>(std::cos(r));
    const float s = static_cast<float>(std::sin(r));
    Matrix3D m = {{{c, 0, s, p.X}, {0, 1, 0, p.Y}, {-s, 0, c, p.Z}}};
    return m;
}

Matrix3D With_Rotation_Y(float angle)
{
    // atan2 is not exactly invertible, so search the neighbourhood for a pair that reads back
    // as exactly the wanted float.
    for (int step = 0; step < 100000; ++step) {
        const double r = angle + (step % 2 == 0 ? 1 : -1) * (step / 2) * 1e-9;
        Matrix3D m = Pitched(r * 180.0 / M_PI);
        if (m.getRotationY() == angle) {
            return m;
        }
    }
    ADD_FAILURE() << "no transform reads exactly " << angle;
    return Matrix3D::Identity();
}

std::vector<standin::JournalEntry> Events(standin::Event what, int object)
{
    std::vector<standin::JournalEntry> out;
    for (const standin::JournalEntry& e : standin::Get_Journal()) {
        if (e.What() == what && (object < 0 || e.Object == object)) {
            out.push_back(e);
        }
    }
    return out;
}

std::vector<double> Times(standin::Event what, int object)
{
    std::vector<double> out;
    for (const standin::JournalEntry& e : Events(what, object)) {
        out.push_back(e.Time);
    }
    return out;
}

std::vector<double> Attached(const char* script, int object)
{
    std::vector<double> out;
    for (const standin::JournalEntry& e : Events(standin::Event::ScriptAttached, object)) {
        if (std::string(e.Script()) == script) {
            out.push_back(e.Time);
        }
    }
    return out;
}

void Run_Until(double seconds)
{
    while (standin::Current_Time() < seconds - 1e-9) {
        standin::Tick();
    }
}

BlockLog::BlockLog() { standin::memory::Observe(&BlockLog::Tell, this); }
BlockLog::~BlockLog() { standin::memory::Observe(nullptr, nullptr); }

void BlockLog::Tell(bool released, const void* block, std::size_t bytes, standin::memory::Kind kind, void* context)
{
    BlockLog* log = static_cast<BlockLog*>(context);
    if (!log->Reading) {
        log->Blocks.push_back({released, static_cast<const char*>(block), bytes, kind, standin::Get_Journal().size()});
    }
}

std::vector<BlockLog::Block> BlockLog::Releases() const
{
    // What the reading itself allocates is no part of the log (and must not grow it mid-walk).
    const Pause pause(*this);
    std::vector<Block> out;
    for (const Block& b : Blocks) {
        if (b.Released) {
            out.push_back(b);
        }
    }
    return out;
}

std::vector<BlockLog::Block> BlockLog::Still_Live() const
{
    const Pause pause(*this);
    std::vector<Block> out;
    for (const Block& b : Blocks) {
        if (!b.Released) {
            out.push_back(b);
        } else {
            for (auto i = out.begin(); i != out.end(); ++i) {
                if (i->Start == b.Start) {
                    out.erase(i);
                    break;
                }
            }
        }
    }
    return out;
}

void PluginTest::SetUp()
{
    standin::memory::Clear_Failures();
    standin::Clear_Rotation_Override();
    standin::Shift_On_Set_Transform(0.0f);
    standin::Clear_Journal();
    blocks_before = Live_Blocks();
    std::string error;
    ASSERT_TRUE(test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) << error;
}

void PluginTest::TearDown()
{
    // The host promises nothing for a second attach of a name an object already carries, so the
    // plug-in must ask first, every time.
    EXPECT_TRUE(Events(standin::Event::AttachRefused).empty()) << "a script was attached twice";
    plugin.Unload();
    standin::memory::Clear_Failures();
    standin::Clear_Rotation_Override();
    standin::Shift_On_Set_Transform(0.0f);
    EXPECT_EQ(standin::Live_Script_Count(), 0) << "scripts left after unload";
    EXPECT_EQ(Live_Blocks(), blocks_before) << "blocks left after unload";
}

void PluginTest::Settings(const std::string& text)
{
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text(text, "test.ini", ini), error)) << error;
    standin::Raise_Global_Settings(&ini);
}

VehicleGameObj* PluginTest::Vehicle(const char* preset, const Matrix3D& transform, unsigned int mode)
{
    return standin::Create_Vehicle(preset, preset, mode, transform);
}

}  // namespace test

namespace {

// Each test starts in a world of its own, as each match does: no test sees the ids, serials,
// clock or journal another left behind. (A test suite that keeps a plug-in loaded across its
// tests keeps its world too: a world in use is never replaced.)
class FreshWorld : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override { standin::New_World(); }
};

const bool FreshWorldRegistered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshWorld);
    return true;
}();

}  // namespace
