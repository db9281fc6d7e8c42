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
// at every scan foretold, the vehicles foretold to get a script then against those that got one.
// It must hear each happening before the prediction does, so that at a scan's moment the
// prediction knows exactly what came before it.
class Attachments : public sim::Observer
{
public:
    Attachments(const sim::Prediction& foretold, std::vector<std::int64_t> scans) : Foretold(foretold), Scans(std::move(scans)) {}
    void On(const sim::Happening& h) override
    {
        Reach(h);
        const standin::JournalEntry* j = h.Entry();
        if (h.Object == nullptr) {
            return;
        }
        const int id = h.Object->Id;
        // The ledger has counted this happening already; a scan opened above, before it, reads
        // the line as it stood before.
        ReadsFlipped[id] = h.Record->ReadsFlipped;
        if (h.What() == sim::Happened::Spawn) {
            Live[id] = h.Record;
        } else if (j != nullptr && j->What() == standin::Event::Destroyed) {
            Live.erase(id);
            ReadsFlipped.erase(id);
            Carrying.erase(id);
        } else if (j != nullptr && j->What() == standin::Event::ScriptDetached) {
            Carrying[id].erase(j->Script());
        } else if (j != nullptr && j->What() == standin::Event::ScriptAttached) {
            if (!Open || OpenTick != h.Tick) {
                Mismatches.push_back("a script attached at tick " + std::to_string(h.Tick) + ", where no scan was foretold");
            }
            Got.insert(id);
            Carrying[id].insert(j->Script());
            List.push_back({h.Tick, h.Object->Name, j->Script(), h.Record->ReadsFlipped, Foretold.Left_Alone(*h.Object),
                            Foretold.Turned_Upright(*h.Object)});
        }
    }
    void On_End(double) override
    {
        Close_Scan();
        for (; Next < Scans.size(); ++Next) {
            Open_Scan(Scans[Next]);
            Close_Scan();
        }
    }

    std::vector<Attachment> List;
    int ScansCompared = 0;
    std::vector<std::string> Mismatches;

private:
    // A scan at tick S comes after the timers of tick S and before the simulator's actions at S:
    // a happening of a later tick, an action, or an attachment is past that moment.
    void Reach(const sim::Happening& h)
    {
        const bool action = h.Entry() == nullptr;
        const bool attachment = !action && h.Entry()->What() == standin::Event::ScriptAttached;
        if (Open && (h.Tick > OpenTick || action)) {
            Close_Scan();
        }
        while (Next < Scans.size() && (Scans[Next] < h.Tick || (Scans[Next] == h.Tick && (action || attachment)))) {
            Open_Scan(Scans[Next]);
            ++Next;
            if (OpenTick < h.Tick || action) {
                Close_Scan();
            }
        }
    }
    // The vehicles the scan about to run is foretold to give a script: flipped, not left alone,
    // and not yet carrying the script their preset calls for.
    void Open_Scan(std::int64_t tick)
    {
        Open = true;
        OpenTick = tick;
        Expected.clear();
        for (const auto& [id, line] : Live) {
            const std::string script = Foretold.Turned_Upright(line->Info) ? ROTATE_UPWARDS_SCRIPT_NAME : FLIP_KILL_SCRIPT_NAME;
            const auto carrying = Carrying.find(id);
            const bool has = carrying != Carrying.end() && carrying->second.count(script) != 0;
            if (ReadsFlipped.at(id) && !Foretold.Left_Alone(line->Info) && !has) {
                Expected.insert(id);
            }
        }
    }
    void Close_Scan()
    {
        if (Open) {
            ++ScansCompared;
            if (Expected != Got) {
                Mismatches.push_back("the scan at tick " + std::to_string(OpenTick) + " gave " + std::to_string(Got.size()) +
                                     " scripts, " + std::to_string(Expected.size()) + " foretold");
            }
        }
        Open = false;
        Got.clear();
    }

    const sim::Prediction& Foretold;
    const std::vector<std::int64_t> Scans;
    std::size_t Next = 0;
    std::map<int, const sim::ObjectRecord*> Live;  // the ledger's lines of the live objects
    std::map<int, bool> ReadsFlipped;              // ... as of the happening before this one
    std::map<int, std::set<std::string>> Carrying;
    bool Open = false;
    std::int64_t OpenTick = -1;
    std::set<int> Expected;
    std::set<int> Got;
};

TEST(Prediction, ThePluginScansExactlyWhenForetoldAndAttachesExactlyTheScriptsForetold)
{
    auto ini = std::make_shared<INIClass>();
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_File(VELTRASK_SOURCE_DIR "/examples/settings.ini", *ini), error)) << error;
    standin::PluginFile plugin;
    ASSERT_TRUE(test::Said(plugin.Open(VELTRASK_PLUGIN_PATH), error)) << error;
    for (std::uint64_t seed : {1u, 7u, 42u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sim::RandomOptions options;
        options.Seed = seed;
        options.Vehicles = 300;
        options.Length = 600;
        options.SettingsPath = "settings.ini";
        options.Settings = ini;

        // Every scan the plug-in made (its walks of the object list) against every scan foretold.
        sim::Prediction first(30);
        sim::RandomResult result;
        const text::Status first_played = sim::Play_Random(plugin, options, {&first}, result, stderr);
        ASSERT_TRUE(first_played) << first_played.Error().Text();
        const std::vector<std::int64_t> scans = first.Scan_Ticks();
        ASSERT_GT(scans.size(), 100u);
        EXPECT_EQ(result.ScanTicks, scans) << result.ScanTicks.size() << " scans made, " << scans.size() << " foretold";

        // The same match again, each scan's scripts held against what was foretold at its moment.
        sim::Prediction foretold(30);
        Attachments attached(foretold, scans);
        const text::Status played = sim::Play_Random(plugin, options, {&attached, &foretold}, result, stderr);
        ASSERT_TRUE(played) << played.Error().Text();
        EXPECT_EQ(foretold.Scan_Ticks(), scans) << "the same seed played differently";

        ASSERT_GT(attached.List.size(), 50u) << "too few scripts to tell anything";
        int rotated = 0;
        for (const Attachment& a : attached.List) {
            SCOPED_TRACE(a.Vehicle + " at tick " + std::to_string(a.Tick));
            EXPECT_TRUE(a.Flipped) << "a script on a vehicle foretold upright";
            EXPECT_FALSE(a.LeftAlone) << "a script on a vehicle foretold left alone (exempt or mode 4)";
            EXPECT_EQ(a.Script, a.TurnedUpright ? ROTATE_UPWARDS_SCRIPT_NAME : FLIP_KILL_SCRIPT_NAME);
            rotated += a.TurnedUpright ? 1 : 0;
        }
        EXPECT_GT(rotated, 0) << "no listed preset flipped: the rotate road went untested";
        EXPECT_EQ(attached.ScansCompared, static_cast<int>(scans.size()));
        EXPECT_TRUE(attached.Mismatches.empty()) << attached.Mismatches.size() << " scans, the first: " << attached.Mismatches.front();
        ASSERT_FALSE(HasFailure());
    }
}

}  // namespace
