// The host's string type.
//
// A StringClass is one pointer to the first character of a NUL-terminated buffer of 8-bit
// characters. A buffer of the string's own carries, directly before its first character, a
// signed 32-bit cached length: the number of characters before the NUL, or 0 while it has not
// been measured. Strings without a buffer of their own share m_EmptyString, which has no length
// word.
//
// The buffer management (Get_String, Uninitialised_Grow, Free_String) belongs to the host's
// string library; construction, length and copying below are compiled into each user.
#pragma once

#include <cstdint>
#include <cstring>

#include "HostApi.h"

// Only the host library's own operations carry HOST_API: the inline ones are compiled into each
// user and are no export of the host's (on the host's platform, a class-wide import would have
// the plug-in call them, and the private helpers, in the host's DLL).
class StringClass
{
public:
    // Empty, on the shared empty buffer.
    StringClass() : Buffer(m_EmptyString)
    {
        Get_String(0, false);
        Buffer[0] = m_NullChar;
    }

    // A copy of `text`; a null `text` gives the empty string.
    StringClass(const char* text) : Buffer(m_EmptyString)
    {
        if (text == nullptr) {
            return;
        }
        const int n = static_cast<int>(std::strlen(text));
        if (n > 0) {
            Get_String(n + 1, false);
        }
        Uninitialised_Grow(n + 1);
        Store(text, n);
    }

    StringClass(const StringClass& other) : StringClass() { *this = other; }

    ~StringClass() { Free_String(); }

    // Copy of contents. Copying a string onto itself leaves it as it is (growing first could
    // release the very text about to be copied).
    StringClass& operator=(const StringClass& other)
    {
        if (this == &other) {
            return *this;
        }
        const int n = other.Get_Length();
        Uninitialised_Grow(n + 1);
        Store(other.Buffer, n);
        return *this;
    }

    // Number of characters before the NUL. Measures and caches it on first use, also on a
    // string passed read-only: the cache lives in the buffer, not in this object.
    int Get_Length() const
    {
        if (Buffer == m_EmptyString) {
            return 0;
        }
        int n = Length_Word();
        if (n == 0) {
            n = static_cast<int>(std::strlen(Buffer));
            Set_Length_Word(n);
        }
        return n;
    }

    const char* Peek_Buffer() const { return Buffer; }
    operator const char*() const { return Buffer; }

    // --- The host string library's own operations ---

    // Afterwards the buffer is m_EmptyString or one of the string's own with room for
    // `length` bytes (at least one); either way its first byte can take a NUL.
    HOST_API char* Get_String(int length, bool is_temp);
    // Afterwards the buffer has room for `length` bytes; old contents need not survive. For a
    // length above 1 it is a buffer of the string's own, with its length word.
    HOST_API void Uninitialised_Grow(int length);
    // Releases a buffer of the string's own; leaves the shared empty buffer alone.
    HOST_API void Free_String();

    HOST_API static char*& m_EmptyString;
    HOST_API static char& m_NullChar;

private:
    int Length_Word() const
    {
        std::int32_t n;
        std::memcpy(&n, Buffer - sizeof(n), sizeof(n));
        return n;
    }
    void Set_Length_Word(int n) const
    {
        const std::int32_t word = n;
        std::memcpy(Buffer - sizeof(word), &word, sizeof(word));
    }

    // Writes `n` characters and the NUL after a grow. Should the host have left the shared
    // empty buffer in place (it had no memory for more), only the NUL is written there: the
    // shared buffer has room for nothing else, and the string reads as empty.
    void Store(const char* text, int n)
    {
        if (Buffer == m_EmptyString) {
            Buffer[0] = m_NullChar;
            return;
        }
        Set_Length_Word(n);
        std::memcpy(Buffer, text, static_cast<std::size_t>(n));
        Buffer[n] = m_NullChar;
    }

    char* Buffer;
};
