#include "Scan.h"

#include <cmath>

#include "GameObjects.h"
#include "Contract.h"
#include "Scripts.h"
#include "Settings.h"
#include "StringClass.h"
#include "StringHashTable.h"

int LastCheckTime = 0;

bool Is_Flipped(ScriptableGameObj* obj)
{
    const float angle = std::fabs(Get_Transform(obj).getRotationY());
    return angle > FlipAngleLimit;
}

namespace {

bool Is_Listed(StringHashTableClass& set, const StringClass& preset)
{
    const int* value = set.Find(preset);
    return value != nullptr && *value != 0;
}

// Gives one flipped vehicle the script its preset calls for, or nothing.
void Handle_Flipped(ScriptableGameObj* vehicle)
{
    const StringClass preset(Commands->Get_Preset_Name(vehicle));
    if (Is_Listed(RotateUpwardsPresets, preset)) {
        // Rotation wins over both other lists, and does not ask about the flip-kill script.
        if (!Is_Script_Attached(vehicle, ROTATE_UPWARDS_SCRIPT_NAME)) {
            Attach_Script_Once(vehicle, ROTATE_UPWARDS_SCRIPT_NAME, "");
        }
        return;
    }
    if (Is_Listed(DontFlipKillPresets, preset)) {
        return;
    }
    if (!Is_Script_Attached(vehicle, FLIP_KILL_SCRIPT_NAME)) {
        Attach_Script_Once(vehicle, FLIP_KILL_SCRIPT_NAME, "");
    }
}

}  // namespace

void Scan_Vehicles()
{
    // Objects that are not vehicles, exempt modes and upright vehicles are dismissed before any
    // string work.
    for (SLNode<SmartGameObj>* node = GameObjManager::SmartGameObjList.Head(); node != nullptr; node = node->Next()) {
        VehicleGameObj* vehicle = As_VehicleGameObj(node->Data());
        if (vehicle == nullptr || Get_Vehicle_Mode(vehicle) == ExemptVehicleMode || !Is_Flipped(vehicle)) {
            continue;
        }
        Handle_Flipped(vehicle);
    }
}
