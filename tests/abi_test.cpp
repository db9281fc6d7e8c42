// The virtual-function tables and record layouts the real host expects, read off the compiler for
// the host's own platform: 32-bit Windows with the MSVC ABI, where a virtual destructor takes one
// slot (on the Itanium ABI of this machine it takes two, so a layout that looks right here proves
// nothing) and a pointer four bytes. Each plug-in source is compiled for that target with the
// layouts dumped, and the dump is checked slot by slot and field by field: by default with the compiler and flags CMake gives here; with
// VELTRASK_ABI_COMPILE_COMMANDS naming the compile_commands.json of a build of veltrask.dll, with
// that build's own commands, so the check applies to the very objects the DLL is linked from.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

struct Table
{
    std::vector<std::string> Slots;
};

// "VFTable for 'Base'" or "VFTable for 'Base' in 'Derived'", keyed "Base" or "Derived:Base".
using Tables = std::map<std::string, Table>;

// A record's size and its fields' offsets, in bytes.
struct Layout
{
    int Size = -1;
    std::vector<int> Offsets;
    bool operator==(const Layout& o) const { return Size == o.Size && Offsets == o.Offsets; }
};

// By the record's name as the dump writes it ("SLNode<class SmartGameObj>"); every translation
// unit that lays a record out must agree, so a disagreement is kept as a second entry.
using Layouts = std::map<std::string, std::vector<Layout>>;

std::string Output_Of(const std::string& command, int& status)
{
    std::string out;
    status = -1;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        out.append(buffer, n);
    }
    status = pclose(pipe);
    return out;
}

// The text between the first `open` after `from` and the next `close`, or "" when absent.
std::string Between(const std::string& line, std::size_t from, char open, char close, std::size_t& end)
{
    const std::size_t start = line.find(open, from);
    end = start == std::string::npos ? std::string::npos : line.find(close, start + 1);
    return end == std::string::npos ? "" : line.substr(start + 1, end - start - 1);
}

// Reads the dump's tables:
//   VFTable for 'Base' in 'Derived' (20 entries).
//      0 | Derived::~Derived() [scalar deleting]
void Parse(const std::string& dump, Tables& tables)
{
    std::istringstream in(dump);
    std::string line;
    Table* current = nullptr;
    while (std::getline(in, line)) {
        std::size_t end = 0;
        if (line.rfind("VFTable for '", 0) == 0 && line.size() > 1 && line.back() == '.') {
            const std::string base = Between(line, 0, '\'', '\'', end);
            std::string key = base;
            if (line.compare(end + 1, 5, " in '") == 0) {
                key = Between(line, end + 1, '\'', '\'', end) + ":" + base;
            }
            const std::string count = Between(line, end, '(', ' ', end);
            current = &tables[key];
            current->Slots.assign(static_cast<std::size_t>(std::atoi(count.c_str())), "");
            continue;
        }
        const std::size_t bar = line.find(" | ");
        const std::size_t digits = line.find_first_not_of(' ');
        if (current != nullptr && bar != std::string::npos && digits < bar &&
            line.find_first_not_of("0123456789", digits) == bar) {
            const std::size_t index = static_cast<std::size_t>(std::atoi(line.c_str() + digits));
            if (index < current->Slots.size()) {
                current->Slots[index] = line.substr(bar + 3);
            }
        } else {
            current = nullptr;  // the indices listing and anything else ends a table
        }
    }
}

