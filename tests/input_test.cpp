// What veltrask-sim and the stand-in host make of hostile and broken input: any bytes in a name
// are shown safely in every output, and every fault is a message with status 2, never a crash,
// a hang or a report of success.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <tinyxml2.h>

#include "Check.h"
#include "Fleet.h"
#include "SettingsCache.h"
#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "Scenario.h"
#include "Progress.h"
#include "SimSupport.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

const std::string examples = VELTRASK_SOURCE_DIR "/examples/";

std::vector<json> Json_Lines(const std::string& out)
{
    std::vector<json> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        lines.push_back(json::parse(out.substr(start, end - start), nullptr, false));
        EXPECT_FALSE(lines.back().is_discarded()) << "not JSON: " << out.substr(start, end - start);
        start = end + 1;
    }
    return lines;
}

// --- Names of any bytes ---

TEST(HostileNames, JsonLinesStayValidJsonForBytesThatAreNotUtf8)
{
    Scratch scratch;
    const std::string path = scratch.Write("latin1.scenario",
                                           "length 10\nvehicle A Tank_\xe9 roll 180\nvehicle \"B\xff\xfe\" Heavy_Tank\n"
                                           "at 1 flip A roll 180\nat 2 upright \"B\xff\xfe\"\n");
    const Result r = Run_Sim("--json " + Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<json> lines = Json_Lines(r.Out);
    ASSERT_FALSE(lines.empty());
    bool seen = false;
    for (const json& line : lines) {
        if (line.value("event", "") == "spawn" && line.value("vehicle", "") == "A") {
            EXPECT_EQ(line["preset"], "Tank_\xEF\xBF\xBD") << "a byte that is not UTF-8 is written as U+FFFD";
            seen = true;
        }
    }
    EXPECT_TRUE(seen);
}

// Every element of the chart is one the chart draws; a name can only ever be text.
void Expect_Only_Chart_Elements(const tinyxml2::XMLElement* element, std::set<std::string>& texts)
{
    static const std::set<std::string> drawn = {"svg", "rect", "text", "tspan", "title", "line", "path", "circle", "g"};
    for (; element != nullptr; element = element->NextSiblingElement()) {
        EXPECT_EQ(drawn.count(element->Name()), 1u) << "an element <" << element->Name() << "> came from a name";
        for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next()) {
            EXPECT_NE(std::string(a->Name()).rfind("on", 0), 0u) << "an event handler attribute " << a->Name();
        }
        if (element->GetText() != nullptr) {
            texts.insert(element->GetText());
        }
        Expect_Only_Chart_Elements(element->FirstChildElement(), texts);
    }
}

TEST(HostileNames, TheChartEscapesEveryNameAndParsesAsXml)
{
    Scratch scratch;
    const std::string path = scratch.Write(
        "hostile &<b>.scenario",  // the title is the path
        "length 10\n"
        "vehicle \"<script>alert(1)</script>\" Heavy_Tank roll 180\n"
        "vehicle \"a&b'c\" \"</text><script>alert(2)</script>\"\n"
        "vehicle \"><g onload=alert(3)><text>\" Light_Buggy\n"
        "vehicle \"ctl\x01\x1b\xff\" Scout_Jeep\n");
    const std::string svg = scratch.Path("chart.svg");
    const Result r = Run_Sim(Quoted(path) + " --svg " + Quoted(svg));
    ASSERT_EQ(r.Status, 0) << r.Err;
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.LoadFile(svg.c_str()), tinyxml2::XML_SUCCESS) << document.ErrorStr();
    std::set<std::string> texts;
    Expect_Only_Chart_Elements(document.RootElement(), texts);
    // A long name is cut to fit beside the lanes, and told whole in the label's title.
    EXPECT_EQ(texts.count("<script>alert(1~ "), 1u) << "the name is shown as text";
    EXPECT_EQ(texts.count("<script>alert(1)</script> Heavy_Tank"), 1u) << "and whole as text in the title";
    EXPECT_EQ(texts.count("a&b'c </text><script>alert(2)</script>"), 1u);
    EXPECT_EQ(texts.count("a&b'c "), 1u);
}

