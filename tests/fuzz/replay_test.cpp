// Replays every committed fuzz input (seed corpus and regressions) through its target, so an
// input that once broke something keeps being checked in every build. The settings target's
// seeds are the reader's own case files (tests/ini_cases) and the few more in its corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

void Replay(const std::string& name, int (*target)(const std::uint8_t*, std::size_t), std::vector<fs::path> dirs = {})
{
    int replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        dirs.push_back(fs::path(VELTRASK_SOURCE_DIR) / "tests/fuzz" / kind / name);
    }
    for (const fs::path& dir : dirs) {
        if (!fs::exists(dir)) {
            continue;
        }
        for (const auto& file : fs::directory_iterator(dir)) {
            std::ifstream in(file.path(), std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(file.path().string());
            target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no inputs for " << name;
}

TEST(FuzzReplay, Settings) { Replay("ini", Fuzz_Settings, {fs::path(VELTRASK_SOURCE_DIR) / "tests/ini_cases"}); }
TEST(FuzzReplay, Scenario) { Replay("scenario", Fuzz_Scenario); }
TEST(FuzzReplay, Table) { Replay("table", Fuzz_Table); }

}  // namespace
