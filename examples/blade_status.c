/*
 * blade_status - prints what libarkblade knows about this blade: its slot,
 * the chassis type, whether the CMM is ready, the thermal override and the
 * power budget.
 *
 *   blade_status          read only
 *   blade_status --boot   run the SP start-up first (arkb_initialize_mp, then
 *                         arkb_initialize), as the SP's start-up program does
 *
 * Exit status: 0 when the slot and the chassis type could be read, 1 when
 * not, 2 on bad usage.  Under the simulator: arksim run -- ./blade_status --boot
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <arkblade.h>

static int boot(void)
{
    if (arkb_initialize_mp() != 0) {
        fprintf(stderr, "blade_status: arkb_initialize_mp failed\n");
        return -1;
    }
    if (arkb_initialize() != 0) {
        fprintf(stderr, "blade_status: arkb_initialize failed\n");
        return -1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    uint8_t slot = 0;
    uint32_t chassis = 0;
    uint8_t override = 0;
    arkb_pwr_budget budget;
    int ok = 1;

    if (argc > 2 || (argc == 2 && strcmp(argv[1], "--boot") != 0)) {
        fprintf(stderr, "usage: blade_status [--boot]\n");
        return 2;
    }
    if (argc == 2 && boot() != 0)
        return 1;

    if (arkb_get_slotid(&slot) == 0) {
        printf("slot:              %u\n", (unsigned)slot);
    } else {
        printf("slot:              unknown (start-up has not run)\n");
        ok = 0;
    }
    if (arkb_get_chassis_type(&chassis) == 0 && chassis != 0) {
        printf("chassis type:      %lu (0x%04lX)\n", (unsigned long)chassis, (unsigned long)chassis);
    } else {
        printf("chassis type:      unknown\n");
        ok = 0;
    }
    printf("CMM ready:         %s\n", arkb_is_cmm_ready() == 1 ? "yes" : "no");
    if (arkb_get_thermovrd(&override) == 0)
        printf("thermal override:  %s\n", override ? "on" : "off");
    else
        printf("thermal override:  not set\n");
    if (arkb_pwr_get_budget(&budget) == 0)
        printf("power budget:      %u W hardware configuration, %u W permitted\n",
               (unsigned)budget.hwconfig_power, (unsigned)budget.permitted_power);
    else
        printf("power budget:      none published\n");
    return ok ? 0 : 1;
}
