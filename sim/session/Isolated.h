// Playing with a plug-in that may crash, hang or end the process: in a child process, watched.
#pragma once

#include <functional>
#include <string>

namespace sim {

// How a watched match ended: the child's own exit status when it ended by itself outside the
// plug-in; otherwise status 2, and `Fault` says what the plug-in did and at what game time (or
// what kept the match from being played and watched).
struct WatchedEnd
{
    int Status = 0;
    std::string Fault;
};

// Runs `play` in a child process, which notes each call into the plug-in where this one can read
// it, and waits for it. A plug-in that crashes, ends the process from inside a call, or spends
// more than `timeout` seconds in one call into it (the child is then killed) is a fault.
WatchedEnd Run_Isolated(const std::function<int()>& play, double timeout);

}  // namespace sim
