// The host's INI reader.
//
// What the host makes of a settings file:
//  - Sections `[Name]` hold entries `Key = Value` (':' separates as well as '='; the first of
//    either counts). White space around names and values is dropped, and so is the indentation
//    of any line: values never continue onto the next line.
//  - Section and key names compare without regard to case. A section may appear more than once;
//    its entries are merged in file order. A key repeated within a section is refused, since a
//    lookup by name could only ever see one of them.
//  - `Key =` is an entry whose value is the empty text. A line that is neither a section, an
//    entry, a comment nor blank is refused.
//  - Whole-line comments start with ';' or '#'. Within a value, ';' after white space starts a
//    comment; '#' there is part of the value.
//  - Line ends may be LF, CRLF or a lone CR, mixed freely; a UTF-8 byte-order mark at the start
//    of the file, or of any line (files joined together), is skipped; the last line needs no end.
//  - Refused: a NUL byte, a line of more than 198 bytes, a section or key name of more than 49
//    characters, an empty section name, an entry without a name or before any section, a '['
//    without its ']', text after a section's ']' other than a comment.
//  - Within a section line or before an entry's separator, too, ';' after white space starts a
//    comment, and the line is then refused: "[Name ;x]" has no ']', "Key ;x = 1" no separator.
// The text is read in two passes: the first splits it into lines and checks the limits and names
// of each, the second reads the sections and entries. A refused file changes nothing: entries
// are staged and take effect only once the whole file has been read.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "IniFiles.h"
#include "INIClass.h"
#include "StringClass.h"

namespace standin {

// Names compare without regard to (ASCII) case, so they are indexed by their lower-case form:
// every lookup by name is one hash, whatever the size of the file.
struct IniSection
{
    SysString Name;
    SysVector<IniEntry> Entries;
    SysStringMap<std::size_t> ByName;  // lower-case entry name -> index in Entries
};

}  // namespace standin

struct HostIniData
{
    standin::SysVector<standin::IniSection> Sections;
    standin::SysStringMap<std::size_t> ByName;  // lower-case section name -> index
};

