// Benchmarks, each paired with a baseline measured in the same run.
//
// Two ways to measure, for machines that are shared and noisy:
//  - time (the default): the two sides of a pair run alternately, round after round, and what
//    is reported is the median of the rounds' ratios, so a load that comes and goes weighs on
//    both sides alike;
//  - instructions (--instructions, under valgrind's callgrind, as bench/run runs it): each side
//    runs a fixed number of iterations, then twice as many, with callgrind counting only while
//    it runs; the difference over the extra iterations is the count for one, whatever else the
//    machine does. The targets are judged on these.
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "HashTemplate.h"
#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "Match.h"
#include "Play.h"
#include "Random.h"
#include "Report.h"
#include "StringClass.h"
#include "StringHashTable.h"

namespace {

standin::LoadedPlugin* plugin = nullptr;

void Unload_Plugin()
{
    delete plugin;
    plugin = nullptr;
}

// The plug-in as the library has it at load: every benchmark starts from it, so no settings,
// list entries or scripts of an earlier benchmark (or an earlier run of the same one) remain.
Plugin* Fresh_Plugin()
{
    Unload_Plugin();
    plugin = new standin::LoadedPlugin();
    if (const text::Status loaded = plugin->Load(VELTRASK_PLUGIN_PATH); !loaded) {
        std::fprintf(stderr, "bench: %s\n", loaded.Error().Text().c_str());
        std::exit(2);
    }
    return plugin->Get();
}

void Settings(const std::string& text)
{
    INIClass ini;
    if (const text::Status read = standin::Load_Ini_Text(text, "bench.ini", ini); !read) {
        std::fprintf(stderr, "bench: %s\n", read.Error().Text().c_str());
        std::exit(2);
    }
    standin::Raise_Global_Settings(&ini);
}

Matrix3D Upright() { return Matrix3D::Identity(); }
Matrix3D Upside_Down()
{
    Matrix3D m = Matrix3D::Identity();
    m.Row[1][1] = -1;
    m.Row[2][2] = -1;
    return m;
}

// Makes the compiler hold `value` in a register: unlike DoNotOptimize, whose memory operand lets
// it skip a load it can name by address, this needs the load done.
template <class T> inline void Load(T value) { asm volatile("" : : "r"(value)); }

// --- A tick on which no scan is due ---

void Tick_NoScanDue(benchmark::State& state)
{
    Plugin* p = Fresh_Plugin();
    Settings("[Veltrask]\nCheckInterval = 1000000\n");
    standin::Load_Level(30);
    for (auto _ : state) {
        p->Tick();
    }
}

// The least gate that follows the plug-in's rules: the game through The_Game(), its clock, and
// the clock set against the last scan plus the interval, summed without wrapping.
int baseline_last_check = 0;
int baseline_interval = 1000000;

class LeastGate : public Plugin
{
public:
    void Tick() override
    {
        const cGameData* game = The_Game();
        if (game == nullptr) {
            return;
        }
        const long long now = game->Get_Elapsed_Seconds();
        if (now < static_cast<long long>(baseline_interval) + baseline_last_check) {
            return;
        }
        baseline_last_check = static_cast<int>(now);
        Load(baseline_last_check);
    }
};

void Tick_LeastGate(benchmark::State& state)
{
    Fresh_Plugin();
    standin::Load_Level(30);
    LeastGate baseline;
    Plugin* p = &baseline;
    benchmark::DoNotOptimize(p);
    for (auto _ : state) {
        p->Tick();
    }
}

// --- A scan, per game object ---

enum Population
{
    UprightVehicles,
    NonVehicles,
    FlippedWithScript,
    FlippedExempt,
};

// A fresh plug-in, its settings handed over once, and `count` objects of one kind.
Plugin* Populate(Population kind, int count)
{
    Plugin* p = Fresh_Plugin();
    // Scans at every tick; scripts that never check, so nothing changes under the benchmark.
    Settings("[Veltrask]\nCheckInterval = 0\nChecksCount = 1000000\nScriptCheckingInterval = 1e9\n"
             "[Veltrask_DontFlipKillPresets]\n1 = Recon_Drone\n[Veltrask_RotateUpwardsPresets]\n1 = Light_Buggy\n");
    standin::Load_Level(30);
    for (int i = 0; i < count; ++i) {
        switch (kind) {
        case UprightVehicles: standin::Create_Vehicle("v", "Heavy_Tank", 0, Upright()); break;
        case NonVehicles: standin::Create_Object("o", "Supply_Crate", Upside_Down()); break;
        case FlippedWithScript: standin::Create_Vehicle("v", "Heavy_Tank", 0, Upside_Down()); break;
        case FlippedExempt: standin::Create_Vehicle("v", "Recon_Drone", 0, Upside_Down()); break;
        }
    }
    standin::Tick();  // the first scan attaches the flip-kill scripts
    return p;
}

void Per_Object(benchmark::State& state, int count)
{
    state.counters["per_object"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Scan(benchmark::State& state, Population kind, int count)
{
    Plugin* p = Populate(kind, count);
    for (auto _ : state) {
        p->Tick();
    }
    Per_Object(state, count);
}

// What one lookup of a preset name costs the least: the hash the table's rule makes of it,
// which for eight or more characters is the host's hash of four of them.
unsigned int Least_Hash(const StringClass& name)
{
    const int length = name.Get_Length();
    const unsigned char* text = reinterpret_cast<const unsigned char*>(name.Peek_Buffer());
    if (length < 8) {
        unsigned int h = 0;
        for (int i = 0; i < length; ++i) {
            h = h * 38u + static_cast<unsigned int>(static_cast<signed char>(text[i]));
        }
        return h;
    }
    const unsigned char* p = text + (length - 8);
    const unsigned int word = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned int>(p[3]) << 24);
    return HashTemplateKeyClass<unsigned int>::Get_Hash_Value(word);
}

// The same host calls as the scan makes for each object, the lookups' hashes of the preset's
// own characters, and nothing else.
void Bare_Loop(benchmark::State& state, Population kind, int count)
{
    Populate(kind, count);
    for (auto _ : state) {
        const cGameData* game = The_Game();
        Load(game->Get_Elapsed_Seconds());
        for (SLNode<SmartGameObj>* node = GameObjManager::SmartGameObjList.Head(); node != nullptr; node = node->Next()) {
            VehicleGameObj* vehicle = As_VehicleGameObj(node->Data());
            if (vehicle == nullptr || Get_Vehicle_Mode(vehicle) == 4 ||
                !(std::fabs(Get_Transform(vehicle).getRotationY()) > 1.3f)) {
                continue;
            }
            // Each lookup takes the preset name from the host into a string of its own.
            Load(Least_Hash(StringClass(Commands->Get_Preset_Name(vehicle))));  // the rotate-upwards list: a miss
            Load(Least_Hash(StringClass(Commands->Get_Preset_Name(vehicle))));  // the exempt list
            if (kind != FlippedExempt) {
                Load(Is_Script_Attached(vehicle, "Veltrask_Script"));
            }
        }
    }
    Per_Object(state, count);
}

// --- Preset name lookups ---

std::vector<std::string> Names(int count, std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string name;
        const int length = 6 + static_cast<int>(random() % 15);
        for (int c = 0; c < length; ++c) {
            name += letters[random() % (sizeof(letters) - 1)];
        }
        out.push_back(name);
    }
    return out;
}

// A family of names an operator might list: Tank_0001, Tank_0002, ... All share the four
// characters the table hashes (positions L-8 .. L-5, "Tank" here), so they share one chain.
std::vector<std::string> Family(int count)
{
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "Tank_%04d", i);
        out.push_back(name);
    }
    return out;
}

