// What the plug-in promises, in one place: the names an operator writes and the host knows, the
// values that hold before and without settings, and the rules of what is flipped and what is
// never looked at. The plug-in is built on these, and the simulator, which predicts and explains
// what the plug-in does, includes this header and nothing else of the plug-in's.
#pragma once

// Section and key names of the settings file.
#define SETTINGS_SECTION "Veltrask"
#define DONT_FLIP_KILL_SECTION "Veltrask_DontFlipKillPresets"
#define ROTATE_UPWARDS_SECTION "Veltrask_RotateUpwardsPresets"
#define CHECK_INTERVAL_KEY "CheckInterval"
#define CHECKS_COUNT_KEY "ChecksCount"
#define SCRIPT_CHECKING_INTERVAL_KEY "ScriptCheckingInterval"

// The settings' values from load until the first settings event, and when settings come
// without the key. CheckInterval differs between the two: 3 at load, 2 when the key is absent.
const int CheckIntervalAtLoad = 3;
const int CheckIntervalDefault = 2;
const int ChecksCountAtLoad = 4;
const int ChecksCountDefault = 4;
const float ScriptCheckingIntervalAtLoad = 1.0f;
const float ScriptCheckingIntervalDefault = 1.0f;

// The names the scripts are registered under, and attached by: one text for both.
#define FLIP_KILL_SCRIPT_NAME "Veltrask_Script"
#define ROTATE_UPWARDS_SCRIPT_NAME "RotateUpwards_Script"

// The only timer number either script starts or answers to.
const int CHECK_TIMER_NUMBER = 1;

// |rotation about Y| beyond this many radians is flipped (the float 1.3: 0x3FA66666).
const float FlipAngleLimit = 1.3f;

// Vehicles in this mode are never scanned.
const unsigned int ExemptVehicleMode = 4;
