// The host's hash of an unsigned key, for its hash tables.
#include <cstdint>

#include "HashTemplate.h"

// A 32-bit finaliser: any function of the key alone serves, and this one spreads keys that
// differ in few bits across the whole range.
unsigned int HashTemplateKeyClass<unsigned int>::Get_Hash_Value(const unsigned int& key)
{
    std::uint32_t h = key;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}
