// A build without the emulator: it runs no DLL, and says so.
#include "GuestPlugin.h"
#include "PluginLoader.h"

namespace standin {

bool Check_Guest_Plugin(const std::vector<char>&, std::string& error)
{
    error = "a Windows DLL, and this build of the stand-in host runs none (it was built without the x86 emulator)";
    return false;
}

bool Guest_Plugin_Init(GuestPlugin*, Plugin*& instance, std::string&)
{
    instance = nullptr;
    return false;
}

GuestPlugin* Load_Guest_Plugin(const std::vector<char>&, const std::string&, std::string& error)
{
    error = "this build of the stand-in host runs no Windows DLL (it was built without the x86 emulator)";
    return nullptr;
}

void Unload_Guest_Plugin(GuestPlugin*) {}

void On_Guest_Fault(GuestFaultHandler) {}

}  // namespace standin
