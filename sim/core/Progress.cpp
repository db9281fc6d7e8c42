#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace sim {

namespace {

// The width of the terminal behind `file`, or 80 when it does not say.
int Terminal_Columns(std::FILE* file)
{
    winsize size{};
    if (ioctl(fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

std::string Progress_Line(double done, double game_time, double length, int columns)
{
    done = std::clamp(done, 0.0, 1.0);
    const std::string figures = fmt::format("{:3.0f}%  {:.0f} / {:.0f} s of game", done * 100, game_time, length);
    // One column is kept free: a line that fills the last one wraps on some terminals.
    const int room = columns - 1 - static_cast<int>(figures.size());
    const int width = std::min(40, room - 3);  // "[", "] " around the bar
    if (width < 5) {
        return figures.substr(0, static_cast<std::size_t>(std::max(columns - 1, 0)));
    }
    // Built in place: g++ -O3 sees through a chain of temporaries to a false -Wrestrict.
    const auto filled = static_cast<std::size_t>(std::floor(done * width));
    std::string line;
    line.reserve(static_cast<std::size_t>(width) + 3 + figures.size());
    line += '[';
    line.append(filled, '#');
    line.append(static_cast<std::size_t>(width) - filled, '.');
    line += "] ";
    line += figures;
    return line;
}

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
    // Asked each time: the terminal may have been resized since the last line.
    std::fprintf(Err, "\r%s\033[K", Progress_Line(done, game_time, Length, Terminal_Columns(Err)).c_str());
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
