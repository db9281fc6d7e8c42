// veltrask-sim: the default scenario's story as its JSON stream tells it, the parser's and the
// settings check's answers to bad input, and the determinism of random matches.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Check.h"
#include "Clock.h"
#include "INIClass.h"
#include "Scenario.h"
#include "SimSupport.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string examples = VELTRASK_SOURCE_DIR "/examples/";

using test::Result;
using test::Run_Sim;
using test::Scratch;

// --- The default scenario, from its JSON stream ---

class DefaultScenario : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const Result r = Run_Sim("--json '" + examples + "default.scenario'");
        if (r.Status != 0) {
            setup_error = "veltrask-sim exited with " + std::to_string(r.Status) + ": " + r.Err;
            return;
        }
        std::size_t start = 0;
        while (start < r.Out.size()) {
            const std::size_t end = r.Out.find('\n', start);
            lines->push_back(json::parse(r.Out.substr(start, end - start), nullptr, false));
            if (lines->back().is_discarded()) {
                setup_error = "not a JSON line: " + r.Out.substr(start, end - start);
                return;
            }
            start = end + 1;
        }
    }
    // gtest reports a test whose suite set-up failed as skipped, which ctest counts as passed:
    // every test of the suite fails instead.
    void SetUp() override { ASSERT_TRUE(setup_error.empty()) << setup_error; }
    // The events of one vehicle before the game ended, as (time, event) pairs.
    static std::vector<json> Of(const std::string& vehicle, const std::string& event)
    {
        std::vector<json> out;
        for (const json& line : *lines) {
            if (line["event"] == "game-over") {
                break;
            }
            if (line.value("vehicle", "") == vehicle && line["event"] == event) {
                out.push_back(line);
            }
        }
        return out;
    }
    static std::vector<double> Times(const std::string& vehicle, const std::string& event)
    {
        std::vector<double> out;
        for (const json& line : Of(vehicle, event)) {
            out.push_back(line["time"].get<double>());
        }
        return out;
    }
    static inline std::vector<json>* lines = new std::vector<json>();
    static inline std::string setup_error;
};

TEST_F(DefaultScenario, EveryLineIsAnEventWithTimeAndSource)
{
    ASSERT_GT(lines->size(), 100u);
    for (const json& line : *lines) {
        ASSERT_TRUE(line.contains("time") && line.contains("tick") && line.contains("event") && line.contains("source")) << line;
    }
}

// The JSON had no per-vehicle outcome: a tool had to replay every event to learn what the table says.
TEST_F(DefaultScenario, EndsWithAnOutcomeLinePerObjectAsTheTableHasIt)
{
    std::map<std::string, json> outcomes;
    for (const json& line : *lines) {
        if (line["event"] == "outcome") {
            outcomes[line["vehicle"].get<std::string>()] = line;
        }
    }
    ASSERT_EQ(outcomes.size(), 9u);
    EXPECT_EQ(outcomes["Tank_Alpha"]["killed_at"], 10.0);
    EXPECT_EQ(outcomes["Tank_Alpha"]["checks"], 4);
    EXPECT_EQ(outcomes["Tank_Alpha"]["outcome"], "killed at 10.00 after 4 checks");
    EXPECT_EQ(outcomes["Buggy_Charlie"]["righted_at"], 16.0);
    EXPECT_EQ(outcomes["Jeep_Hotel"]["lifted_without_end"], true);
    EXPECT_EQ(outcomes["Jeep_Hotel"]["steps"], 36);
    EXPECT_TRUE(outcomes["Drone_Delta"]["killed_at"].is_null());
    EXPECT_EQ(outcomes["Crate_India"]["is_vehicle"], false);
    EXPECT_EQ(outcomes["Tank_Alpha"]["source"], "summary");
}

// A subscription's event type was a bare number.
TEST_F(DefaultScenario, SubscriptionsNameTheirEvent)
{
    std::map<int, std::string> named;
    for (const json& line : *lines) {
        if (line["event"] == "subscribed") {
            named[line["event_type"].get<int>()] = line.value("event_type_name", "");
        }
    }
    EXPECT_EQ(named, (std::map<int, std::string>{{0, "global-settings"}, {4, "level-loaded"}, {12, "tick"}}));
}

