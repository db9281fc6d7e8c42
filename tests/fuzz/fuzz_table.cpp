#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "FuzzTargets.h"
#include "MemoryManager.h"
#include "StringHashTable.h"

namespace {

[[noreturn]] void Broken(const char* what, int step)
{
    std::fprintf(stderr, "fuzz_table: step %d: %s\n", step, what);
    std::abort();
}

}  // namespace

// Each operation: one byte of kind, one of length, then the key's bytes.
//   kind % 4 == 0, 1: insert;  2: find;  3: insert with the memory manager refusing the
//   (kind / 4 % 3)-th array request it makes.
int Fuzz_Table(const std::uint8_t* data, std::size_t size)
{
    const long long blocks = standin::memory::Current().LiveBlocks;
    {
        StringHashTableClass table;
        std::map<std::string, std::set<int>> model;  // every value inserted under each key
        std::size_t at = 0;
        int step = 0;
        while (at + 2 <= size && step < 4096) {
            const int kind = data[at] % 4;
            const int skip = (data[at] >> 2) % 3;  // which array request a refused insert loses
            const std::size_t length = std::min<std::size_t>(data[at + 1] % 40, size - at - 2);
            std::string key(reinterpret_cast<const char*>(data) + at + 2, length);
            key = key.substr(0, key.find('\0'));  // a StringClass ends at its first NUL
            at += 2 + length;
            const StringClass text(key.c_str());
            if (kind == 2) {
                const int* found = table.Find(text);
                const auto expected = model.find(key);
                if ((found != nullptr) != (expected != model.end())) {
                    Broken("Find disagrees with the model", step);
                }
                if (found != nullptr && expected->second.count(*found) == 0) {
                    Broken("Find gave a value never inserted under the key", step);
                }
            } else {
                const bool had = model.count(key) != 0;
                if (kind == 3) {
                    standin::memory::Fail_Request(standin::memory::Kind::Array, skip);
                }
                table.Insert(text, step);
                standin::memory::Clear_Failures();
                // A refused insert may drop its entry, but never one that was there before.
                if (kind != 3 || table.Find(text) != nullptr || had) {
                    model[key].insert(step);
                }
            }
            if (!table.Check_Invariants()) {
                Broken("an invariant broke", step);
            }
            ++step;
        }
        for (const auto& entry : model) {
            if (table.Find(StringClass(entry.first.c_str())) == nullptr) {
                Broken("a stored key was lost", step);
            }
        }
    }
    if (standin::memory::Current().LiveBlocks != blocks) {
        Broken("blocks left after destruction", -1);
    }
    return 0;
}
