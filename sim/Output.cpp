#include "Output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

bool Flush_Output(std::FILE* out, const std::string& what, std::string& error)
{
    errno = 0;
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        error = "cannot write " + what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

bool Write_File_Whole(const std::string& path, const std::string& text, std::string& error)
{
    if (path == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return Flush_Output(stdout, "the standard output", error);
    }
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0 &&
                         ::fsync(::fileno(file)) == 0;
    const int write_errno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        error = path + ": cannot write: " + std::strerror(written ? errno : write_errno);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot write: " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace sim