namespace standin {
namespace {

constexpr std::size_t MaxLineBytes = 198;
constexpr std::size_t MaxNameChars = 49;

bool Is_Blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && Is_Blank(text[begin])) {
        ++begin;
    }
    while (end > begin && Is_Blank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

template <class Text> Text Lower(Text text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return text;
}

SysString Lower_Key(const char* name) { return Lower(SysString(name)); }

// Where the whole file was refused, and why.
struct Failure
{
    int Line;
    std::string What;
};

// Splits the raw text into lines, skipping a leading byte-order mark and each line's
// indentation; refuses what inih would misread. Every line of the file stays one line, so
// inih's line numbers are the file's.
bool Normalise(const std::string& raw, std::vector<std::string>& lines, Failure& failure)
{
    bool refused = false;
    text::For_Each_Line(std::string_view(raw).substr(text::After_Byte_Order_Mark(raw)), [&](int number, std::string_view line) {
        if (line.find('\0') != std::string_view::npos) {
            failure = {number, "NUL byte"};
        } else if (line.size() > MaxLineBytes) {
            failure = {number, "line longer than " + std::to_string(MaxLineBytes) + " bytes"};
        } else {
            // A byte-order mark starts a line where files were joined together: it is no part of
            // the line, as at the start of the file.
            std::size_t indent = text::After_Byte_Order_Mark(line);
            while (indent < line.size() && Is_Blank(line[indent])) {
                ++indent;
            }
            lines.emplace_back(line.substr(indent));
            return true;
        }
        refused = true;
        return false;
    });
    return !refused;
}

// Checks the section and key names of every line for what inih would accept silently, and
// writes each section line as `[name]`: inih keeps the blanks inside the brackets as part of the
// name (and cuts a long raw name at 49 characters), while the host drops them, as around keys.
bool Check_Names(std::vector<std::string>& lines, Failure& failure)
{
    std::string section;
    bool in_section = false;
    std::unordered_map<std::string, int> seen;  // "section\nkey" -> line
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::string& line = lines[n];
        const int number = static_cast<int>(n + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            const std::optional<IniSectionLine> opened = Ini_Section_Line(line);
            if (!opened) {
                failure = {number, "section without a closing ']'"};
                return false;
            }
            const std::string& name = opened->Name;
            const std::string after = Trim(line.substr(line.find(']') + 1));
            if (!after.empty() && after[0] != ';' && after[0] != '#') {
                failure = {number, "text after the section's ']'"};
                return false;
            }
            if (name.empty()) {
                failure = {number, "empty section name"};
                return false;
            }
            if (name.size() > MaxNameChars) {
                failure = {number, "section name longer than " + std::to_string(MaxNameChars) + " characters"};
                return false;
            }
            section = Lower(name);
            in_section = true;
            line = "[" + name + "]";
            continue;
        }
        const std::size_t separator = line.find_first_of("=:");
        if (separator == std::string::npos) {
            failure = {number, "expected '[section]' or 'key = value'"};
            return false;
        }
        const std::string key = Trim(line.substr(0, separator));
        if (!in_section) {
            failure = {number, "entry before any [section]"};
            return false;
        }
        if (key.empty()) {
            failure = {number, "entry without a name"};
            return false;
        }
        if (key.size() > MaxNameChars) {
            failure = {number, "key name longer than " + std::to_string(MaxNameChars) + " characters"};
            return false;
        }
        const auto [earlier, fresh] = seen.emplace(section + '\n' + Lower(key), number);
        if (!fresh) {
            failure = {number, "key '" + key + "' repeats line " + std::to_string(earlier->second)};
            return false;
        }
    }
    return true;
}

IniSection& Section_Named(HostIniData& data, const std::string& name)
{
    const auto [found, fresh] = data.ByName.emplace(Lower(SysString(name.c_str())), data.Sections.size());
    if (fresh) {
        data.Sections.push_back(IniSection{SysString(name.c_str()), {}, {}});
    }
    return data.Sections[found->second];
}

// White space as the reader sees it: blanks, and the line ends no line holds.
bool Is_Space(char c) { return Is_Blank(c) || c == '\n' || c == '\r'; }

// The first of `chars` in `line` from `from`, or the ';' after white space that starts a
// comment, whichever comes first; the line's end when neither does. White space before `from`
// does not count.
std::size_t Find_Chars_Or_Comment(const std::string& line, std::size_t from, const char* chars)
{
    bool was_space = false;
    for (std::size_t i = from; i < line.size(); ++i) {
        if ((chars != nullptr && std::strchr(chars, line[i]) != nullptr) || (was_space && line[i] == ';')) {
            return i;
        }
        was_space = Is_Space(line[i]);
    }
    return line.size();
}

std::string Right_Trimmed(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && Is_Space(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

// Reads the sections and entries of lines that passed Check_Names (indentation gone, section
// lines written as "[name]") into `data`.
bool Read_Entries(const std::vector<std::string>& lines, HostIniData& data, Failure& failure)
{
    std::string section;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const int number = static_cast<int>(n + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            const std::size_t end = Find_Chars_Or_Comment(line, 1, "]");
            if (end == line.size() || line[end] != ']') {
                failure = {number, "not a valid settings line"};
                return false;
            }
            section = line.substr(1, end - 1);
            continue;
        }
        const std::size_t separator = Find_Chars_Or_Comment(line, 0, "=:");
        if (separator == line.size() || (line[separator] != '=' && line[separator] != ':')) {
            failure = {number, "not a valid settings line"};
            return false;
        }
        // The comment is looked for from right after the separator, so "Key = ;x" has an empty
        // value and "Key =;x" the value ";x".
        const std::size_t comment = Find_Chars_Or_Comment(line, separator + 1, nullptr);
        std::size_t value = separator + 1;
        while (value < comment && Is_Space(line[value])) {
            ++value;
        }
        const std::string name = Right_Trimmed(line.substr(0, separator));
        IniSection& target = Section_Named(data, section);
        target.ByName.emplace(Lower(SysString(name.c_str())), target.Entries.size());
        target.Entries.push_back(IniEntry{SysString(name.c_str()), SysString(Right_Trimmed(line.substr(value, comment - value)).c_str()), number});
    }
    return true;
}

const IniSection* Find_Section(const INIClass& ini, const char* name)
{
    if (ini.Data == nullptr || name == nullptr) {
        return nullptr;
    }
    const auto found = ini.Data->ByName.find(Lower_Key(name));
    return found != ini.Data->ByName.end() ? &ini.Data->Sections[found->second] : nullptr;
}

const IniEntry* Find_Entry(const INIClass& ini, const char* section, const char* entry)
{
    const IniSection* found = Find_Section(ini, section);
    if (found == nullptr || entry == nullptr) {
        return nullptr;
    }
    const auto index = found->ByName.find(Lower_Key(entry));
    return index != found->ByName.end() ? &found->Entries[index->second] : nullptr;
}

}  // namespace

std::optional<IniSectionLine> Ini_Section_Line(std::string_view line)
{
    std::size_t open = text::After_Byte_Order_Mark(line);
    while (open < line.size() && Is_Blank(line[open])) {
        ++open;
    }
    const std::size_t close = open < line.size() && line[open] == '[' ? line.find(']', open) : std::string_view::npos;
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    IniSectionLine section;
    section.Inside = std::string(line.substr(open + 1, close - open - 1));
    section.Name = Trim(section.Inside);
    return section;
}

std::optional<text::Diagnostic> Read_Ini_Text(const std::string& text, const std::string& name, INIClass& ini)
{
    std::vector<std::string> lines;
    Failure failure{0, ""};
    if (!Normalise(text, lines, failure) || !Check_Names(lines, failure)) {
        return text::Diagnostic{name, failure.Line, 0, text::Severity::Error, failure.What};
    }
    HostIniData staged;
    if (!Read_Entries(lines, staged, failure)) {
        return text::Diagnostic{name, failure.Line, 0, text::Severity::Error, failure.What};
    }
    if (ini.Data == nullptr) {
        ini.Data = Sys_New<HostIniData>();
    }
    std::swap(*ini.Data, staged);
    return std::nullopt;
}

std::optional<text::Diagnostic> Read_Ini_File(const std::string& path, INIClass& ini)
{
    const text::Expected<std::string> text = text::Read_Text_File(path);
    if (!text) {
        return text.Error();
    }
    return Read_Ini_Text(*text, text::Shown_Name(path), ini);
}

text::Status Load_Ini_Text(const std::string& text, const std::string& name, INIClass& ini)
{
    std::optional<text::Diagnostic> failure = Read_Ini_Text(text, name, ini);
    return failure ? text::Status(std::move(*failure)) : text::Status();
}

text::Status Load_Ini_File(const std::string& path, INIClass& ini)
{
    std::optional<text::Diagnostic> failure = Read_Ini_File(path, ini);
    return failure ? text::Status(std::move(*failure)) : text::Status();
}

void Set_Ini_Value(INIClass& ini, const char* section, const char* entry, const char* value)
{
    if (ini.Data == nullptr) {
        ini.Data = Sys_New<HostIniData>();
    }
    IniSection& target = Section_Named(*ini.Data, section);
    const auto [found, fresh] = target.ByName.emplace(Lower_Key(entry), target.Entries.size());
    if (fresh) {
        target.Entries.push_back(IniEntry{SysString(entry), SysString(value), 0});
    } else {
        target.Entries[found->second].Value = SysString(value);
    }
}

std::vector<IniSectionView> Ini_Contents(const INIClass& ini)
{
    std::vector<IniSectionView> out;
    if (ini.Data == nullptr) {
        return out;
    }
    for (const IniSection& section : ini.Data->Sections) {
        IniSectionView view;
        view.Name = section.Name.c_str();
        for (const IniEntry& entry : section.Entries) {
            view.Entries.push_back({entry.Name.c_str(), entry.Value.c_str(), entry.Line});
        }
        out.push_back(std::move(view));
    }
    return out;
}

}  // namespace standin

