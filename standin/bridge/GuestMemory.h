// The DLL's address space as the bridge lays it out, and what the host keeps in it: the host's
// variables the DLL imports, texts handed to it, script parameters, the DLL's strings, and the
// memory manager's blocks, each counted natively as the Linux plug-in's are.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "GuestCpu.h"
#include "Math.h"

namespace standin {

// Where things live in the DLL's address space.
constexpr std::uint32_t DllBase = 0x20000000u;   // not the DLL's own base: its relocations are applied
constexpr std::uint32_t HeapBase = 0x40000000u;  // blocks of the memory manager, grown as needed
constexpr std::uint32_t HeapChunk = 0x01000000u;
constexpr std::uint32_t HeapLimit = 0x60000000u;
constexpr std::uint32_t HostData = 0x68000000u;  // the host's variables, objects and strings
constexpr std::uint32_t HostDataSize = 0x04000000u;

// A float's bits as a 32-bit argument or result, and back.
inline std::uint32_t Bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

inline float Float_Of(std::uint32_t b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// The host's variables the DLL imports, at their addresses in its memory.
struct HostVariables
{
    std::uint32_t CommandsVar = 0;     // the command table's pointer
    std::uint32_t ListVar = 0;         // the object list: {head, tail}
    std::uint32_t EmptyStringVar = 0;  // a reference: the address of EmptyPointer
    std::uint32_t EmptyPointer = 0;    // the pointer to the shared empty buffer
    std::uint32_t EmptyBuffer = 0;
    std::uint32_t NullCharVar = 0;  // a reference: the address of NullChar
    std::uint32_t NullChar = 0;
    std::uint32_t GameData = 0;  // the game's data, as far as the DLL reads it
};

class GuestMemory
{
public:
    explicit GuestMemory(guest::GuestCpu& cpu) : Cpu(cpu) {}

    // Maps the host's area and places its variables there; fails when there is no room.
    bool Start();
    const HostVariables& Vars() const { return Host; }

    // Room in the host's area, kept for the plug-in's life; 0 (and the call under way stopped)
    // when the area is full.
    std::uint32_t Host_Alloc(std::uint32_t bytes);
    // A text of the host's in the DLL's memory, kept for the plug-in's life (each text once).
    std::uint32_t Text(const char* text);
    // A script's parameter text: the host's own memory, as in the host, reused once freed.
    std::uint32_t Params_Copy(const std::string& text);
    void Params_Free(std::uint32_t at);

    // The memory manager's blocks for the DLL: counted as the Linux plug-in's are.
    std::uint32_t New_Block(std::uint32_t bytes, bool array);
    void Delete_Block(std::uint32_t block);

    // The guest's StringClass operations on the string at `self`.
    void String_Grow(std::uint32_t self, std::uint32_t length);
    void String_Free(std::uint32_t self);
    void String_Set(std::uint32_t self, const char* text);

    Matrix3D Read_Matrix(std::uint32_t at) const;

private:
    std::uint32_t Heap_Alloc(std::uint32_t bytes);

    guest::GuestCpu& Cpu;
    HostVariables Host;
    std::uint32_t HostNext = HostData;
    std::unordered_map<std::string, std::uint32_t> Texts;
    std::unordered_map<std::uint32_t, std::uint32_t> HostParams;  // address -> size
    std::map<std::uint32_t, std::vector<std::uint32_t>> FreeParams;
    // Guest address -> the native block that carries the count.
    struct Block
    {
        void* Native;
        std::uint32_t Size;
        bool Array;
    };
    std::unordered_map<std::uint32_t, Block> Blocks;
    std::map<std::uint32_t, std::vector<std::uint32_t>> FreeBySize;
    std::uint32_t HeapNext = HeapBase;
    std::uint32_t HeapMapped = HeapBase;
};

}  // namespace standin
