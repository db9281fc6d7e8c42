// Random matches at scale: every flip and every vehicle ends in a named outcome, the world's
// assumptions are the command line's, the report and its JSON agree, a sweep changes the one
// setting it names, and the match chart does not grow with the vehicles.
#include <cstdint>
#include <map>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <tinyxml2.h>

#include "SimSupport.h"
#include "TestSupport.h"

namespace {

using nlohmann::json;
using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

const std::string settings = Quoted(VELTRASK_SOURCE_DIR "/examples/settings.ini");

// The report's label of each outcome, by its JSON key: the two must tell the same figures.
const std::map<std::string, std::string> Labels = {
    {"killed", "killed at its last check"},
    {"killed_after_reflip", "killed after a re-flip [1]"},
    {"turned_upright", "turned until it reads upright [4]"},
    {"recovered_alone", "recovered alone"},
    {"never_seen_mode_4", "never seen: mode 4"},
    {"never_seen_not_read_as_flipped", "never seen: not read as flipped [2]"},
    {"never_seen_exempt", "never seen: exempt preset"},
    {"lifted_without_end", "lifted without end [3]"},
    {"end_being_checked", "at the end: still being checked"},
    {"end_being_turned", "at the end: still being turned"},
    {"end_not_yet_found", "at the end: not yet found by a scan"},
};

// The summary of a random match played with `arguments`; the report, when asked, in `report`.
json Summary(const std::string& arguments, std::string* report = nullptr)
{
    Scratch scratch;
    const std::string path = scratch.Path("summary.json");
    const Result r = Run_Sim("--random " + arguments + " --summary-json " + Quoted(path));
    EXPECT_EQ(r.Status, 0) << arguments << ": " << r.Err;
    if (report != nullptr) {
        *report = r.Out;
    }
    const json summary = json::parse(scratch.Read("summary.json"), nullptr, false);
    EXPECT_FALSE(summary.is_discarded()) << arguments;
    return summary;
}

std::int64_t Count(const json& summary, const std::string& outcome) { return summary["outcomes"][outcome]["count"]; }

// The count on the report's row for `label`, or -1.
std::int64_t Row_Count(const std::string& report, const std::string& label)
{
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        // The label padded to 35 columns, a blank, the count in 7.
        if (line.rfind(label, 0) == 0 && line.size() >= 43 && line.find_first_not_of(' ', label.size()) >= 36) {
            return std::stoll(line.substr(36, 7));
        }
    }
    return -1;
}

TEST(RandomOutcomes, AnHourOfTwoThousandVehiclesAccountsForEveryFlipAndEveryVehicle)
{
    std::string report;
    const json s = Summary("1 --vehicles 2000 --length 3600 --settings " + settings, &report);
    ASSERT_TRUE(s.contains("outcomes")) << report;
    std::int64_t flips = 0;
    for (const auto& [key, label] : Labels) {
        ASSERT_TRUE(s["outcomes"].contains(key)) << key;
        flips += Count(s, key);
        EXPECT_EQ(Row_Count(report, label), Count(s, key)) << "the report and the summary disagree on " << key << "\n" << report;
    }
    EXPECT_EQ(flips, s["flips"]) << "a flip without an outcome";
    EXPECT_EQ(s["at_end"]["upright"].get<int>() + s["at_end"]["respawning"].get<int>() + s["at_end"]["lying_flipped"].get<int>(),
              2000);
    int lying = 0;
    for (const auto& [key, count] : s["lying_at_end"].items()) {
        lying += count.get<int>();
    }
    EXPECT_EQ(lying, s["at_end"]["lying_flipped"]) << "a vehicle lying at the end without a reason";
    // Each road this world takes, seen at least once in an hour.
    for (const char* seen : {"killed", "killed_after_reflip", "turned_upright", "recovered_alone", "never_seen_mode_4",
                             "never_seen_not_read_as_flipped", "never_seen_exempt", "lifted_without_end"}) {
        EXPECT_GT(Count(s, seen), 0) << seen;
    }
    // Undecided at the end means the plug-in is still at it: a script of its own, a few seconds
    // old, not a vehicle it let go of long ago.
    EXPECT_LT(s["outcomes"]["end_being_checked"]["max"].get<double>(), 10.0);
    EXPECT_LT(s["outcomes"]["end_being_turned"]["max"].get<double>(), 15 * 0.5 + 2);
    // Scans come every CheckInterval (2) s: a flip not yet found is younger than that.
    EXPECT_LE(s["outcomes"]["end_not_yet_found"]["max"].get<double>(), 2.0 + 1.0 / 30 + 1e-9);
    // A regular kill comes ChecksCount checks after a scan: at least 3 s after the flip.
    EXPECT_GE(s["outcomes"]["killed"]["min"].get<double>(), 3.0);
    // Every kill after a re-flip kept the checks its script had counted before it; no other did.
    EXPECT_EQ(s["kept_checks"]["count"].get<int>(), Count(s, "killed_after_reflip"));
    EXPECT_LE(s["kept_checks"]["max"].get<int>(), 3) << "a kept count at or past ChecksCount would have killed earlier";
    EXPECT_NE(report.find("At the end, of the 2000 vehicles:"), std::string::npos);
}

