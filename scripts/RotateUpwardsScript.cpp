#include "RotateUpwardsScript.h"

#include "Scan.h"
#include "Contract.h"

void RotateUpwardsScript::Created(ScriptableGameObj* obj)
{
    Commands->Start_Timer(obj, this, TurnStepPeriod, CHECK_TIMER_NUMBER);
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

    Matrix3D m = Get_Transform(obj);
    Turn_Step(m);
    Set_Transform(obj, m);

    Vector3 position = Commands->Get_Position(obj);
    position.Z = Lifted(position.Z);
    Commands->Set_Position(obj, position);

    Commands->Start_Timer(obj, this, TurnStepPeriod, CHECK_TIMER_NUMBER);
}
