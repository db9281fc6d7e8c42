// The names the scripts are registered under, and attached by: one text for both.
#pragma once

#define FLIP_KILL_SCRIPT_NAME "Veltrask_Script"
#define ROTATE_UPWARDS_SCRIPT_NAME "RotateUpwards_Script"

// The only timer number either script starts or answers to.
const int CHECK_TIMER_NUMBER = 1;
