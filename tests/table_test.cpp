// The string-keyed hash table behind the preset name sets.
#include <map>
#include <random>
#include <string>
#include <vector>

#include "HashTemplate.h"
#include "HostMemory.h"
#include "StringHashTable.h"
#include "TestSupport.h"

namespace {

unsigned int Hash(const char* text) { return StringHashTableClass::Get_Key_Hash(StringClass(text)); }

unsigned int Polynomial(const std::string& key)
{
    unsigned int h = 0;
    for (char c : key) {
        h = h * 38u + static_cast<unsigned int>(static_cast<signed char>(c));
    }
    return h;
}

bool Found(StringHashTableClass& table, const char* key) { return table.Find(StringClass(key)) != nullptr; }

std::vector<std::string> Chain(const StringHashTableClass& table, unsigned int bucket)
{
    std::vector<std::string> out;
    for (int s = table.Get_Bucket_Head(bucket); s != StringHashTableClass::NULL_INDEX; s = table.Get_Next_Slot(s)) {
        out.push_back(table.Get_Slot_Key(s).Peek_Buffer());
    }
    return out;
}

TEST(KeyHash, ShortKeysByPolynomialLongKeysByTheHostFromFourCharacters)
{
    EXPECT_EQ(Hash(""), 0u);
    EXPECT_EQ(Hash("abc"), 143891u);
    EXPECT_EQ(Hash("\xE9"), 0xFFFFFFE9u) << "characters count as signed";
    EXPECT_EQ(Hash("Abcdefg"), Polynomial("Abcdefg"));

    const unsigned int word = 'A' | ('b' << 8) | ('c' << 16) | (static_cast<unsigned int>('d') << 24);
    EXPECT_EQ(Hash("Abcdefgh"), HashTemplateKeyClass<unsigned int>::Get_Hash_Value(word));
    EXPECT_NE(Hash("Abcdefgh"), Polynomial("Abcdefgh"));

    // Only positions L-8 .. L-5 count from eight characters on.
    EXPECT_EQ(Hash("Alpha_Tank_Mk2"), Hash("Bravo_Tank_Xy9"));
    EXPECT_NE(Hash("Alpha_Tank_Mk2"), Hash("Alpha_Tonk_Mk2"));
    const unsigned char high[] = {0x80, 0xFF, 0xE9, 0x90, 'a', 'b', 'c', 'd', 0};
    const unsigned int high_word = 0x80u | (0xFFu << 8) | (0xE9u << 16) | (0x90u << 24);
    EXPECT_EQ(Hash(reinterpret_cast<const char*>(high)), HashTemplateKeyClass<unsigned int>::Get_Hash_Value(high_word));
}

TEST(StringHashTable, EmptyTableFindsNothingAndAllocatesNothing)
{
    const long long blocks = test::Live_Blocks();
    {
        StringHashTableClass table;
        EXPECT_FALSE(Found(table, "Light_Buggy"));
        EXPECT_FALSE(Found(table, ""));
        EXPECT_EQ(table.Get_Capacity(), 0u);
        EXPECT_EQ(table.Get_Free_Head(), StringHashTableClass::NULL_INDEX);
        EXPECT_TRUE(table.Check_Invariants());
        EXPECT_EQ(test::Live_Blocks(), blocks);
    }
    EXPECT_EQ(test::Live_Blocks(), blocks);
}

TEST(StringHashTable, KeysAreExactCopiesCaseAndBlanksCount)
{
    StringHashTableClass table;
    StringClass caller("abc");
    table.Insert(caller, 1);
    EXPECT_EQ(table.Get_Bucket_Head(3), 0) << "\"abc\" lands in bucket 3 of 4";
    caller = StringClass("xyz");  // the caller's string is its own
    EXPECT_TRUE(Found(table, "abc"));
    EXPECT_FALSE(Found(table, "xyz"));

    table.Insert(StringClass(""), 1);
    EXPECT_EQ(table.Get_Bucket_Head(0), 1) << "the empty key lands in bucket 0";
    EXPECT_TRUE(Found(table, ""));

    table.Insert(StringClass("Light_Buggy"), 1);
    EXPECT_FALSE(Found(table, "light_buggy"));
    EXPECT_FALSE(Found(table, "Light_Buggy "));
    EXPECT_FALSE(Found(table, "Light_Bugg"));

    // Long keys sharing their hashed characters share a chain and stay apart.
    table.Insert(StringClass("Alpha_Tank_Mk2"), 5);
    table.Insert(StringClass("Bravo_Tank_Xy9"), 6);
    EXPECT_EQ(*table.Find(StringClass("Alpha_Tank_Mk2")), 5);
    EXPECT_EQ(*table.Find(StringClass("Bravo_Tank_Xy9")), 6);
    EXPECT_FALSE(Found(table, "Charl_Tank_Mk2"));
    EXPECT_TRUE(table.Check_Invariants());
}

TEST(StringHashTable, GrowsAtTheFifthNinthAndSeventeenthInsert)
{
    StringHashTableClass table;
    const std::map<int, unsigned int> capacity_after = {{1, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}};
    for (int n = 1; n <= 17; ++n) {
        table.Insert(StringClass(("Preset_" + std::to_string(n)).c_str()), n);
        const auto expected = capacity_after.find(n);
        if (expected != capacity_after.end()) {
            EXPECT_EQ(table.Get_Capacity(), expected->second) << "after " << n << " inserts";
        }
        if (n == 4) {
            EXPECT_EQ(table.Get_Free_Head(), StringHashTableClass::NULL_INDEX) << "full, growth waits for the 5th";
        }
        EXPECT_TRUE(table.Check_Invariants());
    }
    for (int n = 1; n <= 17; ++n) {
        EXPECT_EQ(*table.Find(StringClass(("Preset_" + std::to_string(n)).c_str())), n);
    }
}

TEST(StringHashTable, GrowthReversesEachChain)
{
    // Four keys with the same hashed characters share one chain at every capacity.
    const char* keys[] = {"A_Tank_Mk1", "B_Tank_Mk2", "C_Tank_Mk3", "D_Tank_Mk4", "E_Tank_Mk5"};
    StringHashTableClass table;
    for (int i = 0; i < 4; ++i) {
        table.Insert(StringClass(keys[i]), i);
    }
    const unsigned int bucket = Hash(keys[0]) & 3u;
    EXPECT_EQ(Chain(table, bucket), (std::vector<std::string>{"D_Tank_Mk4", "C_Tank_Mk3", "B_Tank_Mk2", "A_Tank_Mk1"}));
    table.Insert(StringClass(keys[4]), 4);
    EXPECT_EQ(Chain(table, Hash(keys[0]) & 7u),
              (std::vector<std::string>{"E_Tank_Mk5", "A_Tank_Mk1", "B_Tank_Mk2", "C_Tank_Mk3", "D_Tank_Mk4"}));
}

// The blocks a table gives back, in order: its bucket array, then the key of every slot from the
// last to the first, then its slot array. `keys` are the key buffers of slots 0, 1, ...
std::vector<std::string> Release_Order(const std::vector<test::BlockLog::Block>& releases,
                                       const std::vector<const char*>& keys, const void* slots)
{
    std::vector<std::string> out;
    for (const auto& b : releases) {
        std::string what = "other";
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (b.Holds(keys[k])) {
                what = "key " + std::to_string(k);
            }
        }
        if (b.Holds(slots)) {
            what = "slots";
        } else if (what == "other" && b.Bytes == 4 * sizeof(int)) {  // both tables hold four buckets
            what = "buckets";
        }
        out.push_back(what);
    }
    return out;
}

