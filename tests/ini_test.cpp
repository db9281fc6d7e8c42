// How the stand-in host reads settings files: every file under tests/ini_cases has its stated
// outcome here. A refused file names itself and the line, and leaves the settings untouched.
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "StringClass.h"
#include "TestSupport.h"

namespace {

const std::string cases = VELTRASK_SOURCE_DIR "/tests/ini_cases/";

struct Refusal
{
    const char* File;
    int Line;
    const char* What;
};

const Refusal refusals[] = {
    {"line_199.ini", 2, "line longer than 198 bytes"},
    {"line_200.ini", 2, "line longer than 198 bytes"},
    {"line_201.ini", 2, "line longer than 198 bytes"},
    {"line_4096.ini", 2, "line longer than 198 bytes"},
    {"injection.ini", 4, "line longer than 198 bytes"},
    {"injection_section.ini", 4, "line longer than 198 bytes"},
    {"nul_in_value.ini", 2, "NUL byte"},
    {"missing_bracket.ini", 1, "section without a closing ']'"},
    {"empty_section.ini", 1, "empty section name"},
    {"blank_section.ini", 1, "empty section name"},
    {"duplicate_key.ini", 4, "key 'checksCOUNT' repeats line 2"},
    {"duplicate_across_sections.ini", 6, "key '1' repeats line 2"},
    {"long_section_name.ini", 1, "section name longer than 49 characters"},
    {"long_key_name.ini", 2, "key name longer than 49 characters"},
    {"not_an_entry.ini", 2, "expected '[section]' or 'key = value'"},
    {"mixed_ends_error.ini", 3, "expected '[section]' or 'key = value'"},
    {"entry_without_name.ini", 2, "entry without a name"},
    {"text_before_section.ini", 1, "entry before any [section]"},
    {"text_after_section.ini", 1, "text after the section's ']'"},
};

TEST(IniFiles, RefusedWholeWithFileAndLine)
{
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.File);
        INIClass ini;
        std::string error;
        ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask]\nChecksCount = 11\n", "before", ini), error));
        const std::string path = cases + r.File;
        EXPECT_FALSE(test::Said(standin::Load_Ini_File(path, ini), error));
        EXPECT_EQ(error, path + ":" + std::to_string(r.Line) + ": " + r.What);
        EXPECT_EQ(ini.Get_Int("Veltrask", "ChecksCount", 0), 11) << "a refused file changes nothing";
    }
}

TEST(IniFiles, UnreadableFileIsNamed)
{
    INIClass ini;
    std::string error;
    EXPECT_FALSE(test::Said(standin::Load_Ini_File(cases + "no_such_file.ini", ini), error));
    EXPECT_NE(error.find("no_such_file.ini: cannot read"), std::string::npos) << error;
}

// Loads a case that must be accepted.
struct Loaded
{
    explicit Loaded(const char* file)
    {
        std::string error;
        ok = test::Said(standin::Load_Ini_File(cases + file, ini), error);
        EXPECT_TRUE(ok) << error;
    }
    std::vector<std::string> Values(const char* section) const
    {
        std::vector<std::string> out;
        for (int i = 0; i < ini.Entry_Count(section); ++i) {
            StringClass value;
            ini.Get_String(value, section, ini.Get_Entry(section, i), nullptr);
            out.push_back(value.Peek_Buffer());
        }
        return out;
    }
    INIClass ini;
    bool ok = false;
};

// The files that are read, each with its own test of what it holds below.
const char* const accepted[] = {
    "line_198.ini", "crlf.ini", "cr.ini", "mixed_ends.ini", "bom.ini", "inline_comments.ini", "no_value.ini",
    "no_final_newline.ini", "indented.ini", "case_and_colon.ini", "duplicate_section.ini", "names_49.ini",
    "blanks_in_brackets.ini", "empty.ini",
};

TEST(IniFiles, EveryCaseFileHasAStatedOutcome)
{
    // A case file added without an outcome here would be read by nothing, and pass.
    std::set<std::string> stated;
    for (const Refusal& r : refusals) {
        EXPECT_TRUE(stated.insert(r.File).second) << r.File << " is stated twice";
    }
    for (const char* file : accepted) {
        EXPECT_TRUE(stated.insert(file).second) << file << " is stated twice";
        Loaded loaded(file);
    }
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(cases)) {
        present.insert(entry.path().filename().string());
    }
    ASSERT_FALSE(present.empty()) << "no case files in " << cases;
    for (const std::string& file : present) {
        EXPECT_EQ(stated.count(file), 1u) << file << " has no stated outcome";
    }
    for (const std::string& file : stated) {
        EXPECT_EQ(present.count(file), 1u) << file << " is stated but not there";
    }
}

const char* const Rotate = "Veltrask_RotateUpwardsPresets";
const char* const DontKill = "Veltrask_DontFlipKillPresets";

