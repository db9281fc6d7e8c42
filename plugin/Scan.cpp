#include "Scan.h"

#include "GameObjects.h"
#include "Contract.h"
#include "Scripts.h"
#include "Settings.h"
#include "StringClass.h"
#include "StringHashTable.h"

int LastCheckTime = 0;

bool Is_Flipped(ScriptableGameObj* obj) { return Reads_Flipped(Get_Transform(obj).getRotationY()); }

namespace {

// Looks the vehicle's preset name up in one list, in a temporary copy of its own: each lookup
// takes the name from the host afresh. The preset is listed when an entry is found with a
// nonzero value.
bool Is_Listed(StringHashTableClass& set, ScriptableGameObj* vehicle)
{
    const StringClass preset(Commands->Get_Preset_Name(vehicle));
    const int* value = set.Find(preset);
    return value != nullptr && *value != 0;
}

// Gives one flipped vehicle the script its preset calls for, or nothing. A vehicle listed for
// turning is not asked about the flip-kill script, nor the other way round.
void Handle_Flipped(ScriptableGameObj* vehicle)
{
    const char* script = Script_Of(Treatment_Of([vehicle](PresetList list) {
        return Is_Listed(list == PresetList::RotateUpwards ? RotateUpwardsPresets : DontFlipKillPresets, vehicle);
    }));
    if (script != nullptr && !Is_Script_Attached(vehicle, script)) {
        Attach_Script_Once(vehicle, script, "");
    }
}

}  // namespace

void Scan_Vehicles()
{
    // Objects that are not vehicles, exempt modes and upright vehicles are dismissed before any
    // string work.
    for (SLNode<SmartGameObj>* node = GameObjManager::SmartGameObjList.Head(); node != nullptr; node = node->Next()) {
        VehicleGameObj* vehicle = As_VehicleGameObj(node->Data());
        if (vehicle == nullptr || !Is_Scanned_Mode(Get_Vehicle_Mode(vehicle)) || !Is_Flipped(vehicle)) {
            continue;
        }
        Handle_Flipped(vehicle);
    }
}