TEST(StringHashTable, GrowthRehashesOldBucketsInAscendingOrderAndReleasesInOrder)
{
    // One character each: "d" in bucket 0, "a" in 1, "b" in 2, "c" in 3 of four, in slots 0..3.
    StringHashTableClass table;
    for (const char* key : {"a", "b", "c", "d"}) {
        table.Insert(StringClass(key), 1);
    }
    std::vector<const char*> keys;
    for (int s = 0; s < 4; ++s) {
        keys.push_back(table.Get_Slot_Key(s).Peek_Buffer());
    }
    const void* slots = &table.Get_Slot_Key(0);
    const StringClass fifth("e");
    std::vector<test::BlockLog::Block> releases;
    {
        test::BlockLog log;
        table.Insert(fifth, 1);
        releases = log.Releases();
    }
    EXPECT_EQ(Release_Order(releases, keys, slots),
              (std::vector<std::string>{"buckets", "key 3", "key 2", "key 1", "key 0", "slots"}));
    // Old bucket 0 moves first, so its entry takes new slot 0, and so on up.
    std::vector<std::string> moved;
    for (int s = 0; s < 5; ++s) {
        moved.push_back(table.Get_Slot_Key(s).Peek_Buffer());
    }
    EXPECT_EQ(moved, (std::vector<std::string>{"d", "a", "b", "c", "e"}));
}

