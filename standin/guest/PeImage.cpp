#include "PeImage.h"

#include <cstring>

namespace standin::guest {
namespace {

std::uint32_t U32(const std::vector<char>& b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

std::uint16_t U16(const std::vector<char>& b, std::size_t at)
{
    std::uint16_t v;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

bool Fits(std::uint64_t offset, std::uint64_t bytes, std::uint64_t size) { return offset <= size && bytes <= size - offset; }

constexpr std::uint16_t MachineI386 = 0x14C;
constexpr std::uint16_t CharacteristicDll = 0x2000;
constexpr std::uint16_t MagicPe32 = 0x10B;
constexpr std::uint32_t MaxImage = 64u << 20;

}  // namespace

text::Status PeImage::Read(const std::vector<char>& bytes)
{
    Bytes = bytes;
    const std::uint64_t size = Bytes.size();
    const auto fail = [](std::string what) -> text::Status { return text::Failure(std::move(what)); };
    if (size < 64 || Bytes[0] != 'M' || Bytes[1] != 'Z') {
        return fail("not a Windows DLL");
    }
    const std::uint32_t pe = U32(Bytes, 0x3C);
    if (!Fits(pe, 24, size) || std::memcmp(Bytes.data() + pe, "PE\0\0", 4) != 0) {
        return fail("not a Windows DLL (no PE header where its DOS header points)");
    }
    const std::size_t coff = pe + 4;
    const std::uint16_t machine = U16(Bytes, coff);
    const std::uint16_t sections = U16(Bytes, coff + 2);
    const std::uint16_t optional_size = U16(Bytes, coff + 16);
    const std::uint16_t characteristics = U16(Bytes, coff + 18);
    if (machine != MachineI386) {
        return fail("a Windows DLL for another processor than i386");
    }
    if ((characteristics & CharacteristicDll) == 0) {
        return fail("a Windows program, not a DLL");
    }
    const std::size_t opt = coff + 20;
    if (optional_size < 96 || !Fits(opt, optional_size, size) || U16(Bytes, opt) != MagicPe32) {
        return fail("not a 32-bit (PE32) DLL, or its optional header is cut short");
    }
    EntryPoint = U32(Bytes, opt + 16);
    PreferredBase = U32(Bytes, opt + 28);
    const std::uint32_t section_align = U32(Bytes, opt + 32);
    SizeOfImage = U32(Bytes, opt + 56);
    SizeOfHeaders = U32(Bytes, opt + 60);
    const std::uint32_t directories = U32(Bytes, opt + 92);
    if (SizeOfImage == 0 || SizeOfImage > MaxImage || SizeOfHeaders > SizeOfImage || SizeOfHeaders > size ||
        section_align < 0x1000 || (section_align & (section_align - 1)) != 0 || EntryPoint >= SizeOfImage) {
        return fail("damaged: its image size, header size, alignment or entry point make no sense");
    }
    const auto directory = [&](unsigned index, std::uint32_t& at, std::uint32_t& bytes_of) {
        at = bytes_of = 0;
        if (index < directories && 96u + 8u * (index + 1) <= optional_size) {
            at = U32(Bytes, opt + 96 + 8 * index);
            bytes_of = U32(Bytes, opt + 96 + 8 * index + 4);
        }
    };
    std::uint32_t imports_at = 0, imports_size = 0, unused_at = 0, unused_size = 0;
    directory(0, ExportsAt, ExportsSize);
    directory(1, imports_at, imports_size);
    directory(5, RelocationsAt, RelocationsSize);
    directory(9, unused_at, unused_size);
    if (unused_at != 0 || unused_size != 0) {
        return fail("a DLL with thread-local storage callbacks, which nothing here would run");
    }
    directory(13, unused_at, unused_size);
    if (unused_at != 0 || unused_size != 0) {
        return fail("a DLL with delay-loaded imports, which this loader does not bind");
    }
    const std::size_t table = opt + optional_size;
    if (!Fits(table, std::uint64_t{sections} * 40, size) || sections == 0) {
        return fail("damaged: its section table is not within the file");
    }
    Sections.clear();
    for (unsigned i = 0; i < sections; ++i) {
        const std::size_t s = table + 40u * i;
        Section section{U32(Bytes, s + 12), U32(Bytes, s + 8), U32(Bytes, s + 20), U32(Bytes, s + 16)};
        if (!Fits(section.RawOffset, section.RawSize, size) || section.Address < SizeOfHeaders ||
            !Fits(section.Address, std::max(section.VirtualSize, section.RawSize), SizeOfImage)) {
            return fail("damaged: a section lies outside the file or the image");
        }
        Sections.push_back(section);
    }
    // Imports: by name alone.
    ImportList.clear();
    if (imports_at != 0) {
        for (std::uint32_t d = imports_at;; d += 20) {
            const std::optional<std::uint32_t> at = Offset_Of(d, 20);
            if (!at) {
                return fail("damaged: its import table lies outside the image");
            }
            const std::uint32_t lookup = U32(Bytes, *at), name = U32(Bytes, *at + 12), slots = U32(Bytes, *at + 16);
            if (lookup == 0 && name == 0 && slots == 0) {
                break;
            }
            const std::optional<std::string> dll = Text_At(name);
            if (!dll) {
                return fail("damaged: an imported DLL's name lies outside the image");
            }
            for (std::uint32_t k = 0;; ++k) {
                const std::optional<std::uint32_t> entry = Offset_Of((lookup != 0 ? lookup : slots) + 4 * k, 4);
                if (!entry || !Fits(slots + 4u * k, 4, SizeOfImage)) {
                    return fail("damaged: the imports from " + *dll + " run outside the image");
                }
                const std::uint32_t value = U32(Bytes, *entry);
                if (value == 0) {
                    break;
                }
                if ((value & 0x80000000u) != 0) {
                    return fail("imports from " + *dll + " by number, which this loader does not bind");
                }
                const std::optional<std::string> import = Text_At(value + 2);
                if (!import) {
                    return fail("damaged: an import's name from " + *dll + " lies outside the image");
                }
                ImportList.push_back(PeImport{*dll, *import, slots + 4 * k});
            }
        }
    }
    return {};
}

std::optional<std::uint32_t> PeImage::Offset_Of(std::uint32_t rva, std::uint32_t bytes) const
{
    if (Fits(rva, bytes, SizeOfHeaders)) {
        return rva;
    }
    for (const Section& s : Sections) {
        if (rva >= s.Address && Fits(rva - s.Address, bytes, s.RawSize)) {
            return s.RawOffset + (rva - s.Address);
        }
    }
    return std::nullopt;
}

std::optional<std::string> PeImage::Text_At(std::uint32_t rva) const
{
    const std::optional<std::uint32_t> at = Offset_Of(rva, 1);
    if (!at) {
        return std::nullopt;
    }
    const std::size_t end = std::string(Bytes.data() + *at, Bytes.size() - *at).find('\0');
    if (end == std::string::npos || end > 4096 || !Offset_Of(rva, static_cast<std::uint32_t>(end + 1))) {
        return std::nullopt;
    }
    return std::string(Bytes.data() + *at, end);
}

text::Expected<std::vector<std::uint8_t>> PeImage::Lay_Out(std::uint32_t base) const
{
    std::vector<std::uint8_t> image(SizeOfImage, 0);
    std::memcpy(image.data(), Bytes.data(), SizeOfHeaders);
    for (const Section& s : Sections) {
        std::memcpy(image.data() + s.Address, Bytes.data() + s.RawOffset, std::min(s.RawSize, SizeOfImage - s.Address));
    }
    const std::uint32_t delta = base - PreferredBase;
    // Base relocations: blocks of a page address and 16-bit entries, kind in the top 4 bits.
    for (std::uint32_t at = RelocationsAt; RelocationsAt != 0 && at < RelocationsAt + RelocationsSize;) {
        if (!Fits(at, 8, SizeOfImage)) {
            return text::Failure("damaged: its relocations lie outside the image");
        }
        std::uint32_t page, block;
        std::memcpy(&page, image.data() + at, 4);
        std::memcpy(&block, image.data() + at + 4, 4);
        if (block < 8 || !Fits(at, block, SizeOfImage)) {
            return text::Failure("damaged: a block of its relocations lies outside the image");
        }
        for (std::uint32_t e = at + 8; e + 2 <= at + block; e += 2) {
            std::uint16_t entry;
            std::memcpy(&entry, image.data() + e, 2);
            const unsigned kind = entry >> 12;
            const std::uint32_t target = page + (entry & 0xFFFu);
            if (kind == 0) {
                continue;  // padding
            }
            if (kind != 3) {
                return text::Failure("a relocation of kind " + std::to_string(kind) + ", which this loader does not apply");
            }
            if (!Fits(target, 4, SizeOfImage)) {
                return text::Failure("damaged: a relocation writes outside the image");
            }
            std::uint32_t value;
            std::memcpy(&value, image.data() + target, 4);
            value += delta;
            std::memcpy(image.data() + target, &value, 4);
        }
        at += block;
    }
    if (delta != 0 && RelocationsAt == 0) {
        return text::Failure("a DLL without relocations cannot be loaded anywhere but its own base");
    }
    return image;
}

std::optional<std::uint32_t> PeImage::Export(const std::string& name, std::uint32_t base) const
{
    const std::optional<std::uint32_t> dir = Offset_Of(ExportsAt, 40);
    if (ExportsAt == 0 || !dir) {
        return std::nullopt;
    }
    const std::uint32_t functions = U32(Bytes, *dir + 20), names = U32(Bytes, *dir + 24);
    const std::uint32_t function_table = U32(Bytes, *dir + 28), name_table = U32(Bytes, *dir + 32),
                        ordinal_table = U32(Bytes, *dir + 36);
    for (std::uint32_t i = 0; i < names && i < 65536; ++i) {
        const std::optional<std::uint32_t> name_at = Offset_Of(name_table + 4 * i, 4);
        const std::optional<std::uint32_t> ordinal_at = Offset_Of(ordinal_table + 2 * i, 2);
        if (!name_at || !ordinal_at) {
            return std::nullopt;
        }
        if (Text_At(U32(Bytes, *name_at)) != name) {
            continue;
        }
        const std::uint16_t ordinal = U16(Bytes, *ordinal_at);
        const std::optional<std::uint32_t> function_at = Offset_Of(function_table + 4u * ordinal, 4);
        if (ordinal >= functions || !function_at) {
            return std::nullopt;
        }
        const std::uint32_t rva = U32(Bytes, *function_at);
        return rva < SizeOfImage ? std::optional<std::uint32_t>(base + rva) : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace standin::guest