constexpr int Queries = 1000;

std::vector<std::string> Query_Names(const std::vector<std::string>& names, bool hits)
{
    const auto others = Names(Queries, 2);
    std::vector<std::string> out;
    for (int i = 0; i < Queries; ++i) {
        out.push_back(hits ? names[static_cast<std::size_t>(i) % names.size()] : others[static_cast<std::size_t>(i)]);
    }
    return out;
}

void Find_Table(benchmark::State& state, const std::vector<std::string>& names, bool hits)
{
    StringHashTableClass table;
    for (const std::string& n : names) {
        table.Insert(StringClass(n.c_str()), 1);
    }
    std::vector<StringClass> queries;
    for (const std::string& q : Query_Names(names, hits)) {
        queries.emplace_back(q.c_str());
    }
    for (auto _ : state) {
        for (const StringClass& q : queries) {
            benchmark::DoNotOptimize(table.Find(q));
        }
    }
}

void Find_UnorderedSet(benchmark::State& state, const std::vector<std::string>& names, bool hits)
{
    const std::unordered_set<std::string> set(names.begin(), names.end());
    const std::vector<std::string> queries = Query_Names(names, hits);
    for (auto _ : state) {
        for (const std::string& q : queries) {
            benchmark::DoNotOptimize(set.find(q));
        }
    }
}