TEST(RandomOutcomes, TheWorldsAssumptionsAreTheCommandLinesAndArePrinted)
{
    std::string report;
    json s = Summary("2 --vehicles 200 --length 600 --mix 0:0:0:1 --flip-every 77 --settings " + settings, &report);
    EXPECT_EQ(s["kinds"]["mode_4"], 200);
    EXPECT_EQ(Count(s, "never_seen_mode_4"), s["flips"]);
    EXPECT_NE(report.find("an upright vehicle flips once every 77 s on average"), std::string::npos) << report;
    EXPECT_NE(report.find("mix 0:0:0:1 of ordinary"), std::string::npos) << report;

    // Rights itself within 0.6 s: never on its roof for the four checks a kill needs.
    s = Summary("3 --vehicles 300 --length 600 --mix 1:0:0:0 --nose-down 0 --recover-share 1 --recover-time 0.5..0.6 "
                "--settings " + settings);
    EXPECT_EQ(Count(s, "killed"), 0);
    EXPECT_GT(Count(s, "recovered_alone"), 100);
    EXPECT_LE(s["outcomes"]["recovered_alone"]["max"].get<double>(), 0.6 + 1.0 / 30 + 1e-9);
    EXPECT_EQ(Count(s, "never_seen_not_read_as_flipped"), 0) << "only a vehicle on its nose can read as upright";

    // On their noses and exempt: the scan's flip test comes before the exempt list, so a pose it
    // reads as upright is that, not the list.
    s = Summary("4 --vehicles 300 --length 600 --mix 0:0:1:0 --nose-down 1 --recover-share 0 --settings " + settings);
    EXPECT_GT(Count(s, "never_seen_not_read_as_flipped"), 0);
    EXPECT_GT(Count(s, "never_seen_exempt"), 0);
    EXPECT_EQ(Count(s, "never_seen_not_read_as_flipped") + Count(s, "never_seen_exempt"), s["flips"]);

    // Listed for turning, on their noses, never righting themselves: some climb for good.
    s = Summary("5 --vehicles 200 --length 600 --mix 0:1:0:0 --nose-down 1 --recover-share 0 --settings " + settings);
    EXPECT_GT(Count(s, "lifted_without_end"), 0);
    EXPECT_EQ(s["kinds"]["turned_upright"], 200);

    // Only turned-upright vehicles, righting themselves and flipping again within seconds: no
    // flip-kill script ever comes, whatever script a flip inherits from the one before.
    s = Summary("7 --vehicles 300 --length 600 --mix 0:1:0:0 --nose-down 1 --recover-share 0.5 --recover-time 0.5..1 "
                "--flip-every 2 --settings " + settings);
    EXPECT_EQ(Count(s, "end_being_checked"), 0);
    EXPECT_EQ(Count(s, "killed") + Count(s, "killed_after_reflip"), 0);
    EXPECT_GT(Count(s, "never_seen_not_read_as_flipped"), 0);

    // Killed vehicles that never come back are still vehicles: waiting, one per kill.
    s = Summary("8 --vehicles 200 --length 600 --mix 1:0:0:0 --respawn 1e6 --settings " + settings);
    EXPECT_GT(s["at_end"]["respawning"].get<int>(), 0);
    EXPECT_EQ(s["at_end"]["respawning"].get<std::int64_t>(), Count(s, "killed") + Count(s, "killed_after_reflip"));

    // Without settings nothing is listed: every vehicle is ordinary or in mode 4, and the report
    // says why.
    s = Summary("6 --vehicles 100 --length 60", &report);
    EXPECT_EQ(s["kinds"]["ordinary"].get<int>() + s["kinds"]["mode_4"].get<int>(), 100);
    EXPECT_NE(report.find("(no exempt preset is listed in the settings: those vehicles are ordinary)"), std::string::npos);
}

