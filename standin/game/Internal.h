// Hooks between the stand-in game library's own files.
#pragma once

class ScriptFactory;
class ScriptImpClass;
class ScriptableGameObj;

namespace standin {

void Host_Register_Factory(ScriptFactory* factory);
void Host_Withdraw_Factory(ScriptFactory* factory);
void Host_Destroy_Script(ScriptImpClass* script);
void Host_Attach_Script(ScriptableGameObj* obj, const char* name, const char* params);
void Host_Note_Auto_Save_Registration();

}  // namespace standin
