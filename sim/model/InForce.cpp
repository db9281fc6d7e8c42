#include "InForce.h"

#include "INIClass.h"
#include "StringClass.h"

namespace sim {

void InForce::Apply(const INIClass& ini)
{
    Numbers = Read_Settings(ini);
    for (PresetList list : {PresetList::DontFlipKill, PresetList::RotateUpwards}) {
        List& held = Lists[list == PresetList::DontFlipKill ? 0 : 1];
        const char* section = list == PresetList::DontFlipKill ? DONT_FLIP_KILL_SECTION : ROTATE_UPWARDS_SECTION;
        For_Each_Listed<StringClass>(ini, section, [&](const StringClass& value) {
            const std::string* name = &*Names.emplace(value.Peek_Buffer()).first;
            held.Entries.push_back(name);
            if (held.Members.insert(name).second) {
                held.FirstListed.push_back(name);
            }
        });
    }
}

bool InForce::Listed(PresetList list, const std::string& preset) const
{
    const auto name = Names.find(preset);
    return name != Names.end() && Of(list).Members.count(&*name) != 0;
}

}  // namespace sim
