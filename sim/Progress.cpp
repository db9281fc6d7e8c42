#include "Progress.h"

#include <string>

namespace sim {

Progress::Progress(std::FILE* err, bool enabled, double length)
    : Err(err), Enabled(enabled), Length(length), Started(std::chrono::steady_clock::now()), LastDrawn(Started)
{
}

void Progress::Maybe_Draw(double done, double game_time)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - Started > std::chrono::seconds(2) && now - LastDrawn > std::chrono::milliseconds(100)) {
        Draw(done, game_time);
        LastDrawn = now;
    }
}

void Progress::Draw(double done, double game_time)
{
    const int width = 40;
    const int filled = static_cast<int>(done * width);
    std::fprintf(Err, "\r[%s%s] %3.0f%%  %.0f / %.0f s of game", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(width - filled), '.').c_str(), done * 100, game_time, Length);
    std::fflush(Err);
    Drawn = true;
}

void Progress::Done(double game_time)
{
    if (Drawn) {
        Draw(1.0, game_time);
        std::fputc('\n', Err);
    }
}

double Progress::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
}

}  // namespace sim
