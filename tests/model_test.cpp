// The simulator's one model of what the plug-in holds: the numbers of the last settings event and
// every listed entry, repeats included, as the plug-in's sets hold them; and the outputs that
// say what is in force all reading it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Host.h"
#include "INIClass.h"
#include "InForce.h"
#include "SimSupport.h"
#include "TestSupport.h"

namespace {

using sim::InForce;
using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

std::vector<std::string> Names(const std::vector<const std::string*>& entries)
{
    std::vector<std::string> out;
    for (const std::string* name : entries) {
        out.push_back(*name);
    }
    return out;
}

void Apply(InForce& model, const std::string& text)
{
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text(text, "model.ini", ini), error)) << error;
    model.Apply(ini);
}

TEST(InForceModel, HoldsEveryEntryRepeatsIncludedAndTheLastEventsNumbers)
{
    InForce model;
    EXPECT_EQ(model.Values().CheckInterval, SettingsAtLoad.CheckInterval) << "before any settings, the values at load";
    const std::string file = "[Veltrask]\nChecksCount = 6\n"
                             "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n2 = Light_Buggy\n3 = Recon_Drone\n"
                             "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n";
    Apply(model, file);
    EXPECT_EQ(model.Values().ChecksCount, 6);
    EXPECT_EQ(model.Values().CheckInterval, SettingsWhenMissing.CheckInterval) << "a key the file lacks: its value when missing";
    EXPECT_EQ(Names(model.Entries(PresetList::DontFlipKill)), (std::vector<std::string>{"Recon_Drone", "Light_Buggy", "Recon_Drone"}));
    EXPECT_EQ(Names(model.Distinct(PresetList::DontFlipKill)), (std::vector<std::string>{"Recon_Drone", "Light_Buggy"}));

    // A reload keeps no number from before, and inserts every name once more.
    Apply(model, "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    EXPECT_EQ(model.Values().ChecksCount, SettingsWhenMissing.ChecksCount);
    EXPECT_EQ(model.Held().DontFlipKill, 4u);
    EXPECT_EQ(model.Held().RotateUpwards, 1u);
    EXPECT_EQ(Names(model.Distinct(PresetList::DontFlipKill)), (std::vector<std::string>{"Recon_Drone", "Light_Buggy"}));
}

TEST(InForceModel, TreatsPresetsByTheContractsRule)
{
    InForce model;
    Apply(model, "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n2 = Light_Buggy\n"
                 "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n2 = Scout_Jeep\n");
    EXPECT_EQ(model.Treatment_Of("Recon_Drone"), Treatment::LeftAlone);
    EXPECT_EQ(model.Treatment_Of("Scout_Jeep"), Treatment::TurnedUpright);
    EXPECT_EQ(model.Treatment_Of("Light_Buggy"), Treatment::TurnedUpright) << "in both lists: turned";
    EXPECT_EQ(model.Treatment_Of("Heavy_Tank"), Treatment::FlipKilled);
    EXPECT_EQ(model.Treatment_Of("recon_drone"), Treatment::FlipKilled) << "names match exactly, case and all";
}

// The timeline said "1 never killed" of a file that lists one preset twice, where --check said 2
// and the plug-in holds both entries; after a reload of the same file it holds four.
TEST(InForceModel, TheTimelineAndTheCheckCountWhatThePluginHolds)
{
    Scratch scratch;
    const std::string settings = scratch.Write("twice.ini", "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n2 = Recon_Drone\n");
    const std::string scenario = scratch.Write("twice.scenario", "settings twice.ini\nlength 2\nat 1 reload twice.ini\n");
    const Result play = Run_Sim(Quoted(scenario));
    ASSERT_EQ(play.Status, 0) << play.Err;
    EXPECT_NE(play.Out.find("ScriptCheckingInterval 1; 2 never killed, 0 turned upright"), std::string::npos) << play.Out;
    EXPECT_NE(play.Out.find("settings reloaded from " + settings + ": CheckInterval 2, ChecksCount 4, ScriptCheckingInterval 1; "
                            "4 never killed, 0 turned upright"),
              std::string::npos)
        << play.Out;
    const Result check = Run_Sim("--check " + Quoted(settings));
    EXPECT_NE(check.Out.find("  never killed (2)         Recon_Drone, Recon_Drone\n"), std::string::npos) << check.Out;
}

}  // namespace

