// The CMM emulator's request parser ("PWR <watts>\n") over any request text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cmm/cmm_daemon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    long long watts = 0;
    if (arksim::cmm::parse_request(text, watts) && (watts > 2147483647LL || watts < -2147483648LL))
        __builtin_trap();  // the parser promised an int
    return 0;
}
