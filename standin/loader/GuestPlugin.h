// A plug-in DLL for the host's own platform, played by the stand-in under an emulated processor.
#pragma once

#include <string>
#include <vector>

class Plugin;

namespace standin {

class GuestPlugin;

// Whether `bytes` are a DLL this loader can lay out; false with `error` (what is wrong) otherwise.
bool Check_Guest_Plugin(const std::vector<char>& bytes, std::string& error);

// Loads the DLL of `bytes` (`name`: the file, for messages) and starts it (its start-up code).
// Null with `error` when it cannot be loaded or started.
GuestPlugin* Load_Guest_Plugin(const std::vector<char>& bytes, const std::string& name, std::string& error);
// Calls its Plugin_Init: the plug-in it hands over (a native stand-in that forwards into the
// DLL), null when none; false with `error` when it exports no Plugin_Init.
bool Guest_Plugin_Init(GuestPlugin* plugin, Plugin*& instance, std::string& error);
// Stops the DLL (its clean-up code) and frees everything of it.
void Unload_Guest_Plugin(GuestPlugin* plugin);

}  // namespace standin
