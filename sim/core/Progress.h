// A progress bar on standard error for long runs: drawn only on a terminal, only once a run has
// taken more than two seconds, and at most ten times a second.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace sim {

// The bar's line for a terminal `columns` wide: always narrower than that, so it never wraps and
// the carriage return that redraws it goes back to its start. The bar itself is dropped where
// the figures alone fill the line.
std::string Progress_Line(double done, double game_time, double length, int columns);

class Progress
{
public:
    // `enabled`: draw at all (standard error is a terminal); `length`: seconds of game in all.
    Progress(std::FILE* err, bool enabled, double length);
    // Called often; cheap unless it is time to draw.
    void Update(double done, double game_time)
    {
        if (Enabled && (++Calls & 255) == 0) {
            Maybe_Draw(done, game_time);
        }
    }
    // Finishes the bar's line, if one was drawn.
    void Done(double game_time);
    double Seconds() const;

private:
    void Maybe_Draw(double done, double game_time);
    void Draw(double done, double game_time);

    std::FILE* Err;
    bool Enabled;
    double Length;
    unsigned long Calls = 0;
    bool Drawn = false;
    std::chrono::steady_clock::time_point Started;
    std::chrono::steady_clock::time_point LastDrawn;
};

}  // namespace sim
