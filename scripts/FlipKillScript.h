// Kills a vehicle that stays flipped: checks it every ScriptCheckingInterval seconds, applies
// lethal damage at the ChecksCount-th consecutive flipped check, and removes itself at the first
// check that finds the vehicle upright.
#pragma once

#include "Scripts.h"

class FlipKillScript : public ScriptImpClass
{
public:
    FlipKillScript() : FlipCheckCount(0) {}
    ~FlipKillScript() override {}

    // Starts the check timer.
    void Created(ScriptableGameObj* obj) override;
    // One check.
    void Timer_Expired(ScriptableGameObj* obj, int number) override;

    // Checks so far that found the vehicle flipped; not saved.
    int FlipCheckCount;
};
