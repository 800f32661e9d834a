// The installation record update and dump over a hostile EEPROM section:
// the input is the start of the section (the rest reads 0xFF, as blank).
#include "arkblade.h"
#include "core/simstate.h"
#include "fuzz_sp.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const std::string &sp = fuzz::sp();
    const uint8_t slot = 3;
    arksim::make_dirs(sp + "/memstore");
    arksim::write_file_atomic(sp + "/memstore/slotid", std::span<const uint8_t>(&slot, 1));
    fuzz::quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!arksim::write_file_atomic(fuzz::sp() + "/eeprom.bin",
                                   fuzz::fit(data, size, arksim::kEepromSize, 0xFF)))
        return 0;
    (void)printf_installationR();
    (void)arkb_instrec_update();
    (void)arkb_instrec_test();
    return 0;
}
