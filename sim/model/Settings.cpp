#include "Settings.h"

#include <strings.h>

#include <fmt/format.h>

namespace sim {

const SettingSpec* Setting_Named(const std::string& key)
{
    for (const SettingSpec& setting : SettingsTable) {
        if (strcasecmp(key.c_str(), setting.Key) == 0) {
            return &setting;
        }
    }
    return nullptr;
}

std::string Value_Text(const SettingsValues& values, const SettingSpec& setting)
{
    return setting.Whole != nullptr ? fmt::format("{}", values.*setting.Whole) : fmt::format("{:g}", values.*setting.Real);
}

std::string Keys_Text(const char* last)
{
    std::string text;
    for (int i = 0; i < SettingsCount; ++i) {
        text += (i == 0 ? "" : i + 1 == SettingsCount ? last : ", ") + std::string(SettingsTable[i].Key);
    }
    return text;
}

std::string Numbers_Text(const SettingsValues& values)
{
    std::string text;
    for (const SettingSpec& setting : SettingsTable) {
        text += (text.empty() ? "" : ", ") + std::string(setting.Key) + " " + Value_Text(values, setting);
    }
    return text;
}

}  // namespace sim
