// The simulator foretells what the plug-in does (when it scans, what it reads as flipped, what
// it leaves alone) without being told; its story, summary and chart rest on that. These hold the
// foretelling against what the loaded plug-in actually did in random matches.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Contract.h"
#include "Match.h"
#include "Prediction.h"
#include "Random.h"
#include "TestSupport.h"

namespace {

struct Attachment
{
    std::int64_t Tick;
    std::string Vehicle;
    std::string Script;
    bool Flipped;
    bool LeftAlone;
    bool TurnedUpright;
};

// Every script the plug-in attached, with what was foretold of its vehicle at that moment; and
// for every scan that attached anything, the vehicles foretold to get a script then against those
// that got one.
class Attachments : public sim::Observer
{
public:
    explicit Attachments(const sim::Prediction& foretold) : Foretold(foretold) {}
    void On(const sim::Happening& h) override
    {
        const standin::JournalEntry* j = h.Entry;
        if (h.Object == nullptr) {
            return;
        }
        const int id = h.Object->Id;
        if (h.What == sim::Happened::Spawn) {
            Live[id] = h.Object;
        } else if (j != nullptr && j->What == standin::Event::Destroyed) {
            Live.erase(id);
            Carrying.erase(id);
        } else if (j != nullptr && j->What == standin::Event::ScriptDetached) {
            Carrying[id].erase(j->Script);
        } else if (j != nullptr && j->What == standin::Event::ScriptAttached) {
            if (h.Tick != ScanTick) {
                Close_Scan();
                ScanTick = h.Tick;
                Expected = Foretold_Now();
            }
            Got.insert(id);
            Carrying[id].insert(j->Script);
            List.push_back({h.Tick, h.Object->Name, j->Script, Foretold.Flipped(id), Foretold.Left_Alone(*h.Object),
                            Foretold.Turned_Upright(*h.Object)});
        }
    }
    void On_End(double) override { Close_Scan(); }

    std::vector<Attachment> List;
    int ScansCompared = 0;
    std::vector<std::string> Mismatches;

private:
    // The vehicles the scan about to run is foretold to give a script: flipped, not left alone,
    // and not yet carrying the script their preset calls for.
    std::set<int> Foretold_Now() const
    {
        std::set<int> out;
        for (const auto& [id, info] : Live) {
            const std::string script = Foretold.Turned_Upright(*info) ? ROTATE_UPWARDS_SCRIPT_NAME : FLIP_KILL_SCRIPT_NAME;
            const auto carrying = Carrying.find(id);
            const bool has = carrying != Carrying.end() && carrying->second.count(script) != 0;
            if (Foretold.Flipped(id) && !Foretold.Left_Alone(*info) && !has) {
                out.insert(id);
            }
        }
        return out;
    }
    void Close_Scan()
    {
        if (ScanTick >= 0) {
            ++ScansCompared;
            if (Expected != Got) {
                Mismatches.push_back("the scan at tick " + std::to_string(ScanTick) + " gave " + std::to_string(Got.size()) +
                                     " scripts, " + std::to_string(Expected.size()) + " foretold");
            }
        }
        Got.clear();
    }

    const sim::Prediction& Foretold;
    std::map<int, const sim::ObjectInfo*> Live;
    std::map<int, std::set<std::string>> Carrying;
    std::int64_t ScanTick = -1;
    std::set<int> Expected;
    std::set<int> Got;
};

TEST(Prediction, ThePluginAttachesExactlyTheScriptsForetoldAtEachScan)
{
    auto ini = std::make_shared<INIClass>();
    std::string error;
    ASSERT_TRUE(standin::Load_Ini_File(VELTRASK_SOURCE_DIR "/examples/settings.ini", *ini, error)) << error;
    for (std::uint64_t seed : {1u, 7u, 42u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sim::Prediction foretold(30);
        Attachments attached(foretold);
        sim::RandomOptions options;
        options.Seed = seed;
        options.Vehicles = 300;
        options.Length = 600;
        options.SettingsPath = "settings.ini";
        options.Settings = ini;
        sim::RandomResult result;
        // The prediction first, so it has heard everything before the next observer.
        ASSERT_TRUE(sim::Play_Random(VELTRASK_PLUGIN_PATH, options, {&foretold, &attached}, result, stderr, error)) << error;

        ASSERT_GT(attached.List.size(), 50u) << "too few scripts to tell anything";
        const std::vector<std::int64_t> ticks = foretold.Scan_Ticks();
        const std::set<std::int64_t> scans(ticks.begin(), ticks.end());
        int rotated = 0;
        for (const Attachment& a : attached.List) {
            SCOPED_TRACE(a.Vehicle + " at tick " + std::to_string(a.Tick));
            EXPECT_EQ(scans.count(a.Tick), 1u) << "a script attached between foretold scans";
            EXPECT_TRUE(a.Flipped) << "a script on a vehicle foretold upright";
            EXPECT_FALSE(a.LeftAlone) << "a script on a vehicle foretold left alone (exempt or mode 4)";
            EXPECT_EQ(a.Script, a.TurnedUpright ? ROTATE_UPWARDS_SCRIPT_NAME : FLIP_KILL_SCRIPT_NAME);
            rotated += a.TurnedUpright ? 1 : 0;
        }
        EXPECT_GT(rotated, 0) << "no listed preset flipped: the rotate road went untested";
        EXPECT_GT(attached.ScansCompared, 100);
        EXPECT_TRUE(attached.Mismatches.empty()) << attached.Mismatches.size() << " scans, the first: " << attached.Mismatches.front();
        ASSERT_FALSE(HasFailure());
    }
}

}  // namespace
