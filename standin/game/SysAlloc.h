// Allocation for the stand-in host's own bookkeeping.
//
// The memory manager counts every block of operator new; tests read those counts to prove the
// plug-in returns what it takes. The host's own containers (objects, timers, journal) therefore
// draw on malloc directly, so the counts speak of the plug-in alone.
#pragma once

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace standin {

template <class T> struct SysAlloc
{
    using value_type = T;
    SysAlloc() = default;
    template <class U> SysAlloc(const SysAlloc<U>&) {}

    T* allocate(std::size_t n)
    {
        void* p = std::malloc(n * sizeof(T));
        if (p == nullptr) {
            std::abort();  // the host itself out of memory: nothing sensible remains to do
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { std::free(p); }

    template <class U> bool operator==(const SysAlloc<U>&) const { return true; }
};

template <class T> using SysVector = std::vector<T, SysAlloc<T>>;
using SysString = std::basic_string<char, std::char_traits<char>, SysAlloc<char>>;
struct SysStringHash
{
    using is_transparent = void;  // looks up by any text, without making a SysString of it
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <class K, class V>
using SysMap = std::unordered_map<K, V, std::hash<K>, std::equal_to<K>, SysAlloc<std::pair<const K, V>>>;
template <class V>
using SysStringMap = std::unordered_map<SysString, V, SysStringHash, std::equal_to<SysString>, SysAlloc<std::pair<const SysString, V>>>;

template <class T, class... Args> T* Sys_New(Args&&... args)
{
    void* p = std::malloc(sizeof(T));
    if (p == nullptr) {
        std::abort();
    }
    return new (p) T(static_cast<Args&&>(args)...);
}

template <class T> void Sys_Delete(T* p)
{
    if (p != nullptr) {
        p->~T();
        std::free(p);
    }
}

}  // namespace standin