TEST(HostileNames, TheTimelineEscapesControlBytes)
{
    Scratch scratch;
    const std::string path =
        scratch.Write("ansi.scenario", "length 4\nvehicle \"Evil\x1b[31mRed\" \"Tank\x07\xc2\x9b\" roll 180\n");
    const Result r = Run_Sim(Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.find('\x1b'), std::string::npos) << "a raw escape reaches the terminal";
    EXPECT_EQ(r.Out.find('\x07'), std::string::npos);
    EXPECT_EQ(r.Out.find("\xc2\x9b"), std::string::npos) << "the C1 control CSI reaches the terminal";
    EXPECT_NE(r.Out.find("Evil\\x1b[31mRed"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Tank\\x07\\xc2\\x9b"), std::string::npos) << r.Out;
}

// Characters that show nothing but change what is shown reached the terminal raw: a right-to-left
// override turned a name around, a zero-width space or a byte-order mark made two names look one.
TEST(HostileNames, InvisibleCharactersAreShown)
{
    Scratch scratch;
    const std::string path = scratch.Write("bidi.scenario", "length 4\nvehicle \"Tank\xE2\x80\xAEknaT\" "
                                                           "\"Heavy\xE2\x80\x8B_Tank\xEF\xBB\xBF\" roll 180\n");
    Result r = Run_Sim(Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Tank\\u202eknaT"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Heavy\\u200b_Tank\\ufeff"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("\xE2\x80"), std::string::npos) << "an invisible character reaches the terminal raw";

    const std::string chart = Run_Sim(Quoted(path) + " --svg -").Out;
    EXPECT_NE(chart.find("Tank\\u202eknaT"), std::string::npos);
    EXPECT_EQ(chart.find("\xE2\x80"), std::string::npos) << "an invisible character reaches the chart";

    r = Run_Sim("--check " + Quoted(scratch.Write("zw.ini", "[Veltrask]\n\xE2\x80\x8B" "ChecksCount = 3\n")));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("unknown key '\\u200bChecksCount'"), std::string::npos) << r.Out;
}

// --- Settings files ---

TEST(SettingsFiles, AByteOrderMarkWhereFilesWereJoinedIsSkippedAndLinted)
{
    // Two files joined together: the second one's byte-order mark stood before its first
    // section line, which then read as no section at all. [Veltrask] vanished (ChecksCount 4
    // played instead of 2), or a list section was refused with the whole file.
    Scratch scratch;
    for (const std::string& text : {std::string("[Other]\nA = 1\n\xEF\xBB\xBF[Veltrask]\nChecksCount = 2\n"),
                                    std::string("[Veltrask]\nChecksCount = 2\n\xEF\xBB\xBF[Veltrask_RotateUpwardsPresets]\n"
                                                "1 = Light_Buggy\n")}) {
        INIClass ini;
        std::string error;
        ASSERT_TRUE(test::Said(standin::Load_Ini_Text(text, "joined.ini", ini), error)) << error;
        EXPECT_EQ(ini.Get_Int("Veltrask", "ChecksCount", 0), 2) << text;
        const Result check = Run_Sim("--check " + Quoted(scratch.Write("joined.ini", text)));
        EXPECT_EQ(check.Status, 1) << check.Err;
        EXPECT_EQ(check.Out.substr(0, check.Out.find(": in force")),
                  scratch.Path("joined.ini") + ":3: warning: a byte-order mark starts this line, as where two "
                                               "files were joined: this host skips it, but another reader of the "
                                               "file may not; remove it\n" +
                      scratch.Path("joined.ini"));
    }
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask]\n\xEF\xBB\xBF" "ChecksCount = 3\n", "key.ini", ini), error)) << error;
    EXPECT_EQ(ini.Get_Int("Veltrask", "ChecksCount", 0), 3) << "a mark before a key is no part of its name";
}

