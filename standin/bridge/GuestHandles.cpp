#include "GuestHandles.h"

#include <string>

#include "WorldState.h"

namespace standin {

std::uint32_t GuestHandles::Handle_Of(ScriptableGameObj* obj)
{
    if (obj == nullptr) {
        return 0;
    }
    const auto found = Handles.find(obj);
    if (found != Handles.end()) {
        return found->second;
    }
    // The object itself (4 bytes the DLL never reads) and its list node {next, object}.
    const std::uint32_t at = Memory.Host_Alloc(12);
    Cpu.Write_U32(at + 8, at);
    Handles[obj] = at;
    Objects[at] = obj;
    return at;
}

ScriptableGameObj* GuestHandles::Object_Of(std::uint32_t handle)
{
    if (handle == 0) {
        return nullptr;
    }
    const auto found = Objects.find(handle);
    if (found == Objects.end()) {
        Cpu.Stop("the DLL passed an object the host never gave it (" + std::to_string(handle) + ")");
        return nullptr;
    }
    return found->second;
}

std::uint32_t GuestHandles::Ini_Handle(INIClass* ini)
{
    if (ini == nullptr) {
        return 0;
    }
    const auto found = Inis.find(ini);
    if (found != Inis.end()) {
        return found->second;
    }
    const std::uint32_t at = Memory.Host_Alloc(16);
    Inis[ini] = at;
    IniOf[at] = ini;
    return at;
}

INIClass* GuestHandles::Ini_Of(std::uint32_t handle)
{
    const auto found = IniOf.find(handle);
    if (found == IniOf.end()) {
        Cpu.Stop("the DLL read settings the host never handed it");
        return nullptr;
    }
    return found->second;
}

void GuestHandles::Sync_List()
{
    const std::uint32_t list = Memory.Vars().ListVar;
    if (list == 0 || W().ListChanges == SeenChanges) {
        return;
    }
    SeenChanges = W().ListChanges;
    const SList<SmartGameObj>& objects = GameObjManager::SmartGameObjList;
    const auto node = [&](SLNode<SmartGameObj>* n) { return n != nullptr ? Handle_Of(n->Object) + 4 : 0u; };
    for (SLNode<SmartGameObj>* n = objects.HeadNode; n != nullptr; n = n->NextNode) {
        Cpu.Write_U32(Handle_Of(n->Object) + 4, node(n->NextNode));
    }
    Cpu.Write_U32(list, node(objects.HeadNode));
    Cpu.Write_U32(list + 4, node(objects.TailNode));
}

}  // namespace standin
