# Builds the plug-in for the host's own platform: a 32-bit Windows DLL of the MSVC ABI (one
# vtable slot per virtual destructor, __thiscall, MSVC name mangling), with clang and lld-link
# from Debian. No Windows SDK is needed: tools/win32/include declares the little of the C runtime
# the plug-in uses, tools/win32/runtime starts the DLL, and the import libraries of the host's
# three DLLs and of the C runtime are made from what the plug-in's objects import.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link)
# There is no C runtime to link a test program against: the compiler checks stop at objects.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# The C runtime's few declarations are ours (see the main CMakeLists), and no system library is
# linked: the DLL imports from the host's DLLs and msvcrt.dll alone.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "No Windows SDK libraries" FORCE)
set(CMAKE_MSVC_RUNTIME_LIBRARY "")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No Windows SDK libraries" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld-link -nostdlib")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld-link -nostdlib")
find_program(VELTRASK_LLVM_NM NAMES llvm-nm llvm-nm-14 PATHS /usr/lib/llvm-14/bin REQUIRED)
find_program(VELTRASK_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 PATHS /usr/lib/llvm-14/bin REQUIRED)
find_program(VELTRASK_LLVM_READOBJ NAMES llvm-readobj llvm-readobj-14 PATHS /usr/lib/llvm-14/bin REQUIRED)
