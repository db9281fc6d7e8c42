// Linkage of everything the host's libraries export to plug-ins.
//
// The plug-in is built with hidden visibility, so whatever it imports from the host must be
// declared with default visibility, or the linker would expect to find it inside the plug-in.
// On the host's own platform the same macro would stand for the import declaration.
#pragma once

#if defined(_WIN32)
#  if defined(HOST_BUILDING_LIBRARY)
#    define HOST_API __declspec(dllexport)
#  else
#    define HOST_API __declspec(dllimport)
#  endif
#else
#  define HOST_API __attribute__((visibility("default")))
#endif