// --check said "no findings" and nothing of what the plug-in would use: a file with ChecksCount
// alone left the operator to guess the rest, and the kill's timing.
TEST(SettingsCheck, SaysWhatIsInForceWhereEachValueComesFromAndWhatItMeans)
{
    Scratch scratch;
    const Result r = Run_Sim("--check " + Quoted(scratch.Write("six.ini", "[Veltrask]\nChecksCount = 6\n"
                                                                          "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n")));
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::string file = scratch.Path("six.ini");
    EXPECT_EQ(r.Out, file + ": no findings\n" + file +
                         ": in force once the plug-in is handed this file:\n"
                         "  CheckInterval            2            not in the file: its default\n"
                         "  ChecksCount              6            line 2\n"
                         "  ScriptCheckingInterval   1            not in the file: its default\n"
                         "  never killed (1)         Recon_Drone\n"
                         "  turned upright (0)       none\n"
                         "  A flipped vehicle of a scanned mode (all but mode 4) is found by the next scan, within 2 s (a scan "
                         "every 2 s of game time);\n"
                         "  unless listed, it is checked every 1 s and killed at check 6: 6 s after it is found, 6 to 8 s "
                         "after it flips.\n"
                         "  One listed to be turned upright is turned 25 degrees about its length and raised 3 every 0.5 s "
                         "until it reads upright;\n"
                         "  one listed never to be killed lies as it is.\n");
}

// What --check says, for tools: the same findings and what is in force, as one JSON object.
TEST(SettingsCheck, JsonGivesTheSameForTools)
{
    Scratch scratch;
    const std::string path = scratch.Write("j.ini", "[Veltrask]\nChecksCount = 0\n[Veltrask_RotateUpwardsPresets]\n"
                                                    "1 = Light_Buggy\n2 = Light_Buggy\n");
    const Result r = Run_Sim("--check " + Quoted(path) + " --json");
    EXPECT_EQ(r.Status, 1) << r.Err;
    const json out = json::parse(r.Out, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << r.Out;
    EXPECT_EQ(out["file"], path);
    ASSERT_EQ(out["findings"].size(), 2u) << out;
    EXPECT_EQ(out["findings"][0]["line"], 2);
    EXPECT_EQ(out["findings"][1]["line"], 5);
    EXPECT_EQ(out["in_force"]["ChecksCount"], (json{{"value", 0}, {"line", 2}}));
    EXPECT_EQ(out["in_force"]["CheckInterval"], (json{{"value", 2}, {"line", nullptr}}));
    EXPECT_EQ(out["in_force"]["turned_upright"], (json{"Light_Buggy", "Light_Buggy"})) << "as the plug-in holds them";
    EXPECT_EQ(out["killing_check"], 1);
    EXPECT_EQ(out["kill_after_found_s"], 1.0);
}

// Each of these passed --check without a word, and findings came out of line order.
TEST(SettingsCheck, LintsMistakesThePluginWouldTakeSilentlyInLineOrder)
{
    Scratch scratch;
    const std::string path = scratch.Write("lint.ini", "[Veltrask_DontFlipKillPresets]\nChecksCount = 6\nScout_Jeep = 1\n"
                                                       "1 = Light_Buggy;old\n2 = LIGHT_BUGGY;old\n"
                                                       "[Veltrask]\nChecksCount = 100000\nCheckInterval = 3000000000\n");
    const Result r = Run_Sim("--check " + Quoted(path));
    EXPECT_EQ(r.Status, 1);
    const std::string findings = r.Out.substr(0, r.Out.find(path + ": in force"));
    EXPECT_EQ(findings,
              path + ":2: warning: 'ChecksCount = 6' in [Veltrask_DontFlipKillPresets]: a setting belongs in [Veltrask]; here "
                     "the plug-in takes '6' for a preset name\n" +
                  path + ":3: warning: 'Scout_Jeep = 1': the preset name is the value, so the plug-in lists the preset '1'; "
                         "write 'N = Scout_Jeep'\n" +
                  path + ":4: warning: preset name 'Light_Buggy;old' holds ';', which is part of the name here (only a ';' "
                         "after a space starts a comment)\n" +
                  path + ":5: warning: preset name 'LIGHT_BUGGY;old' holds ';', which is part of the name here (only a ';' "
                         "after a space starts a comment)\n" +
                  path + ":5: warning: presets 'LIGHT_BUGGY;old' and 'Light_Buggy;old' (line 4) differ only in case: the "
                         "plug-in matches names exactly, so at most one of them is a real preset\n" +
                  path + ":7: warning: ScriptCheckingInterval 1 with ChecksCount 100000 kills a flipped vehicle only 1e+05 s "
                         "after the scan finds it: more than a day, so in practice never\n" +
                  path + ":8: warning: CheckInterval 3000000000 is beyond the whole numbers the plug-in reads (-2147483648 to "
                         "2147483647): the host's reader gives it the default, 2\n");
}

TEST(SettingsFiles, BlanksInsideBracketsNameTheSameSectionAndAreLinted)
{
    Scratch scratch;
    scratch.Write("blanks.ini", "[Veltrask]\nCheckInterval = 1\n[ Veltrask_DontFlipKillPresets ]\n1 = Recon_Drone\n");
    const std::string path = scratch.Write("exempt.scenario", "settings blanks.ini\nlength 20\nvehicle D Recon_Drone roll 180\n");
    const Result r = Run_Sim("--json " + Quoted(path));
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const json& line : Json_Lines(r.Out)) {
        EXPECT_NE(line.value("event", ""), "damaged") << "the exempt vehicle was killed: " << line;
    }
    const Result check = Run_Sim("--check " + Quoted(scratch.Path("blanks.ini")));
    EXPECT_EQ(check.Status, 1);
    EXPECT_NE(check.Out.find("blanks.ini:3: warning: blanks inside the brackets"), std::string::npos) << check.Out;
}

