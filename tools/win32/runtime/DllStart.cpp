// The start-up a DLL needs before any of its code runs, and that the C runtime's static library
// would otherwise bring: run the static objects' constructors when the DLL is loaded, and their
// destructors, last constructed first, when it is unloaded. Built only for the host's platform.
//
// The compiler places a pointer to each translation unit's initialiser in the sections
// .CRT$XCA .. .CRT$XCZ, which the linker merges in name order; the markers below bound them.
// Destructors are registered, as they are constructed, through atexit.

extern "C" {

typedef void(__cdecl* Initializer)(void);

#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) Initializer First_Initializer = nullptr;
__declspec(allocate(".CRT$XCZ")) Initializer Last_Initializer = nullptr;

// The compiler references this in every object that uses floating point.
int _fltused = 0;

namespace {

// The library has a handful of static objects; room for many more, and a refusal past that,
// which the C runtime's own atexit also allows.
const int MaxExitFunctions = 64;
Initializer Exit_Functions[MaxExitFunctions];
int Exit_Count = 0;

}  // namespace

int __cdecl atexit(Initializer function)
{
    if (function == nullptr || Exit_Count == MaxExitFunctions) {
        return -1;
    }
    Exit_Functions[Exit_Count++] = function;
    return 0;
}

int __stdcall _DllMainCRTStartup(void* /*instance*/, unsigned long reason, void* /*reserved*/)
{
    const unsigned long ProcessDetach = 0;
    const unsigned long ProcessAttach = 1;
    if (reason == ProcessAttach) {
        for (Initializer* i = &First_Initializer + 1; i < &Last_Initializer; ++i) {
            if (*i != nullptr) {
                (*i)();
            }
        }
    } else if (reason == ProcessDetach) {
        while (Exit_Count > 0) {
            Exit_Functions[--Exit_Count]();
        }
    }
    return 1;
}

}  // extern "C"
