// Loading a plug-in library as the host does: the dynamic loader, then Plugin_Init by name.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "GuestPlugin.h"
#include "Host.h"
#include "PluginLoader.h"
#include "WorldState.h"

namespace standin {
namespace {

#if defined(__x86_64__)
constexpr int OwnMachine = EM_X86_64;
#elif defined(__i386__)
constexpr int OwnMachine = EM_386;
#elif defined(__aarch64__)
constexpr int OwnMachine = EM_AARCH64;
#else
constexpr int OwnMachine = -1;  // not checked
#endif

// The file's own ELF layout, of this program's word size.
#if UINTPTR_MAX > 0xFFFFFFFFu
using Ehdr = Elf64_Ehdr;
using Phdr = Elf64_Phdr;
constexpr unsigned char OwnClass = ELFCLASS64;
#else
using Ehdr = Elf32_Ehdr;
using Phdr = Elf32_Phdr;
constexpr unsigned char OwnClass = ELFCLASS32;
#endif

bool Fits(std::uint64_t offset, std::uint64_t bytes, std::uint64_t size)
{
    return offset <= size && bytes <= size - offset;
}

#if UINTPTR_MAX > 0xFFFFFFFFu
using Dyn = Elf64_Dyn;
using Sym = Elf64_Sym;
using Rela = Elf64_Rela;
using Rel = Elf64_Rel;
#else
using Dyn = Elf32_Dyn;
using Sym = Elf32_Sym;
using Rela = Elf32_Rela;
using Rel = Elf32_Rel;
#endif

// The image the loader maps: its loadable segments, in the order it requires.
class Image
{
public:
    explicit Image(std::vector<Phdr> loads) : Loads(std::move(loads)) {}

    // Whether `bytes` at `address` lie within one segment's memory.
    bool Holds(std::uint64_t address, std::uint64_t bytes) const
    {
        for (const Phdr& load : Loads) {
            if (address >= load.p_vaddr && Fits(address - load.p_vaddr, bytes, load.p_memsz)) {
                return true;
            }
        }
        return false;
    }