TEST_F(DefaultScenario, AFlippedTankIsKilledFourSecondsAfterTheScanFindsIt)
{
    const auto attached = Of("Tank_Alpha", "script-attached");
    ASSERT_EQ(attached.size(), 1u);
    EXPECT_EQ(attached[0]["script"], "Veltrask_Script");
    EXPECT_EQ(attached[0]["time"], 6.0);
    const auto damage = Of("Tank_Alpha", "damaged");
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0]["time"], 10.0);
    EXPECT_EQ(damage[0]["amount"], 9999.0);
    EXPECT_EQ(damage[0]["warhead"], "Death");
    EXPECT_TRUE(damage[0]["damager"].is_null());
    EXPECT_EQ(Times("Tank_Alpha", "destroyed"), std::vector<double>{10.0});
}

TEST_F(DefaultScenario, ATankThatRightsItselfIsSpared)
{
    EXPECT_EQ(Times("Tank_Bravo", "upright"), std::vector<double>{8.5});
    EXPECT_EQ(Times("Tank_Bravo", "script-detached"), std::vector<double>{9.0});
    EXPECT_TRUE(Of("Tank_Bravo", "damaged").empty());
}

TEST_F(DefaultScenario, AListedBuggyIsTurnedUprightStepByStep)
{
    EXPECT_EQ(Times("Buggy_Charlie", "transform-set"), (std::vector<double>{14.5, 15.0, 15.5, 16.0}));
    const auto lifts = Of("Buggy_Charlie", "position-set");
    ASSERT_EQ(lifts.size(), 4u);
    EXPECT_EQ(lifts.back()["position"][2], 12.0);
    EXPECT_EQ(Times("Buggy_Charlie", "script-detached"), std::vector<double>{16.5});
    for (const json& timer : Of("Buggy_Charlie", "timer-started")) {
        EXPECT_EQ(timer["period"], 0.5);
    }
}

TEST_F(DefaultScenario, ExemptModeFourAndNonVehiclesAreLeftAlone)
{
    for (const char* name : {"Drone_Delta", "Parked_Echo", "Crate_India"}) {
        EXPECT_EQ(Times(name, "flip").size(), 1u) << name;
        EXPECT_TRUE(Of(name, "script-attached").empty()) << name;
    }
}

TEST_F(DefaultScenario, AnInvulnerableHaulerSurvivesAndStaysSpent)
{
    EXPECT_EQ(Times("Hauler_Foxtrot", "damaged"), std::vector<double>{26.0});
    EXPECT_TRUE(Of("Hauler_Foxtrot", "destroyed").empty());
    EXPECT_EQ(Of("Hauler_Foxtrot", "timer-started").size(), 4u);
}

TEST_F(DefaultScenario, TheOperatorsSettingsHoldThroughout)
{
    // A tank flipped late takes the same road as the first one: nothing changes the settings.
    EXPECT_EQ(Times("Tank_Golf", "script-attached"), std::vector<double>{36.0});
    EXPECT_EQ(Times("Tank_Golf", "damaged"), std::vector<double>{40.0});
    EXPECT_TRUE(Of("", "reload").empty());
}

TEST_F(DefaultScenario, AJeepOnItsNoseClimbsUntilTheEnd)
{
    const auto lifts = Of("Jeep_Hotel", "position-set");
    EXPECT_EQ(lifts.size(), 36u);
    EXPECT_EQ(lifts.back()["position"][2], 108.0);
    EXPECT_TRUE(Of("Jeep_Hotel", "script-detached").empty());
}

TEST(ReloadScenario, ReloadsChangeTheRoadAndExemptAVehicleAlreadyFlipped)
{
    const Result r = Run_Sim("'" + examples + "reload.scenario'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const char* told : {"30.000                   settings reloaded from", "6.00  killed at 10.00 after 4 checks",
                             "36.00  killed at 37.00 after 2 checks", "44.60         -  left lying: exempt preset"}) {
        EXPECT_NE(r.Out.find(told), std::string::npos) << "wanted '" << told << "' in\n" << r.Out;
    }
}

