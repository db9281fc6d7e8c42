#include "Isolated.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <fmt/format.h>

#include "Host.h"
#include "PluginLoader.h"

namespace sim {
namespace {

// What the plug-in was doing, from the note it left: "in Tick, at game time 3.467 s".
std::string Doing(const standin::PluginCallNote& note)
{
    if (note.Began.load() == 0) {
        return "before the host ever called it";
    }
    const std::string when = note.Running ? fmt::format("at game time {:.3f} s", note.Time) : "before the game began";
    return fmt::format("in {}, {}", note.What, when);
}

std::string Signal_Text(int signal)
{
    const char* name = strsignal(signal);
    return fmt::format("signal {}, {}", signal, name != nullptr ? name : "unknown");
}

// What to say of a child that ended with `status`, given the note; empty when it ended by itself
// outside the plug-in.
std::string Verdict(int status, const standin::PluginCallNote& note)
{
    const bool inside = note.Depth.load() > 0;
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (!inside) {
            return fmt::format("the match stopped on {} outside any call into the plug-in; its last call was {}",
                               Signal_Text(signal), Doing(note).substr(3));
        }
        const char* what = signal == SIGABRT ? "aborted" : (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL ||
                                                            signal == SIGFPE) ? "crashed" : "was stopped";
        return fmt::format("the plug-in {} ({}) {}", what, Signal_Text(signal), Doing(note));
    }
    if (inside) {
        return fmt::format("the plug-in ended the process (exit status {}) {}", WEXITSTATUS(status), Doing(note));
    }
    return std::string();
}

}  // namespace

WatchedEnd Run_Isolated(const std::function<int()>& play, double timeout)
{
    void* shared = mmap(nullptr, sizeof(standin::PluginCallNote), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        return {2, std::string("cannot set up the plug-in's watch: ") + std::strerror(errno)};
    }
    auto* note = new (shared) standin::PluginCallNote();
    // The child's end is heard at once, not at the next look.
    sigset_t child_ended;
    sigemptyset(&child_ended);
    sigaddset(&child_ended, SIGCHLD);
    sigset_t before;
    sigprocmask(SIG_BLOCK, &child_ended, &before);
    std::fflush(nullptr);  // nothing buffered here is written twice
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        return {2, std::string("cannot start the match: ") + std::strerror(errno)};
    }
    if (child == 0) {
        sigprocmask(SIG_SETMASK, &before, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never left running alone
        if (getppid() != parent) {
            _exit(2);
        }
        standin::Note_Plugin_Calls(note);
        const int status = play();
        standin::Note_Plugin_Calls(nullptr);
        std::exit(status);
    }
    using Clock = std::chrono::steady_clock;
    std::uint32_t seen = note->Began.load();
    Clock::time_point since = Clock::now();
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            break;
        }
        if (ended < 0 && errno != EINTR) {
            return {2, std::string("lost the match: ") + std::strerror(errno)};
        }
        const std::uint32_t began = note->Began.load();
        if (began != seen || note->Depth.load() == 0) {
            seen = began;
            since = Clock::now();
        } else if (std::chrono::duration<double>(Clock::now() - since).count() > timeout) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return {2, fmt::format("the plug-in spent more than {:g} s {}: stopped it (--plugin-timeout gives it longer)",
                                   timeout, Doing(*note))};
        }
        const timespec wait{0, 50 * 1000 * 1000};
        sigtimedwait(&child_ended, nullptr, &wait);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    const std::string verdict = Verdict(status, *note);
    if (!verdict.empty()) {
        return {2, verdict};
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 2, std::string()};
}

}  // namespace sim
