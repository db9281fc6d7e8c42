#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTargets.h"
#include "Host.h"
#include "Scenario.h"

int Fuzz_Scenario(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Only one settings file exists, in memory: a fuzzer must not open real files.
    const sim::SettingsReader reader = [](const std::string& path, INIClass& ini, std::string& error) {
        if (path != "fuzz/s.ini") {
            error = path + ": cannot read";
            return false;
        }
        return standin::Load_Ini_Text("[Veltrask]\nChecksCount = 2\n", path, ini, error);
    };
    sim::Scenario scenario;
    std::string error;
    if (!sim::Parse_Scenario(text, "fuzz/f.scenario", scenario, error, reader)) {
        if (error.rfind("fuzz/f.scenario:", 0) != 0) {
            std::fprintf(stderr, "fuzz_scenario: an error without the file: %s\n", error.c_str());
            std::abort();
        }
        return 0;
    }
    for (std::size_t i = 1; i < scenario.Actions.size(); ++i) {
        if (scenario.Actions[i].Time < scenario.Actions[i - 1].Time || scenario.Actions[i].Time > scenario.Length) {
            std::fprintf(stderr, "fuzz_scenario: actions out of order or past the end\n");
            std::abort();
        }
    }
    return 0;
}
