// libFuzzer's entry point for one target, chosen when the program is built.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FUZZ_TARGET(data, size);
}
