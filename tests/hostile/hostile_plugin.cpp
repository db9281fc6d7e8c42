// Plug-ins that misbehave, one way each (chosen by HOSTILE_KIND when built), for the tests of a
// simulator that must outlive them.
#include <unistd.h>

#include <cstdlib>

#include "Plugin.h"

#define HOSTILE_CRASH 1
#define HOSTILE_ABORT 2
#define HOSTILE_HANG 3
#define HOSTILE_EXIT_AT_LOAD 4
#define HOSTILE_EXIT_IN_TICK 5
#define HOSTILE_SILENT 6
#define HOSTILE_JUNK 7

namespace {

#if HOSTILE_KIND == HOSTILE_CRASH
volatile int* volatile Nowhere = nullptr;
#endif

class Hostile : public Plugin
{
public:
    Hostile()
    {
#if HOSTILE_KIND == HOSTILE_EXIT_AT_LOAD
        std::exit(0);
#endif
#if HOSTILE_KIND != HOSTILE_SILENT
        RegisterEvent(EVENT_GLOBAL_SETTINGS, this);
        RegisterEvent(EVENT_LEVEL_LOADED, this);
        RegisterEvent(EVENT_TICK, this);
#endif
    }
    ~Hostile() override
    {
#if HOSTILE_KIND != HOSTILE_SILENT
        UnregisterEvent(EVENT_GLOBAL_SETTINGS, this);
        UnregisterEvent(EVENT_LEVEL_LOADED, this);
        UnregisterEvent(EVENT_TICK, this);
#endif
    }
    void Load_Global_Settings(INIClass*) override
    {
#if HOSTILE_KIND == HOSTILE_ABORT
        std::abort();
#endif
    }
    void Level_Loaded() override
    {
#if HOSTILE_KIND == HOSTILE_HANG
        for (volatile int forever = 1; forever != 0;) {
        }
#endif
    }
    void Tick() override
    {
        if (++Ticks < 45) {
            return;
        }
#if HOSTILE_KIND == HOSTILE_CRASH
        *Nowhere = 1;
#elif HOSTILE_KIND == HOSTILE_EXIT_IN_TICK
        _exit(0);
#endif
    }

private:
    int Ticks = 0;
};

Hostile ThePlugin;

}  // namespace

extern "C" __attribute__((visibility("default"))) Plugin* Plugin_Init()
{
#if HOSTILE_KIND == HOSTILE_JUNK
    return reinterpret_cast<Plugin*>(0x1000);
#else
    return &ThePlugin;
#endif
}
