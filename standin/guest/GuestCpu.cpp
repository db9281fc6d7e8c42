#include "GuestCpu.h"

#include <unicorn/unicorn.h>

#include <cstdio>
#include <cstring>

namespace standin::guest {
namespace {

constexpr std::uint32_t StubBase = 0x70000000u;
constexpr std::uint32_t StubBytes = 16;
constexpr std::uint32_t StubArea = 0x00100000u;                  // 65,536 stubs
constexpr std::uint32_t ReturnTrap = StubBase + StubArea - StubBytes;  // where a call from the host returns
constexpr std::uint32_t FloatSlot = StubBase + StubArea;         // a page of data after the stubs
constexpr std::uint32_t StackBase = 0x7F000000u;
constexpr std::uint32_t StackSize = 0x00100000u;

std::string Hex(std::uint64_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

const int Saved[] = {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESI,
                     UC_X86_REG_EDI, UC_X86_REG_EBP, UC_X86_REG_ESP, UC_X86_REG_EIP, UC_X86_REG_EFLAGS};
constexpr std::size_t SavedEsp = 7, SavedEip = 8;  // their places above

}  // namespace

GuestCpu::GuestCpu()
{
    uc_engine* uc = nullptr;
    if (uc_open(UC_ARCH_X86, UC_MODE_32, &uc) != UC_ERR_OK) {
        Fault = "the x86 emulator could not start";
        return;
    }
    Engine = uc;
    std::vector<std::uint8_t> trap(StubArea, 0xF4);  // hlt: never run, the emulation stops first
    if (!Map(StubBase, StubArea, trap.data()) || !Map(FloatSlot, 0x1000) || !Map(StackBase - StackSize, StackSize)) {
        uc_close(Engine);
        Engine = nullptr;
        Fault = "the x86 emulator could not map its own memory";
        return;
    }
    StackTop = StackBase - 64;
    uc_hook code_hook;
    uc_hook bad_hook;
    uc_hook_add(Engine, &code_hook, UC_HOOK_CODE, reinterpret_cast<void*>(&GuestCpu::On_Code), this, StubBase,
                StubBase + StubArea - 1);
    uc_hook_add(Engine, &bad_hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&GuestCpu::On_Invalid), this, 1, 0);
}

GuestCpu::~GuestCpu()
{
    if (Engine != nullptr) {
        uc_close(Engine);
    }
}

bool GuestCpu::Map(std::uint32_t address, std::uint32_t size, const void* data)
{
    if (uc_mem_map(Engine, address, size, UC_PROT_ALL) != UC_ERR_OK) {
        return false;
    }
    return data == nullptr || Write(address, data, size);
}

bool GuestCpu::Write(std::uint32_t address, const void* data, std::size_t size)
{
    return uc_mem_write(Engine, address, data, size) == UC_ERR_OK;
}

bool GuestCpu::Read(std::uint32_t address, void* data, std::size_t size) const
{
    return uc_mem_read(Engine, address, data, size) == UC_ERR_OK;
}

std::uint32_t GuestCpu::Read_U32(std::uint32_t address) const
{
    std::uint32_t value = 0;
    Read(address, &value, 4);
    return value;
}

std::string GuestCpu::Read_Text(std::uint32_t address, std::size_t limit) const
{
    std::string text;
    char c = 0;
    while (text.size() < limit && Read(address + static_cast<std::uint32_t>(text.size()), &c, 1) && c != '\0') {
        text += c;
    }
    return text;
}

std::uint32_t GuestCpu::Add_Stub(const std::string& name, unsigned pops, bool float_result, Handler handler)
{
    const std::uint32_t at = StubBase + static_cast<std::uint32_t>(Stubs.size()) * StubBytes;
    std::uint8_t code[StubBytes];
    std::memset(code, 0xF4, sizeof(code));
    std::size_t n = 0;
    code[n++] = 0x90;  // nop: the handler runs here
    if (float_result) {
        code[n++] = 0xD9;  // fld dword [FloatSlot]
        code[n++] = 0x05;
        std::memcpy(code + n, &FloatSlot, 4);
        n += 4;
    }
    if (pops > 0) {
        code[n++] = 0xC2;  // ret pops
        code[n++] = static_cast<std::uint8_t>(pops & 0xFF);
        code[n++] = static_cast<std::uint8_t>(pops >> 8);
    } else {
        code[n++] = 0xC3;  // ret
    }
    Write(at, code, sizeof(code));
    Stubs.push_back(Stub{name, std::move(handler), float_result});
    return at;
}

void GuestCpu::On_Code(uc_struct* uc, std::uint64_t address, std::uint32_t, void* self)
{
    auto* cpu = static_cast<GuestCpu*>(self);
    const std::uint64_t offset = address - StubBase;
    if (offset % StubBytes != 0 || offset / StubBytes >= cpu->Stubs.size()) {
        return;
    }
    const Stub& stub = cpu->Stubs[offset / StubBytes];
    cpu->Running = stub.Name;
    cpu->FloatResult = 0;
    cpu->Handlers.push_back(static_cast<std::uint32_t>(address));
    stub.Run(*cpu);
    cpu->Handlers.pop_back();
    if (stub.Float) {
        uc_mem_write(uc, FloatSlot, &cpu->FloatResult, 4);
    }
}

bool GuestCpu::On_Invalid(uc_struct*, int type, std::uint64_t address, int, std::int64_t, void* self)
{
    auto* cpu = static_cast<GuestCpu*>(self);
    cpu->BadAccess = true;
    cpu->BadAddress = address;
    const char* what = type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT ? "ran code at"
                       : type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT ? "wrote to"
                                                                                    : "read from";
    cpu->Fault = std::string("the DLL ") + what + " unmapped memory at " + Hex(address);
    return false;
}

std::uint32_t GuestCpu::Arg(unsigned index) const
{
    std::uint32_t esp = 0;
    uc_reg_read(Engine, UC_X86_REG_ESP, &esp);
    return Read_U32(esp + 4 + 4 * index);
}

std::uint32_t GuestCpu::This() const
{
    std::uint32_t ecx = 0;
    uc_reg_read(Engine, UC_X86_REG_ECX, &ecx);
    return ecx;
}

void GuestCpu::Return(std::uint32_t eax) { uc_reg_write(Engine, UC_X86_REG_EAX, &eax); }

void GuestCpu::Return_Float(float value) { FloatResult = value; }

void GuestCpu::Stop(const std::string& why)
{
    if (!Stopped) {
        Fault = why;
    }
    Stopped = true;
    uc_emu_stop(Engine);
}

bool GuestCpu::Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args,
                    std::uint32_t& result, std::uint64_t budget)
{
    // A call made while the guest is paused in a handler keeps the paused call's registers.
    std::uint32_t saved[sizeof(Saved) / sizeof(Saved[0])] = {};
    const bool nested = !Handlers.empty();
    for (std::size_t i = 0; nested && i < sizeof(Saved) / sizeof(Saved[0]); ++i) {
        uc_reg_read(Engine, Saved[i], &saved[i]);
    }
    std::uint32_t esp = StackTop;
    if (nested) {
        esp = saved[SavedEsp] - 256;
    }
    const std::vector<std::uint32_t> list(args);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        esp -= 4;
        Write_U32(esp, *it);
    }
    esp -= 4;
    Write_U32(esp, ReturnTrap);
    uc_reg_write(Engine, UC_X86_REG_ESP, &esp);
    uc_reg_write(Engine, UC_X86_REG_ECX, &self);
    Stopped = false;
    BadAccess = false;
    const uc_err err = uc_emu_start(Engine, address, ReturnTrap, 0, budget);
    std::uint32_t at = 0;
    uc_reg_read(Engine, UC_X86_REG_EIP, &at);
    bool ok = true;
    if (Stopped) {
        ok = false;
    } else if (err != UC_ERR_OK) {
        if (!BadAccess) {
            Fault = std::string("the DLL stopped on ") + uc_strerror(err);
        }
        Fault += " (instruction at " + Hex(at) + ")";
        ok = false;
    } else if (at != ReturnTrap) {
        Fault = "the DLL did not return within " + std::to_string(budget) + " instructions (at " + Hex(at) + ")";
        ok = false;
    }
    uc_reg_read(Engine, UC_X86_REG_EAX, &result);
    // The paused call resumes from its registers, at the instruction after the stub's first:
    // its handler, which made this call, has run.
    if (nested) {
        saved[SavedEip] = Handlers.back() + 1;
    }
    for (std::size_t i = 0; nested && i < sizeof(Saved) / sizeof(Saved[0]); ++i) {
        uc_reg_write(Engine, Saved[i], &saved[i]);
    }
    return ok;
}

}  // namespace standin::guest
