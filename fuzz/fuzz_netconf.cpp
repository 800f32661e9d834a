// The netconf mailbox over hostile tunnel memory: the input is the start of
// slot 3's tunnel block memory (target 0x86): section header, directory,
// signature and the net_info record.  The first byte picks the order.
#include "arkblade.h"
#include "fuzz_sp.h"
#include "mem_platform.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool init_first = data[0] & 1;
    static const uint8_t kSlot[] = {3};
    fuzz::mem::reset();
    fuzz::mem::set_key("slotid", kSlot);
    fuzz::mem::set_tunnel(0x86, 0, fuzz::fit(data + 1, size - 1, 512, 0));
    if (init_first)
        (void)arkb_netconf_initialize();
    netconf_handle h{};
    netconf_settings s{};
    if (arkb_netconf_get_handle(&h) == 0) {
        (void)arkb_netconf_initial_check(&h, &s);
        (void)arkb_netconf_check_req(&h, &s);
    }
    (void)arkb_netconf_test();
    if (!init_first)
        (void)arkb_netconf_initialize();
    return 0;
}
