// Notes of each call into the plug-in, for a watcher that outlives it.
#include <cstring>

#include "CallNote.h"
#include "WorldState.h"

namespace standin {
namespace {

PluginCallNote* Note = nullptr;

}  // namespace

void Note_Plugin_Calls(PluginCallNote* note) { Note = note; }

InPlugin::InPlugin(const char* what)
{
    if (Note == nullptr) {
        return;
    }
    if (Note->Depth.load() == 0) {
        std::strncpy(Note->What, what, sizeof(Note->What) - 1);
        Note->What[sizeof(Note->What) - 1] = '\0';
        Note->Running = Game_Running();
        Note->Time = Note->Running ? Current_Time() : 0.0;
    }
    Note->Began.fetch_add(1);
    Note->Depth.fetch_add(1);
}

InPlugin::~InPlugin()
{
    if (Note != nullptr) {
        Note->Depth.fetch_sub(1);
    }
}

}  // namespace standin
