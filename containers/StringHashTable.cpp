#include "StringHashTable.h"

#include <cstring>
#include <new>

#include "HashTemplate.h"
#include "HostMemory.h"

namespace {

// Releases the keys of `count` slots, last to first, then the slot array.
void Release_Slots(StringHashEntry* entries, unsigned int count)
{
    if (entries == nullptr) {
        return;
    }
    for (unsigned int i = count; i-- > 0;) {
        entries[i].~StringHashEntry();
    }
    Host_Free_Array(entries);
}

}  // namespace

StringHashTableClass::~StringHashTableClass()
{
    Host_Free_Array(Buckets);
    Release_Slots(Entries, Capacity);
}

unsigned int StringHashTableClass::Get_Key_Hash(const StringClass& key)
{
    const int length = key.Get_Length();
    const char* text = key.Peek_Buffer();
    if (length >= 8) {
        // Assembled by shifts so the number is the same on any byte order.
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text) + (length - 8);
        const unsigned int word = static_cast<unsigned int>(p[0]) | (static_cast<unsigned int>(p[1]) << 8) |
                                  (static_cast<unsigned int>(p[2]) << 16) | (static_cast<unsigned int>(p[3]) << 24);
        return HashTemplateKeyClass<unsigned int>::Get_Hash_Value(word);
    }
    // Characters count as signed 8-bit; unsigned arithmetic gives the wrapping 32-bit result.
    unsigned int hash = 0;
    for (int i = 0; i < length; ++i) {
        hash = hash * 38u + static_cast<unsigned int>(static_cast<int>(static_cast<signed char>(text[i])));
    }
    return hash;
}

bool StringHashTableClass::Grow()
{
    // Slot indices are signed 32-bit, so 2^31 slots is as far as a table can go.
    if (Capacity > 0x40000000u) {
        return false;
    }
    const unsigned int grown = Capacity * 2u <= 4u ? 4u : Capacity * 2u;

    void* slot_block = Host_Allocate_Array(Host_Array_Bytes(grown, sizeof(StringHashEntry)));
    if (slot_block == nullptr) {
        return false;
    }
    void* bucket_block = Host_Allocate_Array(Host_Array_Bytes(grown, sizeof(int)));
    if (bucket_block == nullptr) {
        Host_Free_Array(slot_block);
        return false;
    }
    StringHashEntry* entries = static_cast<StringHashEntry*>(slot_block);
    for (unsigned int i = 0; i < grown; ++i) {
        new (&entries[i]) StringHashEntry;  // the key is constructed; Next and Value stay unset
    }
    int* buckets = static_cast<int*>(bucket_block);
    for (unsigned int i = 0; i < grown; ++i) {
        buckets[i] = NULL_INDEX;
    }

    // Rehash bucket by bucket, each chain from its head; every moved entry goes to the head of
    // its new chain, so each new chain holds one old chain's entries in reverse order.
    int filled = 0;
    for (unsigned int i = 0; i < Capacity; ++i) {
        for (int s = Buckets[i]; s != NULL_INDEX; s = Entries[s].Next) {
            const int t = filled;
            const unsigned int b = Get_Key_Hash(Entries[s].Key) & (grown - 1u);
            entries[t].Key = Entries[s].Key;
            if (entries[t].Key.Get_Length() != Entries[s].Key.Get_Length()) {
                // The host had no memory for the copy: keep the old table whole.
                Release_Slots(entries, grown);
                Host_Free_Array(buckets);
                return false;
            }
            entries[t].Next = buckets[b];
            entries[t].Value = Entries[s].Value;
            buckets[b] = t;
            filled = t + 1;
        }
    }

    Host_Free_Array(Buckets);
    Release_Slots(Entries, Capacity);

    for (unsigned int t = static_cast<unsigned int>(filled); t + 1u < grown; ++t) {
        entries[t].Next = static_cast<int>(t + 1u);
    }
    entries[grown - 1u].Next = NULL_INDEX;
    FreeHead = filled;
    Capacity = grown;
    Entries = entries;
    Buckets = buckets;
    return true;
}

void StringHashTableClass::Insert(const StringClass& key, int value)
{
    if (FreeHead == NULL_INDEX && !Grow()) {
        return;
    }
    const int s = FreeHead;
    StringHashEntry& entry = Entries[s];
    entry.Key = key;
    if (entry.Key.Get_Length() != key.Get_Length()) {
        return;  // no memory for the copy: the key fell back to empty and the slot stays free
    }
    FreeHead = entry.Next;
    const unsigned int b = Get_Key_Hash(key) & (Capacity - 1u);
    entry.Value = value;
    entry.Next = Buckets[b];
    Buckets[b] = s;
}

namespace {

// Byte for byte up to the NUL. Most entries a lookup meets differ from the key in their first
// character, which is compared here before calling out for the rest.
inline bool Same_Text(const char* a, const char* b) { return a[0] == b[0] && std::strcmp(a, b) == 0; }

}  // namespace

int* StringHashTableClass::Find(const StringClass& key)
{
    if (Buckets == nullptr) {
        return nullptr;
    }
    const char* text = key.Peek_Buffer();
    for (int s = Buckets[Get_Key_Hash(key) & (Capacity - 1u)]; s != NULL_INDEX; s = Entries[s].Next) {
        if (Same_Text(Entries[s].Key.Peek_Buffer(), text)) {
            return &Entries[s].Value;
        }
    }
    return nullptr;
}

bool StringHashTableClass::Check_Invariants() const
{
    if (Capacity == 0) {
        return Buckets == nullptr && Entries == nullptr && FreeHead == NULL_INDEX;
    }
    if (Buckets == nullptr || Entries == nullptr || (Capacity & (Capacity - 1u)) != 0 || Capacity < 4u) {
        return false;
    }
    const unsigned int used = FreeHead == NULL_INDEX ? Capacity : static_cast<unsigned int>(FreeHead);
    if (used > Capacity) {
        return false;
    }
    // The free chain runs used .. Capacity-1 in order.
    int expected = FreeHead;
    for (unsigned int t = used; t < Capacity; ++t) {
        if (expected != static_cast<int>(t)) {
            return false;
        }
        expected = Entries[t].Next;
    }
    if (expected != NULL_INDEX) {
        return false;
    }
    // Bucket chains hold only used slots, each on its own bucket, and `used` visits in all;
    // with every used slot found on its bucket's chain below, each lies on exactly one chain.
    unsigned int visits = 0;
    for (unsigned int b = 0; b < Capacity; ++b) {
        for (int s = Buckets[b]; s != NULL_INDEX; s = Entries[s].Next) {
            if (s < 0 || static_cast<unsigned int>(s) >= used || ++visits > used) {
                return false;
            }
            if ((Get_Key_Hash(Entries[s].Key) & (Capacity - 1u)) != b) {
                return false;
            }
        }
    }
    if (visits != used) {
        return false;
    }
    for (unsigned int s = 0; s < used; ++s) {
        const unsigned int b = Get_Key_Hash(Entries[s].Key) & (Capacity - 1u);
        int walk = Buckets[b];
        while (walk != NULL_INDEX && walk != static_cast<int>(s)) {
            walk = Entries[walk].Next;
        }
        if (walk == NULL_INDEX) {
            return false;
        }
    }
    return true;
}
