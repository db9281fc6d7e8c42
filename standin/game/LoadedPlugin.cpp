// Loading a plug-in library as the host does: the dynamic loader, then Plugin_Init by name.
#include <dlfcn.h>

#include "Host.h"

namespace standin {

LoadedPlugin::~LoadedPlugin() { Unload(); }

bool LoadedPlugin::Load(const std::string& path, std::string& error)
{
    Unload();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : ("cannot load " + path);
        return false;
    }
    void* entry = dlsym(handle, "Plugin_Init");
    if (entry == nullptr) {
        error = path + ": no Plugin_Init";
        dlclose(handle);
        return false;
    }
    using InitFunction = Plugin* (*)();
    LibraryHandle = handle;
    Instance = reinterpret_cast<InitFunction>(entry)();
    return true;
}

void LoadedPlugin::Unload()
{
    if (LibraryHandle == nullptr) {
        return;
    }
    Shut_Down_Level();
    dlclose(LibraryHandle);
    LibraryHandle = nullptr;
    Instance = nullptr;
}

}  // namespace standin
