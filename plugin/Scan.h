// The test of whether an object lies flipped, shared by the scan and both scripts.
#pragma once

class ScriptableGameObj;

// |rotation about Y| beyond this many radians is flipped (the float 1.3: 0x3FA66666).
const float FlipAngleLimit = 1.3f;

// Vehicles in this mode are never scanned.
const unsigned int ExemptVehicleMode = 4;

// True when the absolute rotation about Y, as a float, is strictly above FlipAngleLimit.
// Exactly the limit, or a NaN, counts as upright.
bool Is_Flipped(ScriptableGameObj* obj);

// The clock value of the last scan; 0 at load and after every level load.
extern int LastCheckTime;

// Walks every game object and gives each flipped vehicle the script its preset calls for.
void Scan_Vehicles();
