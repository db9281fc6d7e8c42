// Allocation through the host's memory manager.
//
// The host's memory manager provides the global operator new/delete family. The plug-in is
// built without exceptions and the host answers a request it cannot serve with null, but a
// compiler is entitled to assume that operator new never yields null and to drop the check
// that follows it (clang does, even for a direct call of the operator function). Every
// allocation site of the plug-in therefore goes through these helpers, which pass the pointer
// through a volatile, whose value no compiler may assume; the plug-in's build also keeps null
// checks after operator new (-fcheck-new on g++, -fno-delete-null-pointer-checks on clang).
#pragma once

#include <cstddef>
#include <new>

// One block of `bytes` bytes from the host's operator new, or null when it has none.
inline void* Host_Allocate(std::size_t bytes)
{
    void* volatile block = ::operator new(bytes);
    return block;
}

// One array block from the host's operator new[], or null when it has none.
inline void* Host_Allocate_Array(std::size_t bytes)
{
    void* volatile block = ::operator new[](bytes);
    return block;
}

// Returns an array block from Host_Allocate_Array; null does nothing.
inline void Host_Free_Array(void* block) { ::operator delete[](block); }

// The size in bytes of `count` objects of `each` bytes. A size that does not fit in size_t is
// requested as the largest size_t instead, so the allocation fails rather than yielding a
// short block.
inline std::size_t Host_Array_Bytes(std::size_t count, std::size_t each)
{
    const std::size_t largest = static_cast<std::size_t>(-1);
    return count > largest / each ? largest : count * each;
}
