// get_manr_info over a hostile chassis FRU image: the input is the 2048
// bytes of tunnel 0xAA from 0x1800.
#include "arkblade.h"
#include "fuzz_sp.h"
#include "mem_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::mem::reset();
    fuzz::mem::set_tunnel(0xAA, 0x1800, fuzz::fit(data, size, 0x800, 0));
    uint8_t out[183 + 16];
    for (uint8_t &b : out)
        b = 0xA5;
    (void)get_manr_info(out);
    for (size_t i = 183; i < sizeof out; ++i)
        if (out[i] != 0xA5)
            __builtin_trap();  // wrote past the 183 bytes it may use
    return 0;
}
