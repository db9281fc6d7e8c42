// Loading a plug-in library as the host does: the dynamic loader, then Plugin_Init by name.
#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "Host.h"
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

// The loader maps a library's segments straight from the file and trusts its headers: a file cut
// short makes the first touch of a missing page a SIGBUS, which no error return can catch. So
// the file is checked first: an ELF shared object of this machine, whose every header and
// segment lies within it.
bool Check_Library_File(const std::string& path, std::string& error)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a plug-in library for this machine: not a regular file";
        return false;
    }
    if (info.st_size > (256 << 20)) {
        error = path + ": not a plug-in library for this machine: larger than 256 MiB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    std::vector<char> bytes(static_cast<std::size_t>(info.st_size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        error = path + ": cannot read";
        return false;
    }
    const std::uint64_t size = bytes.size();
    const auto fail = [&](const std::string& what) {
        error = path + ": not a plug-in library for this machine: " + what;
        return false;
    };
    if (size < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0) {
        return fail("not an ELF file");
    }
    if (static_cast<unsigned char>(bytes[EI_CLASS]) != OwnClass) {
        return fail(OwnClass == ELFCLASS64 ? "a 32-bit library, this is a 64-bit program" : "a 64-bit library, this is a 32-bit program");
    }
    if (size < sizeof(Ehdr)) {
        return fail("the file is cut short (its header is incomplete)");
    }
    Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    if (OwnMachine >= 0 && header.e_machine != OwnMachine) {
        return fail("built for another processor");
    }
    if (header.e_type != ET_DYN) {
        return fail("not a shared library");
    }
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 ||
        !Fits(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Phdr), size)) {
        return fail("the file is cut short or damaged (its program headers are not within it)");
    }
    if (header.e_shnum != 0 && !Fits(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, size)) {
        return fail("the file is cut short (its section headers are not within it)");
    }
    for (unsigned int i = 0; i < header.e_phnum; ++i) {
        Phdr segment;
        std::memcpy(&segment, bytes.data() + header.e_phoff + std::uint64_t{i} * sizeof(Phdr), sizeof(segment));
        if (segment.p_type != PT_NULL && !Fits(segment.p_offset, segment.p_filesz, size)) {
            return fail("the file is cut short (a segment is not within it)");
        }
    }
    return true;
}

}  // namespace

LoadedPlugin::~LoadedPlugin() { Unload(); }

bool LoadedPlugin::Load(const std::string& path, std::string& error)
{
    Unload();
    if (!Check_Library_File(path, error)) {
        return false;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : ("cannot load " + path);
        return false;
    }
    void* entry = dlsym(handle, "Plugin_Init");
    if (entry == nullptr) {
        error = path + ": no Plugin_Init";
        dlclose(handle);
        return false;
    }
    using InitFunction = Plugin* (*)();
    Plugin* instance = reinterpret_cast<InitFunction>(entry)();
    if (instance == nullptr) {
        error = path + ": Plugin_Init returned no plug-in";
        Shut_Down_Level();  // whatever the library set going must not outlive it
        dlclose(handle);
        return false;
    }
    LibraryHandle = handle;
    Instance = instance;
    return true;
}

void LoadedPlugin::Unload()
{
    if (LibraryHandle == nullptr) {
        return;
    }
    Shut_Down_Level();
    dlclose(LibraryHandle);
    LibraryHandle = nullptr;
    Instance = nullptr;
}

}  // namespace standin
