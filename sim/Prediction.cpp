#include "Prediction.h"

#include <cmath>
#include <cstring>

#include "Contract.h"

namespace sim {

void Prediction::On(const Happening& h)
{
    const std::string event = h.Event;
    if (event == "settings" || event == "reload") {
        Settings.Apply(*h.Ini);
        Changes.push_back({h.Tick, false, Settings.CheckInterval});
        return;
    }
    if (event == "level-load") {
        Changes.push_back({h.Tick, true, 0});
        FlippedNow.clear();
        return;
    }
    if (h.Object == nullptr) {
        return;
    }
    const double origin[3] = {0, 0, 0};
    if (event == "spawn" || event == "flip") {
        FlippedNow[h.Object->Id] = Reads_Flipped(Transform_Of(*h.Pose, origin));
    } else if (event == "upright") {
        FlippedNow[h.Object->Id] = false;
    } else if (h.Entry != nullptr && h.Entry->What == standin::Event::TransformSet) {
        FlippedNow[h.Object->Id] = Reads_Flipped(h.Entry->Transform);
    } else if (h.Entry != nullptr && h.Entry->What == standin::Event::Destroyed) {
        FlippedNow.erase(h.Object->Id);
    }
}

bool Prediction::Flipped(int object) const
{
    const auto found = FlippedNow.find(object);
    return found != FlippedNow.end() && found->second;
}

bool Prediction::Left_Alone(const ObjectInfo& object) const
{
    return !object.IsVehicle || object.Mode == ExemptVehicleMode || Settings.Is_Exempt(object.Preset);
}

std::vector<std::int64_t> Prediction::Scan_Ticks() const
{
    std::vector<std::int64_t> scans;
    int interval = CheckIntervalAtLoad;
    std::int64_t level_start = 0;
    long long last = 0;
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
        if (clock >= last + interval) {
            last = clock;
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