TEST(StringHashTable, DestructionReleasesBucketsThenKeysLastToFirstThenSlots)
{
    std::vector<test::BlockLog::Block> releases;
    std::vector<const char*> keys;
    const void* slots = nullptr;
    {
        StringHashTableClass table;
        for (const char* key : {"Light_Buggy", "Heavy_Tank", "Recon_Drone"}) {
            table.Insert(StringClass(key), 1);
        }
        for (int s = 0; s < 3; ++s) {
            keys.push_back(table.Get_Slot_Key(s).Peek_Buffer());
        }
        slots = &table.Get_Slot_Key(0);
        test::BlockLog log;
        table.~StringHashTableClass();
        releases = log.Releases();
        new (&table) StringHashTableClass();
    }
    EXPECT_EQ(Release_Order(releases, keys, slots),
              (std::vector<std::string>{"buckets", "key 2", "key 1", "key 0", "slots"}));
}

TEST(StringHashTable, DuplicatesAreStoredTwiceAndFindGivesTheFirstOnTheChain)
{
    StringHashTableClass table;
    table.Insert(StringClass("Heavy_Tank"), 1);
    table.Insert(StringClass("Heavy_Tank"), 2);
    EXPECT_EQ(*table.Find(StringClass("Heavy_Tank")), 2) << "the newest heads its chain";
    EXPECT_EQ(table.Get_Free_Head(), 2);
    EXPECT_TRUE(table.Check_Invariants());
}

// The model: every key with every value inserted under it. Find must see a key exactly when the
// model has it, and give one of its values.
TEST(StringHashTable, AgreesWithAModelThroughThousandsOfRandomOperations)
{
    const long long blocks = test::Live_Blocks();
    {
        std::mt19937 random(20261208);
        std::vector<std::string> pool = {"", "a", "abc", "Light_Buggy", "Heavy_Tank", "heavy_tank", "Heavy_Tank "};
        for (int i = 0; i < 300; ++i) {
            std::string key;
            const int length = std::uniform_int_distribution<int>(0, 24)(random);
            for (int c = 0; c < length; ++c) {
                key += static_cast<char>(std::uniform_int_distribution<int>(1, 255)(random));
            }
            pool.push_back(key);
        }
        std::map<std::string, std::vector<int>> model;
        StringHashTableClass table;
        for (int step = 0; step < 4000; ++step) {
            const std::string& key = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
            if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
                const int value = step;
                table.Insert(StringClass(key.c_str()), value);
                model[key].push_back(value);
            }
            const int* found = table.Find(StringClass(key.c_str()));
            const auto expected = model.find(key);
            ASSERT_EQ(found != nullptr, expected != model.end()) << "step " << step;
            if (found != nullptr) {
                const auto& values = expected->second;
                ASSERT_NE(std::find(values.begin(), values.end(), *found), values.end());
            }
            ASSERT_TRUE(table.Check_Invariants()) << "step " << step;
        }
        std::size_t entries = 0;
        for (const auto& kv : model) {
            entries += kv.second.size();
        }
        EXPECT_GE(table.Get_Capacity(), entries);
        EXPECT_LT(table.Get_Capacity(), 2 * entries + 4);
    }
    EXPECT_EQ(test::Live_Blocks(), blocks) << "destruction returns every block";
}

