// A set of strings with int values: the preset name lists live in two of these.
//
// Layout and invariants. Entries sit in one slot array and are chained by slot index; the
// bucket array holds the head slot of each chain. Capacity is both the number of slots and the
// number of buckets: 0 before the first insertion, then a power of two of at least 4.
//  - Every slot lies either on exactly one bucket chain or on the free chain.
//  - An entry lies on the chain of bucket Get_Key_Hash(key) & (Capacity - 1).
//  - Nothing is ever removed, so with n entries the slots in use are 0 .. n-1 and the free
//    chain runs n, n+1, .. Capacity-1. FreeHead is n while a slot is free and NULL_INDEX once
//    the table is full.
//  - Capacity never shrinks.
// The initial state is constant (both arrays null), so a static table needs no run-time
// construction and allocates nothing until its first insertion.
//
// Not safe for concurrent use: even Find writes, since it may cache a key's measured length.
#pragma once

#include "HostApi.h"
#include "StringClass.h"

struct StringHashEntry
{
    int Next;         // next slot of the same chain (bucket or free), or NULL_INDEX
    StringClass Key;  // the slot's own copy of the inserted key; empty in a free slot
    int Value;        // unset in a free slot
};

class StringHashTableClass
{
public:
    static constexpr int NULL_INDEX = -1;

    constexpr StringHashTableClass() : Buckets(nullptr), Entries(nullptr), FreeHead(NULL_INDEX), Capacity(0) {}
    ~StringHashTableClass();

    StringHashTableClass(const StringHashTableClass&) = delete;
    StringHashTableClass& operator=(const StringHashTableClass&) = delete;

    // Adds an entry with a copy of `key`, even when an equal key is already stored. Should the
    // host have no memory for it, the entry is dropped and the table stays exactly as it was.
    void Insert(const StringClass& key, int value);

    // The value of an entry whose key equals `key` byte for byte, or null. Of equal keys, the
    // one first on the chain. The pointer is valid until the next Insert.
    int* Find(const StringClass& key);

    // Below 8 characters a polynomial over every character; from 8 on, the host's hash of the
    // four characters at L-8 .. L-5 (the first of them least significant).
    static unsigned int Get_Key_Hash(const StringClass& key);

    unsigned int Get_Capacity() const { return Capacity; }
    int Get_Free_Head() const { return FreeHead; }
    // The head slot of bucket `bucket` (< capacity), and the next slot after `slot` on its chain.
    int Get_Bucket_Head(unsigned int bucket) const { return Buckets[bucket]; }
    int Get_Next_Slot(int slot) const { return Entries[slot].Next; }
    const StringClass& Get_Slot_Key(int slot) const { return Entries[slot].Key; }

    // Checks every invariant above; for tests and debugging.
    bool Check_Invariants() const;

private:
    // Doubles the capacity (from 0 to 4) and rehashes. False, with nothing changed, when the
    // host has no memory for the new arrays or their keys.
    bool Grow();

    int* Buckets;
    StringHashEntry* Entries;
    int FreeHead;
    unsigned int Capacity;
};