TEST(RandomOutcomes, BadAssumptionsAreRefusedWithTheirOption)
{
    Scratch scratch;
    const std::string bad_ini = scratch.Write("bad.ini", "[Veltrask\n");
    const std::pair<std::string, std::string> cases[] = {
        {"--mix 1:2:3", "--mix takes four shares"},
        {"--mix 0:0:0:0", "--mix needs a share above 0"},
        {"--mix 1:1:1:-1", "--mix takes four shares"},
        // Shares that add up past the largest double once made every vehicle mode 4.
        {"--mix 1e308:1e308:1:1", "--mix takes shares that add up to a finite number"},
        {"--recover-time 5..1", "--recover-time takes seconds as FROM..TO"},
        {"--recover-time 5", "--recover-time takes seconds as FROM..TO"},
        {"--nose-down 2", "--nose-down takes a share from 0 to 1"},
        {"--recover-share -0.1", "--recover-share takes a share from 0 to 1"},
        {"--flip-every 0", "--flip-every takes seconds above 0"},
        {"--respawn nan", "--respawn"},
        {"--reload 700=" + settings, "--reload takes SECONDS=FILE, within the match's 600 s"},
        {"--reload x=" + settings, "--reload takes SECONDS=FILE"},
        {"--reload 5=", "--reload takes SECONDS=FILE"},
        {"--reload 5=" + Quoted(bad_ini), "bad.ini:1: section without a closing ']'"},
        {"--sweep Colour=1..2", "--sweep takes CheckInterval, ChecksCount or ScriptCheckingInterval, not 'Colour'"},
        {"--sweep ChecksCount=1.5", "1.5 is not a whole number"},
        {"--sweep ChecksCount=1..1000", "at most 50"},
        {"--sweep ChecksCount=3..2", "give the values as"},
        {"--sweep ChecksCount=1,,2", "give the values as"},
        {"--sweep ChecksCount=2,4 --json", "--sweep prints a table of many matches"},
    };
    for (const auto& [arguments, said] : cases) {
        const Result r = Run_Sim("--random 1 --length 600 --vehicles 5 " + arguments);
        EXPECT_EQ(r.Status, 2) << arguments;
        EXPECT_EQ(r.Err.rfind("veltrask-sim: ", 0), 0u) << arguments << ": " << r.Err;
        EXPECT_NE(r.Err.find(said), std::string::npos) << arguments << ": wanted '" << said << "' in " << r.Err;
        EXPECT_TRUE(r.Out.empty()) << arguments;
    }
    const Result scenario = Run_Sim(Quoted(VELTRASK_SOURCE_DIR "/examples/default.scenario") + " --summary-json -");
    EXPECT_EQ(scenario.Status, 2) << "--summary-json without --random";
}

TEST(RandomOutcomes, AKindWhoseShareIsZeroGetsNoVehicle)
{
    // With shares near the smallest doubles, a pick rounded up to the whole total once ran past
    // every share into the last kind, whose share was 0.
    for (const char* mix : {"1e-320:1e-320:0:0", "1e-320:0:0:0", "0:0:1e-320:0"}) {
        const Result r = Run_Sim("--random 1 --vehicles 2000 --length 10 --settings " + settings + " --mix " + mix +
                                 " --summary-json -");
        ASSERT_EQ(r.Status, 0) << mix << ": " << r.Err;
        const nlohmann::json kinds = nlohmann::json::parse(r.Out).at("kinds");
        const std::string parts[4] = {"ordinary", "turned_upright", "exempt", "mode_4"};
        std::stringstream in(mix);
        std::string share;
        for (const std::string& kind : parts) {
            std::getline(in, share, ':');
            if (share == "0") {
                EXPECT_EQ(kinds.at(kind), 0) << mix << ": " << kind << " has no share";
            }
        }
    }
}

