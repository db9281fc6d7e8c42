// What the simulator's writes do to the paths they are given: a file is replaced whole, a link
// is followed and kept, a pipe or a device is written in place, a folder or one of the run's own
// inputs is refused; and standard output carries one output, whose loss is an error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <tinyxml2.h>

#include "Output.h"
#include "SimSupport.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

const std::string examples = VELTRASK_SOURCE_DIR "/examples/";

std::vector<std::string> Names_In(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Everything a reader of `path` gets until its writer closes it, read on a thread of its own.
class Reader
{
public:
    explicit Reader(std::string path)
        : Thread([this, path] {
              const int fd = ::open(path.c_str(), O_RDONLY);
              char buffer[4096];
              ssize_t n;
              while (fd >= 0 && (n = ::read(fd, buffer, sizeof(buffer))) > 0) {
                  Got.append(buffer, static_cast<std::size_t>(n));
              }
              ::close(fd);
          })
    {
    }
    std::string Wait()
    {
        Thread.join();
        return Got;
    }

private:
    std::string Got;
    std::thread Thread;
};

TEST(SafeWrites, AFileIsReplacedWholeKeepingItsPermissionsAndANewNameIsMade)
{
    Scratch scratch;
    std::string error;
    const std::string fresh = scratch.Path("new.svg");
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(fresh, "fresh\n", {}), error)) << error;
    EXPECT_EQ(scratch.Read("new.svg"), "fresh\n");

    const std::string old = scratch.Write("old.svg", "an older chart, longer than the new one\n");
    ASSERT_EQ(::chmod(old.c_str(), 0640), 0);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(old, "newer\n", {}), error)) << error;
    EXPECT_EQ(scratch.Read("old.svg"), "newer\n");
    struct stat st;
    ASSERT_EQ(::stat(old.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file's permissions were not kept";
    EXPECT_EQ(Names_In(scratch.Path("")), (std::vector<std::string>{"new.svg", "old.svg"})) << "a temporary was left";
}

TEST(SafeWrites, ALinkIsFollowedToItsFileAndStaysALink)
{
    Scratch scratch;
    std::string error;
    scratch.Write("charts/target.svg", "old\n");
    const std::string link = scratch.Path("link.svg");
    ASSERT_EQ(::symlink("charts/target.svg", link.c_str()), 0);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(link, "through the link\n", {}), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced by a file";
    EXPECT_EQ(scratch.Read("charts/target.svg"), "through the link\n");
    EXPECT_EQ(Names_In(scratch.Path("charts")), std::vector<std::string>{"target.svg"}) << "a temporary was left";

    // A link to a name that does not exist yet makes that file.
    const std::string dangling = scratch.Path("dangling.svg");
    ASSERT_EQ(::symlink("charts/later.svg", dangling.c_str()), 0);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(dangling, "made\n", {}), error)) << error;
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(scratch.Read("charts/later.svg"), "made\n");
}

TEST(SafeWrites, PipesAndDevicesAreWrittenInPlaceNeverReplaced)
{
    // The devices are reached through links of the test's own, so that a writer that replaces
    // what it is given replaces a link here, and never the machine's /dev/null.
    Scratch scratch;
    std::string error;
    const std::string null = scratch.Path("null");
    const std::string full = scratch.Path("full");
    ASSERT_EQ(::symlink("/dev/null", null.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(null, "nothing\n", {}), error)) << error;
    EXPECT_TRUE(fs::is_symlink(null) && fs::is_character_file(null)) << "the device was replaced";

    EXPECT_FALSE(test::Said(sim::Write_File_Whole(full, "too much\n", {}), error));
    EXPECT_EQ(error, full + ": cannot write: No space left on device");
    EXPECT_TRUE(fs::is_symlink(full) && fs::is_character_file(full)) << "the device was replaced";

    const std::string fifo = scratch.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Reader reader(fifo);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(fifo, "down the pipe\n", {}), error)) << error;
    EXPECT_EQ(reader.Wait(), "down the pipe\n");
    EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO was replaced";

    // What a shell's >(command) hands over: /dev/fd/N, a link to a pipe.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_TRUE(test::Said(sim::Write_File_Whole("/dev/fd/" + std::to_string(ends[1]), "by number\n", {}), error)) << error;
    ::close(ends[1]);
    char buffer[64] = {};
    EXPECT_EQ(::read(ends[0], buffer, sizeof(buffer) - 1), 10);
    EXPECT_STREQ(buffer, "by number\n");
    ::close(ends[0]);
}