    // Where in the file `bytes` at `address` come from, when one segment maps them all from it.
    std::optional<std::uint64_t> File_Offset(std::uint64_t address, std::uint64_t bytes) const
    {
        for (const Phdr& load : Loads) {
            if (address >= load.p_vaddr && Fits(address - load.p_vaddr, bytes, load.p_filesz)) {
                return load.p_offset + (address - load.p_vaddr);
            }
        }
        return std::nullopt;
    }

private:
    std::vector<Phdr> Loads;
};

// The loader maps a library's segments straight from the file and trusts its headers: a file
// cut short makes the first touch of a missing page a SIGBUS; segments out of order, or a dynamic
// section or table outside the mapped image, make it read or write wild addresses. So the file
// is checked first, for what the loader takes on trust. Empty when it passes; what is wrong
// otherwise.
std::string Check_Library(const std::vector<char>& bytes)
{
    const std::uint64_t size = bytes.size();
    if (size < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0) {
        return "not an ELF file";
    }
    if (static_cast<unsigned char>(bytes[EI_CLASS]) != OwnClass) {
        return OwnClass == ELFCLASS64 ? "a 32-bit library, this is a 64-bit program" : "a 64-bit library, this is a 32-bit program";
    }
    if (size < sizeof(Ehdr)) {
        return "the file is cut short (its header is incomplete)";
    }
    Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    if (OwnMachine >= 0 && header.e_machine != OwnMachine) {
        return "built for another processor";
    }
    if (header.e_type != ET_DYN) {
        return "not a shared library";
    }
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 ||
        !Fits(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Phdr), size)) {
        return "the file is cut short or damaged (its program headers are not within it)";
    }
    if (header.e_shnum != 0 && !Fits(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, size)) {
        return "the file is cut short (its section headers are not within it)";
    }
    std::vector<Phdr> loads;
    std::optional<Phdr> dynamic;
    for (unsigned int i = 0; i < header.e_phnum; ++i) {
        Phdr segment;
        std::memcpy(&segment, bytes.data() + header.e_phoff + std::uint64_t{i} * sizeof(Phdr), sizeof(segment));
        if (segment.p_type != PT_NULL && !Fits(segment.p_offset, segment.p_filesz, size)) {
            return "the file is cut short (a segment is not within it)";
        }
        if (segment.p_type == PT_LOAD) {
            loads.push_back(segment);
        } else if (segment.p_type == PT_DYNAMIC) {
            if (dynamic) {
                return "damaged: two dynamic sections";
            }
            dynamic = segment;
        }
    }
    // The loader reserves one span from the first segment's start to the last one's end and maps
    // each segment into it, in order.
    constexpr std::uint64_t MaxSpan = std::uint64_t{1} << 30;
    if (loads.empty()) {
        return "damaged: nothing to load";
    }
    for (std::size_t i = 0; i < loads.size(); ++i) {
        const Phdr& load = loads[i];
        if (load.p_filesz > load.p_memsz || load.p_memsz > MaxSpan || load.p_vaddr > MaxSpan) {
            return "damaged: a segment larger than its memory, or beyond 1 GiB";
        }
        if (load.p_align > 1 && ((load.p_align & (load.p_align - 1)) != 0 ||
                                 load.p_vaddr % load.p_align != load.p_offset % load.p_align)) {
            return "damaged: a segment's address does not match its place in the file";
        }
        if (i > 0 && load.p_vaddr < loads[i - 1].p_vaddr + loads[i - 1].p_memsz) {
            return "damaged: its segments are out of order or overlap";
        }
    }
    const Image image(loads);
    if (!dynamic) {
        return "damaged: no dynamic section";
    }
    const std::optional<std::uint64_t> dynamic_at = image.File_Offset(dynamic->p_vaddr, dynamic->p_filesz);
    if (!dynamic_at || *dynamic_at != dynamic->p_offset || dynamic->p_filesz % sizeof(Dyn) != 0) {
        return "damaged: its dynamic section is not within what is loaded";
    }
    // The dynamic entries: every table they point at lies within the image, and every name
    // within the string table.
    bool ended = false;
    std::vector<std::uint64_t> names;
    std::uint64_t values[DT_NUM] = {};
    bool present[DT_NUM] = {};
    for (std::uint64_t at = dynamic->p_offset; at + sizeof(Dyn) <= dynamic->p_offset + dynamic->p_filesz; at += sizeof(Dyn)) {
        Dyn entry;
        std::memcpy(&entry, bytes.data() + at, sizeof(entry));
        const auto tag = static_cast<std::int64_t>(entry.d_tag);
        const std::uint64_t value = entry.d_un.d_val;
        if (tag == DT_NULL) {
            ended = true;
            break;
        }
        if (tag >= 0 && tag < DT_NUM) {
            present[tag] = true;
            values[tag] = value;
        }
        switch (tag) {
        case DT_NEEDED:
        case DT_SONAME:
        case DT_RPATH:
        case DT_RUNPATH: names.push_back(value); break;
        case DT_GNU_HASH:
        case DT_VERSYM:
        case DT_VERDEF:
        case DT_VERNEED:
            if (!image.Holds(value, 1)) {
                return "damaged: a dynamic entry points outside what is loaded";
            }
            break;
        default: break;
        }
    }
    if (!ended) {
        return "damaged: its dynamic section has no end";
    }
    if (!present[DT_STRTAB] || !present[DT_SYMTAB] || !present[DT_STRSZ]) {
        return "damaged: its dynamic section names no symbol or string table";
    }
    // Each table with the tag of its size (-1: none given; at least its first byte must lie within).
    const struct
    {
        int Address;
        int Size;
    } sized[] = {{DT_STRTAB, DT_STRSZ}, {DT_RELA, DT_RELASZ}, {DT_REL, DT_RELSZ}, {DT_JMPREL, DT_PLTRELSZ},
                 {DT_INIT_ARRAY, DT_INIT_ARRAYSZ}, {DT_FINI_ARRAY, DT_FINI_ARRAYSZ},
                 {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ}, {DT_SYMTAB, -1}, {DT_HASH, -1}, {DT_INIT, -1},
                 {DT_FINI, -1}, {DT_PLTGOT, -1}};
    for (const auto& table : sized) {
        if (present[table.Address] && !image.Holds(values[table.Address], table.Size >= 0 ? values[table.Size] : 1)) {
            return "damaged: a dynamic entry points outside what is loaded";
        }
        if (table.Size >= 0 && present[table.Size] && !present[table.Address] && values[table.Size] != 0) {
            return "damaged: a dynamic entry gives a size for no table";
        }
    }
    if ((present[DT_SYMENT] && values[DT_SYMENT] != sizeof(Sym)) || (present[DT_RELAENT] && values[DT_RELAENT] != sizeof(Rela)) ||
        (present[DT_RELENT] && values[DT_RELENT] != sizeof(Rel)) ||
        (present[DT_PLTREL] && values[DT_PLTREL] != DT_RELA && values[DT_PLTREL] != DT_REL)) {
        return "damaged: a dynamic entry gives a size or kind this machine does not use";
    }
    for (std::uint64_t name : names) {
        if (name >= values[DT_STRSZ]) {
            return "damaged: a dynamic entry names a string outside its string table";
        }
    }
    // The relocations the loader applies: each writes within the image.
    const auto check_relocations = [&](int address_tag, int size_tag, std::size_t entry_size, bool with_addend) {
        if (!present[address_tag] || values[size_tag] == 0) {
            return true;
        }
        const std::optional<std::uint64_t> at = image.File_Offset(values[address_tag], values[size_tag]);
        if (!at || values[size_tag] % entry_size != 0) {
            return false;
        }
        for (std::uint64_t i = 0; i < values[size_tag] / entry_size; ++i) {
            std::uint64_t offset = 0;
            if (with_addend) {
                Rela r;
                std::memcpy(&r, bytes.data() + *at + i * entry_size, sizeof(r));
                offset = r.r_offset;
            } else {
                Rel r;
                std::memcpy(&r, bytes.data() + *at + i * entry_size, sizeof(r));
                offset = r.r_offset;
            }
            if (!image.Holds(offset, sizeof(std::uintptr_t))) {
                return false;
            }
        }
        return true;
    };
    const bool plt_with_addend = !present[DT_PLTREL] || values[DT_PLTREL] == DT_RELA;
    if (!check_relocations(DT_RELA, DT_RELASZ, sizeof(Rela), true) || !check_relocations(DT_REL, DT_RELSZ, sizeof(Rel), false) ||
        !check_relocations(DT_JMPREL, DT_PLTRELSZ, plt_with_addend ? sizeof(Rela) : sizeof(Rel), plt_with_addend)) {
        return "damaged: a relocation lies or writes outside what is loaded";
    }
    return std::string();
}