void Insert_Table(benchmark::State& state, int count)
{
    const auto names = Names(count, 3);
    std::vector<StringClass> keys;
    for (const std::string& n : names) {
        keys.emplace_back(n.c_str());
    }
    for (auto _ : state) {
        StringHashTableClass table;
        for (const StringClass& k : keys) {
            table.Insert(k, 1);
        }
        benchmark::DoNotOptimize(&table);
    }
}

void Insert_UnorderedSet(benchmark::State& state, int count)
{
    const auto names = Names(count, 3);
    for (auto _ : state) {
        std::unordered_set<std::string> set;
        for (const std::string& n : names) {
            set.insert(n);
        }
        benchmark::DoNotOptimize(&set);
    }
}

// --- Settings files ---

// A list section of `entries` names read as the plug-in reads it: the file parsed, then every
// entry's name by index and its value by name. Each lookup by name must cost the same whatever
// the size of the section, so the cost per entry stays flat.
void Settings_Load(benchmark::State& state, int entries)
{
    std::string text = "[Veltrask_DontFlipKillPresets]\n";
    for (int i = 0; i < entries; ++i) {
        const std::string number = std::to_string(i);
        text.append("p").append(number).append(" = Preset_").append(number).append("\n");
    }
    const char* section = "Veltrask_DontFlipKillPresets";
    for (auto _ : state) {
        INIClass ini;
        if (const text::Status read = standin::Load_Ini_Text(text, "bench.ini", ini); !read) {
            state.SkipWithError(read.Error().Text().c_str());
            break;
        }
        std::size_t read = 0;
        for (int i = 0; i < ini.Entry_Count(section); ++i) {
            StringClass value;
            read += static_cast<std::size_t>(ini.Get_String(value, section, ini.Get_Entry(section, i), nullptr));
        }
        benchmark::DoNotOptimize(read);
    }
    state.SetItemsProcessed(state.iterations() * entries);
}

// --- The simulator ---

// What the world did in a match, tick by tick: spawns, flips, recoveries and the deaths the
// plug-in caused. Played again without the plug-in, it is the same game with the plug-in's own
// work taken out, so the pair measures that work and nothing else.
struct WorldAction
{
    std::int64_t Tick;
    sim::ActionKind Kind;
    sim::Spawn Object;
    sim::Orientation Pose;
};

class WorldRecorder : public sim::Observer
{
public:
    void On(const sim::Happening& h) override
    {
        if (h.Object == nullptr) {
            return;
        }
        WorldAction a{h.Tick, sim::ActionKind::Flip, {}, {}};
        a.Object.Name = h.Object->Name;
        if (h.What() == sim::Happened::Spawn) {
            a.Kind = sim::ActionKind::SpawnObject;
            a.Object.Preset = h.Object->Preset;
            a.Object.IsVehicle = h.Object->IsVehicle;
            a.Object.Mode = h.Object->Mode;
            a.Object.Pose = *h.Pose();
        } else if (h.What() == sim::Happened::Flip) {
            a.Pose = *h.Pose();
        } else if (h.What() == sim::Happened::Upright) {
            a.Kind = sim::ActionKind::Upright;
        } else if (h.Entry() != nullptr && h.Entry()->What() == standin::Event::Destroyed) {
            a.Kind = sim::ActionKind::Destroy;
        } else {
            return;
        }
        Actions.push_back(a);
    }
    std::vector<WorldAction> Actions;
};

