// The scan for flipped vehicles: its walk, its clock, and the flip test it shares with both
// scripts.
#pragma once

#include "Contract.h"

class ScriptableGameObj;

// True when the absolute rotation about Y, as a float, is strictly above FlipAngleLimit.
// Exactly the limit, or a NaN, counts as upright.
bool Is_Flipped(ScriptableGameObj* obj);

// The clock value of the last scan; 0 at load and after every level load.
extern int LastCheckTime;

// Walks every game object and gives each flipped vehicle the script its preset calls for.
void Scan_Vehicles();