// Reads the dump's record layouts (sizes and offsets in bits, kept in bytes):
//   Type: class ScriptImpClass
//   Layout: <ASTRecordLayout
//     Size:128
//     FieldOffsets: [32, 64, 96]>
void Parse_Records(const std::string& dump, Layouts& layouts)
{
    std::istringstream in(dump);
    std::string line;
    std::string name;
    Layout layout;
    while (std::getline(in, line)) {
        for (const char* kind : {"Type: class ", "Type: struct "}) {
            if (line.rfind(kind, 0) == 0) {
                name = line.substr(std::string(kind).size());
                layout = Layout();
            }
        }
        const std::size_t size = line.find("Size:");
        if (!name.empty() && size != std::string::npos && line.find("DataSize:") == std::string::npos) {
            layout.Size = std::atoi(line.c_str() + size + 5) / 8;
        }
        const std::size_t offsets = line.find("FieldOffsets: [");
        if (!name.empty() && offsets != std::string::npos) {
            std::istringstream numbers(line.substr(offsets + 15));
            int bits = 0;
            while (numbers >> bits) {
                layout.Offsets.push_back(bits / 8);
                numbers.ignore(1);  // the comma
            }
            auto& seen = layouts[name];
            if (seen.empty() || !(seen.front() == layout)) {
                seen.push_back(layout);
            }
            name.clear();
        }
    }
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A build's command for one object, made to dump the layouts and write no object.
std::string Dumping(const std::string& command)
{
    std::istringstream in(command);
    std::string word;
    std::string out;
    while (in >> word) {
        if (word == "-o") {
            in >> word;  // and its file
            continue;
        }
        if (word != "-c") {
            out += word + " ";
        }
    }
    return out + "-S -o /dev/null -Xclang -fdump-vtable-layouts -Xclang -fdump-record-layouts-simple";
}

// The commands to run, one for each plug-in source; `error` when they cannot be had.
std::vector<std::string> Commands(std::string& error)
{
    std::vector<std::string> commands;
    const char* build = std::getenv("VELTRASK_ABI_COMPILE_COMMANDS");
    if (build == nullptr) {
        std::istringstream sources(VELTRASK_PLUGIN_SOURCES);
        std::string source;
        while (std::getline(sources, source, '|')) {
            commands.push_back(std::string(VELTRASK_ABI_COMPILE) + " -Xclang -fdump-record-layouts-simple " + Quoted(source));
        }
        return commands;
    }
    std::ifstream in(build);
    const nlohmann::json entries = nlohmann::json::parse(in, nullptr, false);
    if (!in.good() && !in.eof()) {
        error = std::string("cannot read ") + build;
        return commands;
    }
    if (!entries.is_array()) {
        error = std::string(build) + " is not a list of compile commands";
        return commands;
    }
    const std::string root = VELTRASK_SOURCE_DIR;
    for (const nlohmann::json& entry : entries) {
        const std::string file = entry.value("file", "");
        for (const char* folder : {"/containers/", "/plugin/", "/scripts/", "/library/"}) {
            if (file.rfind(root + folder, 0) == 0) {
                commands.push_back("cd " + Quoted(entry.value("directory", ".")) + " && " + Dumping(entry.value("command", "")));
            }
        }
    }
    if (commands.size() != 7) {
        error = std::string(build) + " compiles " + std::to_string(commands.size()) + " plug-in sources, not 7";
    }
    return commands;
}

class HostAbi : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (const std::string& command : Commands(setup_error)) {
            int status = 0;
            const std::string dump = Output_Of(command, status);
            if (status != 0) {
                setup_error += command + "\nfailed for the host's platform:\n" + dump + "\n";
            }
            Parse(dump, *tables);
            Parse_Records(dump, *layouts);
        }
        if (tables->empty() && setup_error.empty()) {
            setup_error = "the compiler dumped no table";
        }
    }

    void SetUp() override
    {
        // A failed set-up fails every test of the suite rather than passing for a skip.
        ASSERT_TRUE(setup_error.empty()) << setup_error;
    }

    static const Table& Get(const std::string& key)
    {
        static const Table none;
        auto found = tables->find(key);
        EXPECT_NE(found, tables->end()) << "no table " << key;
        return found != tables->end() ? found->second : none;
    }

    // The slots of `key` whose function belongs to `owner` (the derived class's own).
    static std::set<std::size_t> Own_Slots(const std::string& key, const std::string& owner)
    {
        std::set<std::size_t> own;
        const Table& table = Get(key);
        for (std::size_t i = 0; i < table.Slots.size(); ++i) {
            if (table.Slots[i].find(owner + "::") != std::string::npos ||
                table.Slots[i].find(owner + "<") != std::string::npos) {
                own.insert(i);
            }
        }
        return own;
    }

    // The layout of `name`, failing when the dump had none or more than one.
    static Layout Record(const std::string& name)
    {
        auto found = layouts->find(name);
        EXPECT_NE(found, layouts->end()) << "no layout of " << name;
        if (found == layouts->end()) {
            return Layout();
        }
        EXPECT_EQ(found->second.size(), 1u) << "the plug-in's sources disagree on the layout of " << name;
        return found->second.front();
    }

    static inline Tables* tables = new Tables();
    static inline Layouts* layouts = new Layouts();
    static inline std::string setup_error;
};

