// Network configuration mailbox.  Not built yet: every entry point reports
// failure (or "no request").
#include "arkblade.h"

extern "C" {

int arkb_netconf_initialize(void) { return -1; }
int arkb_netconf_get_handle(netconf_handle *) { return -1; }
int arkb_netconf_check_req(const netconf_handle *, netconf_settings *) { return 0; }
int arkb_netconf_initial_check(const netconf_handle *, netconf_settings *) { return 0; }
int arkb_netconf_publish_ip(const netconf_handle *, const netconf_settings *) { return -1; }
int arkb_netconf_publish_macaddr(const netconf_handle *, const uint8_t *) { return -1; }
int arkb_netconf_test(void) { return 0; }

}  // extern "C"
