// A plug-in DLL in an emulated processor: mapped at a base of the host's choosing, its imports
// bound to native handlers, started (DllMain) and stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "GuestCpu.h"
#include "PeImage.h"

namespace standin::guest {

// What an import is bound to: a native handler behind a stub (with the bytes of arguments its
// convention pops on return, and whether it returns a float), or data at a guest address.
struct Binding
{
    bool Known = false;
    std::uint32_t Data = 0;  // data imports: the address of the variable
    unsigned Pops = 0;
    bool Float = false;
    GuestCpu::Handler Run;
};

// Whether an import's decorated name is a variable (a global, or a class's static member)
// rather than a function.
bool Is_Data_Import(const std::string& name);

class GuestDll
{
public:
    using Binder = std::function<Binding(const PeImport&)>;

    explicit GuestDll(GuestCpu& cpu) : Cpu(cpu) {}

    // Lays the DLL of `bytes` out at `base` in the processor's memory and binds every import by
    // `bind`: one it does not know becomes a stub that stops the DLL with the import's name
    // when called, and a variable it does not know refuses the load.
    text::Status Load(const std::vector<char>& bytes, std::uint32_t base, const Binder& bind);

    // DllMain with DLL_PROCESS_ATTACH, then DLL_PROCESS_DETACH: its start-up and clean-up code.
    text::Status Attach() { return Main(1); }
    text::Status Detach() { return Main(0); }
    // The guest address of an export; 0 for none.
    std::uint32_t Export(const std::string& name) const;
    std::uint32_t Base() const { return At; }

private:
    text::Status Main(std::uint32_t reason);

    GuestCpu& Cpu;
    PeImage Image;
    std::uint32_t At = 0;
};

}  // namespace standin::guest
