// The command table: what scripts ask of the host through Commands.
#include "WorldState.h"

namespace standin {

namespace {

const char* Cmd_Get_Preset_Name(ScriptableGameObj* obj)
{
    HostObjectState* state = State_Of(obj);
    return state != nullptr ? state->Preset.c_str() : "";
}

void Cmd_Start_Timer(ScriptableGameObj* obj, ScriptImpClass* script, float seconds, int number)
{
    Start_Timer(obj, script, seconds, number);
}

void Cmd_Apply_Damage(ScriptableGameObj* obj, float amount, const char* warhead, ScriptableGameObj* damager)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || !state->Alive) {
        return;
    }
    Record(events::Damaged{amount, Intern(warhead != nullptr ? warhead : ""), damager != nullptr ? State_Of(damager)->Id : -1},
           state);
    if (state->Invulnerable) {
        return;
    }
    state->Health -= amount;
    if (state->Health <= 0.0f) {
        Destroy(state, damager, true);
    }
}

Vector3 Cmd_Get_Position(ScriptableGameObj* obj)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr) {
        return Vector3{0, 0, 0};
    }
    const Matrix3D& m = state->Transform;
    return Vector3{m.Row[0][3], m.Row[1][3], m.Row[2][3]};
}

void Cmd_Set_Position(ScriptableGameObj* obj, const Vector3& position)
{
    HostObjectState* state = State_Of(obj);
    if (state == nullptr || !state->Alive) {
        return;
    }
    state->Transform.Row[0][3] = position.X;
    state->Transform.Row[1][3] = position.Y;
    state->Transform.Row[2][3] = position.Z;
    Record(events::PositionSet{position}, state);
}

ScriptCommands command_table = {Cmd_Get_Preset_Name, Cmd_Start_Timer, Cmd_Apply_Damage,
                                 Cmd_Get_Position, Cmd_Set_Position};

}  // namespace

}  // namespace standin

ScriptCommands* Commands = &standin::command_table;
