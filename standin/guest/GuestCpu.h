// A 32-bit x86 processor, emulated (Unicorn), with the memory a DLL runs in and the bridge by
// which its calls into the host reach native code: each import is bound to a stub of its own,
// whose first instruction hands over to a native handler and whose next ones return as the
// import's calling convention requires (the callee pops its arguments for __thiscall and
// __stdcall, a float comes back in ST0).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct uc_struct;

namespace standin::guest {

class GuestCpu
{
public:
    using Handler = std::function<void(GuestCpu&)>;

    GuestCpu();
    ~GuestCpu();
    GuestCpu(const GuestCpu&) = delete;
    GuestCpu& operator=(const GuestCpu&) = delete;

    // Whether the processor could be made; Error() says why not.
    bool Ready() const { return Engine != nullptr; }
    const std::string& Error() const { return Fault; }

    // Maps `size` bytes at `address` (both page-aligned), filled from `data` when given.
    bool Map(std::uint32_t address, std::uint32_t size, const void* data = nullptr);
    bool Write(std::uint32_t address, const void* data, std::size_t size);
    bool Read(std::uint32_t address, void* data, std::size_t size) const;
    bool Write_U32(std::uint32_t address, std::uint32_t value) { return Write(address, &value, 4); }
    std::uint32_t Read_U32(std::uint32_t address) const;
    // The NUL-terminated text at `address`, at most `limit` bytes.
    std::string Read_Text(std::uint32_t address, std::size_t limit = 4096) const;

    // A stub for the import `name`: `pops` bytes of arguments popped on return (0 for __cdecl),
    // the result in ST0 when `float_result`. Returns its address.
    std::uint32_t Add_Stub(const std::string& name, unsigned pops, bool float_result, Handler handler);

    // Inside a handler: the `index`th 32-bit argument on the stack, ECX, and the results.
    std::uint32_t Arg(unsigned index) const;
    std::uint32_t This() const;
    void Return(std::uint32_t eax);
    void Return_Float(float value);
    // Ends the emulation from inside a handler with `why`: the call under way fails.
    void Stop(const std::string& why);

    // Calls the guest function at `address` (`self` in ECX for __thiscall, 0 otherwise), with
    // `args` pushed right to left, and runs it until it returns, for at most `budget`
    // instructions. False with Error() naming the fault and its address otherwise.
    bool Call(std::uint32_t address, std::uint32_t self, std::initializer_list<std::uint32_t> args, std::uint32_t& result,
              std::uint64_t budget = 50'000'000);

    // The import whose stub runs now, or the last one, for messages.
    const std::string& Current_Import() const { return Running; }

private:
    struct Stub
    {
        std::string Name;
        Handler Run;
        bool Float;
    };
    static void On_Code(uc_struct* uc, std::uint64_t address, std::uint32_t size, void* self);
    static bool On_Invalid(uc_struct* uc, int type, std::uint64_t address, int size, std::int64_t value, void* self);

    uc_struct* Engine = nullptr;
    std::vector<Stub> Stubs;
    std::string Fault;
    std::string Running;
    std::uint64_t BadAddress = 0;
    bool BadAccess = false;
    bool Stopped = false;
    float FloatResult = 0;
    std::vector<std::uint32_t> Handlers;  // the stubs whose handlers run now, innermost last
    std::uint32_t StackTop = 0;
};

}  // namespace standin::guest
