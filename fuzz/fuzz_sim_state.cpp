// The simulator's own parsers of state files: fault rules (<sp>/faults), the
// numbers of the register, slot and uptime files, and memstore key names.
// The first byte picks the parser.
#include <unistd.h>

#include <string>

#include "core/simstate.h"
#include "fuzz_sp.h"
#include "arkb_outside.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    (void)fuzz::sp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    const std::string &sp = fuzz::sp();
    switch (data[0] % 4) {
    case 0:
        arksim::write_file_atomic(sp + "/faults", rest);
        (void)arksim::enter("memstore_get");
        (void)arksim::enter("elm_i2c_blk_write_on_bus");
        ::unlink((sp + "/faults").c_str());
        break;
    case 1:
        arksim::write_file_atomic(sp + "/uptime", rest);
        (void)uptime();
        break;
    case 2:
        arksim::write_file_atomic(sp + "/slot", rest);
        (void)arksim::read_number(sp + "/slot");
        break;
    default: {
        const std::string name(rest.begin(), rest.end());
        if (arksim::decode_key(arksim::encode_key(name)) != name)
            __builtin_trap();  // key names must survive the file-name encoding
        (void)arksim::decode_key(name);
    }
    }
    return 0;
}
