#include "Report.h"

#include <fmt/format.h>

#include "Text.h"

namespace sim {

text::Status Tell_Scenario(const Scenario& scenario, const standin::PluginFile& plugin, const PlayOptions& options,
                           std::FILE* out, std::FILE* err, std::string& svg)
{
    const std::string settings =
        scenario.InitialSettings < 0
            ? "none (the plug-in's values at load)"
            : Printable(scenario.SettingsFiles[static_cast<std::size_t>(scenario.InitialSettings)].Path);
    Timeline timeline(out, fmt::format("{}: {:g} s of game at {} ticks/s, settings {}", Printable(scenario.File),
                                       scenario.Length, scenario.Rate, settings));
    JsonLines lines(out);
    Stories stories(scenario.Rate);
    std::vector<Observer*> observers{&stories};
    if (out != nullptr) {
        observers.push_back(options.Json ? static_cast<Observer*>(&lines) : &timeline);
    }
    if (text::Status played = Play_Scenario(scenario, plugin, observers, options.Progress, err); !played) {
        return played;
    }
    if (out != nullptr && !options.Json) {
        stories.Print_Summary(out);
    }
    if (out != nullptr && options.Json) {
        lines.Outcomes(stories, scenario.Rate);
    }
    if (options.Chart) {
        const std::string chart_settings = scenario.InitialSettings < 0
                                               ? std::string("none (the values at load)")
                                               : scenario.SettingsFiles[static_cast<std::size_t>(scenario.InitialSettings)].Path;
        svg = Svg_Chart(stories, File_Name(scenario.File) + ", settings " + File_Name(chart_settings));
    }
    return {};
}

}  // namespace sim