// JSON has no infinity and no NaN: an infinite period (never expires) is null, and one that is
// not a number (expires at the next tick) was null too.
TEST(SettingsFiles, PeriodsThatAreNoNumberAreToldApartInJson)
{
    Scratch scratch;
    const struct
    {
        std::string Value;
        json Shown;
        int Timers;
    } cases[] = {{"1e39", nullptr, 1}, {"nan", "NaN", 2}, {"-1e39", "-Infinity", 2}};
    for (const auto& c : cases) {
        scratch.Write("period.ini", "[Veltrask]\nScriptCheckingInterval = " + c.Value + "\n");
        const std::string path = scratch.Write("period.scenario", "settings period.ini\nlength 5\nvehicle T Heavy_Tank roll 180\n");
        const Result r = Run_Sim("--json " + Quoted(path));
        ASSERT_EQ(r.Status, 0) << r.Err;
        int timers = 0;
        for (const json& line : Json_Lines(r.Out)) {
            if (line.value("event", "") == "timer-started") {
                EXPECT_EQ(line["period"], c.Shown) << c.Value << ": " << line;
                ++timers;
            }
        }
        EXPECT_GE(timers, c.Timers) << c.Value;
    }
}

// --- Loading the plug-in ---

TEST(PluginLoading, APluginInitThatReturnsNullIsAnError)
{
    standin::LoadedPlugin plugin;
    std::string error;
    EXPECT_FALSE(test::Said(plugin.Load(VELTRASK_NULL_PLUGIN_PATH), error));
    EXPECT_NE(error.find("Plugin_Init returned no plug-in"), std::string::npos) << error;
    EXPECT_EQ(plugin.Get(), nullptr);

    const Result r = Run_Sim(Quoted(examples + "default.scenario") + " --plugin " + Quoted(VELTRASK_NULL_PLUGIN_PATH));
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(r.Out.empty()) << "nothing is played without a plug-in";
    EXPECT_NE(r.Err.find("Plugin_Init returned no plug-in"), std::string::npos) << r.Err;
}

// The loader maps a library straight from its file and trusts its headers: loading one cut short
// would end the process with SIGBUS, so this test would crash rather than fail without the check.
TEST(PluginLoading, AFileCutShortOrForeignIsRefusedBeforeTheLoaderSeesIt)
{
    Scratch scratch;
    std::ifstream in(VELTRASK_PLUGIN_PATH, std::ios::binary);
    const std::string library((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(library.size(), 4096u);
    for (std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{40}, std::size_t{100}, std::size_t{1000},
                             library.size() / 2, library.size() - 1}) {
        const std::string path = scratch.Write("cut.so", library.substr(0, size));
        standin::LoadedPlugin plugin;
        std::string error;
        EXPECT_FALSE(test::Said(plugin.Load(path), error)) << size << " bytes";
        EXPECT_NE(error.find(path + ": not a plug-in library for this machine: "), std::string::npos) << error;
    }
    const std::string text = scratch.Write("text.so", "#!/bin/sh\necho hello\n");
    standin::LoadedPlugin plugin;
    std::string error;
    EXPECT_FALSE(test::Said(plugin.Load(text), error));
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;
    EXPECT_FALSE(test::Said(plugin.Load(scratch.Path("")), error)) << "a folder";
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

    const Result r = Run_Sim(Quoted(examples + "default.scenario") + " --plugin " + Quoted(scratch.Path("cut.so")));
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("the file is cut short"), std::string::npos) << r.Err;
}

