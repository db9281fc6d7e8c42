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
    ASSERT_TRUE(standin::Load_Ini_Text(text, "model.ini", ini, error)) << error;
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
