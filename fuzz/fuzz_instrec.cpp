// The installation record update and dump over a hostile EEPROM section:
// the input is the start of the section (the rest reads 0xFF, as blank).
#include "arkblade.h"
#include "core/simstate.h"
#include "fuzz_sp.h"
#include "mem_platform.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const uint8_t kSlot[] = {3};
    fuzz::mem::reset();
    fuzz::mem::set_key("slotid", kSlot);
    fuzz::mem::set_eeprom(fuzz::fit(data, size, arksim::kEepromSize, 0xFF));
    (void)printf_installationR();
    (void)arkb_instrec_update();
    (void)arkb_instrec_test();
    return 0;
}
