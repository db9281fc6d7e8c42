#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTargets.h"
#include "Said.h"
#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "MemoryManager.h"
#include "StringClass.h"

namespace {

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
}

}  // namespace

int Fuzz_Settings(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    INIClass ini;
    std::string error;
    if (!test::Said(standin::Load_Ini_Text(text, "fuzz.ini", ini), error)) {
        if (error.rfind("fuzz.ini:", 0) != 0) {
            Broken("a refusal that does not name the file");
        }
        return 0;
    }
    const long long blocks = standin::memory::Current().LiveBlocks;
    {
        standin::LoadedPlugin plugin;
        if (!test::Said(plugin.Load(VELTRASK_PLUGIN_PATH), error)) {
            Broken(error.c_str());
        }
        standin::Raise_Global_Settings(&ini);
        standin::Raise_Global_Settings(&ini);
        standin::Load_Level(4);
        // Vehicles of the listed presets, flipped, so the lookups find what was inserted.
        int spawned = 0;
        for (const char* section : {"Veltrask_DontFlipKillPresets", "Veltrask_RotateUpwardsPresets"}) {
            for (int i = 0; i < ini.Entry_Count(section) && spawned < 16; ++i, ++spawned) {
                StringClass preset;
                ini.Get_String(preset, section, ini.Get_Entry(section, i), nullptr);
                Matrix3D flipped = Matrix3D::Identity();
                flipped.Row[2][2] = -1;
                flipped.Row[1][1] = -1;
                standin::Create_Vehicle("v", preset.Peek_Buffer(), static_cast<unsigned>(i % 5), flipped);
            }
        }
        for (int tick = 0; tick < 24; ++tick) {
            standin::Tick();
        }
        plugin.Unload();
    }
    standin::Clear_Journal();
    if (standin::memory::Current().LiveBlocks != blocks) {
        Broken("the plug-in kept memory after unload");
    }
    return 0;
}
