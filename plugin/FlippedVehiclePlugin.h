// The plug-in object. It holds no state of its own: the settings live in Settings.cpp, the scan
// clock in Scan.cpp, and the preset sets and factories in library/Statics.cpp, which also gives the
// order in which they are built and torn down.
#pragma once

#include "Plugin.h"

class FlippedVehiclePlugin : public Plugin
{
public:
    // Subscribes to the global-settings, tick and level-loaded events, in that order.
    FlippedVehiclePlugin();
    // Unsubscribes from the same three, in the same order.
    ~FlippedVehiclePlugin() override;

    // Reads the three settings and adds the listed preset names to the two sets.
    void Load_Global_Settings(INIClass* ini) override;
    // Resets the scan clock.
    void Level_Loaded() override;
    // Scans every vehicle once the clock has moved CheckInterval past the last scan.
    void Tick() override;
};
