#include "FlippedVehiclePlugin.h"

#include "Contract.h"
#include "GameObjects.h"
#include "Scan.h"
#include "Settings.h"

FlippedVehiclePlugin::FlippedVehiclePlugin()
{
    RegisterEvent(EVENT_GLOBAL_SETTINGS, this);
    RegisterEvent(EVENT_TICK, this);
    RegisterEvent(EVENT_LEVEL_LOADED, this);
}

FlippedVehiclePlugin::~FlippedVehiclePlugin()
{
    UnregisterEvent(EVENT_GLOBAL_SETTINGS, this);
    UnregisterEvent(EVENT_TICK, this);
    UnregisterEvent(EVENT_LEVEL_LOADED, this);
}

void FlippedVehiclePlugin::Level_Loaded() { LastCheckTime = 0; }

// Runs on every tick of the server, so the gate stays lean and the walk lives elsewhere (in its
// own translation unit, where no compiler folds it in here with its register saves).
void FlippedVehiclePlugin::Tick()
{
    const cGameData* game = The_Game();
    if (game == nullptr) {
        return;
    }
    const long long now = game->Get_Elapsed_Seconds();
    if (!Is_Scan_Due(now, CheckInterval, LastCheckTime)) {
        return;
    }
    LastCheckTime = static_cast<int>(now);
    Scan_Vehicles();
}