// "settings reloaded from FILE" said neither the numbers nor the lists now in force; a reload
// keeps no number from before, and the lists only grow.
TEST(ReloadScenario, EachSettingsEventSaysWhatIsNowInForce)
{
    Scratch scratch;
    scratch.Write("first.ini", "[Veltrask]\nCheckInterval = 5\nChecksCount = 7\n[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    scratch.Write("second.ini", "[Veltrask]\nChecksCount = 3\n[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    const std::string path = scratch.Write("r.scenario", "settings first.ini\nlength 10\nat 5 reload second.ini\n");
    const Result r = Run_Sim(test::Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("first.ini: CheckInterval 5, ChecksCount 7, ScriptCheckingInterval 1; 1 never killed, 0 turned "
                         "upright\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("second.ini: CheckInterval 2, ChecksCount 3, ScriptCheckingInterval 1; 1 never killed, 1 turned "
                         "upright\n"),
              std::string::npos)
        << "CheckInterval falls back to its default, Recon_Drone stays listed:\n"
        << r.Out;
}

// The chart's defects, looked at: reload labels overlapped and showed whole paths, no title named
// the settings, exempt, mode-4 and not-a-vehicle lanes looked alike, a level load was unmarked,
// and over long games the scan lines turned to haze.
TEST(SimOutput, TheLaneChartNamesItsSettingsMarksLoadsAndSaysWhatIsNeverKilled)
{
    Scratch scratch;
    scratch.Write("a.ini", "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    scratch.Write("b.ini", "[Veltrask]\nCheckInterval = 1\n");
    const std::string path = scratch.Write("c.scenario", "settings a.ini\nlength 30\nvehicle D Recon_Drone roll 180\n"
                                                        "vehicle P Heavy_Tank mode 4 roll 180\nobject C Supply_Crate\n"
                                                        "at 10 reload b.ini\nat 11 reload a.ini\nat 20 level-load\n");
    const Result r = Run_Sim(test::Quoted(path) + " --svg -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(">c.scenario, settings a.ini</text>"), std::string::npos) << "the title names the settings";
    EXPECT_NE(r.Out.find(">reload: b.ini</text>"), std::string::npos) << "a file's name, not its path";
    EXPECT_NE(r.Out.find(">level load</text>"), std::string::npos);
    for (const char* kind : {">exempt: never killed<", ">mode 4: never killed<", ">not a vehicle: never killed<"}) {
        EXPECT_NE(r.Out.find(kind), std::string::npos) << kind;
    }
    // The two reloads a second apart: their labels on two rows.
    const std::size_t first = r.Out.find(">reload: b.ini</text>"), second = r.Out.find(">reload: a.ini</text>");
    ASSERT_NE(second, std::string::npos);
    const auto y_of = [&](std::size_t at) {
        const std::size_t y = r.Out.rfind(" y=\"", at);
        return std::stod(r.Out.substr(y + 4));
    };
    EXPECT_EQ(y_of(second) - y_of(first), 14) << "the second label a row lower";

    const std::string long_game = scratch.Write("l.scenario", "settings b.ini\nlength 900\nvehicle A Heavy_Tank\n");
    const Result haze = Run_Sim(test::Quoted(long_game) + " --svg -");
    EXPECT_NE(haze.Out.find("scans, about one every 1 s: too close to draw"), std::string::npos);
    EXPECT_EQ(haze.Out.find("stroke-opacity=\"0.35\""), std::string::npos) << "no line per scan";
}

TEST(SimOutput, TheTimelineTellsTheStoryAndTheChartIsDrawn)
{
    Scratch scratch;
    const std::string svg = scratch.Write("chart.svg", "");
    const Result r = Run_Sim("'" + examples + "default.scenario' --svg '" + svg + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("6.00  killed at 10.00 after 4 checks"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("turned upright by the plug-in at 16.00 (4 steps)"), std::string::npos);
    std::ifstream in(svg);
    const std::string chart((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(chart.rfind("<svg", 0), 0u);
    EXPECT_NE(chart.find("Jeep_Hotel"), std::string::npos);
    EXPECT_NE(chart.find("</svg>"), std::string::npos);
}

// --- The scenario parser ---

struct BadScenario
{
    const char* Text;
    int Line;
    const char* What;
};

TEST(ScenarioParser, EveryErrorNamesFileLineAndWhat)
{
    Scratch scratch;
    scratch.Write("good.ini", "[Veltrask]\nChecksCount = 2\n");
    scratch.Write("bad.ini", "[Veltrask\n");
    const BadScenario cases[] = {
        {"length 10\nfly Tank\n", 2, "unknown keyword 'fly'"},
        {"vehicle\n", 1, "expected a name"},
        {"vehicle T\n", 1, "expected a preset name"},
        {"vehicle T Heavy_Tank mode -1\n", 1, "mode -1 is outside 0 .. 4.29497e+09"},
        {"vehicle T Heavy_Tank mode 1.5\n", 1, "a vehicle mode is a whole number"},
        {"vehicle T Heavy_Tank pos 1 2\n", 1, "expected three coordinates after 'pos'"},
        {"vehicle T Heavy_Tank colour red\n", 1, "unknown option 'colour'"},
        {"object C Crate mode 4\n", 1, "unknown option 'mode' (pos)"},
        {"length ten\n", 1, "'ten' is not a number (game length)"},
        {"length 0\n", 1, "the game length must be above 0"},
        {"length 5\nlength 6\n", 2, "'length' is given twice"},
        {"length 5 10\n", 1, "unexpected '10'"},
        {"rate 30 fast\n", 1, "unexpected 'fast'"},
        {"vehicle \"\" Heavy_Tank\n", 1, "a name cannot be empty"},
        {"vehicle T Heavy_Tank\nat 1 flip \"\" roll 90\n", 2, "a name cannot be empty"},
        {"vehicle T Heavy_Tank\nat 1 upright \"\"\n", 2, "a name cannot be empty"},
        {"at 1e999 level-load\n", 1, "'1e999' is not a number (time)"},
        {"rate 29.5\n", 1, "the tick rate must be a whole number"},
        {"rate 0\n", 1, "tick rate 0 is outside 1 .. 1000"},
        {"length 10\nat 11 level-load\n", 2, "at 11 is after the end of the game (10 s)"},
        {"at nan flip T\n", 1, "'nan' is not a number (time)"},
        {"at 1 jump T\n", 1, "unknown action 'jump'"},
        {"at 1 flip Ghost roll 90\n", 1, "no vehicle or object is named 'Ghost'"},
        {"at 1 flip T roll 90\nat 2 vehicle T Heavy_Tank\n", 1, "'T' does not exist yet at 1"},
        {"vehicle T Heavy_Tank\nat 2 level-load\nat 3 upright T\n", 3, "'T' was removed by the level load at 2"},
        {"vehicle T Heavy_Tank\nvehicle T Light_Buggy\n", 2, "'T' is already the name of the object on line 1"},
        {"vehicle T Heavy_Tank\nat 1 flip T wobble 3\n", 2, "unknown option 'wobble' (roll, pitch, yaw or heading)"},
        {"vehicle T Heavy_Tank\nat 1 destroy T now\n", 2, "unexpected 'now'"},
        {"vehicle \"T\n", 1, "a quote is not closed"},
        {"vehicle T\"x Heavy_Tank\n", 1, "a quote inside a word"},
        {"settings missing.ini\n", 1, "settings: "},
        {"settings bad.ini\n", 1, "bad.ini:1: section without a closing ']'"},
        {"settings good.ini\nsettings good.ini\n", 2, "'settings' is given twice"},
        {"at 1 reload\n", 1, "expected a settings file"},
        // Once dropped without a word when the game came to them.
        {"vehicle A Heavy_Tank\nat 1 destroy A\nat 2 flip A roll 180\n", 3, "'A' was destroyed by the scenario at 1"},
        {"vehicle A Heavy_Tank\nat 1 destroy A\nat 1 destroy A\n", 3, "'A' was destroyed by the scenario at 1"},
        // Numbers are decimal: strtod alone took these.
        {"length 0x10\n", 1, "'0x10' is not a number"},
        {"length 0x1p3\n", 1, "'0x1p3' is not a number"},
        {"length \v5\n", 1, "is not a number"},
        {"vehicle T Heavy_Tank\0\n", 1, "NUL byte: this is not a text file"},
    };
    for (const BadScenario& c : cases) {
        const std::string path = scratch.Write("bad.scenario", std::string(c.Text, c.Text + std::strlen(c.Text) +
                                                                              (std::string(c.What).find("NUL") != std::string::npos ? 2 : 0)));
        const text::Expected<sim::Scenario> scenario = sim::Load_Scenario(path);
        EXPECT_FALSE(scenario) << c.Text;
        const std::string error = scenario ? std::string() : scenario.Error().Text();
        const std::string prefix = path + ":" + std::to_string(c.Line) + ": ";
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
        EXPECT_NE(error.find(c.What), std::string::npos) << "wanted '" << c.What << "' in " << error;
    }
}

// Seconds become ticks once, when read. A time that is a whole number of ticks in decimal but not
// in binary (0.1 s at 30 ticks a second is 3.0000000000000004 ticks) must not slip to the next.
TEST(Clock, ATimeFallsOnTheFirstTickNotBeforeIt)
{
    EXPECT_EQ(sim::Due_Tick(0, 30), 0);
    EXPECT_EQ(sim::Due_Tick(0.1, 30), 3);
    EXPECT_EQ(sim::Due_Tick(1.0 / 3.0, 30), 10);
    EXPECT_EQ(sim::Due_Tick(0.101, 30), 4) << "between two ticks: the later";
    EXPECT_EQ(sim::Due_Tick(10, 30), 300);
    EXPECT_EQ(sim::Due_Tick(3599.9, 1000), 3599900);
    EXPECT_EQ(sim::Due_Tick(1e-320, 30), 0);
}

TEST(ScenarioTimeline, AFlipToNoTurnAtAllSaysSo)
{
    // "rolls over:" and nothing once stood here.
    Scratch scratch;
    const std::string path = scratch.Write("zero.scenario", "length 3\nvehicle A Heavy_Tank\nat 1 flip A roll 0\n");
    const Result r = test::Run_Sim(test::Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("rolls over: to no roll, pitch or heading at all: upright\n"), std::string::npos) << r.Out;
}

// Actions on a vehicle the plug-in killed during the match were dropped without a word.
TEST(ScenarioTimeline, AnActionOnAVehicleThePluginKilledIsSaidNotDone)
{
    Scratch scratch;
    const std::string path = scratch.Write("late.scenario", "length 30\nvehicle A Heavy_Tank roll 180\nat 20 upright A\n"
                                                           "at 21 flip A roll 180\nat 22 invulnerable A\nat 23 destroy A\n");
    Result r = test::Run_Sim(test::Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const std::string action : {"upright", "flip", "invulnerable", "destroy"}) {
        EXPECT_NE(r.Out.find("  A                " + action + " not done: the plug-in had killed it\n"), std::string::npos)
            << action << "\n" << r.Out;
    }
    r = test::Run_Sim("--json " + test::Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    int skipped = 0;
    std::istringstream lines(r.Out);
    for (std::string text; std::getline(lines, text);) {
        const json line = json::parse(text);
        if (line.value("event", "") == "skipped") {
            EXPECT_EQ(line.value("vehicle", ""), "A");
            EXPECT_EQ(line.value("source", ""), "scenario");
            EXPECT_GE(line.value("time", 0.0), 20.0);
            ++skipped;
        }
    }
    EXPECT_EQ(skipped, 4);
}

// A vehicle rolled onto its side showed "rolls over: roll 90" in the timeline and "never flipped"
// in the table; one lifted without end was a table row. Both now lead the summary, in the words
// the random report uses for the same cases.
TEST(ScenarioTimeline, WhatIsNeverHandledLeadsTheSummaryInTheRandomReportsWords)
{
    Scratch scratch;
    const std::string path = scratch.Write("side.scenario", "length 10\nvehicle S Heavy_Tank roll 90\nvehicle U Heavy_Tank\n"
                                                           "at 2 flip U pitch 70\n");
    Result r = test::Run_Sim(test::Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string words = "the plug-in\n    reads only the rotation about the world's Y axis, so a vehicle on its side,\n"
                              "    or on its nose at some headings, is never handled.\n";
    EXPECT_NE(r.Out.find("\nWarnings:\n  ! S lies turned over from 0.00 s but is never read as flipped: " + words),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("  ! U lies turned over from 2.00 s"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("turned over, never read as flipped: never handled\n"), std::string::npos) << r.Out;
    EXPECT_LT(r.Out.find("Warnings:"), r.Out.find("Vehicle          Preset")) << "the warnings come before the table";

    r = test::Run_Sim(test::Quoted(examples + "default.scenario"));
    EXPECT_NE(r.Out.find("  ! Jeep_Hotel is lifted without end (36 steps, to z = 108): on its nose and\n"
                         "    listed for turning, a vehicle is lifted at every step and never turned\n    upright.\n"),
              std::string::npos)
        << r.Out;

    r = test::Run_Sim("--random 1 --vehicles 2000 --length 600 --settings " + test::Quoted(examples + "settings.ini"));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::size_t warnings = r.Out.find("Warnings:\n  ! ");
    EXPECT_NE(warnings, std::string::npos) << r.Out;
    EXPECT_LT(warnings, r.Out.find("what became of each flip")) << "the warnings come before the tables";
    EXPECT_NE(r.Out.find("flips were never read as flipped (lying up to"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(words.substr(words.find("reads only"))), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("flips ended lifted without end (the highest to z = "), std::string::npos) << r.Out;
}

TEST(ScenarioParser, LinesEndAtLfCrlfOrALoneCrAsInSettingsFiles)
{
    // A lone CR once ended no line here (while it did in settings files): the whole file was
    // one line, refused at its second word.
    const text::Expected<sim::Scenario> s =
        sim::Parse_Scenario("length 5\rvehicle A Heavy_Tank\r\nat 1 flip A roll 180\n at 2 upright A", "cr.scenario");
    ASSERT_TRUE(s) << s.Error().Text();
    EXPECT_EQ(s->Length, 5);
    ASSERT_EQ(s->Actions.size(), 3u);
    EXPECT_EQ(s->Actions[2].Kind, sim::ActionKind::Upright);
    EXPECT_EQ(s->Actions[2].Line, 4);
}

TEST(ScenarioParser, ReadsTheGrammarWithQuotesCommentsAndOrder)
{
    Scratch scratch;
    scratch.Write("s.ini", "[Veltrask]\n");
    const std::string path = scratch.Write("ok.scenario",
        "\xEF\xBB\xBF# a comment after a byte-order mark\r\n"
        "settings s.ini   # relative to this file\n"
        "length 20\nrate 10\n"
        "vehicle \"Big Tank\" \"Heavy Tank\" mode 3 pos 1 2 3 heading 90 roll 10 pitch 5\n"
        "at 4 flip \"Big Tank\" roll 180 heading 45\n"
        "at 4.5 vehicle Yawed Light_Buggy yaw 30\n"
        "at 5 vehicle Late Light_Buggy\n"
        "at 5 level-load\n"
        "at 6 reload s.ini\n"
        "at 1e-320 vehicle Tiny Light_Buggy   # too small to hold, but a number: 0\n");
    text::Expected<sim::Scenario> loaded = sim::Load_Scenario(path);
    ASSERT_TRUE(loaded) << loaded.Error().Text();
    sim::Scenario& s = *loaded;
    EXPECT_EQ(s.Length, 20);
    EXPECT_EQ(s.Rate, 10);
    ASSERT_EQ(s.Actions.size(), 7u);
    EXPECT_EQ(s.Actions[3].Object.Pose.Yaw, 30) << "yaw on a vehicle, as heading";
    EXPECT_EQ(s.Actions[2].Pose.Yaw, 45) << "heading on a flip, as yaw";
    s.Actions.erase(s.Actions.begin() + 3);
    EXPECT_EQ(s.Actions[1].Object.Name, "Tiny");
    s.Actions.erase(s.Actions.begin() + 1);
    EXPECT_EQ(s.Actions[0].Object.Name, "Big Tank");
    EXPECT_EQ(s.Actions[0].Object.Preset, "Heavy Tank");
    EXPECT_EQ(s.Actions[0].Object.Mode, 3u);
    EXPECT_EQ(s.Actions[0].Object.Position[2], 3);
    EXPECT_EQ(s.Actions[1].Kind, sim::ActionKind::Flip);
    EXPECT_EQ(s.Actions[2].Kind, sim::ActionKind::LevelLoad) << "a level load comes first at its time";
    EXPECT_EQ(s.Actions[3].Kind, sim::ActionKind::SpawnObject) << "then spawns";
    EXPECT_EQ(s.Actions[4].Kind, sim::ActionKind::Reload);
}

TEST(ScenarioParser, SurvivesTruncatedBinaryAndEnormousInput)
{
    const text::Expected<std::string> text = text::Read_Text_File(examples + "default.scenario");
    ASSERT_TRUE(text) << text.Error().Text();
    // Every prefix of a good scenario either parses or says where it went wrong.
    for (std::size_t cut = 0; cut <= text->size(); cut += 7) {
        const text::Expected<sim::Scenario> s = sim::Parse_Scenario(text->substr(0, cut), examples + "cut.scenario");
        if (!s) {
            EXPECT_EQ(s.Error().File, examples + "cut.scenario");
            EXPECT_GT(s.Error().Line, 0) << s.Error().Text();
        }
    }
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string noise(std::uniform_int_distribution<int>(0, 2000)(random), '\0');
        for (char& c : noise) {
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        }
        sim::Parse_Scenario(noise, "noise");
    }
    const text::Expected<sim::Scenario> long_line = sim::Parse_Scenario("vehicle " + std::string(100000, 'x') + " P\n", "long");
    ASSERT_FALSE(long_line);
    EXPECT_EQ(long_line.Error().Text(), "long:1: line longer than 4096 characters");

    Scratch scratch;
    const std::string huge = scratch.Write("huge.scenario", std::string(17u << 20, '#'));
    const text::Expected<sim::Scenario> too_large = sim::Load_Scenario(huge);
    ASSERT_FALSE(too_large);
    EXPECT_EQ(too_large.Error().Text(), huge + ": larger than 16 MiB");
}

TEST(SimCommandLine, BadInputExitsWithStatusTwoAndSaysWhy)
{
    Scratch scratch;
    const std::string bad = scratch.Write("bad.scenario", "vehicle T Heavy_Tank\nat 1 flip T roll x\n");
    Result r = Run_Sim("'" + bad + "'");
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, "veltrask-sim: " + bad + ":2: 'x' is not a number (roll)\n");
    EXPECT_TRUE(r.Out.empty()) << "nothing is half-run";

    r = Run_Sim("'" + examples + "default.scenario' --plugin /nonexistent/libveltrask.so");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("/nonexistent/libveltrask.so"), std::string::npos);

    r = Run_Sim("--random 1 --vehicles 0");
    EXPECT_EQ(r.Status, 2);
    r = Run_Sim("--vehicles 5");
    EXPECT_EQ(r.Status, 2) << "--vehicles needs --random";
    r = Run_Sim("");
    EXPECT_EQ(r.Status, 2);
}

// --- The settings check ---

struct CheckCase
{
    const char* Text;
    int Status;
    std::vector<const char*> Findings;
};

TEST(SettingsCheck, WarnsOfWhatTheSilentPluginWouldDo)
{
    const CheckCase cases[] = {
        {"[Veltrask]\nCheckInterval = 2\nChecksCount = 4\nScriptCheckingInterval = 1.0\n", 0, {"no findings"}},
        {"[Veltrask]\nChekInterval = 2\n", 1, {":2: warning: unknown key 'ChekInterval' in [Veltrask]: ignored (did you mean 'CheckInterval'?)"}},
        {"[Veltrask]\nCheckInterval = 0\n", 1, {"CheckInterval 0 scans every vehicle on every tick"}},
        {"[Veltrask]\nCheckInterval = -3\n", 1, {"CheckInterval -3 scans"}},
        {"[Veltrask]\nCheckInterval = 2.5\n", 1, {"CheckInterval '2.5' is not a whole number: the plug-in uses 2"}},
        {"[Veltrask]\nChecksCount = 1\n", 1, {"ChecksCount 1 kills a flipped vehicle at its first check"}},
        {"[Veltrask]\nScriptCheckingInterval = 0\n", 1, {"ScriptCheckingInterval 0 makes every check come at the next tick"}},
        {"[Veltrask]\nScriptCheckingInterval = nan\n", 1, {"is not a number (NaN)"}},
        {"[Veltrask]\nScriptCheckingInterval = soon\n", 1, {"'soon' is not a number: the plug-in uses 1.0"}},
        {"[Veltrask]\nScriptCheckingInterval = 1e39\n", 1, {":2: warning: ScriptCheckingInterval '1e39' reads as an infinite period"}},
        {"[Veltrask]\nScriptCheckingInterval = inf\n", 1, {"'inf' reads as an infinite period", "no flipped vehicle is ever killed"}},
        {"[Veltrask]\nScriptCheckingInterval = 1e30\n", 1, {"kills a flipped vehicle only 4e+30 s after the scan finds it"}},
        {"[Veltrask]\nChecksCount = 3\nScriptCheckingInterval = 30000\n", 1, {":3: warning: ScriptCheckingInterval 30000 with ChecksCount 3"}},
        {"[Veltrask]\nChecksCount = 4\nScriptCheckingInterval = 21600\n", 0, {"no findings"}},
        {"[Veltrask]\n[\tVeltrask_RotateUpwardsPresets ]\n1 = Light_Buggy\n", 1, {":2: warning: blanks inside the brackets"}},
        {"[Other]\nx = 1\n", 1, {"check.ini: warning: no [Veltrask] section"}},
        {"[Veltrask]\n[Veltrask_RotateUpwardPresets]\n1 = Light_Buggy\n", 1,
         {":3: warning: unknown section [Veltrask_RotateUpwardPresets]: the plug-in never reads it (did you mean 'Veltrask_RotateUpwardsPresets'?)"}},
        {"[Veltrask]\n[Veltrask_DontFlipKillPresets]\n1 = Light_Buggy\n[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n", 1,
         {":5: warning: preset 'Light_Buggy' is in both lists (also line 3): it is turned upright"}},
        {"[Veltrask]\n[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n2 = Recon_Drone\n3 =\n4 = \"Quoted\"\n", 1,
         {":4: warning: preset 'Recon_Drone' is listed twice", ":5: warning: empty preset name", ":6: warning: preset name \"Quoted\" has quotes"}},
    };
    Scratch scratch;
    for (const CheckCase& c : cases) {
        const std::string path = scratch.Write("check.ini", c.Text);
        std::FILE* out = std::tmpfile();
        const text::Expected<int> warnings = sim::Check_Settings(path, out);
        const int status = !warnings ? 2 : *warnings == 0 ? 0 : 1;
        std::rewind(out);
        std::string printed;
        char buffer[4096];
        while (std::fgets(buffer, sizeof(buffer), out) != nullptr) {
            printed += buffer;
        }
        std::fclose(out);
        EXPECT_EQ(status, c.Status) << c.Text << printed;
        for (const char* finding : c.Findings) {
            EXPECT_NE(printed.find(finding), std::string::npos) << "wanted '" << finding << "' in\n" << printed;
        }
    }
}

TEST(SettingsCheck, FindingsAreWarningsAboutALineOfTheFileInItsOrder)
{
    Scratch scratch;
    const std::string path = scratch.Write("lint.ini", "[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n[Veltrask]\n"
                                                       "ChecksCount = 0\n[Veltrask_DontFlipKillPresets]\n1 = Light_Buggy\n");
    INIClass ini;
    const text::Expected<std::vector<text::Diagnostic>> findings = sim::Lint_Settings(path, ini);
    ASSERT_TRUE(findings) << findings.Error().Text();
    ASSERT_EQ(findings->size(), 2u);
    const text::Diagnostic& first = (*findings)[0];
    const text::Diagnostic& second = (*findings)[1];
    EXPECT_EQ(first.File, path);
    EXPECT_EQ(first.Line, 2) << "in the order of the file: the entry in both lists is told at the turning list's line";
    EXPECT_EQ(first.Level, text::Severity::Warning);
    EXPECT_EQ(first.Message, "preset 'Light_Buggy' is in both lists (also line 6): it is turned upright");
    EXPECT_EQ(second.Line, 4);
    EXPECT_EQ(second.Level, text::Severity::Warning);
    EXPECT_EQ(second.Message, "ChecksCount 0 kills a flipped vehicle at its first check");
    EXPECT_EQ(ini.Get_Int("Veltrask", "ChecksCount", 99), 0) << "the file is read as the plug-in sees it";
    // A file the reader refuses is no list of findings but the one that refuses it.
    INIClass other;
    const text::Expected<std::vector<text::Diagnostic>> refused = sim::Lint_Settings(scratch.Write("bad.ini", "[Veltrask\n"), other);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().Line, 1);
    EXPECT_EQ(refused.Error().Level, text::Severity::Error);
}

TEST(SettingsCheck, StatusThroughTheCommandLine)
{
    Scratch scratch;
    EXPECT_EQ(Run_Sim("--check '" + examples + "settings.ini'").Status, 0);
    EXPECT_EQ(Run_Sim("--check '" + scratch.Write("w.ini", "[Veltrask]\nChecksCount = 0\n") + "'").Status, 1);
    const Result unreadable = Run_Sim("--check '" + scratch.Write("u.ini", "[Veltrask\n") + "'");
    EXPECT_EQ(unreadable.Status, 2);
    EXPECT_NE(unreadable.Err.find("u.ini:1: section without a closing ']'"), std::string::npos) << unreadable.Err;
    EXPECT_EQ(Run_Sim("--check /nonexistent.ini").Status, 2);
}

// --- Random matches ---

TEST(RandomMatch, TheSameSeedGivesTheSameReportByteForByte)
{
    const std::string args = "--random 42 --vehicles 300 --length 300 --settings '" + examples + "settings.ini'";
    const Result first = Run_Sim(args);
    const Result second = Run_Sim(args);
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_EQ(first.Out, second.Out);
    EXPECT_NE(first.Out.find("Killed though they would soon have recovered alone"), std::string::npos);
    // The report fits a terminal of 80 columns.
    std::size_t start = 0;
    while (start < first.Out.size()) {
        const std::size_t end = std::min(first.Out.find('\n', start), first.Out.size());
        EXPECT_LE(end - start, 80u) << first.Out.substr(start, end - start);
        start = end + 1;
    }
    EXPECT_NE(first.Err.find("ticks/s"), std::string::npos) << "the throughput goes to standard error";
    EXPECT_NE(Run_Sim("--random 43 --vehicles 300 --length 300 --settings '" + examples + "settings.ini'").Out, first.Out);

    const Result json_first = Run_Sim("--random 9 --vehicles 20 --length 60 --json");
    EXPECT_EQ(json_first.Out, Run_Sim("--random 9 --vehicles 20 --length 60 --json").Out);
}

}  // namespace
