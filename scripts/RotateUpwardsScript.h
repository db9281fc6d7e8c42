// Turns a flipped vehicle back upright: every half second, while the vehicle is still flipped,
// rotates it 25 degrees about its own X axis and lifts it 3.0 along Z. Removes itself at the first
// check that finds the vehicle upright. Keeps no state of its own.
#pragma once

#include "Scripts.h"

class RotateUpwardsScript : public ScriptImpClass
{
public:
    RotateUpwardsScript() {}
    ~RotateUpwardsScript() override {}

    void Created(ScriptableGameObj* obj) override;
    void Timer_Expired(ScriptableGameObj* obj, int number) override;
};