INIClass::INIClass() : Data(nullptr) {}
INIClass::~INIClass() { standin::Sys_Delete(Data); }

int INIClass::Get_Int(const char* section, const char* entry, int default_value) const
{
    const standin::IniEntry* found = standin::Find_Entry(*this, section, entry);
    if (found == nullptr) {
        return default_value;
    }
    const char* text = found->Value.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max()) {
        return default_value;  // not a whole number in range
    }
    return static_cast<int>(value);
}

float INIClass::Get_Float(const char* section, const char* entry, float default_value) const
{
    const standin::IniEntry* found = standin::Find_Entry(*this, section, entry);
    if (found == nullptr) {
        return default_value;
    }
    const char* text = found->Value.c_str();
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (end == text || *end != '\0') {
        return default_value;
    }
    return value;
}

int INIClass::Entry_Count(const char* section) const
{
    const standin::IniSection* found = standin::Find_Section(*this, section);
    return found != nullptr ? static_cast<int>(found->Entries.size()) : 0;
}

const char* INIClass::Get_Entry(const char* section, int index) const
{
    const standin::IniSection* found = standin::Find_Section(*this, section);
    if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->Entries.size()) {
        return nullptr;
    }
    return found->Entries[static_cast<std::size_t>(index)].Name.c_str();
}

int INIClass::Get_String(StringClass& out, const char* section, const char* entry, const char* default_value) const
{
    const standin::IniEntry* found = standin::Find_Entry(*this, section, entry);
    const char* text = found != nullptr ? found->Value.c_str() : default_value;
    out = StringClass(text);
    return out.Get_Length();
}