TEST(IniFiles, LineLengthLimitIsExact)
{
    Loaded at_limit("line_198.ini");
    EXPECT_EQ(at_limit.Values(Rotate), std::vector<std::string>{std::string(194, 'A')});
}

TEST(IniFiles, LineEndsAndByteOrderMark)
{
    for (const char* file : {"crlf.ini", "cr.ini", "mixed_ends.ini"}) {
        SCOPED_TRACE(file);
        Loaded f(file);
        EXPECT_EQ(f.ini.Get_Int("Veltrask", "ChecksCount", 0), 6);
        EXPECT_EQ(f.Values(DontKill), (std::vector<std::string>{"Recon_Drone", "Supply_Truck"}));
    }
    Loaded bom("bom.ini");
    EXPECT_EQ(bom.ini.Get_Int("Veltrask", "ChecksCount", 0), 7);
}

TEST(IniFiles, CommentsValuesAndWhiteSpace)
{
    INIClass after;
    std::string error;
    EXPECT_TRUE(test::Said(standin::Load_Ini_Text("[Veltrask] ; the main section\nChecksCount = 1\n", "t", after), error)) << error;

    Loaded comments("inline_comments.ini");
    EXPECT_EQ(comments.Values(Rotate),
              (std::vector<std::string>{"Light_Buggy", "Heavy#Tank", "Scout;Jeep", "Recon # drone"}));

    Loaded no_value("no_value.ini");
    EXPECT_EQ(no_value.Values(Rotate), (std::vector<std::string>{"", "Scout_Jeep"}));

    Loaded last("no_final_newline.ini");
    EXPECT_EQ(last.Values(Rotate), (std::vector<std::string>{"Light_Buggy", "Scout_Jeep"}));

    // Indentation never makes a line continue the value above it.
    Loaded indented("indented.ini");
    EXPECT_EQ(indented.ini.Get_Int("Veltrask", "ChecksCount", 0), 3);
    EXPECT_EQ(indented.ini.Get_Int("Veltrask", "CheckInterval", 0), 8);
    EXPECT_EQ(indented.Values(Rotate), std::vector<std::string>{"Light_Buggy"});
}

TEST(IniFiles, NamesIgnoreCaseSectionsMergeAndLimitsHold)
{
    Loaded f("case_and_colon.ini");
    EXPECT_EQ(f.ini.Get_Int("Veltrask", "CheckInterval", 0), 7);
    EXPECT_EQ(f.ini.Get_Int("Veltrask", "ChecksCount", 0), 2);

    Loaded merged("duplicate_section.ini");
    EXPECT_EQ(merged.Values(DontKill), (std::vector<std::string>{"Recon_Drone", "Supply_Truck"}));
    EXPECT_EQ(merged.ini.Get_Int("Veltrask", "ChecksCount", 0), 5);

    Loaded names("names_49.ini");
    EXPECT_EQ(names.ini.Entry_Count(std::string(49, 'S').c_str()), 1);

    // inih keeps blanks inside the brackets as part of the name, and cuts a raw name at 49
    // characters; the host drops them, so both sections are the plug-in's, whole.
    Loaded blanks("blanks_in_brackets.ini");
    EXPECT_EQ(blanks.Values(DontKill), std::vector<std::string>{"Recon_Drone"});
    EXPECT_EQ(blanks.Values(Rotate), std::vector<std::string>{"Light_Buggy"});
    const auto contents = standin::Ini_Contents(blanks.ini);
    ASSERT_EQ(contents.size(), 2u);
    EXPECT_STREQ(contents[1].Name, Rotate);

    Loaded empty("empty.ini");
    EXPECT_EQ(empty.ini.Entry_Count("Veltrask"), 0);
    EXPECT_EQ(empty.ini.Get_Int("Veltrask", "ChecksCount", 4), 4);
}

TEST(IniValues, NumbersThatAreNotWholeFallBackToTheDefault)
{
    INIClass ini;
    std::string error;
    ASSERT_TRUE(test::Said(standin::Load_Ini_Text("[V]\na = -12\nb = 3x\nc = 99999999999\nd =\ne = 0.25\nf = nan\n", "t", ini), error));
    EXPECT_EQ(ini.Get_Int("V", "a", 1), -12);
    EXPECT_EQ(ini.Get_Int("V", "b", 1), 1);
    EXPECT_EQ(ini.Get_Int("V", "c", 1), 1);
    EXPECT_EQ(ini.Get_Int("V", "d", 1), 1);
    EXPECT_EQ(ini.Get_Float("V", "e", 1.0f), 0.25f);
    EXPECT_TRUE(std::isnan(ini.Get_Float("V", "f", 1.0f))) << "a NaN is a number to strtof; --check warns of it";
    EXPECT_EQ(ini.Get_Float("V", "b", 1.5f), 1.5f);
    EXPECT_EQ(ini.Get_Entry("V", 6), nullptr);
    EXPECT_EQ(ini.Get_Entry("V", -1), nullptr);
    EXPECT_EQ(ini.Get_Entry("W", 0), nullptr);
}

}  // namespace
