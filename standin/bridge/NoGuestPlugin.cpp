// A build without the emulator: it runs no DLL, and says so.
#include "GuestPlugin.h"

namespace standin {

text::Status Check_Guest_Plugin(const std::vector<char>&)
{
    return text::Failure("a Windows DLL, and this build of the stand-in host runs none (it was built without the x86 emulator)");
}

text::Expected<Plugin*> Guest_Plugin_Init(GuestPlugin*) { return text::Failure("no Plugin_Init"); }

text::Expected<GuestPlugin*> Load_Guest_Plugin(const std::vector<char>&, const std::string&)
{
    return text::Failure("this build of the stand-in host runs no Windows DLL (it was built without the x86 emulator)");
}

void Unload_Guest_Plugin(GuestPlugin*) {}

void On_Guest_Fault(GuestFaultHandler) {}

}  // namespace standin
