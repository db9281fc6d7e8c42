// The stand-in host's string library: StringClass buffers from the memory manager.
//
// A buffer of a string's own is one array block laid out as
//   [int32 capacity][int32 cached length][characters ... NUL]
// with the string pointing at the first character, so the cached length sits directly before
// it, where the inline operations in StringClass.h expect it.
#include "StringClass.h"

#include "HostMemory.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

// The shared buffer of every string without one of its own. Strings write at most a NUL into
// its first byte, so it stays the empty text.
char empty_buffer[4] = {0, 0, 0, 0};
char* empty_pointer = empty_buffer;
char null_char = 0;

constexpr std::size_t HeaderBytes = 2 * sizeof(std::int32_t);

char* Header_Of(char* buffer) { return buffer - HeaderBytes; }

std::int32_t Capacity_Of(char* buffer)
{
    std::int32_t capacity;
    std::memcpy(&capacity, Header_Of(buffer), sizeof(capacity));
    return capacity;
}

// A fresh buffer with room for `length` bytes, its cached length 0 and text empty; null when
// the memory manager has none.
char* New_Buffer(int length)
{
    if (length < 1 || static_cast<std::size_t>(length) > 0x7FFFFFF0u - HeaderBytes) {
        return nullptr;
    }
    // Round up a little so short strings that grow by a character do not reallocate.
    std::int32_t capacity = (length + 15) & ~15;
    char* block = static_cast<char*>(Host_Allocate_Array(HeaderBytes + static_cast<std::size_t>(capacity)));
    if (block == nullptr) {
        return nullptr;
    }
    const std::int32_t zero = 0;
    std::memcpy(block, &capacity, sizeof(capacity));
    std::memcpy(block + sizeof(capacity), &zero, sizeof(zero));
    char* buffer = block + HeaderBytes;
    buffer[0] = '\0';
    return buffer;
}

}  // namespace

char*& StringClass::m_EmptyString = empty_pointer;
char& StringClass::m_NullChar = null_char;

char* StringClass::Get_String(int length, bool /*is_temp*/)
{
    Uninitialised_Grow(length);
    return Buffer;
}

void StringClass::Uninitialised_Grow(int length)
{
    if (length <= 1) {
        return;  // any buffer, the shared empty one included, has room for a NUL
    }
    if (Buffer != m_EmptyString && Capacity_Of(Buffer) >= length) {
        return;
    }
    char* grown = New_Buffer(length);
    Free_String();
    // Without memory the string falls back to the shared empty buffer; writers check for it.
    Buffer = grown != nullptr ? grown : m_EmptyString;
}

void StringClass::Free_String()
{
    if (Buffer != m_EmptyString) {
        Host_Free_Array(Header_Of(Buffer));
        Buffer = m_EmptyString;
    }
}
