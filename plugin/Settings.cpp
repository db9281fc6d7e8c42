#include "Settings.h"

#include "FlippedVehiclePlugin.h"
#include "INIClass.h"
#include "StringClass.h"
#include "StringHashTable.h"

int CheckInterval = CheckIntervalAtLoad;
int ChecksCount = ChecksCountAtLoad;
float ScriptCheckingInterval = ScriptCheckingIntervalAtLoad;

namespace {

// Adds every entry's value in `section`, in order, to `set`. Entry names are ignored; each value
// is one preset name exactly as the host returns it.
void Load_Preset_List(INIClass& ini, const char* section, StringHashTableClass& set)
{
    const int count = ini.Entry_Count(section);
    for (int i = 0; i < count; ++i) {
        const char* entry = ini.Get_Entry(section, i);
        if (entry == nullptr) {
            continue;
        }
        StringClass value;
        ini.Get_String(value, section, entry, nullptr);
        set.Insert(value, 1);
    }
}

}  // namespace

// Values are stored as they come: no range check, no clamping. Sets are only added to, so a
// second event inserts every listed name again.
void FlippedVehiclePlugin::Load_Global_Settings(INIClass* ini)
{
    if (ini == nullptr) {
        return;
    }
    CheckInterval = ini->Get_Int(SETTINGS_SECTION, CHECK_INTERVAL_KEY, CheckIntervalDefault);
    ChecksCount = ini->Get_Int(SETTINGS_SECTION, CHECKS_COUNT_KEY, ChecksCountDefault);
    ScriptCheckingInterval = ini->Get_Float(SETTINGS_SECTION, SCRIPT_CHECKING_INTERVAL_KEY, ScriptCheckingIntervalDefault);
    Load_Preset_List(*ini, DONT_FLIP_KILL_SECTION, DontFlipKillPresets);
    Load_Preset_List(*ini, ROTATE_UPWARDS_SECTION, RotateUpwardsPresets);
}