// --- How much work a run may ask for ---

TEST(RunawayWork, AFewWordsCannotAskForHoursAndTheBoundCanBeRaised)
{
    Scratch scratch;
    const std::string huge = scratch.Write("huge.scenario", "length 1e7\nrate 1000\nvehicle T Heavy_Tank\n");
    Result r = Run_Sim(Quoted(huge));
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(r.Out.empty());
    EXPECT_NE(r.Err.find("10000000000 ticks, more than the 100000000 that --max-ticks allows"), std::string::npos) << r.Err;

    const std::string small = scratch.Write("small.scenario", "length 100\nrate 30\nvehicle T Heavy_Tank\n");
    EXPECT_EQ(Run_Sim(Quoted(small) + " --max-ticks 2999").Status, 2);
    EXPECT_EQ(Run_Sim(Quoted(small) + " --max-ticks 3000").Status, 0);

    r = Run_Sim("--random 1 --vehicles 1000000 --length 1000000 --rate 1000");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("--max-ticks"), std::string::npos) << r.Err;
    r = Run_Sim("--random 1 --vehicles 100000 --length 100000 --rate 10");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("--max-vehicle-ticks"), std::string::npos) << r.Err;
    EXPECT_EQ(Run_Sim("--random 1 --vehicles 10 --length 10 --max-vehicle-ticks 2999").Status, 2);
    EXPECT_EQ(Run_Sim("--random 1 --vehicles 10 --length 10 --max-vehicle-ticks 3000").Status, 0);
}

// A list of one name family (Tank_0000, Tank_0001, ...: alike in the four characters the hash
// reads) puts every name on one chain, which each lookup walks: an hour of 10,000 such vehicles
// was within the bounds and would have taken days.
TEST(RunawayWork, LookupsAlongOneLongChainOfListedNamesAreBounded)
{
    Scratch scratch;
    std::string family = "[Veltrask_DontFlipKillPresets]\n";
    for (int i = 0; i < 10000; ++i) {
        family += fmt::format("{} = Tank_{:04d}\n", i, i);
    }
    const std::string path = Quoted(scratch.Write("family.ini", family));
    Result r = Run_Sim("--random 1 --vehicles 10000 --length 3600 --settings " + path);
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("could take 2.16e+13 steps along the plug-in's preset lists (1.08e+09 vehicle-ticks, each looked "
                         "up along a chain of up to 10000 listed names"),
              std::string::npos)
        << r.Err;
    EXPECT_NE(r.Err.find("raise --max-list-steps"), std::string::npos) << r.Err;
    EXPECT_EQ(Run_Sim("--random 1 --vehicles 10 --length 10 --settings " + path + " --max-list-steps 59999999").Status, 2);
    EXPECT_EQ(Run_Sim("--random 1 --vehicles 10 --length 10 --settings " + path + " --max-list-steps 60000000").Status, 0);

    // The same list handed over again and again: each time adds its names once more.
    std::string scenario = "settings small.ini\nlength 10\nvehicle T Heavy_Tank roll 180\n";
    for (int i = 1; i <= 9; ++i) {
        scenario += fmt::format("at {} reload small.ini\n", i);
    }
    scratch.Write("small.ini", "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    const std::string reloads = Quoted(scratch.Write("reloads.scenario", scenario));
    EXPECT_EQ(Run_Sim(reloads + " --max-list-steps 5999").Status, 2) << "300 ticks x 1 object x 2 lists x a chain of 10";
    EXPECT_EQ(Run_Sim(reloads + " --max-list-steps 6000").Status, 0);
}

