// Events: plug-ins subscribe to them, and the host raises them.
#include <algorithm>

#include "INIClass.h"
#include "WorldState.h"

namespace standin {

void Raise(EventType event, INIClass* ini)
{
    World& w = W();
    SysVector<Plugin*> targets;
    for (const auto& subscription : w.Subscribers) {
        if (subscription.first == event) {
            targets.push_back(subscription.second);
        }
    }
    for (Plugin* plugin : targets) {
        // A handler may end another's subscription; it then hears nothing more.
        const bool still = std::any_of(w.Subscribers.begin(), w.Subscribers.end(), [&](const auto& s) {
            return s.first == event && s.second == plugin;
        });
        if (!still) {
            continue;
        }
        PluginCall call;
        switch (event) {
        case EVENT_GLOBAL_SETTINGS: {
            InPlugin running("Load_Global_Settings");
            plugin->Load_Global_Settings(ini);
            break;
        }
        case EVENT_LEVEL_LOADED: {
            InPlugin running("Level_Loaded");
            plugin->Level_Loaded();
            break;
        }
        case EVENT_TICK: {
            InPlugin running("Tick");
            plugin->Tick();
            break;
        }
        }
    }
}

void Raise_Global_Settings(INIClass* ini) { Raise(EVENT_GLOBAL_SETTINGS, ini); }

}  // namespace standin

void RegisterEvent(EventType event, Plugin* plugin)
{
    standin::W().Subscribers.emplace_back(event, plugin);
    standin::Record(standin::events::Subscribed{event});
}

void UnregisterEvent(EventType event, Plugin* plugin)
{
    auto& list = standin::W().Subscribers;
    auto found = std::find(list.begin(), list.end(), std::make_pair(event, plugin));
    if (found != list.end()) {
        list.erase(found);
    }
    standin::Record(standin::events::Unsubscribed{event});
}