constexpr double MatchLength = 120;

// The benchmark's random match of `vehicles` with the plug-in at `path` loaded, told to
// `observer` too. Returns the ticks it took.
std::int64_t Play_With_Plugin(int vehicles, sim::Observer* observer, const char* path = VELTRASK_PLUGIN_PATH)
{
    Unload_Plugin();  // the match loads its own
    std::FILE* sink = std::fopen("/dev/null", "w");
    sim::RandomOptions options;
    options.Seed = 5;
    options.Vehicles = vehicles;
    options.Length = MatchLength;
    std::vector<sim::Observer*> observers;
    if (observer != nullptr) {
        observers.push_back(observer);
    }
    sim::RandomResult result;
    standin::PluginFile plugin;
    if (const text::Status opened = plugin.Open(path); !opened) {
        std::fprintf(stderr, "bench: %s\n", opened.Error().Text().c_str());
        std::exit(2);
    }
    if (const text::Status played = sim::Play_Random(plugin, options, observers, result, sink); !played) {
        std::fprintf(stderr, "bench: %s\n", played.Error().Text().c_str());
        std::exit(2);
    }
    std::fclose(sink);
    return sim::Ticks_Of(options.Length, options.Rate);
}

void Simulate_With_Plugin(benchmark::State& state, int vehicles, const char* path = VELTRASK_PLUGIN_PATH)
{
    std::int64_t vehicle_ticks = 0;
    for (auto _ : state) {
        vehicle_ticks += Play_With_Plugin(vehicles, nullptr, path) * vehicles;
    }
    state.counters["vehicle_ticks_per_s"] = benchmark::Counter(static_cast<double>(vehicle_ticks), benchmark::Counter::kIsRate);
}

// The world of the match above, recorded once per size.
const std::vector<WorldAction>& World_Of(int vehicles)
{
    static std::map<int, std::vector<WorldAction>> worlds;
    auto found = worlds.find(vehicles);
    if (found == worlds.end()) {
        WorldRecorder recorder;
        Play_With_Plugin(vehicles, &recorder);
        found = worlds.emplace(vehicles, std::move(recorder.Actions)).first;
    }
    return found->second;
}

void Simulate_Host_Alone(benchmark::State& state, int vehicles)
{
    const std::vector<WorldAction>& world = World_Of(vehicles);
    const auto total = static_cast<std::int64_t>(MatchLength * 30);
    std::int64_t vehicle_ticks = 0;
    for (auto _ : state) {
        sim::Match match(30);
        match.Level_Load();
        std::size_t next = 0;
        for (std::int64_t k = 0; k < total; ++k) {
            for (; next < world.size() && world[next].Tick <= k; ++next) {
                const WorldAction& a = world[next];
                switch (a.Kind) {
                case sim::ActionKind::SpawnObject: match.Spawn(a.Object); break;
                case sim::ActionKind::Flip: match.Set_Pose(a.Object.Name, a.Pose); break;
                case sim::ActionKind::Upright: match.Upright(a.Object.Name); break;
                case sim::ActionKind::Destroy: match.Destroy(a.Object.Name); break;
                default: break;
                }
            }
            match.Tick();
        }
        match.Finish();
        vehicle_ticks += total * vehicles;
    }
    state.counters["vehicle_ticks_per_s"] = benchmark::Counter(static_cast<double>(vehicle_ticks), benchmark::Counter::kIsRate);
}

// --- Scenario files ---