// Without memory for a growth the table must stay whole: before the mend, a failed allocation
// left it with null arrays or half-moved keys.
TEST(StringHashTable, FailedGrowthLeavesTheTableAsItWasAndDropsTheEntry)
{
    const long long blocks = test::Live_Blocks();
    {
        StringHashTableClass table;
        const char* kept[] = {"Light_Buggy", "Heavy_Tank", "Scout_Jeep", "Recon_Drone"};
        for (const char* key : kept) {
            table.Insert(StringClass(key), 1);
        }
        // Which array request fails: the slot array, the bucket array, then a key copy.
        for (int skip = 0; skip < 3; ++skip) {
            // (No SCOPED_TRACE here: gtest keeps its trace storage, which the block count would see.)
            const StringClass dropped("Supply_Truck");
            const long long before = test::Live_Blocks();
            standin::memory::Fail_Request(standin::memory::Kind::Array, skip);
            table.Insert(dropped, 1);
            standin::memory::Clear_Failures();
            EXPECT_EQ(test::Live_Blocks(), before) << "nothing half-allocated is kept, request " << skip;
            EXPECT_EQ(table.Get_Capacity(), 4u);
            EXPECT_EQ(table.Get_Free_Head(), StringHashTableClass::NULL_INDEX);
            EXPECT_TRUE(table.Check_Invariants());
            for (const char* key : kept) {
                EXPECT_TRUE(Found(table, key)) << key;
            }
            EXPECT_FALSE(Found(table, "Supply_Truck"));
        }
        table.Insert(StringClass("Supply_Truck"), 1);
        EXPECT_EQ(table.Get_Capacity(), 8u);
        EXPECT_TRUE(Found(table, "Supply_Truck"));

        // A key copy refused outside a growth leaves its slot free.
        const StringClass refused("Heavy_Tank_Mk2");
        standin::memory::Fail_Request(standin::memory::Kind::Array, 0);
        table.Insert(refused, 1);
        standin::memory::Clear_Failures();
        EXPECT_EQ(table.Get_Free_Head(), 5);
        EXPECT_FALSE(Found(table, "Heavy_Tank_Mk2"));
        EXPECT_TRUE(table.Check_Invariants());
    }
    EXPECT_EQ(test::Live_Blocks(), blocks);
}

}  // namespace

namespace {

// The layout the host's 32-bit process gives these, and what this build gives them.
TEST(HostSizes, SlotsAndGrowthRequestsAreTheSizeTheHostExpects)
{
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(StringHashEntry), 12u) << "the 12-byte slot";
        EXPECT_EQ(sizeof(StringHashTableClass), 16u);
        EXPECT_EQ(sizeof(StringClass), 4u);
        // A growth past 2^31 slots cannot be asked for in 32 bits: it asks for everything.
        EXPECT_EQ(Host_Array_Bytes(0x80000000u, sizeof(StringHashEntry)), 0xFFFFFFFFu);
        EXPECT_EQ(Host_Allocate_Array(0xFFFFFFFFu), nullptr);
    } else {
        EXPECT_EQ(sizeof(StringHashEntry), 24u);
        EXPECT_EQ(sizeof(StringHashTableClass), 24u);
        EXPECT_EQ(sizeof(StringClass), 8u);
    }
    EXPECT_EQ(Host_Array_Bytes(4, sizeof(StringHashEntry)), 4 * sizeof(StringHashEntry));
}

}  // namespace
