// Watching the plug-in: the host notes each call into it, where a watcher in another process
// can read what it was doing when it crashed, hung or ended the process.
#pragma once

#include <atomic>
#include <cstdint>

#include "HostApi.h"

namespace standin {

// Where the host notes each call into the plug-in as it begins and ends. Placed in memory that a
// watcher in another process shares, it outlives a plug-in that crashes, hangs or ends the
// process, and says what the plug-in was doing and when.
struct PluginCallNote
{
    std::atomic<std::uint32_t> Began{0};  // calls begun so far
    std::atomic<std::int32_t> Depth{0};   // calls under way (the plug-in may call the host, which calls it again)
    // The outermost call under way, or the last one: what the host asked, and the game then.
    char What[48] = {};
    bool Running = false;  // whether a game was running
    double Time = 0;       // game seconds
};

// Notes every call into the plug-in in `note` from now on (null: nowhere).
HOST_API void Note_Plugin_Calls(PluginCallNote* note);

}  // namespace standin
