// A plug-in library whose Plugin_Init hands the host nothing.
#include "Plugin.h"

extern "C" __attribute__((visibility("default"))) Plugin* Plugin_Init() { return nullptr; }
