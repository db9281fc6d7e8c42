#include "GuestMemory.h"

#include <algorithm>
#include <new>

#include "HostMemory.h"

namespace standin {

bool GuestMemory::Start()
{
    if (!Cpu.Map(HostData, HostDataSize)) {
        return false;
    }
    Host.CommandsVar = Host_Alloc(4);
    Host.ListVar = Host_Alloc(8);
    Host.EmptyBuffer = Host_Alloc(4);
    Host.EmptyPointer = Host_Alloc(4);
    Cpu.Write_U32(Host.EmptyPointer, Host.EmptyBuffer);
    Host.EmptyStringVar = Host_Alloc(4);
    Cpu.Write_U32(Host.EmptyStringVar, Host.EmptyPointer);
    Host.NullChar = Host_Alloc(4);
    Host.NullCharVar = Host_Alloc(4);
    Cpu.Write_U32(Host.NullCharVar, Host.NullChar);
    Host.GameData = Host_Alloc(4);
    return true;
}

std::uint32_t GuestMemory::Host_Alloc(std::uint32_t bytes)
{
    const std::uint32_t at = HostNext;
    HostNext += (bytes + 15u) & ~15u;
    if (HostNext > HostData + HostDataSize) {
        Cpu.Stop("the host's memory for the DLL is full");
        return 0;
    }
    return at;
}

std::uint32_t GuestMemory::Text(const char* text)
{
    const std::string key = text != nullptr ? text : "";
    const auto found = Texts.find(key);
    if (found != Texts.end()) {
        return found->second;
    }
    const std::uint32_t at = Host_Alloc(static_cast<std::uint32_t>(key.size() + 1));
    Cpu.Write(at, key.c_str(), key.size() + 1);
    Texts.emplace(key, at);
    return at;
}

std::uint32_t GuestMemory::Params_Copy(const std::string& text)
{
    const std::uint32_t size = (static_cast<std::uint32_t>(text.size()) + 16u) & ~15u;
    std::vector<std::uint32_t>& free = FreeParams[size];
    std::uint32_t at = 0;
    if (!free.empty()) {
        at = free.back();
        free.pop_back();
    } else {
        at = Host_Alloc(size);
    }
    if (at != 0) {
        Cpu.Write(at, text.c_str(), text.size() + 1);
        HostParams[at] = size;
    }
    return at;
}

void GuestMemory::Params_Free(std::uint32_t at)
{
    const auto found = HostParams.find(at);
    if (found != HostParams.end()) {
        FreeParams[found->second].push_back(at);
        HostParams.erase(found);
    }
}

std::uint32_t GuestMemory::Heap_Alloc(std::uint32_t bytes)
{
    const std::uint32_t size = (std::max<std::uint32_t>(bytes, 1) + 15u) & ~15u;
    auto reuse = FreeBySize.find(size);
    if (reuse != FreeBySize.end() && !reuse->second.empty()) {
        const std::uint32_t at = reuse->second.back();
        reuse->second.pop_back();
        return at;
    }
    if (size > HeapLimit - HeapNext) {
        return 0;
    }
    while (HeapNext + size > HeapMapped) {
        if (!Cpu.Map(HeapMapped, HeapChunk)) {
            return 0;
        }
        HeapMapped += HeapChunk;
    }
    const std::uint32_t at = HeapNext;
    HeapNext += size;
    return at;
}

std::uint32_t GuestMemory::New_Block(std::uint32_t bytes, bool array)
{
    // The native block carries the count (and any refusal the tests ask the memory manager for).
    // The host's operator new answers a request it cannot serve with null, as the DLL's would.
    void* native = array ? Host_Allocate_Array(std::max<std::uint32_t>(bytes, 1)) : Host_Allocate(std::max<std::uint32_t>(bytes, 1));
    if (native == nullptr) {
        return 0;
    }
    const std::uint32_t at = Heap_Alloc(bytes);
    if (at == 0) {
        array ? Host_Free_Array(native) : ::operator delete(native);
        return 0;
    }
    Blocks[at] = Block{native, (std::max<std::uint32_t>(bytes, 1) + 15u) & ~15u, array};
    return at;
}

void GuestMemory::Delete_Block(std::uint32_t block)
{
    if (block == 0) {
        return;
    }
    const auto found = Blocks.find(block);
    if (found == Blocks.end()) {
        Cpu.Stop("the DLL freed memory the host never gave it (" + std::to_string(block) + ")");
        return;
    }
    found->second.Array ? Host_Free_Array(found->second.Native) : ::operator delete(found->second.Native);
    FreeBySize[found->second.Size].push_back(block);
    Blocks.erase(found);
}

void GuestMemory::String_Free(std::uint32_t self)
{
    const std::uint32_t buffer = Cpu.Read_U32(self);
    if (buffer != Host.EmptyBuffer && buffer != 0) {
        Delete_Block(buffer - 8);
        Cpu.Write_U32(self, Host.EmptyBuffer);
    }
}

void GuestMemory::String_Grow(std::uint32_t self, std::uint32_t length)
{
    if (static_cast<std::int32_t>(length) <= 1) {
        return;
    }
    const std::uint32_t buffer = Cpu.Read_U32(self);
    if (buffer != Host.EmptyBuffer && buffer != 0 && Cpu.Read_U32(buffer - 8) >= length) {
        return;
    }
    const std::uint32_t capacity = (length + 15u) & ~15u;
    const std::uint32_t block = length < 0x7FFFFFF0u - 8 ? New_Block(8 + capacity, true) : 0;
    String_Free(self);
    if (block == 0) {
        return;  // the shared empty buffer stays, as the host's own strings do without memory
    }
    const std::uint32_t header[2] = {capacity, 0};
    Cpu.Write(block, header, sizeof(header));
    const char nul = 0;
    Cpu.Write(block + 8, &nul, 1);
    Cpu.Write_U32(self, block + 8);
}

void GuestMemory::String_Set(std::uint32_t self, const char* text)
{
    // As StringClass's own assignment: room for the text, then the length word and the text.
    const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text));
    String_Grow(self, n + 1);
    const std::uint32_t buffer = Cpu.Read_U32(self);
    const char nul = 0;
    if (buffer == Host.EmptyBuffer) {
        Cpu.Write(buffer, &nul, 1);
        return;
    }
    Cpu.Write_U32(buffer - 4, n);
    Cpu.Write(buffer, text, n);
    Cpu.Write(buffer + n, &nul, 1);
}

Matrix3D GuestMemory::Read_Matrix(std::uint32_t at) const
{
    Matrix3D m;
    Cpu.Read(at, &m.Row[0][0], sizeof(m.Row));
    return m;
}

}  // namespace standin
