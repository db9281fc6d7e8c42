#include "Output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

// The output a write is going to, for the broken-pipe message; set around each write in place.
const char* volatile Writing_To = "the standard output";

void On_Broken_Pipe(int)
{
    // Only what is safe in a signal handler: write and _exit.
    const char* parts[] = {"veltrask-sim: cannot write ", Writing_To, ": its reader went away (broken pipe)\n"};
    for (const char* part : parts) {
        ssize_t ignored = ::write(STDERR_FILENO, part, std::strlen(part));
        (void)ignored;
    }
    ::_exit(2);
}

std::string Failure(const std::string& path, const std::string& why) { return path + ": cannot write: " + why; }

// The folder part of a path ("." for a bare name) and its last part.
std::string Folder_Of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Follows `path` through symbolic links to the name that is not one (which need not exist).
// False with `error` on a loop or an unreadable link.
bool Follow_Links(const std::string& path, std::string& end, std::string& error)
{
    end = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link;
        if (::lstat(end.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            return true;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(end.c_str(), target, sizeof(target) - 1);
        if (n < 0) {
            error = Failure(path, std::strerror(errno));
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        end = next[0] == '/' ? next : Folder_Of(end) + "/" + next;
    }
    error = Failure(path, "too many levels of symbolic links");
    return false;
}

bool Write_All(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A pipe or a character device: opened as it is and written, nothing replaced.
bool Write_In_Place(const std::string& path, const std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = Failure(path, std::strerror(errno));
        return false;
    }
    Writing_To = path.c_str();
    const bool written = Write_All(fd, text);
    const int write_errno = errno;
    Writing_To = "the standard output";
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = Failure(path, std::strerror(written ? errno : write_errno));
        return false;
    }
    return true;
}

// A regular file or a new name: a temporary beside it, then renamed over it.
bool Write_By_Rename(const std::string& path, const std::string& target, const struct stat* existing,
                     const std::string& text, std::string& error)
{
    const std::string folder = Folder_Of(target);
    std::string name = folder + "/.veltrask-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = Failure(path, std::strerror(errno));
        return false;
    }
    mode_t mode = 0;
    if (existing != nullptr) {
        mode = existing->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool written = ::fchmod(fd, mode) == 0 && Write_All(fd, text) && ::fsync(fd) == 0;
    const int write_errno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = Failure(path, std::strerror(written ? errno : write_errno));
        ::unlink(name.c_str());
        return false;
    }
    if (::rename(name.c_str(), target.c_str()) != 0) {
        error = Failure(path, std::strerror(errno));
        ::unlink(name.c_str());
        return false;
    }
    return true;
}

bool Is_Input(const struct stat& file, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        struct stat seen;
        if (!input.empty() && input != "-" && ::stat(input.c_str(), &seen) == 0 && seen.st_dev == file.st_dev &&
            seen.st_ino == file.st_ino) {
            return true;
        }
    }
    return false;
}

}  // namespace

void Guard_Outputs()
{
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // Opened the wrong way round, so that every read or write fails as on a closed one:
            // standard input for writing, the other two for reading (a directory).
            const int held = fd == STDIN_FILENO ? ::open("/dev/null", O_WRONLY) : ::open("/", O_RDONLY | O_DIRECTORY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = On_Broken_Pipe;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

text::Status Flush_Output(std::FILE* out, const std::string& what)
{
    errno = 0;
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        return text::Failure("cannot write " + what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
    }
    return {};
}

namespace {

bool Write_Whole(const std::string& path, const std::string& text, const std::vector<std::string>& inputs, std::string& error)
{
    if (path == "-") {
        // What is already buffered goes first; then the text itself, so that a failure keeps its
        // reason (a stream that failed while buffering keeps only that it failed).
        if (const text::Status flushed = Flush_Output(stdout, "the standard output"); !flushed) {
            error = flushed.Error().Message;
            return false;
        }
        if (!Write_All(STDOUT_FILENO, text)) {
            error = std::string("cannot write the standard output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    struct stat file;
    if (::stat(path.c_str(), &file) == 0) {
        if (S_ISFIFO(file.st_mode) || S_ISCHR(file.st_mode)) {
            return Write_In_Place(path, text, error);
        }
        if (S_ISDIR(file.st_mode)) {
            error = Failure(path, "it is a folder");
            return false;
        }
        if (!S_ISREG(file.st_mode)) {
            error = Failure(path, "it is neither a file, a pipe nor a character device");
            return false;
        }
        if (Is_Input(file, inputs)) {
            error = Failure(path, "it is one of this run's own inputs");
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) {
            error = Failure(path, std::strerror(errno));
            return false;
        }
    } else if (errno != ENOENT) {
        error = Failure(path, std::strerror(errno));
        return false;
    }
    // A new name or a regular file, perhaps at the end of links: replaced there, the links kept.
    std::string target;
    if (!Follow_Links(path, target, error)) {
        return false;
    }
    const bool exists = ::stat(target.c_str(), &file) == 0;
    return Write_By_Rename(path, target, exists ? &file : nullptr, text, error);
}

}  // namespace

text::Status Write_File_Whole(const std::string& path, const std::string& text, const std::vector<std::string>& inputs)
{
    std::string error;
    if (!Write_Whole(path, text, inputs, error)) {
        return text::Failure(error);
    }
    return {};
}

}  // namespace sim