// A scenario of `count` vehicles arriving one after another, each followed by a level load that
// removes it, parsed and checked. Each line must cost the same whatever came before it (a level
// load once walked every object spawned before it), so the cost per line stays flat.
void Scenario_Parse(benchmark::State& state, int count)
{
    std::string text = "length 1000\n";
    for (int i = 0; i < count; ++i) {
        const std::string at = "at " + std::to_string(1 + 900.0 * i / count);
        text.append(at).append(" vehicle V").append(std::to_string(i)).append(" Heavy_Tank roll 180\n");
        text.append(at).append(" level-load\n");
    }
    for (auto _ : state) {
        const text::Expected<sim::Scenario> parsed = sim::Parse_Scenario(text, "bench.scenario");
        if (!parsed) {
            state.SkipWithError(parsed.Error().Text().c_str());
            break;
        }
        benchmark::DoNotOptimize(parsed->Actions.size());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// --- What runs, and what is set against what ---

struct Case
{
    std::string Name;
    std::function<void(benchmark::State&)> Run;
    std::int64_t Iterations;  // for counting instructions: enough to swamp the set-up's noise
};

using benchmark::State;

std::vector<Case> Cases()
{
    std::vector<Case> cases = {
        {"Tick_NoScanDue", Tick_NoScanDue, 100000},
        {"Tick_LeastGate", Tick_LeastGate, 100000},
        {"Insert_Table/10000", [](State& s) { Insert_Table(s, 10000); }, 2},
        {"Insert_UnorderedSet/10000", [](State& s) { Insert_UnorderedSet(s, 10000); }, 2},
    };
    const std::pair<const char*, Population> populations[] = {{"UprightVehicles", UprightVehicles},
                                                               {"NonVehicles", NonVehicles},
                                                               {"FlippedWithScript", FlippedWithScript},
                                                               {"FlippedExempt", FlippedExempt}};
    for (const auto& [name, kind] : populations) {
        const Population k = kind;
        cases.push_back({std::string("Scan/") + name + "/1000", [k](State& s) { Scan(s, k, 1000); }, 100});
        cases.push_back({std::string("Bare_Loop/") + name + "/1000", [k](State& s) { Bare_Loop(s, k, 1000); }, 100});
    }
    for (int size : {10, 100, 10000}) {
        for (bool hits : {true, false}) {
            const auto names = std::make_shared<std::vector<std::string>>(Names(size, 1));
            const std::string suffix = "/" + std::to_string(size) + (hits ? "/1" : "/0");
            cases.push_back({"Find_Table" + suffix, [names, hits](State& s) { Find_Table(s, *names, hits); }, 100});
            cases.push_back({"Find_UnorderedSet" + suffix, [names, hits](State& s) { Find_UnorderedSet(s, *names, hits); }, 100});
        }
    }
    for (int size : {10, 100, 1000}) {
        const auto names = std::make_shared<std::vector<std::string>>(Family(size));
        const std::string suffix = "/" + std::to_string(size);
        cases.push_back({"Find_Table_Family" + suffix, [names](State& s) { Find_Table(s, *names, true); }, 10});
        cases.push_back({"Find_UnorderedSet_Family" + suffix, [names](State& s) { Find_UnorderedSet(s, *names, true); }, 10});
    }
    for (int entries : {100, 1000, 10000, 100000}) {
        cases.push_back({"Settings_Load/" + std::to_string(entries), [entries](State& s) { Settings_Load(s, entries); },
                         entries <= 100 ? 20 : 2});
    }
    for (int count : {100, 1000, 10000, 100000}) {
        cases.push_back({"Scenario_Parse/" + std::to_string(count), [count](State& s) { Scenario_Parse(s, count); },
                         count <= 100 ? 20 : 2});
    }
#ifdef VELTRASK_DLL_PATH
    // The same match with veltrask.dll run under the emulated processor.
    for (int vehicles : {100, 1000}) {
        const std::string size = std::to_string(vehicles);
        cases.push_back({"Simulate/WithDll/" + size, [vehicles](State& s) { Simulate_With_Plugin(s, vehicles, VELTRASK_DLL_PATH); }, 1});
        if (vehicles == 100) {
            cases.push_back({"Simulate/WithPlugin/" + size, [vehicles](State& s) { Simulate_With_Plugin(s, vehicles); }, 1});
        }
    }
#endif
    for (int vehicles : {1000, 10000, 100000}) {
        const std::string size = std::to_string(vehicles);
        cases.push_back({"Simulate/WithPlugin/" + size, [vehicles](State& s) { Simulate_With_Plugin(s, vehicles); }, 1});
        cases.push_back({"Simulate/HostAlone/" + size, [vehicles](State& s) { Simulate_Host_Alone(s, vehicles); }, 1});
    }
    return cases;
}

struct Pair
{
    const char* What;
    const char* Ours;
    const char* Baseline;
    double Target;       // the largest ratio allowed; 0: reported only
    double Scale = 1;    // how many of the baseline's runs one of ours stands against
    bool Counted = true; // measured in instructions too (a whole match under callgrind takes
                         // minutes, so matches and the largest files are timed only)
};

const Pair pairs[] = {
    {"tick, no scan due / least gate", "Tick_NoScanDue", "Tick_LeastGate", 1.2},
    {"scan, upright vehicles / bare host calls", "Scan/UprightVehicles/1000", "Bare_Loop/UprightVehicles/1000", 1.2},
    {"scan, non-vehicles / bare host calls", "Scan/NonVehicles/1000", "Bare_Loop/NonVehicles/1000", 1.2},
    {"scan, flipped with script / bare host calls", "Scan/FlippedWithScript/1000", "Bare_Loop/FlippedWithScript/1000", 1.2},
    {"scan, flipped exempt / bare host calls", "Scan/FlippedExempt/1000", "Bare_Loop/FlippedExempt/1000", 1.2},
    {"Find, 10 names, hits / unordered_set", "Find_Table/10/1", "Find_UnorderedSet/10/1", 1.0},
    {"Find, 10 names, misses / unordered_set", "Find_Table/10/0", "Find_UnorderedSet/10/0", 1.0},
    {"Find, 100 names, hits / unordered_set", "Find_Table/100/1", "Find_UnorderedSet/100/1", 1.0},
    {"Find, 100 names, misses / unordered_set", "Find_Table/100/0", "Find_UnorderedSet/100/0", 1.0},
    {"Find, 10000 names, hits / unordered_set", "Find_Table/10000/1", "Find_UnorderedSet/10000/1", 1.0},
    {"Find, 10000 names, misses / unordered_set", "Find_Table/10000/0", "Find_UnorderedSet/10000/0", 1.0},
    {"Find, family of 10 (Tank_0001..) / unordered_set", "Find_Table_Family/10", "Find_UnorderedSet_Family/10", 0},
    {"Find, family of 100 / unordered_set", "Find_Table_Family/100", "Find_UnorderedSet_Family/100", 0},
    {"Find, family of 1000 / unordered_set", "Find_Table_Family/1000", "Find_UnorderedSet_Family/1000", 0},
    {"Insert 10000 names / unordered_set", "Insert_Table/10000", "Insert_UnorderedSet/10000", 0},
    // A settings file of many entries against as many entries in files of few: the cost per
    // entry must stay flat (a lookup that walked its section would make this about the ratio
    // of the sizes).
    {"settings, 10000 entries / 100 x 100 entries", "Settings_Load/10000", "Settings_Load/100", 2.0, 100},
    {"settings, 100000 entries / 100 x 1000 entries", "Settings_Load/100000", "Settings_Load/1000", 0, 100, false},
    // A scenario of many vehicles and level loads against as many in scenarios of few: the cost
    // per line must stay flat (quadratic parsing made the first about 100 times the second).
    {"scenario, 10000 vehicles and level loads / 100 x 100", "Scenario_Parse/10000", "Scenario_Parse/100", 2.0, 100},
    {"scenario, 100000 vehicles and level loads / 100 x 1000", "Scenario_Parse/100000", "Scenario_Parse/1000", 2.0, 100,
     false},
#ifdef VELTRASK_DLL_PATH
    // What trying the very DLL one deploys costs against the Linux build, on the same match.
    {"100-vehicle match, veltrask.dll emulated / the .so", "Simulate/WithDll/100", "Simulate/WithPlugin/100", 0},
    {"1000-vehicle match, veltrask.dll emulated / the .so", "Simulate/WithDll/1000", "Simulate/WithPlugin/1000", 0, 1, false},
#endif
    {"1000-vehicle match / the same game, host alone", "Simulate/WithPlugin/1000", "Simulate/HostAlone/1000", 0, 1, false},
    {"10000-vehicle match / the same game, host alone", "Simulate/WithPlugin/10000", "Simulate/HostAlone/10000", 0, 1, false},
    {"100000-vehicle match / the same game, host alone", "Simulate/WithPlugin/100000", "Simulate/HostAlone/100000", 0, 1,
     false},
};

const Case* Find_Case(const std::vector<Case>& cases, const std::string& name)
{
    for (const Case& c : cases) {
        if (c.Name == name) {
            return &c;
        }
    }
    return nullptr;
}

// Collects each run's time per iteration and counters, by the name it was registered under.
class Collector : public benchmark::BenchmarkReporter
{
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                std::fprintf(stderr, "bench: %s: %s\n", run.benchmark_name().c_str(), run.error_message.c_str());
                std::exit(2);
            }
            Times[run.run_name.function_name] = run.GetAdjustedRealTime();
            for (const auto& [counter_name, counter] : run.counters) {
                Counters[run.run_name.function_name + ":" + counter_name] = counter.value;
            }
        }
    }
    std::map<std::string, double> Times;
    std::map<std::string, double> Counters;
};

