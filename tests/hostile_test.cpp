// Plug-ins that crash, abort, hang, end the process or hand the host nothing it can call, and
// library files that would make the loader itself read or write wild addresses: the simulator
// outlives each, and says what happened with status 2.
#include <elf.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "SimSupport.h"
#include "TestSupport.h"

namespace {

using test::Quoted;
using test::Result;
using test::Run_Sim;
using test::Scratch;

const std::string scenario = Quoted(VELTRASK_SOURCE_DIR "/examples/default.scenario");

std::string Hostile(const std::string& kind) { return Quoted(VELTRASK_HOSTILE_DIR "/libhostile_" + kind + ".so"); }

// In a sanitizer build the simulator's own runtime would catch the plug-in's crash and report it
// in its own way: here the signal reaches the process as it would in any other build.
const std::string raw_signals = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_segv=0:handle_abort=0:abort_on_error=0 ";

std::string Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos ? std::string() : "'" + part + "' is not in:\n" + text;
}

TEST(HostilePlugins, ACrashAnAbortOrAnExitInsideThePluginIsSaidWithWhatItWasDoingAndWhen)
{
    const struct
    {
        std::string Kind;
        std::string Said;
    } cases[] = {
        {"crash", "veltrask-sim: the plug-in crashed (signal 11, Segmentation fault) in Tick, at game time 1.500 s\n"},
        {"abort", "veltrask-sim: the plug-in aborted (signal 6, Aborted) in Load_Global_Settings, before the game began\n"},
        {"exit_at_load", "veltrask-sim: the plug-in ended the process (exit status 0) in its start-up code as it was loaded, before the game began\n"},
        {"exit_in_tick", "veltrask-sim: the plug-in ended the process (exit status 0) in Tick, at game time 1.500 s\n"},
    };
    for (const auto& c : cases) {
        for (const std::string& mode : {scenario + " --json", "--random 3 --vehicles 5 --length 20 --settings " + Quoted(VELTRASK_SOURCE_DIR "/examples/settings.ini")}) {
            const Result r = Run_Sim(mode + " --plugin " + Hostile(c.Kind), raw_signals);
            EXPECT_EQ(r.Status, 2) << c.Kind << ", " << mode << ": " << r.Err;
            // Load_Global_Settings comes before the game in a scenario and a random match alike,
            // and the first tick at 1/30 s: the 45th is at 1.5 s in both.
            EXPECT_EQ(Contains(r.Err, c.Said), "") << c.Kind << ", " << mode;
        }
    }
}

TEST(HostilePlugins, AHangIsStoppedByTheWatchdogWhoseTimeIsSettable)
{
    const Result r = Run_Sim(scenario + " --plugin " + Hostile("hang") + " --plugin-timeout 0.3");
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(Contains(r.Err, "veltrask-sim: the plug-in spent more than 0.3 s in Level_Loaded, at game time 0.000 s: stopped "
                              "it (--plugin-timeout gives it longer)\n"),
              "");
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_EQ(Run_Sim(scenario + " --plugin-timeout 0").Status, 2) << "no time at all is refused";
    // A well-behaved plug-in is never stopped, however short the time it is given.
    const Result fine = Run_Sim("--random 1 --vehicles 300 --length 60 --plugin-timeout 0.1");
    EXPECT_EQ(fine.Status, 0) << fine.Err;
}

TEST(HostilePlugins, APluginThatSubscribedToNothingIsRefusedNeverCalled)
{
    for (const std::string kind : {"silent", "junk"}) {
        const Result r = Run_Sim(scenario + " --plugin " + Hostile(kind));
        EXPECT_EQ(r.Status, 2) << kind;
        EXPECT_EQ(Contains(r.Err, "libhostile_" + kind +
                                      ".so: Plugin_Init returned a plug-in that subscribed to no event: the host would "
                                      "never call it\n"),
                  "")
            << kind;
        EXPECT_TRUE(r.Out.empty()) << kind << ": nothing is played without a plug-in";
    }
}