// The whole of an open file, up to 256 MiB; false with `error` (what went wrong) otherwise.
bool Read_Whole(int fd, std::vector<char>& bytes, std::string& error)
{
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a plug-in library for this machine: not a regular file";
        return false;
    }
    if (info.st_size > (256 << 20)) {
        error = "not a plug-in library for this machine: larger than 256 MiB";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) {
            break;  // cut short while being read: the check sees what is there
        }
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return true;
}

// `text` with every mention of `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Why the host cannot take the plug-in `Plugin_Init` handed over, or null when it can. The host
// calls a plug-in only for the events it subscribed to: one that subscribed to none would sit
// there, never called, and a match would play as if there were no plug-in.
const char* Refusal_Of(Plugin* instance)
{
    if (instance == nullptr) {
        return "Plugin_Init returned no plug-in";
    }
    const auto& subscribers = W().Subscribers;
    if (std::none_of(subscribers.begin(), subscribers.end(), [&](const auto& s) { return s.second == instance; })) {
        return "Plugin_Init returned a plug-in that subscribed to no event: the host would never call it";
    }
    return nullptr;
}

}  // namespace

PluginFile::~PluginFile()
{
    if (Descriptor >= 0) {
        ::close(Descriptor);
    }
}

text::Status PluginFile::Open(const std::string& path)
{
    if (Descriptor >= 0) {
        ::close(Descriptor);
        Descriptor = -1;
    }
    Path = path;
    // The loader would search its library path for a bare name; the operator named a file here.
    const std::string opened = path.find('/') == std::string::npos ? "./" + path : path;
    const int fd = ::open(opened.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return text::Failure(path + ": cannot read: " + std::strerror(errno));
    }
    std::vector<char> bytes;
    std::string what;
    if (!Read_Whole(fd, bytes, what)) {
        ::close(fd);
        return text::Failure(path + ": " + what);
    }
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
        // A DLL for the host's own platform: its code runs under the emulated processor.
        if (const text::Status dll = Check_Guest_Plugin(bytes); !dll) {
            ::close(fd);
            return text::Failure(path + ": not a plug-in DLL this host can run: " + dll.Error().Message);
        }
        Descriptor = fd;
        WindowsDll = true;
        return {};
    }
    WindowsDll = false;
    what = Check_Library(bytes);
    if (!what.empty()) {
        ::close(fd);
        return text::Failure(path + ": not a plug-in library for this machine: " + what);
    }
    Descriptor = fd;
    return {};
}