namespace {

// One rule of "lifted without end", the random report's: still flipped after a full turn's steps.
// The scenario summary called any vehicle mid-turn at the end lifted without end, and put it in
// the headline warnings; one found but not yet turned read "flipped, 0 checks so far".
TEST(OutcomeWords, MidTurnAndNotYetTurnedAreNeitherLiftedWithoutEndNorChecks)
{
    Scratch scratch;
    scratch.Write("turn.ini", "[Veltrask_RotateUpwardsPresets]\n1 = Scout_Jeep\n");
    const std::string scenario = scratch.Write("turn.scenario",
                                               "settings turn.ini\nlength 10\n"
                                               "vehicle Mid Scout_Jeep\nvehicle Late Scout_Jeep\nvehicle Nose Scout_Jeep\n"
                                               "at 7 flip Mid roll 120\nat 9 flip Late roll 180\nat 0 flip Nose pitch 90\n");
    const Result r = Run_Sim(Quoted(scenario));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.find("! Mid"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("being turned upright at the end: 4 steps so far, lifted to z = 12"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("found flipped, to be turned upright: no step yet"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("! Nose is lifted without end"), std::string::npos) << "a full turn's steps left it flipped\n" << r.Out;

    const Result json = Run_Sim(Quoted(scenario) + " --json");
    ASSERT_EQ(json.Status, 0) << json.Err;
    const std::size_t mid = json.Out.rfind("\"vehicle\":\"Mid\"}");  // the outcome lines come last
    ASSERT_NE(mid, std::string::npos) << json.Out;
    const std::string line = json.Out.substr(json.Out.rfind('\n', mid) + 1, mid - json.Out.rfind('\n', mid));
    EXPECT_NE(line.find("\"lifted_without_end\":false"), std::string::npos) << line;
    EXPECT_NE(line.find("\"outcome\":\"being turned upright at the end"), std::string::npos) << line;
}

// The JSON outcome line said "righted_at": null of a vehicle whose outcome reads "recovered by
// itself at 8.50"; it carries that time as "recovered_at".
TEST(OutcomeWords, ARecoveryByItselfHasItsTimeInJson)
{
    Scratch scratch;
    const std::string scenario =
        scratch.Write("up.scenario", "length 10\nvehicle Tank Heavy_Tank\nat 1 flip Tank roll 180\nat 5.5 upright Tank\n");
    const Result r = Run_Sim(Quoted(scenario) + " --json");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"recovered_at\":5.5"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"outcome\":\"recovered by itself at 5.50"), std::string::npos) << r.Out;
}

}  // namespace

namespace {

// Scenarios took decimal numbers only, while fleet files and the command line's numbers took
// strtod's hex and leading blanks ("Heavy_Tank 0x10" was a share of 16). One grammar now reads
// every number any input takes; each form below is refused wherever a number is written.
struct NumberCase
{
    const char* Name;
    const char* Written;
};

class NumberGrammar : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(NumberGrammar, IsRefusedInEveryInput)
{
    const std::string n = GetParam().Written;
    Scratch scratch;
    const std::string fleet = scratch.Write("fleet.txt", "Heavy_Tank " + n + "\n");
    const std::string scenario = scratch.Write("n.scenario", "length " + n + "\n");
    const std::string settings = scratch.Write("s.ini", "[Veltrask]\n");
    const std::string random = "--random 1 --vehicles 5 --length 10 ";
    for (const std::string& arguments :
         {Quoted(scenario), random + "--fleet " + Quoted(fleet), random + "--sweep " + Quoted("ChecksCount=" + n),
          random + "--sweep ChecksCount=2,3 --target " + Quoted("needless<=" + n), random + "--mix " + Quoted(n + ":1:1:1"),
          random + "--recover-time " + Quoted(n + "..12"), random + "--reload " + Quoted(n + "=" + settings)}) {
        const Result r = Run_Sim(arguments);
        EXPECT_EQ(r.Status, 2) << arguments << "\n" << r.Out << r.Err;
    }
}

INSTANTIATE_TEST_SUITE_P(NotDecimal, NumberGrammar,
                         ::testing::Values(NumberCase{"Hex", "0x10"}, NumberCase{"HexFloat", "0x1p3"},
                                           NumberCase{"Separator", "1_000"}, NumberCase{"Infinity", "inf"},
                                           NumberCase{"NoExponentDigits", "1e"}, NumberCase{"NoDigits", "."}),
                         [](const ::testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.Name); });

TEST(NumberGrammar, DecimalNumbersAreTakenEverywhere)
{
    Scratch scratch;
    const std::string fleet = scratch.Write("fleet.txt", "Heavy_Tank 16\nLight_Buggy 2.5e1 flip-every +60\n");
    const Result r = Run_Sim("--random 1 --vehicles 5 --length 10 --fleet " + Quoted(fleet) + " --recover-time .5..1.2e1");
    EXPECT_EQ(r.Status, 0) << r.Err;
    const Result mix = Run_Sim("--random 1 --vehicles 5 --length 1e1 --mix 60:20.5:+15:5e0 --sweep ChecksCount=2..4:1");
    EXPECT_EQ(mix.Status, 0) << mix.Err;
}

}  // namespace
