#include "GuestDll.h"

namespace standin::guest {

bool Is_Data_Import(const std::string& name)
{
    // MSVC decorations: "?name@@3..." is a global variable, "?name@Class@@2..." a static member.
    const std::size_t at = name.find("@@");
    return !name.empty() && name[0] == '?' && at != std::string::npos && at + 2 < name.size() &&
           (name[at + 2] == '2' || name[at + 2] == '3');
}

bool GuestDll::Load(const std::vector<char>& bytes, std::uint32_t base, const Binder& bind, std::string& error)
{
    if (!Cpu.Ready()) {
        error = Cpu.Error();
        return false;
    }
    std::vector<std::uint8_t> image;
    if (!Image.Read(bytes, error) || !Image.Lay_Out(base, image, error)) {
        return false;
    }
    const std::uint32_t size = (Image.Size() + 0xFFFu) & ~0xFFFu;
    image.resize(size, 0);
    if (!Cpu.Map(base, size, image.data())) {
        error = "no room for the DLL's " + std::to_string(size) + " bytes at its base";
        return false;
    }
    At = base;
    for (const PeImport& import : Image.Imports()) {
        const Binding binding = bind(import);
        std::uint32_t value = 0;
        if (Is_Data_Import(import.Name)) {
            if (!binding.Known || binding.Data == 0) {
                error = "imports the variable " + import.Name + " from " + import.Dll + ", which the stand-in host does not provide";
                return false;
            }
            value = binding.Data;
        } else if (binding.Known) {
            value = Cpu.Add_Stub(import.Name, binding.Pops, binding.Float, binding.Run);
        } else {
            const std::string what = "the DLL called " + import.Name + " from " + import.Dll +
                                     ", which the stand-in host does not provide";
            value = Cpu.Add_Stub(import.Name, 0, false, [what](GuestCpu& cpu) { cpu.Stop(what); });
        }
        Cpu.Write_U32(base + import.Slot, value);
    }
    return true;
}

std::uint32_t GuestDll::Export(const std::string& name) const { return Image.Export(name, At).value_or(0); }

bool GuestDll::Main(std::uint32_t reason, std::string& error)
{
    const std::uint32_t entry = Image.Entry(At);
    if (entry == 0) {
        return true;
    }
    std::uint32_t result = 0;
    if (!Cpu.Call(entry, 0, {At, reason, 0}, result)) {
        error = Cpu.Error();
        return false;
    }
    if (reason == 1 && result == 0) {
        error = "its DllMain refused to start (returned FALSE)";
        return false;
    }
    return true;
}

}  // namespace standin::guest