std::string PluginFile::Loader_Name() const { return "/proc/self/fd/" + std::to_string(Descriptor); }

text::Expected<std::vector<char>> PluginFile::Read_Content() const
{
    std::vector<char> bytes;
    std::string error;
    if (!Read_Whole(Descriptor, bytes, error)) {
        return text::Failure(error);
    }
    return bytes;
}

LoadedPlugin::~LoadedPlugin() { Unload(); }

text::Status LoadedPlugin::Load(const std::string& path)
{
    PluginFile file;
    if (text::Status opened = file.Open(path); !opened) {
        return opened;
    }
    return Load(file);
}

text::Status LoadedPlugin::Load(const PluginFile& file)
{
    Unload();
    if (!file.Is_Open()) {
        return text::Failure(file.Name() + ": not opened");
    }
    if (file.Is_Windows_Dll()) {
        return Load_Dll(file);
    }
    const std::string loader_name = file.Loader_Name();
    void* handle = nullptr;
    {
        InPlugin running("its start-up code as it was loaded");
        handle = dlopen(loader_name.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        const char* why = dlerror();
        std::string error = why != nullptr ? Replaced(why, loader_name, file.Name()) : ("cannot load " + file.Name());
        if (error.compare(0, file.Name().size(), file.Name()) != 0) {
            error = file.Name() + ": " + error;
        }
        return text::Failure(error);
    }
    void* entry = dlsym(handle, "Plugin_Init");
    // Whatever the library set going must not outlive it.
    const auto give_up = [&](const std::string& why) {
        LibraryHandle = handle;
        Unload();
        return text::Status(text::Failure(file.Name() + ": " + why));
    };
    if (entry == nullptr) {
        return give_up("no Plugin_Init");
    }
    using InitFunction = Plugin* (*)();
    Plugin* instance = nullptr;
    {
        InPlugin running("Plugin_Init");
        instance = reinterpret_cast<InitFunction>(entry)();
    }
    if (const char* refused = Refusal_Of(instance)) {
        return give_up(refused);
    }
    LibraryHandle = handle;
    Instance = instance;
    return {};
}

text::Status LoadedPlugin::Load_Dll(const PluginFile& file)
{
    const text::Expected<std::vector<char>> content = file.Read_Content();
    if (!content) {
        return text::Failure(file.Name() + ": " + content.Error().Message);
    }
    const std::vector<char>& bytes = *content;
    text::Expected<GuestPlugin*> loaded = text::Failure("not loaded");
    {
        InPlugin running("its start-up code as it was loaded");
        loaded = Load_Guest_Plugin(bytes, file.Name());
    }
    if (!loaded) {
        Shut_Down_Level();
        return text::Failure(file.Name() + ": " + loaded.Error().Message);
    }
    GuestPlugin* guest = *loaded;
    text::Expected<Plugin*> exported = text::Failure("no Plugin_Init");
    {
        InPlugin running("Plugin_Init");
        exported = Guest_Plugin_Init(guest);
    }
    const auto give_up = [&](const std::string& why) {
        Guest = guest;
        Unload();
        return text::Status(text::Failure(file.Name() + ": " + why));
    };
    if (!exported) {
        return give_up(exported.Error().Message);
    }
    Plugin* instance = *exported;
    if (const char* refused = Refusal_Of(instance)) {
        return give_up(refused);
    }
    Guest = guest;
    Instance = instance;
    return {};
}

void LoadedPlugin::Unload()
{
    if (LibraryHandle == nullptr && Guest == nullptr) {
        return;
    }
    Shut_Down_Level();
    {
        InPlugin running("its clean-up code as it was unloaded");
        if (Guest != nullptr) {
            Unload_Guest_Plugin(Guest);
        } else {
            dlclose(LibraryHandle);
        }
    }
    LibraryHandle = nullptr;
    Guest = nullptr;
    Instance = nullptr;
}

}  // namespace standin
