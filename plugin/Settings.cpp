#include "Settings.h"

#include "FlippedVehiclePlugin.h"
#include "INIClass.h"
#include "StringClass.h"
#include "StringHashTable.h"

int CheckInterval = SettingsAtLoad.CheckInterval;
int ChecksCount = SettingsAtLoad.ChecksCount;
float ScriptCheckingInterval = SettingsAtLoad.ScriptCheckingInterval;

// Values are stored as they come: no range check, no clamping. Sets are only added to, so a
// second event inserts every listed name again.
void FlippedVehiclePlugin::Load_Global_Settings(INIClass* ini)
{
    if (ini == nullptr) {
        return;
    }
    const SettingsValues read = Read_Settings(*ini);
    CheckInterval = read.CheckInterval;
    ChecksCount = read.ChecksCount;
    ScriptCheckingInterval = read.ScriptCheckingInterval;
    For_Each_Listed<StringClass>(*ini, DONT_FLIP_KILL_SECTION, [](const StringClass& name) { DontFlipKillPresets.Insert(name, 1); });
    For_Each_Listed<StringClass>(*ini, ROTATE_UPWARDS_SECTION, [](const StringClass& name) { RotateUpwardsPresets.Insert(name, 1); });
}
