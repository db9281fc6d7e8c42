#include "FlippedVehiclePlugin.h"

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