// The built-in fleet's ordinary presets were used whatever the operator listed: with all four
// listed exempt, 306 "ordinary" vehicles were never killed and nothing said why.
TEST(RandomOutcomes, OrdinaryVehiclesAreNeverOfAPresetTheSettingsList)
{
    Scratch scratch;
    const std::string all = scratch.Write("all.ini", "[Veltrask_DontFlipKillPresets]\n1 = Heavy_Tank\n2 = Medium_Tank\n"
                                                     "[Veltrask_RotateUpwardsPresets]\n1 = Armoured_Car\n");
    const std::string late = scratch.Write("late.ini", "[Veltrask_DontFlipKillPresets]\n1 = Field_Truck\n");
    const Result r = Run_Sim("--random 1 --vehicles 500 --length 600 --settings " + Quoted(all) + " --reload 300=" + Quoted(late) +
                             " --summary-json -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json summary = json::parse(r.Out);
    EXPECT_GT(summary["outcomes"]["killed"]["count"].get<int>(), 100) << summary["outcomes"];
    const Result report = Run_Sim("--random 1 --vehicles 500 --length 600 --settings " + Quoted(all) + " --reload 300=" +
                                  Quoted(late));
    EXPECT_NE(report.Out.find("  (the settings list Heavy_Tank, Medium_Tank, Armoured_Car, Field_Truck: no ordinary vehicle "
                              "is of those presets)\n"),
              std::string::npos)
        << report.Out;
}

// Random matches answered an invented server's question: four fixed presets whatever the operator
// runs. --fleet plays the operator's own presets, shares, modes and worlds, with a table of each.
TEST(RandomOutcomes, TheOperatorsFleetIsPlayedPresetByPreset)
{
    Scratch scratch;
    const std::string fleet = scratch.Write("fleet.txt", "# our server\nHeavy_Tank 50\nRecon_Drone 20   # exempt\n"
                                                         "Light_Buggy 20 nose-down 0\nStatue_Tank 5 flip-every 1e9\n"
                                                         "Parked_Tank 5 mode 4\n");
    const Result r = Run_Sim("--random 2 --vehicles 400 --length 600 --settings " + settings + " --fleet " + Quoted(fleet) +
                             " --summary-json -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json s = json::parse(r.Out);
    ASSERT_EQ(s["presets"].size(), 5u);
    std::map<std::string, json> by;
    int vehicles = 0;
    for (const json& p : s["presets"]) {
        by[p["preset"].get<std::string>()] = p;
        vehicles += p["vehicles"].get<int>();
    }
    EXPECT_EQ(vehicles, 400);
    EXPECT_GT(by["Heavy_Tank"]["outcomes"]["killed"].get<int>(), 50);
    EXPECT_EQ(by["Recon_Drone"]["outcomes"]["killed"], 0) << "exempt in the settings";
    EXPECT_GT(by["Recon_Drone"]["outcomes"]["never_seen_exempt"].get<int>(), 0);
    EXPECT_GT(by["Light_Buggy"]["outcomes"]["turned_upright"].get<int>(), 10) << "listed for turning";
    EXPECT_EQ(by["Light_Buggy"]["outcomes"]["lifted_without_end"], 0) << "never on its nose";
    EXPECT_EQ(by["Statue_Tank"]["flips"], 0) << "its own world: it never flips";
    EXPECT_EQ(by["Parked_Tank"]["outcomes"]["killed"], 0) << "mode 4";
    EXPECT_EQ(s["kinds"]["ordinary"].get<int>(), by["Heavy_Tank"]["vehicles"].get<int>() + by["Statue_Tank"]["vehicles"].get<int>());

    const Result report = Run_Sim("--random 2 --vehicles 400 --length 600 --settings " + settings + " --fleet " + Quoted(fleet));
    EXPECT_NE(report.Out.find("By preset of the fleet (" + fleet + "):\npreset "), std::string::npos) << report.Out;

    const struct
    {
        std::string Text;
        std::string Said;
    } bad[] = {{"Heavy_Tank\n", "bad.txt:1: a preset and its share"},
               {"Heavy_Tank 1\nHeavy_Tank 2\n", "bad.txt:2: preset Heavy_Tank is in the fleet twice (line 1)"},
               {"Heavy_Tank 1 speed 3\n", "bad.txt:1: unknown option 'speed'"},
               {"Heavy_Tank 1 nose-down 2\n", "bad.txt:1: nose-down takes a share from 0 to 1, not 2"},
               {"Heavy_Tank 1 mode 4.5\n", "bad.txt:1: mode takes a whole number"},
               {"Heavy_Tank 0\n", "bad.txt: the fleet's shares add up to no vehicle"}};
    for (const auto& b : bad) {
        const Result refused = Run_Sim("--random 1 --fleet " + Quoted(scratch.Write("bad.txt", b.Text)));
        EXPECT_EQ(refused.Status, 2) << b.Text;
        EXPECT_NE(refused.Err.find(b.Said), std::string::npos) << b.Text << ": " << refused.Err;
    }
    EXPECT_EQ(Run_Sim("--random 1 --fleet " + Quoted(fleet) + " --mix 1:1:1:1").Status, 2);
}

// The table by preset gave one "lying" figure that mixed the flips the settings decide (found and
// killed within seconds) with flips never read as flipped, which lie to the end of the match: a
// preset often on its nose read as lying half a minute a flip. The two are apart now.
TEST(RandomOutcomes, APresetsLyingTimeKeepsFlipsNeverReadAsFlippedApart)
{
    Scratch scratch;
    const std::string fleet = scratch.Write("nose.txt", "Nose_Tank 1 nose-down 1 recover-share 0\n");
    const std::string base = "--random 2 --vehicles 100 --length 600 --fleet " + Quoted(fleet);
    const Result r = Run_Sim(base);
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::istringstream table(r.Out.substr(r.Out.find("\nNose_Tank ") + 1));
    std::string preset;
    double vehicles = 0, flips = 0, killed = 0, needless = 0, turned = 0, lifted = 0, unseen = 0, lying = 0, unread = 0;
    table >> preset >> vehicles >> flips >> killed >> needless >> turned >> lifted >> unseen >> lying >> unread;
    ASSERT_EQ(preset, "Nose_Tank") << r.Out;
    EXPECT_GT(unseen, 0) << "some headings do not read as flipped";
    // Found within the 3 s of a scan and killed four checks later.
    EXPECT_LT(lying, 3 + 4 + 1) << r.Out;
    EXPECT_GT(unread, 60) << r.Out;

    const Result j = Run_Sim(base + " --summary-json -");
    ASSERT_EQ(j.Status, 0) << j.Err;
    const json s = json::parse(j.Out);
    EXPECT_EQ(s["presets"][0]["never_read"]["flips"].get<double>(), unseen);
}

// A reload due in the last tick was accepted, never handed to the plug-in and never listed.
TEST(RandomOutcomes, AReloadAtTheVeryEndIsHandedOverAndListed)
{
    for (const std::string at : {"9.967", "9.99", "10"}) {
        const Result r = Run_Sim("--random 1 --vehicles 5 --length 10 --reload " + at + "=" + settings);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_NE(r.Out.find("reloaded at 10 s from " VELTRASK_SOURCE_DIR "/examples/settings.ini"), std::string::npos)
            << at << ":\n" << r.Out;
    }
}

TEST(RandomOutcomes, ASweepChangesOnlyItsSettingAndShowsTheTradeOff)
{
    Scratch scratch;
    const Result r = Run_Sim("--random 3 --vehicles 300 --length 600 --settings " + settings +
                             " --sweep checkscount=2,8 --summary-json " + Quoted(scratch.Path("sweep.json")));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json sweep = json::parse(scratch.Read("sweep.json"), nullptr, false);
    ASSERT_FALSE(sweep.is_discarded());
    EXPECT_EQ(sweep["sweep"], "ChecksCount");
    ASSERT_EQ(sweep["runs"].size(), 2u);
    const json& early = sweep["runs"][0];
    const json& late = sweep["runs"][1];
    EXPECT_EQ(early["value"], 2);
    EXPECT_EQ(early["settings"]["at_start"]["ChecksCount"], 2);
    EXPECT_EQ(late["settings"]["at_start"]["ChecksCount"], 8);
    for (const json* run : {&early, &late}) {
        // The rest of the operator's file holds: its interval and its lists.
        EXPECT_EQ((*run)["settings"]["at_start"]["CheckInterval"], 2);
        EXPECT_GT((*run)["kinds"]["exempt"].get<int>(), 0);
    }
    EXPECT_GT(Count(early, "killed"), Count(late, "killed"));
    EXPECT_GT(early["killed_would_have_recovered"]["count"].get<int>(), late["killed_would_have_recovered"]["count"].get<int>());
    EXPECT_LT(early["killable"]["lying_flipped_seconds"].get<double>(), late["killable"]["lying_flipped_seconds"].get<double>());

    // The table: a row per value, in 80 columns.
    EXPECT_NE(r.Out.find("Sweep of ChecksCount"), std::string::npos) << r.Out;
    std::istringstream lines(r.Out);
    std::string line;
    int rows = 0;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        rows += line.find_first_not_of(' ') == 21 && (line[21] == '2' || line[21] == '8') ? 1 : 0;
    }
    EXPECT_EQ(rows, 2) << r.Out;
    // Headings on one line (they read "killed, would / have recovered" across two).
    EXPECT_NE(r.Out.find("           ChecksCount   flips  killed  needless lying [1]   all [2]\n"), std::string::npos) << r.Out;
}

// One seed made a sweep's trend look like noise (42.9%, 35.7%, 53.8% for one value, by seed):
// --seeds plays each value with several and shows the spread.
TEST(RandomOutcomes, ASweepWithSeveralSeedsShowsMeansAndTheSpread)
{
    Scratch scratch;
    const Result r = Run_Sim("--random 1 --vehicles 50 --length 300 --sweep ChecksCount=2,6 --seeds 4 --summary-json " +
                             Quoted(scratch.Path("s.json")));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Each value is played with 4 seeds, 1 to 4"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("needless range"), std::string::npos) << r.Out;
    const json runs = json::parse(scratch.Read("s.json"))["runs"];
    ASSERT_EQ(runs.size(), 8u);
    std::set<std::uint64_t> seeds;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i]["value"], i < 4 ? 2 : 6) << i;
        seeds.insert(runs[i]["seed"].get<std::uint64_t>());
    }
    EXPECT_EQ(seeds, (std::set<std::uint64_t>{1, 2, 3, 4}));
    EXPECT_EQ(Run_Sim("--random 1 --seeds 3").Status, 2) << "--seeds belongs to a sweep";
}