// The name `c` is registered under: its own, with '.' for '/', which the filter would take for
// the start of an argument.
std::string Label(const Case& c)
{
    std::string label = c.Name;
    std::replace(label.begin(), label.end(), '/', '.');
    return label;
}

// Registers `c` alone (with fixed iterations when `iterations` > 0) and runs it.
void Run_Once(const Case& c, double min_time, std::int64_t iterations, Collector& collector)
{
    benchmark::ClearRegisteredBenchmarks();
    auto* b = benchmark::RegisterBenchmark(Label(c).c_str(), c.Run);
    if (iterations > 0) {
        b->Iterations(iterations);
    } else {
        b->MinTime(min_time);
    }
    b->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks(&collector);
}

double Measured(const Collector& collector, const Case& c)
{
    const auto found = collector.Times.find(Label(c));
    return found != collector.Times.end() ? found->second : NAN;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? NAN : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool Selected(const Pair& p, const std::string& filter)
{
    return filter.empty() || std::string(p.What).find(filter) != std::string::npos ||
           std::string(p.Ours).find(filter) != std::string::npos;
}

// The time mode: every pair's two sides alternate for `rounds` rounds.
int Measure_Time(const std::vector<Case>& cases, int rounds, double min_time, const std::string& filter)
{
    std::printf("%-50s %12s %12s %7s %7s  %s\n", "ours / baseline (time in us, medians of paired rounds)", "ours",
                "baseline", "ratio", "spread", "target");
    for (const Pair& p : pairs) {
        if (!Selected(p, filter)) {
            continue;
        }
        const Case* ours = Find_Case(cases, p.Ours);
        const Case* base = Find_Case(cases, p.Baseline);
        std::vector<double> ratios, ours_times, base_times;
        double last_rate = NAN;
        for (int r = 0; r < rounds; ++r) {
            Collector a, b;
            // Which side goes first alternates, so a drift in the machine's speed cancels out.
            if (r % 2 == 0) {
                Run_Once(*ours, min_time, 0, a);
                Run_Once(*base, min_time, 0, b);
            } else {
                Run_Once(*base, min_time, 0, b);
                Run_Once(*ours, min_time, 0, a);
            }
            ours_times.push_back(Measured(a, *ours));
            const auto rate = a.Counters.find(Label(*ours) + ":vehicle_ticks_per_s");
            last_rate = rate != a.Counters.end() ? rate->second : NAN;
            base_times.push_back(Measured(b, *base) * p.Scale);
            ratios.push_back(ours_times.back() / base_times.back());
        }
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%-50s %12.4g %12.4g %7.2f %7.2f  %s\n", p.What, Median(ours_times), Median(base_times), Median(ratios),
                    *high - *low, p.Target == 0 ? "(reported)" : "(judged on instructions)");
        if (std::string(p.Ours).rfind("Simulate/", 0) == 0) {
            std::printf("%-50s %12.3g vehicle-ticks/s with the plug-in\n", "", last_rate);
        }
        std::fflush(stdout);
    }
    return 0;
}

