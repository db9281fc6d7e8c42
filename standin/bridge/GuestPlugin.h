// A plug-in DLL for the host's own platform, played by the stand-in under an emulated processor.
#pragma once

#include <string>
#include <vector>

#include "TextFile.h"

class Plugin;

namespace standin {

class GuestPlugin;

// Whether `bytes` are a DLL this loader can lay out, or what is wrong with them.
text::Status Check_Guest_Plugin(const std::vector<char>& bytes);

// Loads the DLL of `bytes` (`name`: the file, for messages) and starts it (its start-up code).
// Fails when it cannot be loaded or started.
text::Expected<GuestPlugin*> Load_Guest_Plugin(const std::vector<char>& bytes, const std::string& name);
// Calls its Plugin_Init: the plug-in it hands over (a native stand-in that forwards into the
// DLL), null when none; fails when it exports no Plugin_Init.
text::Expected<Plugin*> Guest_Plugin_Init(GuestPlugin* plugin);
// Stops the DLL (its clean-up code) and frees everything of it.
void Unload_Guest_Plugin(GuestPlugin* plugin);

// What becomes of a fault inside a DLL run under the emulated processor (an unmapped access, an
// invalid instruction, an import the stand-in does not provide, a call that never returns):
// `fault` is told what happened, with the DLL's address or import, and the program decides what
// follows (the simulator ends the run). Calls into a DLL that faulted do nothing from then on.
// Without a handler, the fault is only remembered.
using GuestFaultHandler = void (*)(const std::string& fault);
void On_Guest_Fault(GuestFaultHandler fault);

}  // namespace standin