// ChecksCount against ScriptCheckingInterval is the real trade-off, and the sweep recommended
// nothing: a grid of two settings, and --target naming the best point that meets a bound.
TEST(RandomOutcomes, AGridOfTwoSettingsAndATargetNameTheBestSettings)
{
    Scratch scratch;
    const std::string grid = "--random 1 --vehicles 100 --length 300 --sweep ChecksCount=2,5 --sweep ScriptCheckingInterval=1,2";
    Result r = Run_Sim(grid + " --target 'lying<=6' --summary-json " + Quoted(scratch.Path("g.json")));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Sweep of ChecksCount x ScriptCheckingInterval"), std::string::npos) << r.Out;
    for (const char* row : {"\n                  2, 1 ", "\n                  2, 2 ", "\n                  5, 1 ",
                            "\n                  5, 2 "}) {
        EXPECT_NE(r.Out.find(row), std::string::npos) << row << "\n" << r.Out;
    }
    EXPECT_NE(r.Out.find("Target lying<=6 s: met by 3 of 4; the best (least needless kills) is\n  ChecksCount 5, "
                         "ScriptCheckingInterval 1 (needless"),
              std::string::npos)
        << r.Out;
    const json g = json::parse(scratch.Read("g.json"));
    EXPECT_EQ(g["sweep2"], "ScriptCheckingInterval");
    ASSERT_EQ(g["runs"].size(), 4u);
    EXPECT_EQ(g["runs"][3]["value"], 5);
    EXPECT_EQ(g["runs"][3]["value2"], 2.0);
    EXPECT_EQ(g["runs"][3]["settings"]["at_start"]["ScriptCheckingInterval"], 2.0);

    r = Run_Sim(grid + " --target 'needless<=1%'");
    EXPECT_NE(r.Out.find("Target needless<=1%: no setting swept meets it; the closest is"), std::string::npos) << r.Out;
    for (const std::string& bad : {grid + " --target 'fast'", grid + " --target 'needless<=-3'",
                                   std::string("--random 1 --sweep ChecksCount=2,3 --sweep checkscount=4"),
                                   grid + " --sweep CheckInterval=1", std::string("--random 1 --target 'kills>=3'")}) {
        EXPECT_EQ(Run_Sim(bad).Status, 2) << bad;
    }
}

