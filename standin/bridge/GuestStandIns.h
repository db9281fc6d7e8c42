// Native stand-ins of the DLL's objects: what the host holds of a plug-in, a script factory or a
// script of the DLL's. Each virtual call the host makes on one is forwarded into the DLL, its
// host objects passed as the DLL's handles. They are allocated outside the memory manager, so
// that only the DLL's own blocks are counted.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "Bridge.h"
#include "WorldState.h"

namespace standin {

template <class Base> class GuestObject : public Base
{
public:
    using Base::Base;
    static void* operator new(std::size_t bytes) { return std::malloc(bytes); }
    static void operator delete(void* block) { std::free(block); }
};

class GuestPluginObject final : public GuestObject<Plugin>
{
public:
    GuestPluginObject(GuestPlugin& host, std::uint32_t object) : Host(host), Object(object) {}
    void Load_Global_Settings(INIClass* ini) override
    {
        Host.Call_Virtual(Object, LoadGlobalSettings, {Host.Handles.Ini_Handle(ini)});
    }
    void Level_Loaded() override { Host.Call_Virtual(Object, LevelLoaded, {}); }
    void Tick() override { Host.Call_Virtual(Object, PluginTick, {}); }

private:
    GuestPlugin& Host;
    std::uint32_t Object;
};

class GuestScript final : public GuestObject<ScriptImpClass>
{
public:
    GuestScript(GuestPlugin& host, std::uint32_t object) : Host(host), Object(object) {}
    // The host deletes a script through its virtual destructor: the DLL's scalar deleting
    // destructor, told to free the object too.
    ~GuestScript() override
    {
        Host.Forget_Script(Object);
        Host.Call_Virtual(Object, ScriptDestructor, {1});
    }
    const char* Get_Name() override { return Intern(Host.Cpu.Read_Text(Host.Call_Virtual(Object, GetName, {})).c_str()); }
    void Created(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, CreatedSlot, {Handle(obj)}); }
    void Destroyed(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, DestroyedSlot, {Handle(obj)}); }
    void Killed(ScriptableGameObj* obj, ScriptableGameObj* killer) override
    {
        Host.Call_Virtual(Object, KilledSlot, {Handle(obj), Handle(killer)});
    }
    void Damaged(ScriptableGameObj* obj, ScriptableGameObj* damager, float amount) override
    {
        Host.Call_Virtual(Object, DamagedSlot, {Handle(obj), Handle(damager), Bits(amount)});
    }
    void Timer_Expired(ScriptableGameObj* obj, int number) override
    {
        Host.Call_Virtual(Object, TimerExpiredSlot, {Handle(obj), static_cast<std::uint32_t>(number)});
    }
    void Set_Parameters_String(const char* params) override
    {
        Host.Call_Virtual(Object, SetParametersSlot, {Host.Memory.Text(params != nullptr ? params : "")});
    }

protected:
    void Attach(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, AttachSlot, {Handle(obj)}); }
    void Detach(ScriptableGameObj* obj) override { Host.Call_Virtual(Object, DetachSlot, {Handle(obj)}); }

private:
    std::uint32_t Handle(ScriptableGameObj* obj) { return Host.Handles.Handle_Of(obj); }

    GuestPlugin& Host;
    std::uint32_t Object;
};

class GuestFactory final : public GuestObject<ScriptFactory>
{
public:
    GuestFactory(GuestPlugin& host, std::uint32_t object, const char* name, const char* description)
        : GuestObject<ScriptFactory>(name, description), Host(host), Object(object)
    {
    }
    ScriptImpClass* Create() override
    {
        const std::uint32_t script = Host.Call_Virtual(Object, FactoryCreate, {});
        return script != 0 ? Host.Script_Of(script) : nullptr;
    }

private:
    GuestPlugin& Host;
    std::uint32_t Object;
};

}  // namespace standin
