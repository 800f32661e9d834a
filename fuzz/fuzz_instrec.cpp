// The installation record update and dump over a hostile EEPROM section:
// the input is the start of the section (the rest reads 0xFF, as blank).
#include "arkblade.h"
#include "core/simstate.h"
#include "fuzz_sp.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::store_slot(3);
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
