#include "FlipKillScript.h"

#include <climits>

#include "Scan.h"
#include "Contract.h"
#include "Settings.h"

void FlipKillScript::Created(ScriptableGameObj* obj)
{
    Commands->Start_Timer(obj, this, ScriptCheckingInterval, CHECK_TIMER_NUMBER);
}

// The settings are read at each use, so a settings event changes the next restart and the next
// comparison; a timer already started keeps its period.
void FlipKillScript::Timer_Expired(ScriptableGameObj* obj, int number)
{
    if (number != CHECK_TIMER_NUMBER) {
        return;
    }
    if (!Is_Flipped(obj)) {
        Destroy_Script();
        return;
    }
    // Counted before it is compared: damage comes at check number ChecksCount, or at the first
    // check when ChecksCount is 1 or less. The count stops at INT_MAX rather than overflow.
    if (FlipCheckCount < INT_MAX) {
        ++FlipCheckCount;
    }
    if (!Is_Killing_Check(FlipCheckCount, ChecksCount)) {
        Commands->Start_Timer(obj, this, ScriptCheckingInterval, CHECK_TIMER_NUMBER);
        return;
    }
    // Spent: no further timer. Should the damage not destroy the vehicle, the script stays
    // attached and idle, which also keeps the scan from attaching another.
    Commands->Apply_Damage(obj, KillDamage, KILL_WARHEAD, nullptr);
}
