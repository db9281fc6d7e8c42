// How the plug-in's own code is compiled, read from the build's compile commands: in the language
// it ships in, seeing only the host's declarations, its contract and its own folders, with the flags it ships
// with, and only once (the tests link those very objects rather than compiling the code again).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

const std::string source_dir = VELTRASK_SOURCE_DIR;

bool Is_Plugin_Source(const std::string& file)
{
    for (const char* folder : {"/containers/", "/plugin/", "/scripts/", "/library/"}) {
        if (file.rfind(source_dir + folder, 0) == 0) {
            return true;
        }
    }
    return false;
}

// The plug-in's folders are layers, lowest first: each source sees its own folder and those
// below it, never one above, so an include that runs back up does not compile.
const char* const Layers[] = {"/containers", "/plugin", "/scripts", "/library"};

int Layer_Of(const std::string& path)
{
    for (int i = 0; i < 4; ++i) {
        if (path.rfind(source_dir + Layers[i], 0) == 0) {
            return i;
        }
    }
    return -1;
}

bool Layer_Sees(const std::string& file, const std::string& folder)
{
    const int layer = Layer_Of(folder);
    return layer >= 0 && folder == source_dir + Layers[layer] && layer <= Layer_Of(file);
}

std::vector<std::string> Words(const std::string& command)
{
    std::vector<std::string> out;
    std::string word;
    for (char c : command) {
        if (c == ' ') {
            if (!word.empty()) {
                out.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        out.push_back(word);
    }
    return out;
}

bool Has(const std::vector<std::string>& words, const std::string& flag)
{
    for (const std::string& w : words) {
        if (w == flag) {
            return true;
        }
    }
    return false;
}

TEST(PluginBuild, ItsCodeIsCompiledOnceAsItShips)
{
    std::ifstream in(VELTRASK_COMPILE_COMMANDS);
    ASSERT_TRUE(in.good()) << "no " << VELTRASK_COMPILE_COMMANDS;
    const json commands = json::parse(in);
    std::map<std::string, int> compiled;
    for (const json& entry : commands) {
        const std::string file = entry.at("file").get<std::string>();
        if (!Is_Plugin_Source(file)) {
            continue;
        }
        ++compiled[file];
        SCOPED_TRACE(file);
        const std::vector<std::string> words = Words(entry.at("command").get<std::string>());
        EXPECT_TRUE(Has(words, "-std=c++17"));
        for (const char* flag : {"-fno-exceptions", "-fno-rtti", "-fvisibility=hidden", "-ffp-contract=off"}) {
            EXPECT_TRUE(Has(words, flag)) << flag;
        }
        if (sizeof(void*) == 4) {
            EXPECT_TRUE(Has(words, "-msse2") && Has(words, "-mfpmath=sse")) << "x87 excess precision";
        }
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string& w = words[i];
            EXPECT_TRUE(w.rfind("-std=", 0) != 0 || w == "-std=c++17") << w;
            std::string folder;
            if (w.rfind("-I", 0) == 0) {
                folder = w.size() > 2 ? w.substr(2) : (i + 1 < words.size() ? words[i + 1] : "");
            } else if (w == "-isystem" && i + 1 < words.size()) {
                folder = words[i + 1];
            }
            if (!folder.empty()) {
                const bool shared = folder == source_dir + "/host" || folder == source_dir + "/contract";
                EXPECT_TRUE(shared || Layer_Sees(file, folder)) << "the plug-in sees " << folder;
            }
        }
    }
    EXPECT_EQ(compiled.size(), 7u) << "every plug-in source is in the build";
    for (const char* layer : Layers) {
        EXPECT_TRUE(std::any_of(compiled.begin(), compiled.end(),
                                [&](const auto& c) { return c.first.rfind(source_dir + layer + "/", 0) == 0; }))
            << "no source of " << layer;
    }
    for (const auto& [file, times] : compiled) {
        EXPECT_EQ(times, 1) << file << " is compiled more than once";
    }
}

}  // namespace