// The count callgrind has gathered since it was last zeroed, written to the next dump file.
double Dump_Instructions(const std::string& out_file, int& dumps)
{
    CALLGRIND_DUMP_STATS;
    const std::string path = out_file + "." + std::to_string(++dumps);
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("summary: ", 0) == 0 || line.rfind("totals: ", 0) == 0) {
            return std::atof(line.c_str() + line.find(' ') + 1);
        }
    }
    std::fprintf(stderr, "bench: no instruction count in %s\n", path.c_str());
    std::exit(2);
}

// Instructions for one iteration of `c`: the count for 2n iterations less that for n, over n,
// so everything a run does once (set-up, the framework's own work) drops out. A first run, not
// counted, takes what only a first run does (the loader's first binding of symbols, caches
// filled), so the two counted runs do the same once-only work.
double Instructions(const Case& c, const std::string& out_file, int& dumps)
{
    Collector warm_up;
    Run_Once(c, 0, c.Iterations, warm_up);
    double counts[2];
    for (int k = 0; k < 2; ++k) {
        Collector collector;
        const std::int64_t n = c.Iterations * (k + 1);
        CALLGRIND_ZERO_STATS;
        CALLGRIND_TOGGLE_COLLECT;
        Run_Once(c, 0, n, collector);
        CALLGRIND_TOGGLE_COLLECT;
        counts[k] = Dump_Instructions(out_file, dumps);
    }
    return (counts[1] - counts[0]) / static_cast<double>(c.Iterations);
}

