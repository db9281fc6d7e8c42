// The plug-in's settings, read from the host's global settings and read wherever they are used:
// nothing copies them, so a settings event takes effect at the next use.
#pragma once

#include "Contract.h"

class StringHashTableClass;

// The three numbers (see SettingsValues in Contract.h for their values at load and when missing).
// Least clock advance between two scans.
extern int CheckInterval;
// Timer checks that find a vehicle flipped before the flip-kill script kills it.
extern int ChecksCount;
// Period of the flip-kill script's timer, in seconds.
extern float ScriptCheckingInterval;

// Vehicles of these presets are never given the flip-kill script.
extern StringHashTableClass DontFlipKillPresets;
// Vehicles of these presets are turned upright instead of killed.
extern StringHashTableClass RotateUpwardsPresets;