// --sweep --svg was refused: the trade-off is a picture.
TEST(RandomOutcomes, ASweepDrawsItsTradeOff)
{
    const Result r = Run_Sim("--random 1 --vehicles 100 --length 300 --sweep ChecksCount=2,5 --sweep ScriptCheckingInterval=1,2 "
                             "--target 'needless<=20%' --svg -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.Parse(r.Out.c_str(), r.Out.size()), tinyxml2::XML_SUCCESS) << r.Out;
    int points = 0, rings = 0, dashed = 0;
    std::set<std::string> labels;
    for (const tinyxml2::XMLElement* e = doc.RootElement()->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
        const std::string name = e->Name();
        if (name == "circle" && std::string(e->Attribute("fill")) == "#1e88e5") {
            ++points;
        } else if (name == "circle") {
            ++rings;
        } else if (name == "line" && e->Attribute("stroke-dasharray") != nullptr) {
            ++dashed;
        } else if (name == "text" && e->GetText() != nullptr) {
            labels.insert(e->GetText());
        }
    }
    EXPECT_EQ(points, 4);
    EXPECT_EQ(rings, 2) << "the best point ringed, and the ring in the legend";
    EXPECT_EQ(dashed, 1) << "the target's bound";
    for (const char* label : {"2, 1", "2, 2", "5, 1", "5, 2", "Sweep of ChecksCount x ScriptCheckingInterval: needless kills "
                                                               "against time lying flipped"}) {
        EXPECT_EQ(labels.count(label), 1u) << label;
    }
}

// The chart's legend named a grid's two settings "Checks, Period" whatever they were: a grid of
// CheckInterval and ChecksCount was labelled with a setting it never varied. The legend and the
// table's heading now come from the settings table, for any two keys.
TEST(RandomOutcomes, ASweepsLegendNamesTheSettingsItVaries)
{
    for (const auto& [sweeps, heading] :
         {std::pair{"--sweep CheckInterval=1,2 --sweep ChecksCount=2,3", "Interval, Checks"},
          std::pair{"--sweep ScriptCheckingInterval=1,2 --sweep CheckInterval=1,3", "Period, Interval"},
          std::pair{"--sweep ChecksCount=2,3", "ChecksCount"}}) {
        const Result chart = Run_Sim(std::string("--random 1 --vehicles 20 --length 60 ") + sweeps + " --svg -");
        ASSERT_EQ(chart.Status, 0) << chart.Err;
        EXPECT_NE(chart.Out.find(std::string(">labels: ") + heading + "<"), std::string::npos) << sweeps << "\n" << chart.Out;
        const Result table = Run_Sim(std::string("--random 1 --vehicles 20 --length 60 ") + sweeps);
        ASSERT_EQ(table.Status, 0) << table.Err;
        const std::size_t columns = table.Out.find("   flips  killed");
        ASSERT_NE(columns, std::string::npos) << table.Out;
        const std::string line = table.Out.substr(table.Out.rfind('\n', columns) + 1, columns - table.Out.rfind('\n', columns));
        EXPECT_NE(line.find(std::string(" ") + heading + " "), std::string::npos) << sweeps << ": " << line;
    }
}

// The box plot's axis stopped at its last decade below the data (1 s, with boxes to 5.8 s).
TEST(RandomOutcomes, TheBoxPlotsAxisReachesBeyondTheLongestTime)
{
    Scratch scratch;
    for (const std::string world : {"--recover-time 0.5..3", "--recover-time 2..8", ""}) {
        const Result r = Run_Sim("--random 4 --vehicles 30 --length 60 " + world + " --svg - --summary-json " +
                                 Quoted(scratch.Path("s.json")));
        ASSERT_EQ(r.Status, 0) << r.Err;
        double longest = 0;
        const json summary = json::parse(scratch.Read("s.json"));
        for (const auto& [outcome, spread] : summary["outcomes"].items()) {
            longest = std::max(longest, spread["max"].get<double>());
        }
        ASSERT_GT(longest, 1) << world;
        const std::string boxes = r.Out.substr(r.Out.find("Seconds from the flip"));
        double last = 0;
        for (std::size_t at = boxes.find(" s</text>"); at != std::string::npos; at = boxes.find(" s</text>", at + 1)) {
            last = std::stod(boxes.substr(boxes.rfind('>', at) + 1));
        }
        EXPECT_GE(last, longest) << world;
    }
}

// Two reloads close together: their labels overlapped and showed the files' whole paths.
TEST(RandomOutcomes, TheMatchChartsReloadLabelsNameFilesAndDoNotOverlap)
{
    const Result r = Run_Sim("--random 1 --vehicles 50 --length 300 --reload 100=" + settings + " --reload 105=" +
                             Quoted(VELTRASK_SOURCE_DIR "/examples/settings-fast.ini") + " --svg -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::size_t first = r.Out.find(">reload: settings.ini<"), second = r.Out.find(">reload: settings-fast.ini<");
    ASSERT_NE(first, std::string::npos) << r.Out;
    ASSERT_NE(second, std::string::npos) << r.Out;
    const auto y_of = [&](std::size_t at) { return std::stod(r.Out.substr(r.Out.rfind(" y=\"", at) + 4)); };
    EXPECT_EQ(y_of(second) - y_of(first), 14) << "the second label a row lower";
    EXPECT_NE(r.Out.find("Random match, seed 1, settings none"), std::string::npos) << "the title names the settings";
    EXPECT_NE(r.Out.find("% of them needless"), std::string::npos) << "the needless-kill share";
}

// The chart's height, checked to parse as XML.
double Chart_Height(const std::string& svg)
{
    tinyxml2::XMLDocument doc;
    EXPECT_EQ(doc.Parse(svg.c_str(), svg.size()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement* root = doc.RootElement();
    return root != nullptr ? root->DoubleAttribute("height") : 0;
}

TEST(RandomOutcomes, TheMatchChartDoesNotGrowWithTheVehiclesAndMarksReloads)
{
    const std::string fast = Quoted(VELTRASK_SOURCE_DIR "/examples/settings-fast.ini");
    std::string charts[2];
    const int vehicles[2] = {40, 4000};
    for (int i = 0; i < 2; ++i) {
        const Result r = Run_Sim("--random 8 --length 300 --vehicles " + std::to_string(vehicles[i]) + " --settings " +
                                 settings + " --reload 150=" + fast + " --svg -");
        ASSERT_EQ(r.Status, 0) << r.Err;
        charts[i] = r.Out;
        EXPECT_EQ(r.Out.find("Random match:"), std::string::npos) << "the report went to the chart's stream";
        EXPECT_NE(r.Out.find("reload: "), std::string::npos);
        EXPECT_NE(r.Out.find("Seconds from the flip to its outcome"), std::string::npos);
    }
    const double small = Chart_Height(charts[0]);
    const double large = Chart_Height(charts[1]);
    EXPECT_GT(small, 300);
    EXPECT_LE(large, small + 11 * 24) << "more vehicles may add outcome rows, nothing else";
    EXPECT_LT(charts[1].size(), 4 * charts[0].size() + 20000) << "the chart grows with the vehicles";
}

}  // namespace
