// Text files as every reader here takes them: one way to read a file (its size capped, "-" for
// standard input), one way to split it into lines, and one kind of finding about a place in it.
// The INI reader, the settings check and the scenario parser all use these; only the program's
// edge prints a finding.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace text {

enum class Severity
{
    Error,
    Warning,
};

// A finding about a place in a text: the file as shown to the reader, the line and column
// (0 where not known: the finding is about the whole file, or the whole line), and what.
struct Diagnostic
{
    std::string File;
    int Line = 0;
    int Column = 0;
    Severity Level = Severity::Error;
    std::string Message;

    // "FILE:LINE: message", "FILE: message" for the whole file, or the message alone for what
    // concerns no file (a command-line option, say).
    std::string Text() const
    {
        return File.empty() ? Message : Line > 0 ? File + ":" + std::to_string(Line) + ": " + Message : File + ": " + Message;
    }
};

// A finding that concerns no file.
inline Diagnostic Failure(std::string message) { return Diagnostic{std::string(), 0, 0, Severity::Error, std::move(message)}; }

// Done, or the finding that says why not.
class Status
{
public:
    Status() = default;
    Status(Diagnostic failure) : Failure(std::move(failure)) {}

    explicit operator bool() const { return !Failure.has_value(); }
    // The finding; only of a status that failed.
    const Diagnostic& Error() const { return *Failure; }

private:
    std::optional<Diagnostic> Failure;
};

// A value, or the finding that says why there is none.
template <class T> class Expected
{
public:
    Expected(T value) : Value(std::move(value)) {}
    Expected(Diagnostic failure) : Failure(std::move(failure)) {}

    explicit operator bool() const { return Value.has_value(); }
    T& operator*() { return *Value; }
    const T& operator*() const { return *Value; }
    T* operator->() { return &*Value; }
    const T* operator->() const { return &*Value; }
    const Diagnostic& Error() const { return Failure; }

private:
    std::optional<T> Value;
    Diagnostic Failure;
};

// Files larger than this are refused: every text here is a few kilobytes written by a person.
constexpr std::size_t MaxFileBytes = 16u << 20;

// How a path is named in findings: "-" is standard input.
inline std::string Shown_Name(const std::string& path) { return path == "-" ? "(standard input)" : path; }

// Reads `path` ("-": standard input) whole. A folder, a read that fails, or more than `limit`
// bytes is a finding about the whole file.
inline Expected<std::string> Read_Text_File(const std::string& path, std::size_t limit = MaxFileBytes)
{
    const std::string shown = Shown_Name(path);
    auto failure = [&](const std::string& what) { return Diagnostic{shown, 0, 0, Severity::Error, what}; };
    const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return failure(std::string("cannot read: ") + std::strerror(errno));
    }
    std::string text;
    std::optional<Diagnostic> fault;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        fault = failure(std::string("cannot read: ") + std::strerror(EISDIR));
    }
    char chunk[65536];
    while (!fault) {
        const ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fault = failure(std::string("cannot read: ") + std::strerror(errno));
        } else if (n == 0) {
            break;
        } else if (text.append(chunk, static_cast<std::size_t>(n)).size() > limit) {
            fault = failure("larger than " + std::to_string(limit >> 20) + " MiB");
        }
    }
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    if (fault) {
        return *fault;
    }
    return text;
}

// Where the text proper begins: after a UTF-8 byte-order mark, as some editors write one.
inline std::size_t After_Byte_Order_Mark(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; }

// Calls `each(number, line)` for every line of `text`, numbered from 1, without its end: a line
// ends at LF, CRLF or a lone CR, mixed freely, and the last one needs no end. `each` returns
// false to stop there.
template <class Each> void For_Each_Line(std::string_view text, Each&& each)
{
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (!each(++number, text.substr(start, end - start))) {
            return;
        }
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
}

}  // namespace text
