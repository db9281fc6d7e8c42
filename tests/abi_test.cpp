// The virtual-function tables the real host expects, read off the compiler for the host's own
// platform: 32-bit Windows with the MSVC ABI, where a virtual destructor takes one slot (on the
// Itanium ABI of this machine it takes two, so a layout that looks right here proves nothing).
// Each plug-in source is compiled for that target with the layouts dumped, and the dump is
// checked slot by slot.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Table
{
    std::vector<std::string> Slots;
};

// "VFTable for 'Base'" or "VFTable for 'Base' in 'Derived'", keyed "Base" or "Derived:Base".
using Tables = std::map<std::string, Table>;

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

void Parse(const std::string& dump, Tables& tables)
{
    static const std::regex header(R"(^VFTable for '([^']+)'(?: in '([^']+)')? \((\d+) entries\)\.$)");
    static const std::regex slot(R"(^\s*(\d+) \| (.*)$)");
    std::istringstream in(dump);
    std::string line;
    Table* current = nullptr;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, header)) {
            const std::string key = m[2].matched ? m[2].str() + ":" + m[1].str() : m[1].str();
            current = &tables[key];
            current->Slots.assign(std::stoul(m[3].str()), "");
        } else if (current != nullptr && std::regex_match(line, m, slot)) {
            const std::size_t index = std::stoul(m[1].str());
            if (index < current->Slots.size()) {
                current->Slots[index] = m[2].str();
            }
        } else {
            current = nullptr;  // the indices listing and anything else ends a table
        }
    }
}

class HostAbi : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::istringstream sources(VELTRASK_PLUGIN_SOURCES);
        std::string source;
        while (std::getline(sources, source, '|')) {
            int status = 0;
            const std::string dump = Output_Of(std::string(VELTRASK_ABI_COMPILE) + " '" + source + "'", status);
            if (status != 0) {
                setup_error += source + " did not compile for the host's platform:\n" + dump + "\n";
            }
            Parse(dump, *tables);
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

    static inline Tables* tables = new Tables();
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

}  // namespace
