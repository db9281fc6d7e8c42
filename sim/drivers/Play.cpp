#include "Play.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <fmt/format.h>

#include "Contract.h"
#include "INIClass.h"
#include "Match.h"
#include "StringClass.h"
#include "StringHashTable.h"
#include "Progress.h"

namespace sim {

std::int64_t Longest_List_Chain(const std::vector<const INIClass*>& settings)
{
    std::int64_t longest = 0;
    for (const char* section : {DONT_FLIP_KILL_SECTION, ROTATE_UPWARDS_SECTION}) {
        std::unordered_map<unsigned int, std::int64_t> chains;  // names inserted, by hash
        for (const INIClass* ini : settings) {
            if (ini != nullptr) {
                For_Each_Listed<StringClass>(*ini, section, [&](const StringClass& name) {
                    longest = std::max(longest, ++chains[StringHashTableClass::Get_Key_Hash(name)]);
                });
            }
        }
    }
    return longest;
}

text::Status Within_Limits(double ticks, double objects, std::int64_t chain, const Limits& limits, const std::string& what)
{
    if (ticks > static_cast<double>(limits.MaxTicks)) {
        return text::Failure(fmt::format("{} would take {:.0f} ticks, more than the {} that --max-ticks allows; raise --max-ticks to "
                            "play it anyway",
                            what, ticks, limits.MaxTicks));
    }
    const double vehicle_ticks = ticks * std::max(objects, 1.0);
    if (vehicle_ticks > static_cast<double>(limits.MaxVehicleTicks)) {
        return text::Failure(fmt::format("{} would take {:.3g} vehicle-ticks ({:.0f} ticks with {:.0f} objects), more than the {:.3g} that "
                            "--max-vehicle-ticks allows; raise --max-vehicle-ticks to play it anyway",
                            what, vehicle_ticks, ticks, objects, static_cast<double>(limits.MaxVehicleTicks)));
    }
    // At most every object flipped and looked up in both lists on every tick.
    const double steps = vehicle_ticks * 2.0 * static_cast<double>(std::max<std::int64_t>(chain, 1));
    if (steps > static_cast<double>(limits.MaxListSteps)) {
        return text::Failure(fmt::format("{} could take {:.3g} steps along the plug-in's preset lists ({:.3g} vehicle-ticks, each looked up "
                            "along a chain of up to {} listed names that share one hash: names of eight characters or "
                            "more alike in the four before their last four, or one list handed over many times), more "
                            "than the {:.3g} that --max-list-steps allows; raise --max-list-steps to play it anyway",
                            what, steps, vehicle_ticks, chain, static_cast<double>(limits.MaxListSteps)));
    }
    return {};
}

namespace {

// Plays one action. The scenario's checks refuse an action on an object the scenario itself
// removed; one the plug-in killed is gone by the time the action comes, which the outputs say.
void Apply(Match& match, const Scenario& scenario, const Action& a)
{
    const auto done = [&](bool acted, Happened what) {
        if (!acted) {
            match.Tell_Skipped(what, a.Name);
        }
    };
    switch (a.Kind) {
    case ActionKind::SpawnObject: match.Spawn(a.Object); break;
    case ActionKind::Flip: done(match.Set_Pose(a.Name, a.Pose), Happened::Flip); break;
    case ActionKind::Upright: done(match.Upright(a.Name), Happened::Upright); break;
    case ActionKind::Destroy: done(match.Destroy(a.Name), Happened::Destroy); break;
    case ActionKind::Invulnerable: done(match.Make_Invulnerable(a.Name), Happened::Invulnerable); break;
    case ActionKind::Reload: {
        const SettingsFile& file = scenario.SettingsFiles[static_cast<std::size_t>(a.Settings)];
        match.Apply_Settings(*file.Ini, file.Path, true);
        break;
    }
    case ActionKind::LevelLoad: match.Level_Load(); break;
    }
}

}  // namespace

text::Status Play_Scenario(const Scenario& scenario, const standin::PluginFile& plugin, const std::vector<Observer*>& observers,
                           bool progress_bar, std::FILE* err)
{
    Match match(scenario.Rate);
    for (Observer* observer : observers) {
        match.Observe(observer);
    }
    if (text::Status loaded = match.Load_Plugin(plugin); !loaded) {
        return loaded;
    }
    if (scenario.InitialSettings >= 0) {
        const SettingsFile& file = scenario.SettingsFiles[static_cast<std::size_t>(scenario.InitialSettings)];
        match.Apply_Settings(*file.Ini, file.Path, false);
    }
    match.Level_Load();

    Progress progress(err, progress_bar, scenario.Length);
    std::size_t next = 0;
    match.Run(Ticks_Of(scenario.Length, scenario.Rate), progress, [&](bool) {
        for (; next < scenario.Actions.size() && scenario.Actions[next].Tick <= match.Ticks(); ++next) {
            Apply(match, scenario, scenario.Actions[next]);
        }
    });
    match.Finish();
    return {};
}

}  // namespace sim