// --- Output that cannot be written ---

TEST(FailedWrites, AFullDiskIsAFailureInEveryMode)
{
    const std::string settings = Quoted(examples + "settings.ini");
    const std::string scenario = Quoted(examples + "default.scenario");
    for (const std::string& arguments :
         {scenario, "--json " + scenario, "--check " + settings, std::string("--random 1 --vehicles 5 --length 20")}) {
        const Result r = Run_Sim(arguments + " >/dev/full");
        EXPECT_EQ(r.Status, 2) << arguments;
        EXPECT_NE(r.Err.find("cannot write the standard output: No space left on device"), std::string::npos)
            << arguments << ": " << r.Err;
    }
}

TEST(FailedWrites, AChartThatCannotBeWrittenWholeLeavesTheOldOneAsItWas)
{
    Scratch scratch;
    const std::string svg = scratch.Write("chart.svg", "<svg>the chart of an earlier run</svg>\n");
    // A file-size limit of 512 bytes: the chart's write fails part-way (EFBIG, with SIGXFSZ
    // ignored), while the timeline goes to a pipe, which the limit does not touch.
    const Result r = Run_Sim(Quoted(examples + "default.scenario") + " --svg " + Quoted(svg), "trap '' XFSZ; ulimit -f 1; ");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("chart.svg: cannot write: File too large"), std::string::npos) << r.Err;
    EXPECT_EQ(scratch.Read("chart.svg"), "<svg>the chart of an earlier run</svg>\n") << "half a chart over the old one";
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(fs::path(svg).parent_path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"chart.svg"}) << "a temporary file was left behind";
}

// --- The command line ---

TEST(SimCommandLine, LeniencyIsAnErrorWithAReason)
{
    const std::string scenario = Quoted(examples + "default.scenario");
    const std::string settings = Quoted(examples + "settings.ini");
    const std::pair<std::string, const char*> cases[] = {
        {"--random 1 --length nan", "--length nan is not a number of seconds"},
        {"--random 1 --length inf", "--length inf is not a number of seconds"},
        {"--random -1", "--random takes a seed from 0 to 18446744073709551615, not '-1'"},
        {"--random 18446744073709551616", "not '18446744073709551616'"},
        {"--random 12abc", "not '12abc'"},
        {"--check " + settings + " " + scenario, "--check takes the settings file alone"},
        {"--check " + settings + " --random 1", "--check takes the settings file alone"},
        {"--check " + settings + " --settings " + settings, "--check takes the settings file alone"},
        {"--check " + settings + " --svg x.svg", "--check takes the settings file alone"},
        {"--settings '' " + scenario, "--settings needs a file name"},
        {scenario + " --svg ''", "--svg needs a file name"},
        // Once ignored, while --settings '' was refused.
        {"--random 1 --sweep ''", "--sweep needs KEY=VALUES"},
        // Once called "not a whole number" at the plug-in's own lowest value, and printed the
        // largest double in full for --max-ticks 0.
        {"--random 1 --sweep CheckInterval=-2147483649,1", "-2147483649 is not a whole number from -2147483648 to 2147483647"},
        {"--random 1 --max-ticks 0", "--max-ticks: takes a whole number from 1, not 0 (--help lists the options)"},
    };
    for (const auto& [arguments, why] : cases) {
        const Result r = Run_Sim(arguments);
        EXPECT_EQ(r.Status, 2) << arguments;
        EXPECT_NE(r.Err.find(why), std::string::npos) << arguments << ": " << r.Err;
        EXPECT_TRUE(r.Out.empty()) << arguments;
    }
    EXPECT_EQ(Run_Sim("--random 18446744073709551615 --vehicles 2 --length 5").Status, 0) << "the largest seed";
    EXPECT_EQ(Run_Sim("--random 1 --vehicles 2 --length 5 --sweep CheckInterval=-2147483648,1").Status, 0)
        << "the plug-in's lowest whole number";
    const Result bound = Run_Sim("--random 1 --length 5 --max-ticks 0");
    EXPECT_LT(bound.Err.size(), 120u) << "a short message: " << bound.Err;
}

}  // namespace

