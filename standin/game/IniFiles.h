// The host's reader of settings files, as the programs drive it: files and texts read into a
// settings object (or refused with the finding that says why), and what one holds, line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HostApi.h"
#include "SysAlloc.h"
#include "TextFile.h"

class INIClass;

namespace standin {

struct IniEntry
{
    SysString Name;
    SysString Value;
    int Line;  // in the file it was read from
};

struct IniEntryView
{
    const char* Name;
    const char* Value;
    int Line;
};

struct IniSectionView
{
    const char* Name;
    std::vector<IniEntryView> Entries;
};

// A line that opens a section as the reader reads it ('[' after any byte-order mark and
// indentation, then a ']'): the text between the brackets as written, and the section's name,
// which is that text without the blanks around it. Whether the rest of the line is allowed is
// the reader's to say.
struct IniSectionLine
{
    std::string Inside;
    std::string Name;
};
HOST_API std::optional<IniSectionLine> Ini_Section_Line(std::string_view line);

// Reads a settings file ("-": standard input) into `ini`, replacing what it held. A file that
// cannot be read exactly as written is refused whole: the finding that says where and why is
// returned, and `ini` is unchanged.
HOST_API std::optional<text::Diagnostic> Read_Ini_File(const std::string& path, INIClass& ini);
// The same for text already in memory; `name` stands for the file in findings.
HOST_API std::optional<text::Diagnostic> Read_Ini_Text(const std::string& text, const std::string& name, INIClass& ini);
// The two above, as a status: done, or the finding that refuses the file.
HOST_API text::Status Load_Ini_File(const std::string& path, INIClass& ini);
HOST_API text::Status Load_Ini_Text(const std::string& text, const std::string& name, INIClass& ini);
// What `ini` holds, section by section in file order, with the line of each entry.
HOST_API std::vector<IniSectionView> Ini_Contents(const INIClass& ini);
// Sets one entry, as if the file had said so: its value replaced where it is, or the entry (and
// its section) added at the end, with line 0.
HOST_API void Set_Ini_Value(INIClass& ini, const char* section, const char* entry, const char* value);

}  // namespace standin
