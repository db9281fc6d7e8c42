// Loading a plug-in the way the host does: its file opened and checked once, then loaded with the
// dynamic loader (or, for a DLL of the host's own platform, laid out and run under an emulated
// processor) and Plugin_Init called. This is the programs' part, not the host's libraries': the
// simulator and the tests link it beside the stand-in host.
#pragma once

#include <string>
#include <vector>

#include "GuestPlugin.h"
#include "Host.h"
#include "TextFile.h"

namespace standin {

// A plug-in library file, opened once: the file checked is the file loaded, however often, even
// if its name comes to mean another file meanwhile. A name without a slash is a file in the
// current folder, never one searched for along the library path.
class PluginFile
{
public:
    PluginFile() = default;
    ~PluginFile();
    PluginFile(const PluginFile&) = delete;
    PluginFile& operator=(const PluginFile&) = delete;

    // Opens `path` and checks what the loader would trust of it: an ELF shared library of this
    // machine, every header, segment and dynamic entry within the file and its mapped image.
    // Fails ("PATH: what") otherwise.
    text::Status Open(const std::string& path);
    bool Is_Open() const { return Descriptor >= 0; }
    const std::string& Name() const { return Path; }
    // The name the loader opens the very same file by.
    std::string Loader_Name() const;
    // Whether it is a DLL for the host's own platform, run under the emulated processor.
    bool Is_Windows_Dll() const { return WindowsDll; }
    // Its whole content, read again from the open file, or why it cannot be.
    text::Expected<std::vector<char>> Read_Content() const;

private:
    std::string Path;
    int Descriptor = -1;
    bool WindowsDll = false;
};

// A plug-in library loaded the way the host loads one: with the dynamic loader, then
// Plugin_Init found by name and called.
class LoadedPlugin
{
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // Fails when the library cannot be loaded, has no Plugin_Init, or its
    // Plugin_Init hands over no plug-in or one that subscribed to no event (the host would never
    // call it).
    text::Status Load(const PluginFile& file);
    // The same for the file at `path`, opened for this load alone.
    text::Status Load(const std::string& path);

    // Shuts the level down (every object and script goes, so no call can land in the library
    // afterwards), then unloads the library.
    void Unload();

    Plugin* Get() const { return Instance; }
    void* Handle() const { return LibraryHandle; }

private:
    text::Status Load_Dll(const PluginFile& file);

    void* LibraryHandle = nullptr;
    GuestPlugin* Guest = nullptr;  // a DLL run under the emulated processor
    Plugin* Instance = nullptr;
};

}  // namespace standin