TEST(SafeWrites, AFolderOrOneOfTheRunsInputsIsRefused)
{
    Scratch scratch;
    std::string error;
    scratch.Write("sub/keep", "kept\n");
    EXPECT_FALSE(test::Said(sim::Write_File_Whole(scratch.Path("sub"), "x", {}), error));
    EXPECT_EQ(error, scratch.Path("sub") + ": cannot write: it is a folder");

    const std::string input = scratch.Write("my.scenario", "length 10\n");
    const std::string alias = scratch.Path("alias.svg");
    ASSERT_EQ(::symlink("my.scenario", alias.c_str()), 0);
    for (const std::string& path : {input, alias}) {
        EXPECT_FALSE(test::Said(sim::Write_File_Whole(path, "<svg/>", {"/nonexistent", input}), error)) << path;
        EXPECT_EQ(error, path + ": cannot write: it is one of this run's own inputs");
    }
    EXPECT_EQ(scratch.Read("my.scenario"), "length 10\n");

    EXPECT_FALSE(test::Said(sim::Write_File_Whole(scratch.Path("no/such/folder/chart.svg"), "x", {}), error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(SafeWrites, LinksPlantedUnderTemporaryNamesAreNeverFollowed)
{
    // Temporary names were once the path with ".tmp-PID" added: anyone who could guess the PID
    // could plant a link there and have the chart written into a file of their choosing.
    Scratch scratch;
    const std::string victim = scratch.Write("victim", "not to be touched\n");
    const std::string chart = scratch.Path("chart.svg");
    for (int pid = ::getpid() - 5; pid <= ::getpid() + 5; ++pid) {
        const std::string planted = chart + ".tmp-" + std::to_string(pid);
        ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    }
    std::string error;
    ASSERT_TRUE(test::Said(sim::Write_File_Whole(chart, "<svg/>\n", {}), error)) << error;
    EXPECT_EQ(scratch.Read("victim"), "not to be touched\n");
    EXPECT_EQ(scratch.Read("chart.svg"), "<svg/>\n");
}

TEST(StandardInput, AnUnreadableStandardInputIsAnErrorNotAnEmptyFile)
{
    // Both once read as an empty settings file: "no [Veltrask] section", exit 1.
    for (const char* from : {" <&-", " </"}) {
        const Result r = Run_Sim(std::string("--check -") + from);
        EXPECT_EQ(r.Status, 2) << from;
        EXPECT_NE(r.Err.find("veltrask-sim: (standard input): cannot read: "), std::string::npos) << from << ": " << r.Err;
        EXPECT_EQ(r.Out, "") << from;
    }
}

TEST(StandardOutput, ADashMovesAnOutputThereInPlaceOfTheTimeline)
{
    const std::string scenario = Quoted(examples + "default.scenario");
    const Result r = Run_Sim(scenario + " --svg -");
    ASSERT_EQ(r.Status, 0) << r.Err;
    tinyxml2::XMLDocument chart;
    EXPECT_EQ(chart.Parse(r.Out.c_str(), r.Out.size()), tinyxml2::XML_SUCCESS) << "not the chart alone: " << r.Out.substr(0, 200);

    for (const std::string& arguments : {scenario + " --json --svg -", std::string("--random 1 --length 10 --json --summary-json -"),
                                         std::string("--random 1 --length 10 --svg - --summary-json -")}) {
        const Result refused = Run_Sim(arguments);
        EXPECT_EQ(refused.Status, 2) << arguments;
        EXPECT_TRUE(refused.Out.empty()) << arguments << ": wrote " << refused.Out.size() << " bytes";
        EXPECT_NE(refused.Err.find("standard output carries one output"), std::string::npos) << arguments << ": " << refused.Err;
    }
}

TEST(StandardOutput, ALostOutputIsAnErrorInEveryModeAndAGoneReaderStopsTheRunAtOnce)
{
    const std::string scenario = Quoted(examples + "default.scenario");
    for (const std::string& arguments : {std::string("--help"), std::string("--version"), scenario + " --svg -",
                                         std::string("--random 1 --length 10 --summary-json -")}) {
        for (const auto& [where, why] : {std::pair<const char*, const char*>{" >/dev/full", "No space left on device"},
                                         std::pair<const char*, const char*>{" >&-", "Bad file descriptor"}}) {
            const Result r = Run_Sim(arguments + where);
            EXPECT_EQ(r.Status, 2) << arguments << where;
            // With its reason: a chart or help written in one piece once failed without one.
            EXPECT_NE(r.Err.find(std::string("cannot write the standard output: ") + why), std::string::npos)
                << arguments << where << ": " << r.Err;
        }
    }
    // A reader that takes one byte and goes, with SIGPIPE ignored by whoever started us: a long
    // match stops at the first write that finds it gone, with the reason, not at its end.
    Scratch scratch;
    const std::string status = scratch.Path("status");
    const std::string err = scratch.Path("err");
    Run_Sim("--random 1 --vehicles 500 --length 3600 --json 2>" + Quoted(err) + "; echo $? >" +
                Quoted(status) + "; } | head -c 1 >/dev/null",
            "trap '' PIPE; { ");
    EXPECT_EQ(scratch.Read("status"), "2\n");
    EXPECT_NE(scratch.Read("err").find("cannot write the standard output: its reader went away (broken pipe)"), std::string::npos)
        << scratch.Read("err");
}

}  // namespace