TEST_F(HostAbi, PluginHasTwentySlotsInTheHostsOrder)
{
    const std::vector<std::string> expected = {
        "Plugin::~Plugin() [scalar deleting]",
        "float Plugin::Get_Interface_Version()",
        "void Plugin::Load_Global_Settings(INIClass *)",
        "void Plugin::Event_Slot_4()",
        "void Plugin::Event_Slot_5(int)",
        "void Plugin::Event_Slot_6()",
        "bool Plugin::Event_Slot_7(int, int, int, int)",
        "void Plugin::Event_Slot_8(int, int)",
        "void Plugin::Level_Loaded()",
        "void Plugin::Event_Slot_10()",
        "void Plugin::Event_Slot_11(int, int)",
        "void Plugin::Event_Slot_12(int)",
        "bool Plugin::Event_Slot_13(int)",
        "int Plugin::Event_Slot_14(int, int, int, int, int)",
        "int Plugin::Event_Slot_15(int, int, int, int, int)",
        "int Plugin::Event_Slot_16(int, int, int, int, int)",
        "void Plugin::Tick()",
        "bool Plugin::Event_Slot_18(int, int, int, int, int)",
        "bool Plugin::Event_Slot_19(int, int, int, int)",
        "bool Plugin::Event_Slot_20(int, int, int, int)",
    };
    EXPECT_EQ(Get("Plugin").Slots, expected);
}

TEST_F(HostAbi, ScriptBaseHasTwentySixSlotsWithCreatedAtFourAndTimerExpiredAtTwelve)
{
    const Table& table = Get("ScriptImpClass");
    ASSERT_EQ(table.Slots.size(), 26u);
    EXPECT_EQ(table.Slots[0], "ScriptImpClass::~ScriptImpClass() [scalar deleting]");
    EXPECT_EQ(table.Slots[4], "void ScriptImpClass::Created(ScriptableGameObj *)");
    EXPECT_EQ(table.Slots[12], "void ScriptImpClass::Timer_Expired(ScriptableGameObj *, int)");
    EXPECT_EQ(table.Slots[25], "void ScriptImpClass::Register_Auto_Save_Variables()");
}

TEST_F(HostAbi, ScriptFactoryHasItsDestructorAndCreate)
{
    const Table& table = Get("ScriptFactory");
    ASSERT_EQ(table.Slots.size(), 2u);
    EXPECT_EQ(table.Slots[0], "ScriptFactory::~ScriptFactory() [scalar deleting]");
    EXPECT_EQ(table.Slots[1], "ScriptImpClass *ScriptFactory::Create() [pure]");
}

TEST_F(HostAbi, ThePluginsClassesOverrideOnlyTheirOwnSlots)
{
    EXPECT_EQ(Get("FlippedVehiclePlugin:Plugin").Slots.size(), 20u);
    EXPECT_EQ(Own_Slots("FlippedVehiclePlugin:Plugin", "FlippedVehiclePlugin"), (std::set<std::size_t>{0, 2, 8, 16}));
    for (const char* script : {"FlipKillScript", "RotateUpwardsScript"}) {
        const std::string key = std::string(script) + ":ScriptImpClass";
        EXPECT_EQ(Get(key).Slots.size(), 26u) << script;
        EXPECT_EQ(Own_Slots(key, script), (std::set<std::size_t>{0, 4, 12})) << script;
    }
    EXPECT_EQ(Get("TypedScriptFactory:ScriptFactory").Slots.size(), 2u);
    EXPECT_EQ(Own_Slots("TypedScriptFactory:ScriptFactory", "TypedScriptFactory"), (std::set<std::size_t>{0, 1}));
}

// The host's records as the plug-in lays them out: a script's size is fixed by the base's data
// (the plug-in allocates its scripts), and the plug-in reads the object list, the game's clock,
// transforms, positions and strings in place.
TEST_F(HostAbi, HostRecordsHaveTheHostsSizesAndOffsets)
{
    const std::pair<const char*, Layout> expected[] = {
        {"ScriptImpClass", {16, {4, 8, 12}}},  // vftable, owner, factory, parameters
        {"ScriptFactory", {12, {4, 8}}},       // vftable, name, parameter description
        {"Matrix3D", {48, {0}}},
        {"Vector3", {12, {0, 4, 8}}},
        {"SLNode<class SmartGameObj>", {8, {0, 4}}},
        {"SList<class SmartGameObj>", {8, {0, 4}}},
        {"cGameData", {4, {0}}},
        {"StringClass", {4, {0}}},
        // What the plug-in's own scripts add to the base: the flip-kill script its check count.
        {"FlipKillScript", {20, {16}}},
        {"RotateUpwardsScript", {16, {}}},
    };
    for (const auto& [name, layout] : expected) {
        const Layout found = Record(name);
        EXPECT_EQ(found.Size, layout.Size) << name;
        EXPECT_EQ(found.Offsets, layout.Offsets) << name;
    }
}

}  // namespace
