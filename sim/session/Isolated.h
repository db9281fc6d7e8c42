// Playing with a plug-in that may crash, hang or end the process: in a child process, watched.
#pragma once

#include <cstdio>
#include <functional>

namespace sim {

// Runs `play` in a child process, which notes each call into the plug-in where this one can read
// it, and waits for it. Returns the child's own exit status when it ended by itself outside the
// plug-in; 2, with what the plug-in did and at what game time said on `err`, when it crashed,
// ended the process from inside the plug-in, or spent more than `timeout` seconds in one call
// into it (the child is then killed).
int Run_Isolated(const std::function<int()>& play, double timeout, std::FILE* err);

}  // namespace sim
