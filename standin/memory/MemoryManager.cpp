#include "MemoryManager.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace standin::memory {
namespace {

// Precedes every block. Sixteen bytes keep the caller's block aligned as malloc's is.
struct alignas(16) BlockHeader
{
    std::size_t Size;
    int Kind;
    int Magic;
};
constexpr int LiveMagic = 0x5EB10C4;
constexpr int DeadMagic = 0x0DEAD04;

std::atomic<long long> live_blocks{0};
std::atomic<long long> live_bytes{0};
std::atomic<long long> requests{0};
std::atomic<long long> refused{0};

std::atomic<Observer> observer{nullptr};
std::atomic<void*> observer_context{nullptr};
thread_local bool observing = false;

void Tell(bool released, const void* block, std::size_t bytes, Kind kind)
{
    const Observer tell = observer.load(std::memory_order_acquire);
    if (tell == nullptr || observing) {
        return;
    }
    observing = true;
    tell(released, block, bytes, kind, observer_context.load(std::memory_order_acquire));
    observing = false;
}

// Countdown to an armed failure per kind: -1 disarmed, 0 fails the next request.
std::atomic<int> fail_countdown[3] = {-1, -1, -1};

bool Should_Fail(Kind kind)
{
    std::atomic<int>& countdown = fail_countdown[static_cast<int>(kind)];
    int value = countdown.load(std::memory_order_relaxed);
    while (value >= 0) {
        if (countdown.compare_exchange_weak(value, value - 1, std::memory_order_relaxed)) {
            return value == 0;
        }
    }
    return false;
}

void* Allocate(std::size_t size, Kind kind)
{
    requests.fetch_add(1, std::memory_order_relaxed);
    if (size > LargestRequest || Should_Fail(kind)) {
        refused.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    void* raw = std::malloc(sizeof(BlockHeader) + size);
    if (raw == nullptr) {
        refused.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    BlockHeader* header = static_cast<BlockHeader*>(raw);
    header->Size = size;
    header->Kind = static_cast<int>(kind);
    header->Magic = LiveMagic;
    live_blocks.fetch_add(1, std::memory_order_relaxed);
    live_bytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
    Tell(false, header + 1, size, kind);
    return header + 1;
}

[[noreturn]] void Fatal(const char* what, const void* block)
{
    std::fprintf(stderr, "memory manager: %s (block %p)\n", what, block);
    std::abort();
}

void Release(void* block, Kind kind)
{
    if (block == nullptr) {
        return;
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->Magic != LiveMagic) {
        Fatal(header->Magic == DeadMagic ? "block released twice" : "block not from this manager",
              block);
    }
    if (header->Kind != static_cast<int>(kind)) {
        Fatal(kind == Kind::Array ? "delete[] of a block from new" : "delete of a block from new[]",
              block);
    }
    Tell(true, block, header->Size, kind);
    header->Magic = DeadMagic;
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
    live_bytes.fetch_sub(static_cast<long long>(header->Size), std::memory_order_relaxed);
    std::free(header);
}

}  // namespace

Stats Current()
{
    return Stats{live_blocks.load(), live_bytes.load(), requests.load(), refused.load()};
}

void Fail_Request(Kind kind, int skip)
{
    fail_countdown[static_cast<int>(kind)].store(skip < 0 ? 0 : skip);
}

void Observe(Observer tell, void* context)
{
    observer_context.store(context, std::memory_order_release);
    observer.store(tell, std::memory_order_release);
}

void Clear_Failures()
{
    for (std::atomic<int>& countdown : fail_countdown) {
        countdown.store(-1);
    }
}

}  // namespace standin::memory

using standin::memory::Kind;

// The replaceable global allocation functions. They return null instead of throwing: the
// memory manager they stand in for does the same.
HOST_API void* operator new(std::size_t size) { return standin::memory::Allocate(size, Kind::Single); }
HOST_API void* operator new[](std::size_t size) { return standin::memory::Allocate(size, Kind::Array); }
HOST_API void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return standin::memory::Allocate(size, Kind::Single);
}
HOST_API void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return standin::memory::Allocate(size, Kind::Array);
}
HOST_API void operator delete(void* block) noexcept { standin::memory::Release(block, Kind::Single); }
HOST_API void operator delete[](void* block) noexcept { standin::memory::Release(block, Kind::Array); }
HOST_API void operator delete(void* block, std::size_t) noexcept
{
    standin::memory::Release(block, Kind::Single);
}
HOST_API void operator delete[](void* block, std::size_t) noexcept
{
    standin::memory::Release(block, Kind::Array);
}
HOST_API void operator delete(void* block, const std::nothrow_t&) noexcept
{
    standin::memory::Release(block, Kind::Single);
}
HOST_API void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    standin::memory::Release(block, Kind::Array);
}