namespace {

// A server's global settings file holds other plug-ins' sections: what the stand-in host refuses
// there is a warning, and the plug-in's own sections are still checked, and played.
TEST(SettingsFiles, AGlobalFileIsCheckedForThePluginsOwnSections)
{
    Scratch scratch;
    const std::string global = scratch.Write("global.ini", "[Other_Plugin]\nLongValue = " + std::string(300, 'x') +
                                                               "\n[Veltrask]\nChecksCount = 0\n"
                                                               "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    Result r = Run_Sim("--check " + Quoted(global));
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_NE(r.Out.find("global.ini:2: warning: outside the plug-in's sections"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("global.ini:4: warning: ChecksCount 0 kills"), std::string::npos) << r.Out;

    // What lies before any section, and another plug-in's section however long its name, is not
    // the plug-in's either (both refused the whole file).
    for (const std::string& foreign : {"; " + std::string(250, 'c') + "\n", "[Another_Plugin_" + std::string(40, 'N') + "]\nA = 1\n"}) {
        const std::string path = scratch.Write("foreign.ini", foreign + "[Veltrask]\nChecksCount = 0\n");
        r = Run_Sim("--check " + Quoted(path));
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_NE(r.Out.find("foreign.ini:1: warning: outside the plug-in's sections"), std::string::npos) << r.Out;
        const int line = static_cast<int>(std::count(foreign.begin(), foreign.end(), '\n')) + 2;
        EXPECT_NE(r.Out.find("foreign.ini:" + std::to_string(line) + ": warning: ChecksCount 0 kills"), std::string::npos) << r.Out;
    }
    // Every refusal of another plug-in's section in one run, not the first alone (fix, rerun, per problem).
    const std::string several = scratch.Write("several.ini", "[A]\nX = " + std::string(250, 'x') + "\n[B]\nY = " +
                                                                 std::string(250, 'y') + "\n[Veltrask]\nChecksCount = 3\n"
                                                                                         "[C]\nZ = 1\nZ = 2\n");
    r = Run_Sim("--check " + Quoted(several));
    EXPECT_EQ(r.Status, 1);
    for (const std::string said : {":2: warning: outside the plug-in's sections, the stand-in host refuses this file (line "
                                    "longer than 198 bytes)",
                                    ":4: warning: outside the plug-in's sections, the stand-in host refuses this file (line "
                                    "longer than 198 bytes)",
                                    ":9: warning: outside the plug-in's sections, the stand-in host refuses this file (key 'Z' "
                                    "repeats line 8)"}) {
        EXPECT_NE(r.Out.find(several + said), std::string::npos) << said << "\n" << r.Out;
    }
    EXPECT_NE(r.Out.find("ChecksCount              3            line 6"), std::string::npos) << r.Out;

    // A line that may be meant as one of the plug-in's sections is not another's.
    r = Run_Sim("--check " + Quoted(scratch.Write("broken.ini", "[Veltrask\nChecksCount = 2\n")));
    EXPECT_EQ(r.Status, 2) << r.Out;

    // A fault within the plug-in's own sections still refuses the file.
    const std::string own = scratch.Write("own.ini", "[Veltrask]\nChecksCount = " + std::string(300, '1') + "\n");
    r = Run_Sim("--check " + Quoted(own));
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("veltrask-sim: " + own + ":2: line longer than 198 bytes"), std::string::npos) << r.Err;

    // Played with --settings, the warnings come first, on standard error, and the exempt list holds.
    const std::string scenario = scratch.Write("g.scenario", "length 20\nvehicle D Recon_Drone roll 180\n");
    r = Run_Sim("--json " + Quoted(scenario) + " --settings " + Quoted(global));
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("ChecksCount 0 kills"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out.find("\"damaged\""), std::string::npos) << "the exempt vehicle was killed";
}

// A scenario's settings and reload statements read a file the way --settings, --reload and
// --check do (they refused a whole server file those accept with a warning), and each file once,
// however often it is named: a 16 MiB file reloaded eight times was read, parsed and kept nine
// times over.
TEST(SettingsFiles, OneReadingEverywhereAndEachFileOnce)
{
    Scratch scratch;
    const std::string global = scratch.Write("global.ini", "[Other_Plugin]\nLongValue = " + std::string(300, 'x') +
                                                               "\n[Veltrask]\nChecksCount = 9\n"
                                                               "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n");
    const std::string said = global + ":2: warning: outside the plug-in's sections, the stand-in host refuses this file";
    const std::string scenario = scratch.Write("g.scenario", "settings global.ini\nlength 20\nvehicle D Recon_Drone roll 180\n"
                                                             "at 5 reload global.ini\nat 6 reload global.ini\n");
    for (const std::string& arguments :
         {Quoted(scenario), Quoted(scenario) + " --settings " + Quoted(global),
          "--random 1 --vehicles 5 --length 20 --settings " + Quoted(global) + " --reload 5=" + Quoted(global) +
              " --reload 6=" + Quoted(scratch.Path("./global.ini"))}) {
        const Result r = Run_Sim(arguments);
        EXPECT_EQ(r.Status, 0) << arguments << ": " << r.Err;
        const std::size_t first = r.Err.find(said);
        EXPECT_NE(first, std::string::npos) << arguments << ": " << r.Err;
        EXPECT_EQ(r.Err.find(said, first + 1), std::string::npos) << arguments << ": the file was read more than once";
    }

    // Through the parser: five statements, one reading, one file.
    int readings = 0;
    const sim::SettingsReader reader = [&](const std::string& path) {
        ++readings;
        sim::SettingsCache cache(nullptr);
        return cache.Read(path);
    };
    const text::Expected<sim::Scenario> parsed =
        sim::Load_Scenario(scratch.Write("five.scenario", "settings global.ini\nlength 20\nat 1 reload global.ini\n"
                                                          "at 2 reload global.ini\nat 3 reload global.ini\nat 4 reload global.ini\n"),
                           reader);
    ASSERT_TRUE(parsed) << parsed.Error().Text();
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(parsed->SettingsFiles.size(), 1u);
    EXPECT_EQ(parsed->SettingsFiles.at(0).Ini->Get_Int("Veltrask", "ChecksCount", 0), 9);

    // And the cache: two names of one file are one file, read and warned of once.
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* warnings = open_memstream(&buffer, &size);
    ASSERT_NE(warnings, nullptr);
    {
        sim::SettingsCache cache(warnings);
        fs::create_symlink(global, scratch.Path("link.ini"));
        const auto a = cache.Read(global);
        const auto b = cache.Read(scratch.Path("link.ini"));
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->get(), b->get());
    }
    std::fclose(warnings);
    const std::string written(buffer, size);
    std::free(buffer);
    EXPECT_EQ(written.find(said), 0u) << written;
    EXPECT_EQ(written.find(said, 1), std::string::npos) << written;
}

TEST(SimCommandLine, StandardStreamsAndOnePrefixOnEveryError)
{
    Result r = Run_Sim("--check - < " + Quoted(examples + "settings.ini"));
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("(standard input): no findings\n(standard input): in force once", 0), 0u) << r.Out;
    for (const char* arguments : {"--vehicles 0 --random 1", "--no-such-option", "--check /nonexistent.ini"}) {
        r = Run_Sim(arguments);
        EXPECT_EQ(r.Status, 2) << arguments;
        EXPECT_EQ(r.Err.rfind("veltrask-sim: ", 0), 0u) << arguments << ": " << r.Err;
    }
}

TEST(SimCommandLine, TheProgressBarFitsTheTerminal)
{
    for (int columns = 0; columns <= 200; ++columns) {
        for (double done : {0.0, 0.5, 1.0, 1.5}) {
            const std::string line = sim::Progress_Line(done, done * 1e6, 1e6, columns);
            EXPECT_LT(line.size(), static_cast<std::size_t>(std::max(columns, 1))) << columns << ": " << line;
        }
    }
    EXPECT_EQ(sim::Progress_Line(0.5, 30, 60, 80), "[####################....................]  50%  30 / 60 s of game");
    EXPECT_EQ(sim::Progress_Line(0.5, 30, 60, 40), "[######.......]  50%  30 / 60 s of game") << "a narrower bar";
    EXPECT_EQ(sim::Progress_Line(0.5, 30, 60, 30), " 50%  30 / 60 s of game") << "figures alone";
}

}  // namespace
