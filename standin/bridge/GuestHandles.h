// The DLL's view of the host's objects: each game object and settings reader it is handed gets a
// handle in its memory (an object's handle doubles as its node of the object list, which is
// kept in step with the host's before each call into the DLL), and a handle it passes back is
// turned into the host's object again.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "GuestCpu.h"
#include "GuestMemory.h"

class INIClass;
class ScriptableGameObj;

namespace standin {

class GuestHandles
{
public:
    GuestHandles(guest::GuestCpu& cpu, GuestMemory& memory) : Cpu(cpu), Memory(memory) {}

    std::uint32_t Handle_Of(ScriptableGameObj* obj);
    // The object of `handle`; null for 0, and for a handle never given (the call under way then
    // stops).
    ScriptableGameObj* Object_Of(std::uint32_t handle);

    std::uint32_t Ini_Handle(INIClass* ini);
    // The settings reader of `handle`; null (and the call under way stopped) for one never given.
    INIClass* Ini_Of(std::uint32_t handle);

    // Writes the host's object list into the DLL's memory when it changed since the last time.
    void Sync_List();

private:
    guest::GuestCpu& Cpu;
    GuestMemory& Memory;
    std::uint64_t SeenChanges = ~0ull;
    std::unordered_map<ScriptableGameObj*, std::uint32_t> Handles;
    std::unordered_map<std::uint32_t, ScriptableGameObj*> Objects;
    std::unordered_map<INIClass*, std::uint32_t> Inis;
    std::unordered_map<std::uint32_t, INIClass*> IniOf;
};

}  // namespace standin
