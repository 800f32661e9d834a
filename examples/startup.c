/*
 * startup - the SP's start-up through libarkblade, as an SP start-up program runs it once per SP start
 *
 *   startup
 *
 * 1. arkb_initialize_mp: the slot from the midplane, tunnel access, the chassis type.  When it fails
 *    nothing is stored and the rest of the library has no slot to work with: stop.
 * 2. arkb_initialize: thermal override cleared, PCA9501, netconf mailbox, installation record.  It
 *    returns 0 even when a step failed; the system log tells which.
 * 3. What other SP programs now read from memstore, and a first look for the CMM's readiness.
 *
 * Exit status: 0 when start-up succeeded, 1 when not.  Under the simulator: arksim run -- ./startup
 */
#include <stdint.h>
#include <stdio.h>

#include <arkblade.h>

#if ARKBLADE_VERSION_MAJOR != 1
#error "built for libarkblade.so.1"
#endif

static const char *chassis_name(uint32_t type)
{
    switch (type) {
    case 1302: return "1302 (register 0x9C reads 0x10)";
    case 3096: return "3096 (register 0x9C reads another byte)";
    case 3074: return "3074 (register 0x4C only)";
    case 3331: return "3331 (register 0x7E only)";
    case 3073: return "3073 (no register read)";
    default: return "unknown: start-up has not probed it";
    }
}

int main(void)
{
    uint8_t slot = 0;
    uint32_t chassis = 0;
    uint8_t override = 0;
    netconf_handle mailbox;

    printf("libarkblade %d.%d.%d\n", ARKBLADE_VERSION_MAJOR, ARKBLADE_VERSION_MINOR, ARKBLADE_VERSION_PATCH);
    if (arkb_initialize_mp() != 0) {
        fprintf(stderr, "startup: arkb_initialize_mp failed: no slot number or no tunnel access\n");
        return 1;
    }
    printf("arkb_initialize_mp: ok\n");
    if (arkb_initialize() != 0) {
        fprintf(stderr, "startup: arkb_initialize failed: no slot number stored\n");
        return 1;
    }
    printf("arkb_initialize:    ok (a step that failed is in the system log)\n");

    if (arkb_get_slotid(&slot) == 0)
        printf("slot:               %u\n", (unsigned)slot);
    (void)arkb_get_chassis_type(&chassis); /* always 0: 0 in chassis when not probed */
    printf("chassis type:       %s\n", chassis_name(chassis));
    if (arkb_get_thermovrd(&override) == 0)
        printf("thermal override:   %s\n", override ? "on" : "off");
    if (arkb_netconf_get_handle(&mailbox) == 0)
        printf("netconf mailbox:    net_info at tunnel offset %lu\n", (unsigned long)mailbox.offset);
    else
        printf("netconf mailbox:    not found\n");

    /* Readiness is recorded once a sign holds; a power program polls this before deciding. */
    arkb_update_cmm_ready();
    printf("CMM ready:          %s\n", arkb_is_cmm_ready() ? "yes" : "not yet");
    return 0;
}
