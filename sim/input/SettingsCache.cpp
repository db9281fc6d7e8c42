#include "SettingsCache.h"

#include <sys/stat.h>

#include "Check.h"
#include "INIClass.h"

namespace sim {

text::Expected<std::shared_ptr<INIClass>> SettingsCache::Read(const std::string& path)
{
    struct stat info;
    const Identity identity = ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
                                  ? Identity{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::string()}
                                  : Identity{0, 0, path};
    const auto known = Known.find(identity);
    if (known != Known.end()) {
        return known->second;
    }
    auto ini = std::make_shared<INIClass>();
    const text::Expected<int> warnings = Read_Checked_Settings(path, *ini, Warnings);
    if (!warnings) {
        return warnings.Error();
    }
    Known.emplace(identity, ini);
    return ini;
}

}  // namespace sim
