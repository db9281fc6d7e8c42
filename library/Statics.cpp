// Every static object of the library that is built and torn down, in one translation unit. The
// plain numbers (the settings in Settings.cpp, the scan clock in Scan.cpp) are constant-
// initialised and have no teardown, so they need no place in this order.
//
// C++ orders the construction of static objects within a translation unit (by definition) but
// not across translation units, and tears them down in the reverse order. Keeping them all here
// makes both orders the ones below:
//   construction: the two preset sets, the "Veltrask_Script" factory, the
//                 "RotateUpwards_Script" factory, the plug-in (which subscribes to its events);
//   teardown:     the plug-in (unsubscribes), the two factories (withdraw their names), the
//                 two sets (release their memory).
// The sets are constant-initialised, so they exist before any code of the library runs; their
// destructors still take their place in the order above.
#include "FlipKillScript.h"
#include "FlippedVehiclePlugin.h"
#include "RotateUpwardsScript.h"
#include "Contract.h"
#include "Settings.h"
#include "StringHashTable.h"
#include "TypedScriptFactory.h"

#if defined(_WIN32)
#  define PLUGIN_EXPORT __declspec(dllexport)
#else
#  define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

StringHashTableClass DontFlipKillPresets;
StringHashTableClass RotateUpwardsPresets;

namespace {

TypedScriptFactory<FlipKillScript> FlipKillScriptFactory(FLIP_KILL_SCRIPT_NAME, "");
TypedScriptFactory<RotateUpwardsScript> RotateUpwardsScriptFactory(ROTATE_UPWARDS_SCRIPT_NAME, "");
FlippedVehiclePlugin ThePlugin;

}  // namespace

// The library's only export: the plug-in instance, the same on every call.
extern "C" PLUGIN_EXPORT Plugin* Plugin_Init() { return &ThePlugin; }
