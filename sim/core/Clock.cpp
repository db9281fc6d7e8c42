#include "Clock.h"

#include <algorithm>
#include <cmath>

namespace sim {

std::int64_t Ticks_Of(double length, int rate)
{
    return static_cast<std::int64_t>(std::llround(length * rate));
}

std::int64_t Due_Tick(double seconds, int rate)
{
    auto due = [&](std::int64_t tick) { return seconds <= static_cast<double>(tick) / rate + 1e-9; };
    // From just below the nearest tick, up to the first that is due.
    std::int64_t tick = std::max<std::int64_t>(static_cast<std::int64_t>(std::floor(seconds * rate)) - 1, 0);
    while (!due(tick)) {
        ++tick;
    }
    while (tick > 0 && due(tick - 1)) {
        --tick;
    }
    return tick;
}

}  // namespace sim
