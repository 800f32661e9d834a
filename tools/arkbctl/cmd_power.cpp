// power: budgeting and admission.
#include <cstdio>
#include <cstring>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

const char *admission_meaning(int r)
{
    switch (r) {
    case ARKB_PWR_ADMITTED: return "admitted";
    case ARKB_PWR_NO_BUDGET: return "no cached budget";
    case ARKB_PWR_REFUSED: return "refused";
    case ARKB_PWR_NO_ANSWER: return "no answer";
    default: return "failed";
    }
}

// WATTS: a number or "hwconfig" (ask for the hardware configuration's power).
bool parse_watts(const char *s, int *watts)
{
    if (std::strcmp(s, "hwconfig") == 0) {
        *watts = ARKB_PWR_HWCONFIG_WATTS;
        return true;
    }
    return num("WATTS", s, watts);
}

bool parse_mode(const char *s, int *mode)
{
    static const char *const kNames[] = {"ask", "admit-on-silence", "admit-all"};
    for (int m = 0; m < 3; ++m) {
        if (std::strcmp(s, kNames[m]) == 0) {
            *mode = m;
            return true;
        }
    }
    return num("--mode", s, mode);
}

int power_show(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    arkb_pwr_budget b = {};
    int rb = arkb_pwr_get_budget(&b);
    if (rb == 0)
        std::printf("arkb_pwr_get_budget:          %d, hwconfig %u W, permitted %u W\n", rb, b.hwconfig_power,
                    b.permitted_power);
    else
        std::printf("arkb_pwr_get_budget:          %d\n", rb);
    std::printf("arkb_get_hwconfig_power:      %d\n", arkb_get_hwconfig_power());
    std::printf("arkb_get_permitted_power:     %d\n", arkb_get_permitted_power());
    std::printf("arkb_pwr_get_hwconfig_power:  %d\n", arkb_pwr_get_hwconfig_power());
    std::printf("arkb_get_available_power:     %d\n", arkb_get_available_power());
    uint8_t d = 0;
    int rd = arkb_pwr_getdecision(&d);
    if (rd == 0)
        std::printf("arkb_pwr_getdecision:         %d, decision %u\n", rd, d);
    else
        std::printf("arkb_pwr_getdecision:         %d\n", rd);
    std::printf("arkb_pwr_decision_ready:      %d\n", arkb_pwr_decision_ready());
    return rb == 0 && rd == 0 ? 0 : kExitFail;
}

int power_publish(Args &a)
{
    arkb_pwr_budget b = {};
    if (!want(a, 2, 2) || !num("HW", a[0], &b.hwconfig_power) || !num("PERMITTED", a[1], &b.permitted_power))
        return kExitUsage;
    int r = arkb_pwr_publish_budget(&b);
    std::printf("arkb_pwr_publish_budget: %d, hwconfig %u W, permitted %u W\n", r, b.hwconfig_power,
                b.permitted_power);
    return status(r);
}

int power_ready(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_pwr_decision_ready();
    std::printf("arkb_pwr_decision_ready: %d\n", r);
    return count_status(r);
}

int power_on(Args &a)
{
    const char *mode_s = take_option(a, "--mode");
    const char *node_s = take_option(a, "--node");
    int watts = 0;
    int mode = ARKB_PWR_MODE_ASK;
    int node = 0;
    if (!want(a, 1, 1) || !parse_watts(a[0], &watts) || (mode_s != nullptr && !parse_mode(mode_s, &mode)) ||
        (node_s != nullptr && !num("--node", node_s, &node)))
        return kExitUsage;
    int r = 0;
    if (node_s != nullptr) {
        r = arkb_pwr_poweron_node(node, watts, mode);
        std::printf("arkb_pwr_poweron_node: %d (%s), node %d", r, admission_meaning(r), node);
    } else {
        r = arkb_pwr_poweron(watts, mode);
        std::printf("arkb_pwr_poweron: %d (%s)", r, admission_meaning(r));
    }
    if (watts == ARKB_PWR_HWCONFIG_WATTS)
        std::printf(", watts hwconfig, mode %d\n", mode);
    else
        std::printf(", watts %d, mode %d\n", watts, mode);
    return status(r);
}

int power_off(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_pwr_poweroff();
    std::printf("arkb_pwr_poweroff: %d\n", r);
    return status(r);
}

int power_decision(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t d = 0;
    int r = arkb_pwr_getdecision(&d);
    if (r == 0)
        std::printf("arkb_pwr_getdecision: %d, decision %u\n", r, d);
    else
        std::printf("arkb_pwr_getdecision: %d\n", r);
    return status(r);
}

int power_available(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_get_available_power();
    std::printf("arkb_get_available_power: %d W\n", r);
    return count_status(r);
}

int power_self_test(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_pwr_unit_test();
    std::printf("arkb_pwr_unit_test: %d\n", r);
    return status(r);
}

int power_cmm(Args &a)
{
    int watts = 0;
    if (!want(a, 1, 1) || !parse_watts(a[0], &watts))
        return kExitUsage;
    // The answer is the grant (0 for a refusal), negative when the CMM gave none.
    int r = arkb_pwr_cmm_request_power(watts);
    std::printf("arkb_pwr_cmm_request_power: %d (%s), watts %d\n", r,
                r > 0    ? "granted"
                : r == 0 ? "refused"
                         : "no answer",
                watts);
    return status(r < 0 ? r : 0);
}

}  // namespace

int cmd_power(Args &a)
{
    static const Sub kSubs[] = {
        {"show", power_show},
        {"publish", power_publish},
        {"ready", power_ready},
        {"on", power_on},
        {"off", power_off},
        {"decision", power_decision},
        {"available", power_available},
        {"self-test", power_self_test},
        {"cmm", power_cmm},
    };
    return run_sub(kSubs, a, "show");
}

}  // namespace arkbctl
