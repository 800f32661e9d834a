// Power budgeting.  Not built yet: every entry point reports failure.
#include "arkblade.h"

extern "C" {

int arkb_pwr_get_budget(arkb_pwr_budget *) { return -1; }
int arkb_get_hwconfig_power(void) { return 0; }
int arkb_get_permitted_power(void) { return 0; }
int arkb_pwr_get_hwconfig_power(void) { return -1; }
int arkb_pwr_publish_budget(const arkb_pwr_budget *) { return -1; }
int arkb_pwr_decision_ready(void) { return 0; }
int arkb_get_available_power(void) { return -1; }
int arkb_pwr_getdecision(uint8_t *) { return -1; }
int arkb_pwr_poweron_node(int, int, int) { return -17; }
int arkb_pwr_poweron(int, int) { return -17; }
int arkb_pwr_poweroff(void) { return -17; }
int arkb_pwr_unit_test(void) { return -1; }

}  // extern "C"
