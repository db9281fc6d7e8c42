// The stand-in host's memory manager: the process's global operator new/delete family.
//
// Every block carries a small header with its size and kind, so the manager can count live
// blocks and bytes (tests prove with these counts that the plug-in gives back everything it
// takes) and can catch a block released through the wrong form of delete.
//
// Like the host's, it answers a request it cannot serve with null rather than an exception:
// the plug-in is built without exceptions. That covers the overflow size of an array (the
// largest size_t), any request of 0xFFFFFFFF bytes or more (more than the host's 32-bit
// address space holds), and requests that a test has asked to fail.
#pragma once

#include <cstddef>

#include "HostApi.h"

namespace standin::memory {

struct Stats
{
    long long LiveBlocks;
    long long LiveBytes;
    long long Requests;
    long long Refused;
};

enum class Kind : int
{
    Single = 1,  // operator new / delete
    Array = 2,   // operator new[] / delete[]
};

HOST_API Stats Current();

// Makes a request of `kind` fail: the one after `skip` further requests of that kind. One
// failure is armed per kind at a time; arming again replaces it.
HOST_API void Fail_Request(Kind kind, int skip = 0);
HOST_API void Clear_Failures();

// Told of every block served and every block released while it is set: `released` says which,
// `block` is the caller's pointer, `bytes` its size. It runs with observation paused, so what it
// allocates or releases itself is not reported. Null stops the reports.
using Observer = void (*)(bool released, const void* block, std::size_t bytes, Kind kind, void* context);
HOST_API void Observe(Observer observer, void* context);

// The largest request served.
constexpr std::size_t LargestRequest = 0xFFFFFFFEu;

}  // namespace standin::memory
