// A 32-bit Windows DLL (PE32, i386) read from its bytes and laid out as the Windows loader lays
// it out: headers and sections at their addresses, base relocations applied for the address it
// is given, imports bound by name, exports found by name. Everything else a loader might meet
// (ordinal imports, relocations of other kinds, TLS callbacks, delay loads) is refused with a
// message, since nothing here would run them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TextFile.h"

namespace standin::guest {

struct PeImport
{
    std::string Dll;   // as written, e.g. "scripts.dll"
    std::string Name;  // the decorated name, e.g. "?Commands@@3PAUScriptCommands@@A"
    std::uint32_t Slot = 0;  // the address of its slot in the import table, at the image's base
};

class PeImage
{
public:
    // Reads `bytes`; fails (what is wrong, without the file's name) when they are no PE32 DLL
    // for i386 or any header, section or table lies outside them.
    text::Status Read(const std::vector<char>& bytes);

    std::uint32_t Preferred_Base() const { return PreferredBase; }
    std::uint32_t Size() const { return SizeOfImage; }

    // The image laid out at `base` (page-aligned), relocations applied; fails when a relocation
    // is of a kind this loader does not apply or falls outside the image.
    text::Expected<std::vector<std::uint8_t>> Lay_Out(std::uint32_t base) const;

    // Every import, in the order of the import tables, with its slot at `base`.
    const std::vector<PeImport>& Imports() const { return ImportList; }
    // The address at `base` of the export `name`; none when it is not exported.
    std::optional<std::uint32_t> Export(const std::string& name, std::uint32_t base) const;
    // The entry point (DllMain's start-up) at `base`; 0 for none.
    std::uint32_t Entry(std::uint32_t base) const { return EntryPoint != 0 ? base + EntryPoint : 0; }

private:
    struct Section
    {
        std::uint32_t Address;  // relative to the base
        std::uint32_t VirtualSize;
        std::uint32_t RawOffset;
        std::uint32_t RawSize;
    };
    // The file offset of `bytes` at the relative address `rva`, when one section (or the
    // headers) holds them all in the file.
    std::optional<std::uint32_t> Offset_Of(std::uint32_t rva, std::uint32_t bytes) const;
    std::optional<std::string> Text_At(std::uint32_t rva) const;

    std::vector<char> Bytes;
    std::uint32_t PreferredBase = 0;
    std::uint32_t SizeOfImage = 0;
    std::uint32_t SizeOfHeaders = 0;
    std::uint32_t EntryPoint = 0;
    std::uint32_t RelocationsAt = 0, RelocationsSize = 0;
    std::uint32_t ExportsAt = 0, ExportsSize = 0;
    std::vector<Section> Sections;
    std::vector<PeImport> ImportList;  // slots relative to the base until laid out
};

}  // namespace standin::guest