// --- The file the loader trusts ---

#if UINTPTR_MAX > 0xFFFFFFFFu
using Ehdr = Elf64_Ehdr;
using Phdr = Elf64_Phdr;
using Dyn = Elf64_Dyn;
#else
using Ehdr = Elf32_Ehdr;
using Phdr = Elf32_Phdr;
using Dyn = Elf32_Dyn;
#endif

// The plug-in library's bytes, with views of its headers to damage.
struct Library
{
    std::string Bytes;

    Library()
    {
        std::ifstream in(VELTRASK_PLUGIN_PATH, std::ios::binary);
        Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Ehdr Header() const
    {
        Ehdr h;
        std::memcpy(&h, Bytes.data(), sizeof(h));
        return h;
    }
    std::size_t Segment_At(int i) const { return Header().e_phoff + i * sizeof(Phdr); }
    Phdr Segment(int i) const
    {
        Phdr p;
        std::memcpy(&p, Bytes.data() + Segment_At(i), sizeof(p));
        return p;
    }
    void Set_Segment(int i, const Phdr& p) { std::memcpy(&Bytes[Segment_At(i)], &p, sizeof(p)); }
    // The index of the first segment of `type`, or -1.
    int Find(unsigned type, int after = -1) const
    {
        for (int i = after + 1; i < Header().e_phnum; ++i) {
            if (Segment(i).p_type == type) {
                return i;
            }
        }
        return -1;
    }
    // Changes the value of the first dynamic entry with `tag`; false when there is none.
    bool Set_Dynamic(std::int64_t tag, std::uint64_t value)
    {
        const Phdr dynamic = Segment(Find(PT_DYNAMIC));
        for (std::size_t at = dynamic.p_offset; at + sizeof(Dyn) <= dynamic.p_offset + dynamic.p_filesz; at += sizeof(Dyn)) {
            Dyn entry;
            std::memcpy(&entry, Bytes.data() + at, sizeof(entry));
            if (static_cast<std::int64_t>(entry.d_tag) == tag) {
                entry.d_un.d_val = static_cast<decltype(entry.d_un.d_val)>(value);
                std::memcpy(&Bytes[at], &entry, sizeof(entry));
                return true;
            }
        }
        return false;
    }
};

// Each of these made the loader crash (or fail an assertion) before it was checked for.
TEST(HostilePlugins, ALibraryWhoseHeadersPointOutsideItsImageIsRefusedBeforeTheLoaderSeesIt)
{
    Scratch scratch;
    const Library original;
    ASSERT_GT(original.Bytes.size(), 4096u);
    ASSERT_EQ(original.Bytes.compare(0, 4, ELFMAG), 0);
    ASSERT_GE(original.Find(PT_DYNAMIC), 0);
    ASSERT_GE(original.Find(PT_LOAD, original.Find(PT_LOAD)), 0) << "the library has two loadable segments";

    struct Damage
    {
        std::string What;
        std::string Said;
        bool (*Apply)(Library&);
    };
    const Damage damages[] = {
        {"the dynamic section moved beyond the image", "its dynamic section is not within what is loaded",
         [](Library& l) {
             Phdr d = l.Segment(l.Find(PT_DYNAMIC));
             d.p_vaddr += 0x10000000;
             l.Set_Segment(l.Find(PT_DYNAMIC), d);
             return true;
         }},
        {"the string table far away", "a dynamic entry points outside what is loaded",
         [](Library& l) { return l.Set_Dynamic(DT_STRTAB, 0x7fff0000); }},
        {"the symbol table far away", "a dynamic entry points outside what is loaded",
         [](Library& l) { return l.Set_Dynamic(DT_SYMTAB, 0x7fff0000); }},
        {"relocations far away", "a dynamic entry points outside what is loaded",
         [](Library& l) { return l.Set_Dynamic(sizeof(void*) == 8 ? DT_RELA : DT_REL, 0x7fff0000); }},
        {"a needed library's name beyond the strings", "a dynamic entry names a string outside its string table",
         [](Library& l) { return l.Set_Dynamic(DT_NEEDED, 0x7fff0000); }},
        {"the dynamic section without its end", "its dynamic section has no end",
         [](Library& l) {
             const Phdr d = l.Segment(l.Find(PT_DYNAMIC));
             for (std::size_t at = d.p_offset; at + sizeof(Dyn) <= d.p_offset + d.p_filesz; at += sizeof(Dyn)) {
                 Dyn entry;
                 std::memcpy(&entry, l.Bytes.data() + at, sizeof(entry));
                 if (entry.d_tag == DT_NULL) {
                     entry.d_tag = DT_DEBUG;
                     std::memcpy(&l.Bytes[at], &entry, sizeof(entry));
                 }
             }
             return true;
         }},
        {"a second loadable segment at address 0", "its segments are out of order or overlap",
         [](Library& l) {
             const int second = l.Find(PT_LOAD, l.Find(PT_LOAD));
             Phdr p = l.Segment(second);
             p.p_vaddr = p.p_paddr = p.p_offset % (p.p_align > 0 ? p.p_align : 1);
             l.Set_Segment(second, p);
             return true;
         }},
        {"a segment's address out of step with its place in the file", "a segment's address does not match its place in the file",
         [](Library& l) {
             const int second = l.Find(PT_LOAD, l.Find(PT_LOAD));
             Phdr p = l.Segment(second);
             p.p_vaddr += 8;
             l.Set_Segment(second, p);
             return true;
         }},
    };
    for (const Damage& damage : damages) {
        Library library = original;
        ASSERT_TRUE(damage.Apply(library)) << damage.What << ": the library has nothing to damage so";
        const std::string path = scratch.Write("damaged.so", library.Bytes);
        const Result r = Run_Sim(scenario + " --plugin " + Quoted(path));
        EXPECT_EQ(r.Status, 2) << damage.What;
        EXPECT_EQ(Contains(r.Err, path + ": not a plug-in library for this machine: damaged: " + damage.Said), "") << damage.What;
    }
}

// A bare name is a file in the current folder, as every other file the simulator takes: never one
// the loader finds along its library path, which the check would not have read.
TEST(HostilePlugins, ABareNameIsTheFileInTheCurrentFolderNeverOneOnTheLibraryPath)
{
    Scratch here;
    Scratch elsewhere;
    std::ifstream in(VELTRASK_PLUGIN_PATH, std::ios::binary);
    const std::string library((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    here.Write("libvt_test.so", library);
    elsewhere.Write("libvt_test.so", library.substr(0, library.size() / 2));
    const std::string in_here = "cd " + Quoted(here.Path("")) + " && LD_LIBRARY_PATH=" + Quoted(elsewhere.Path("")) + " ";
    Result r = Run_Sim(scenario + " --plugin libvt_test.so", in_here);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("killed"), std::string::npos) << "the plug-in played";

    const std::string in_elsewhere = "cd " + Quoted(elsewhere.Path("")) + " && LD_LIBRARY_PATH=" + Quoted(here.Path("")) + " ";
    r = Run_Sim(scenario + " --plugin libvt_test.so", in_elsewhere);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(Contains(r.Err, "libvt_test.so: not a plug-in library for this machine: the file is cut short"), "");

    const std::string nowhere = "cd " + Quoted(here.Path("")) + " && LD_LIBRARY_PATH=" + Quoted(elsewhere.Path("")) + " ";
    r = Run_Sim(scenario + " --plugin libveltrask_nowhere.so", nowhere);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(Contains(r.Err, "libveltrask_nowhere.so: cannot read: No such file or directory"), "");
}

}  // namespace
