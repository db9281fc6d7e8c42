// Prints what the stand-in host's INI reader makes of each file named: every section with every
// entry (name, value, line), or the finding that refuses the file. With --random N SEED, the same
// for N texts made up from the bytes the reader's rules turn on (brackets, separators, comment
// marks, blanks of every kind, line ends, byte-order marks, long lines). tools/compare-ini builds
// it against two builds of the stand-in and compares what they print.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <optional>
#include <string>

#include "IniFiles.h"
#include "INIClass.h"

namespace {

std::string Escaped(const char* text)
{
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p < 0x20 || *p >= 0x7f || *p == '\\' || *p == '|') {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", *p);
            out += hex;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out;
}

void Dump(const std::optional<text::Diagnostic>& refused, const INIClass& ini)
{
    if (refused) {
        std::printf("refused at line %d: %s\n", refused->Line, Escaped(refused->Message.c_str()).c_str());
        return;
    }
    for (const standin::IniSectionView& section : standin::Ini_Contents(ini)) {
        std::printf("[%s]\n", Escaped(section.Name).c_str());
        for (const standin::IniEntryView& entry : section.Entries) {
            std::printf("  %d|%s|%s\n", entry.Line, Escaped(entry.Name).c_str(), Escaped(entry.Value).c_str());
        }
    }
}

// A line of a made-up settings file: pieces the reader's rules turn on, in any order.
std::string Made_Up_Line(std::mt19937& random)
{
    static const char* const pieces[] = {
        "[", "]", "=", ":", ";", "#", " ", "\t", "\v", "\f", " ;", "\t;", " #", "Veltrask", "CheckInterval", "ChecksCount",
        "Veltrask_DontFlipKillPresets", "Veltrask_RotateUpwardsPresets", "3", "-1", "1.5", "Key", "key", "KEY", "x", "\xEF\xBB\xBF",
        "\"q\"", "'", "=", "Scout_Jeep", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    };
    std::string line;
    const int count = static_cast<int>(random() % 5);
    for (int i = 0; i < count; ++i) {
        line += pieces[random() % (sizeof(pieces) / sizeof(pieces[0]))];
    }
    if (random() % 200 == 0) {
        line += std::string(150 + random() % 100, 'y');
    }
    return line;
}

std::string Made_Up_File(std::mt19937& random)
{
    static const char* const ends[] = {"\n", "\r\n", "\r", "\n"};
    std::string text = random() % 5 != 0 ? "[Veltrask]\n" : "";
    const int lines = static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
        // Most lines are of the shapes the reader expects, so that files get past its first refusal.
        const int shape = static_cast<int>(random() % 6);
        text += shape == 0   ? "[" + Made_Up_Line(random) + "]"
                : shape >= 3 ? "Key" + std::to_string(i) + Made_Up_Line(random) + "=" + Made_Up_Line(random)
                : shape == 1 ? Made_Up_Line(random) + "=" + Made_Up_Line(random)
                             : Made_Up_Line(random);
        text += ends[random() % 4];
    }
    if (random() % 100 == 0) {
        text += '\0';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--random") {
        std::mt19937 random(static_cast<unsigned int>(std::strtoul(argv[3], nullptr, 10)));
        const long count = std::strtol(argv[2], nullptr, 10);
        for (long i = 0; i < count; ++i) {
            const std::string text = Made_Up_File(random);
            INIClass ini;
            std::printf("== made-up %ld: %s\n", i, Escaped(text.c_str()).c_str());
            Dump(standin::Read_Ini_Text(text, "made-up.ini", ini), ini);
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        INIClass ini;
        std::printf("== %s\n", argv[i]);
        const std::optional<text::Diagnostic> refused = standin::Read_Ini_File(argv[i], ini);
        Dump(refused, ini);
    }
    return 0;
}
