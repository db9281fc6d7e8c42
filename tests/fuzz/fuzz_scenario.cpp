#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>
#include <tinyxml2.h>

#include "FuzzTargets.h"
#include "Said.h"
#include "Host.h"
#include "INIClass.h"
#include "Report.h"
#include "Scenario.h"

namespace {

[[noreturn]] void Broken(const std::string& what)
{
    std::fprintf(stderr, "fuzz_scenario: %s\n", what.c_str());
    std::abort();
}

// Plays the scenario into memory and returns what it printed.
std::string Play(const sim::Scenario& scenario, bool json, std::string& svg)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) {
        Broken("no memory stream");
    }
    sim::PlayOptions options;
    options.Json = json;
    options.Chart = true;
    std::string error;
    standin::PluginFile plugin;
    const bool played = test::Said(plugin.Open(VELTRASK_PLUGIN_PATH), error) && sim::Tell_Scenario(scenario, plugin, options, out, stderr, svg);
    std::fclose(out);
    std::string printed(buffer, size);
    std::free(buffer);
    if (!played) {
        Broken("the plug-in did not load: " + error);
    }
    return printed;
}

}  // namespace

int Fuzz_Scenario(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Only one settings file exists, in memory: a fuzzer must not open real files.
    const sim::SettingsReader reader = [](const std::string& path) -> text::Expected<std::shared_ptr<INIClass>> {
        if (path != "fuzz/s.ini") {
            return text::Diagnostic{path, 0, 0, text::Severity::Error, "cannot read"};
        }
        auto ini = std::make_shared<INIClass>();
        if (std::optional<text::Diagnostic> refused = standin::Read_Ini_Text("[Veltrask]\nChecksCount = 2\n", path, *ini)) {
            return *refused;
        }
        return ini;
    };
    text::Expected<sim::Scenario> parsed = sim::Parse_Scenario(text, "fuzz/f.scenario", reader);
    if (!parsed) {
        if (parsed.Error().File != "fuzz/f.scenario" || parsed.Error().Line <= 0) {
            Broken("an error without the file and line: " + parsed.Error().Text());
        }
        return 0;
    }
    sim::Scenario& scenario = *parsed;
    for (std::size_t i = 1; i < scenario.Actions.size(); ++i) {
        if (scenario.Actions[i].Time < scenario.Actions[i - 1].Time || scenario.Actions[i].Time > scenario.Length) {
            Broken("actions out of order or past the end");
        }
    }

    // Whatever parses is played through every output, within a small budget of work: the JSON
    // lines must each be JSON, and the chart must be XML, whatever bytes the names hold.
    sim::Limits small;
    small.MaxTicks = 20000;
    small.MaxVehicleTicks = 200000;
    if (!sim::Within_Limits(static_cast<double>(sim::Ticks_Of(scenario.Length, scenario.Rate)),
                            static_cast<double>(scenario.Actions.size()), 1, small, "fuzz")) {
        return 0;
    }
    std::string svg;
    Play(scenario, false, svg);
    const std::string lines = Play(scenario, true, svg);
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        if (nlohmann::json::parse(lines.substr(start, end - start), nullptr, false).is_discarded()) {
            Broken("a JSON line that is not JSON: " + lines.substr(start, end - start));
        }
        start = end == std::string::npos ? lines.size() : end + 1;
    }
    tinyxml2::XMLDocument chart;
    if (chart.Parse(svg.data(), svg.size()) != tinyxml2::XML_SUCCESS) {
        Broken(std::string("a chart that is not XML: ") + chart.ErrorStr());
    }
    return 0;
}
