#include "Prediction.h"

#include <cmath>

#include "Contract.h"

namespace sim {

void Prediction::On(const Happening& h)
{
    if (h.What() == Happened::Settings || h.What() == Happened::Reload) {
        Held = h.Held();
        Changes.push_back({h.Tick, false, Held->Values().CheckInterval});
        return;
    }
    if (h.What() == Happened::LevelLoad) {
        Changes.push_back({h.Tick, true, 0});
    }
}

bool Prediction::Left_Alone(const ObjectInfo& object) const
{
    return !object.IsVehicle || !Is_Scanned_Mode(object.Mode) || Settings().Treatment_Of(object.Preset) == Treatment::LeftAlone;
}

std::vector<std::int64_t> Prediction::Scan_Ticks() const
{
    std::vector<std::int64_t> scans;
    int interval = SettingsAtLoad.CheckInterval;
    std::int64_t level_start = 0;
    int last = 0;  // as the plug-in keeps it
    std::size_t next = 0;
    const auto ticks = static_cast<std::int64_t>(std::llround(End * Rate));
    for (std::int64_t k = 1; k <= ticks; ++k) {
        for (; next < Changes.size() && Changes[next].Tick < k; ++next) {
            if (Changes[next].LevelLoad) {
                level_start = Changes[next].Tick;
                last = 0;
            } else {
                interval = Changes[next].CheckInterval;
            }
        }
        const long long clock = (k - level_start) / Rate;
        if (Is_Scan_Due(clock, interval, last)) {
            last = static_cast<int>(clock);
            scans.push_back(k);
        }
    }
    return scans;
}

std::vector<double> Prediction::Scan_Times() const
{
    std::vector<double> times;
    for (std::int64_t tick : Scan_Ticks()) {
        times.push_back(static_cast<double>(tick) / Rate);
    }
    return times;
}

}  // namespace sim