int Measure_Instructions(const std::vector<Case>& cases, const std::string& out_file, const std::string& filter)
{
    if (RUNNING_ON_VALGRIND == 0) {
        std::fprintf(stderr, "bench: --instructions counts under callgrind: run it through bench/run --instructions\n");
        return 2;
    }
    int dumps = 0;
    int over = 0;
    std::printf("%-50s %12s %12s %7s  %s\n", "ours / baseline (instructions per iteration)", "ours", "baseline", "ratio",
                "target");
    for (const Pair& p : pairs) {
        if (!Selected(p, filter) || !p.Counted) {
            continue;
        }
        const double ours = Instructions(*Find_Case(cases, p.Ours), out_file, dumps);
        const double base = Instructions(*Find_Case(cases, p.Baseline), out_file, dumps) * p.Scale;
        const double ratio = ours / base;
        const bool ok = p.Target == 0 || ratio <= p.Target;
        over += ok ? 0 : 1;
        std::printf("%-50s %12.0f %12.0f %7.3f  %s\n", p.What, ours, base, ratio,
                    p.Target == 0 ? "(reported)" : (std::string(ok ? "ok, <= " : "OVER ") + std::to_string(p.Target).substr(0, 4)).c_str());
        std::fflush(stdout);
    }
    return over == 0 ? 0 : 3;
}

}  // namespace

// veltrask-bench [--rounds N] [--min-time S] [--filter TEXT]          times, paired rounds
// veltrask-bench --instructions OUT_FILE [--filter TEXT]             under callgrind
int main(int argc, char** argv)
{
    int rounds = 7;
    double min_time = 0.05;
    std::string filter;
    std::string instructions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--rounds" && has_value) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--min-time" && has_value) {
            min_time = std::atof(argv[++i]);
        } else if (a == "--filter" && has_value) {
            filter = argv[++i];
        } else if (a == "--instructions" && has_value) {
            instructions = argv[++i];
        } else {
            std::fprintf(stderr, "bench: unknown argument '%s'\n", a.c_str());
            return 2;
        }
    }
    int no_arguments = 1;
    char* program[] = {argv[0], nullptr};
    benchmark::Initialize(&no_arguments, program);
    const std::vector<Case> cases = Cases();
    const int status = instructions.empty() ? Measure_Time(cases, rounds, min_time, filter)
                                            : Measure_Instructions(cases, instructions, filter);
    Unload_Plugin();
    return status;
}
