#include "GuestDll.h"

namespace standin::guest {

bool Is_Data_Import(const std::string& name)
{
    // MSVC decorations: "?name@@3..." is a global variable, "?name@Class@@2..." a static member.
    const std::size_t at = name.find("@@");
    return !name.empty() && name[0] == '?' && at != std::string::npos && at + 2 < name.size() &&
           (name[at + 2] == '2' || name[at + 2] == '3');
}

text::Status GuestDll::Load(const std::vector<char>& bytes, std::uint32_t base, const Binder& bind)
{
    if (!Cpu.Ready()) {
        return text::Failure(Cpu.Error());
    }
    if (text::Status read = Image.Read(bytes); !read) {
        return read;
    }
    text::Expected<std::vector<std::uint8_t>> laid_out = Image.Lay_Out(base);
    if (!laid_out) {
        return laid_out.Error();
    }
    std::vector<std::uint8_t>& image = *laid_out;
    const std::uint32_t size = (Image.Size() + 0xFFFu) & ~0xFFFu;
    image.resize(size, 0);
    if (!Cpu.Map(base, size, image.data())) {
        return text::Failure("no room for the DLL's " + std::to_string(size) + " bytes at its base");
    }
    At = base;
    for (const PeImport& import : Image.Imports()) {
        const Binding binding = bind(import);
        std::uint32_t value = 0;
        if (Is_Data_Import(import.Name)) {
            if (!binding.Known || binding.Data == 0) {
                return text::Failure("imports the variable " + import.Name + " from " + import.Dll + ", which the stand-in host does not provide");
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
    return {};
}

std::uint32_t GuestDll::Export(const std::string& name) const { return Image.Export(name, At).value_or(0); }

text::Status GuestDll::Main(std::uint32_t reason)
{
    const std::uint32_t entry = Image.Entry(At);
    if (entry == 0) {
        return {};
    }
    std::uint32_t result = 0;
    if (!Cpu.Call(entry, 0, {At, reason, 0}, result)) {
        return text::Failure(Cpu.Error());
    }
    if (reason == 1 && result == 0) {
        return text::Failure("its DllMain refused to start (returned FALSE)");
    }
    return {};
}

}  // namespace standin::guest
