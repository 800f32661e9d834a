/*
 * power_admission - asks libarkblade whether the blade may power on, and handles every answer
 *
 *   power_admission [--mode ask|silence|all] [--wait S] WATTS|hwconfig
 *   power_admission --off
 *
 * WATTS is the power the blade needs; hwconfig asks for the cached hardware-configuration power.  The
 * mode says what happens when neither the CMM nor the sensors answer: ask refuses, silence admits; all
 * admits every request without asking anybody.  Before deciding, the program waits up to S seconds
 * (default 0) for arkb_pwr_decision_ready.  --off gives the allotment up.
 *
 * Exit status: 0 when admitted (the blade may power on), 1 when refused or unanswered, 2 on bad usage.
 * Under the simulator, with a CMM: arksim create --cmm; arksim run -- ./power_admission 300
 */
#define _POSIX_C_SOURCE 200112L /* sleep */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <arkblade.h>

static int usage(void)
{
    fprintf(stderr, "usage: power_admission [--mode ask|silence|all] [--wait S] WATTS|hwconfig\n"
                    "       power_admission --off\n");
    return 2;
}

static void show_allotment(void)
{
    uint8_t decision = 0;
    int available = arkb_get_available_power();

    if (available < 0)
        printf("allotment:  none yet (no admission since the SP started)\n");
    else
        printf("allotment:  %d W\n", available);
    if (arkb_pwr_getdecision(&decision) == 0)
        printf("decision:   %s\n", decision == 1 ? "allowed" : "refused");
}

int main(int argc, char **argv)
{
    int mode = ARKB_PWR_MODE_ASK;
    int wait_s = 0;
    int watts;
    int result;
    int i;
    arkb_pwr_budget budget;

    if (argc == 2 && strcmp(argv[1], "--off") == 0) {
        /* Sets the allotment to 0; the CMM is not told, its pool keeps the watts it granted. */
        result = arkb_pwr_poweroff();
        printf("power off:  %s\n", result == ARKB_PWR_ADMITTED ? "done" : "failed");
        show_allotment();
        return result == ARKB_PWR_ADMITTED ? 0 : 1;
    }
    for (i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--mode") == 0 && strcmp(argv[i + 1], "ask") == 0)
            mode = ARKB_PWR_MODE_ASK;
        else if (strcmp(argv[i], "--mode") == 0 && strcmp(argv[i + 1], "silence") == 0)
            mode = ARKB_PWR_MODE_ADMIT_ON_SILENCE;
        else if (strcmp(argv[i], "--mode") == 0 && strcmp(argv[i + 1], "all") == 0)
            mode = ARKB_PWR_MODE_ADMIT_ALL;
        else if (strcmp(argv[i], "--wait") == 0)
            wait_s = atoi(argv[i + 1]);
        else
            return usage();
    }
    if (i != argc - 1)
        return usage();
    watts = strcmp(argv[i], "hwconfig") == 0 ? ARKB_PWR_HWCONFIG_WATTS : atoi(argv[i]);
    if (watts < 0)
        return usage();

    /* A decision waits for the CMM's readiness and for 15 s after a budget publication. */
    arkb_update_cmm_ready();
    while (!arkb_pwr_decision_ready() && wait_s-- > 0) {
        sleep(1);
        arkb_update_cmm_ready();
    }
    printf("ready:      %s\n", arkb_pwr_decision_ready() ? "yes" : "no (deciding anyway)");
    if (arkb_pwr_get_budget(&budget) == 0)
        printf("budget:     %u W hardware configuration, %u W permitted\n", (unsigned)budget.hwconfig_power,
               (unsigned)budget.permitted_power);
    else
        printf("budget:     none cached\n");

    if (watts == ARKB_PWR_HWCONFIG_WATTS)
        printf("request:    the hardware-configuration power\n");
    else
        printf("request:    %d W\n", watts);
    /* May block while the CMM is asked (no time-out). */
    result = arkb_pwr_poweron(watts, mode);
    switch (result) {
    case ARKB_PWR_ADMITTED: printf("result:     admitted: power on\n"); break;
    case ARKB_PWR_REFUSED: printf("result:     refused by the CMM or the sensors: stay off\n"); break;
    case ARKB_PWR_NO_ANSWER:
        printf("result:     nobody answered: stay off (or ask with --mode silence)\n");
        break;
    case ARKB_PWR_NO_BUDGET: printf("result:     no budget cached: publish one first\n"); break;
    default: printf("result:     unexpected %d\n", result); break;
    }
    show_allotment();
    return result == ARKB_PWR_ADMITTED ? 0 : 1;
}
