// A plug-in DLL played by the stand-in host: loaded, started, called and stopped.
#include "GuestPlugin.h"

#include <new>

#include "Bridge.h"
#include "GuestStandIns.h"

namespace standin {
namespace {

GuestFaultHandler FaultHandler = nullptr;

}  // namespace

void On_Guest_Fault(GuestFaultHandler fault) { FaultHandler = fault; }

void GuestPlugin::Fault(const std::string& what)
{
    Faulted = true;
    if (FaultHandler != nullptr) {
        FaultHandler(what);
    }
}

GuestPlugin::~GuestPlugin()
{
    if (Started && !Faulted) {
        if (const text::Status stopped = Dll.Detach(); !stopped) {
            Fault(Name + ": " + stopped.Error().Message + " (as it was unloaded)");
        }
    }
    for (auto& [object, plugin] : Plugins) {
        delete plugin;
    }
    // Blocks the DLL never gave back are its leak: their native blocks stay, so the memory
    // manager's count shows it, as it shows the Linux plug-in's.
}

std::uint32_t GuestPlugin::Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args)
{
    if (Faulted) {
        return 0;  // a DLL that faulted is called no more
    }
    Handles.Sync_List();
    std::uint32_t result = 0;
    if (!Cpu.Call(address, self, args, result)) {
        Fault(Name + ": " + Cpu.Error() + "; the import it last called: " +
              (Cpu.Current_Import().empty() ? std::string("none") : Cpu.Current_Import()));
        return 0;
    }
    return result;
}

GuestScript* GuestPlugin::Script_Of(std::uint32_t script)
{
    const auto found = Scripts.find(script);
    if (found != Scripts.end()) {
        return found->second;
    }
    auto* native = new GuestScript(*this, script);
    Scripts[script] = native;
    return native;
}

GuestPluginObject* GuestPlugin::Plugin_Of(std::uint32_t object)
{
    auto found = Plugins.find(object);
    if (found == Plugins.end()) {
        found = Plugins.emplace(object, new GuestPluginObject(*this, object)).first;
    }
    return found->second;
}

void GuestPlugin::Add_Factory(std::uint32_t self, const std::string& name, const std::string& description)
{
    FactoryNames.push_back(name);
    const char* kept_name = FactoryNames.back().c_str();
    FactoryNames.push_back(description);
    Factories[self] = new GuestFactory(*this, self, kept_name, FactoryNames.back().c_str());
}

void GuestPlugin::Remove_Factory(std::uint32_t self)
{
    const auto found = Factories.find(self);
    if (found != Factories.end()) {
        delete found->second;
        Factories.erase(found);
    }
}

text::Status GuestPlugin::Load(const std::vector<char>& bytes)
{
    if (!Cpu.Ready()) {
        return text::Failure(Cpu.Error());
    }
    if (!Memory.Start()) {
        return text::Failure("no room for the host's memory");
    }
    Imports = Bind_Imports(*this);
    const auto bind = [this](const guest::PeImport& import) {
        const auto found = Imports.find(import.Dll + "!" + import.Name);
        return found != Imports.end() ? found->second : guest::Binding{};
    };
    if (text::Status loaded = Dll.Load(bytes, DllBase, bind); !loaded) {
        return loaded;
    }
    if (text::Status attached = Dll.Attach(); !attached) {
        return attached;
    }
    Started = true;
    return {};
}

text::Expected<Plugin*> GuestPlugin::Init()
{
    const std::uint32_t init = Dll.Export("Plugin_Init");
    if (init == 0) {
        return text::Failure("no Plugin_Init");
    }
    const std::uint32_t object = Call(init, 0, {});
    return object != 0 ? static_cast<Plugin*>(Plugin_Of(object)) : nullptr;
}

text::Status Check_Guest_Plugin(const std::vector<char>& bytes)
{
    guest::PeImage image;
    if (text::Status read = image.Read(bytes); !read) {
        return read;
    }
    if (text::Expected<std::vector<std::uint8_t>> laid_out = image.Lay_Out(DllBase); !laid_out) {
        return laid_out.Error();
    }
    return {};
}

text::Expected<GuestPlugin*> Load_Guest_Plugin(const std::vector<char>& bytes, const std::string& name)
{
    auto* plugin = new (std::nothrow) GuestPlugin(name);
    if (plugin == nullptr) {
        return text::Failure("no memory to run the DLL");
    }
    text::Status loaded = plugin->Load(bytes);
    if (!loaded) {
        delete plugin;
        return loaded.Error();
    }
    return plugin;
}

text::Expected<Plugin*> Guest_Plugin_Init(GuestPlugin* plugin) { return plugin->Init(); }

void Unload_Guest_Plugin(GuestPlugin* plugin) { delete plugin; }

}  // namespace standin
