// The host's plug-in interface: the object a plug-in library hands the host, and the events
// it can subscribe to.
#pragma once

#include "HostApi.h"

class INIClass;

enum EventType : int
{
    EVENT_GLOBAL_SETTINGS = 0,
    EVENT_LEVEL_LOADED = 4,
    EVENT_TICK = 12,
};

// A plug-in object. The host calls a subscribed object's handler for each event; every slot
// has a default, so a plug-in overrides only what it handles. The unnamed slots carry only
// their position, argument count and default result.
class Plugin
{
public:
    virtual ~Plugin() {}
    virtual float Get_Interface_Version() { return 4.0f; }
    virtual void Load_Global_Settings(INIClass*) {}
    virtual void Event_Slot_4() {}
    virtual void Event_Slot_5(int) {}
    virtual void Event_Slot_6() {}
    virtual bool Event_Slot_7(int, int, int, int) { return true; }
    virtual void Event_Slot_8(int, int) {}
    virtual void Level_Loaded() {}
    virtual void Event_Slot_10() {}
    virtual void Event_Slot_11(int, int) {}
    virtual void Event_Slot_12(int) {}
    virtual bool Event_Slot_13(int) { return true; }
    virtual int Event_Slot_14(int, int, int, int, int) { return -1; }
    virtual int Event_Slot_15(int, int, int, int, int) { return -1; }
    virtual int Event_Slot_16(int, int, int, int, int) { return -1; }
    virtual void Tick() {}
    virtual bool Event_Slot_18(int, int, int, int, int) { return true; }
    virtual bool Event_Slot_19(int, int, int, int) { return true; }
    virtual bool Event_Slot_20(int, int, int, int) { return true; }
};

// Subscribes `plugin` to `event`: from then on the host calls its handler for it.
HOST_API void RegisterEvent(EventType event, Plugin* plugin);
// Ends such a subscription.
HOST_API void UnregisterEvent(EventType event, Plugin* plugin);
