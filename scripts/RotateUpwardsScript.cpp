#include "RotateUpwardsScript.h"

#include <cmath>

#include "Scan.h"
#include "Contract.h"

namespace {

// A fixed constant, not a setting.
const float StepPeriod = 0.5f;
// 25 degrees in radians, rounded to the nearest float and held as a double.
const double StepAngle = 0.43633231520652771;
const double LiftPerStep = 3.0;

}  // namespace

void RotateUpwardsScript::Created(ScriptableGameObj* obj)
{
    Commands->Start_Timer(obj, this, StepPeriod, CHECK_TIMER_NUMBER);
}

void RotateUpwardsScript::Timer_Expired(ScriptableGameObj* obj, int number)
{
    if (number != CHECK_TIMER_NUMBER) {
        return;
    }
    if (!Is_Flipped(obj)) {
        Destroy_Script();
        return;
    }

    // The transform times the rotation through +StepAngle about X: the new y axis is c*Y + s*Z
    // and the new z axis c*Z - s*Y; the x axis and the translation stay. s and c are rounded to
    // float first; each element is formed in double and rounded once when stored.
    Matrix3D m = Get_Transform(obj);
    const double s = static_cast<float>(std::sin(StepAngle));
    const double c = static_cast<float>(std::cos(StepAngle));
    for (int i = 0; i < 3; ++i) {
        const double a = m.Row[i][1];
        const double b = m.Row[i][2];
        m.Row[i][1] = static_cast<float>(a * c + b * s);
        m.Row[i][2] = static_cast<float>(b * c - a * s);
    }
    Set_Transform(obj, m);

    Vector3 position = Commands->Get_Position(obj);
    position.Z = static_cast<float>(static_cast<double>(position.Z) + LiftPerStep);
    Commands->Set_Position(obj, position);

    Commands->Start_Timer(obj, this, StepPeriod, CHECK_TIMER_NUMBER);
}
