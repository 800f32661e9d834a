// Installation history in the motherboard FRU EEPROM.  Not built yet: every
// entry point reports failure.
#include "arkblade.h"

extern "C" {

int get_manr_info(uint8_t *) { return -1; }
int arkb_instrec_update(void) { return -1; }
int print_installr_struct(const uint8_t *, int) { return -1; }
int printf_installationR(void) { return -1; }
int arkb_instrec_test(void) { return -1; }

}  // extern "C"
