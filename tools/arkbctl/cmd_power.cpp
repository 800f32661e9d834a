// arkbctl's power commands: the budget getters, publishing the budget and
// admission (power on, power cmm).
#include "arkblade.h"
#include "command_table.h"

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

std::string watts_text(int watts)
{
    return watts == ARKB_PWR_HWCONFIG_WATTS ? std::string("hwconfig") : fmt("%d", watts);
}

Outcome power_show(const Values &)
{
    arkb_pwr_budget b = {};
    int rb = arkb_pwr_get_budget(&b);
    std::string s = fmt("arkb_pwr_get_budget:          %d", rb);
    if (rb == 0)
        s += fmt(", hwconfig %u W, permitted %u W", b.hwconfig_power, b.permitted_power);
    s += fmt("\narkb_get_hwconfig_power:      %d\n", arkb_get_hwconfig_power());
    s += fmt("arkb_get_permitted_power:     %d\n", arkb_get_permitted_power());
    s += fmt("arkb_pwr_get_hwconfig_power:  %d\n", arkb_pwr_get_hwconfig_power());
    s += fmt("arkb_get_available_power:     %d\n", arkb_get_available_power());
    uint8_t d = 0;
    int rd = arkb_pwr_getdecision(&d);
    s += fmt("arkb_pwr_getdecision:         %d%s\n", rd, if_ok(rd, fmt(", decision %u", d)).c_str());
    s += fmt("arkb_pwr_decision_ready:      %d\n", arkb_pwr_decision_ready());
    return {rb == 0 && rd == 0 ? 0 : -1, "", s, nullptr, true};
}

Outcome power_on(const Values &v)
{
    int watts = static_cast<int>(v.n[0]);
    int mode = static_cast<int>(v.n[1]);
    int node = static_cast<int>(v.n[2]);
    bool by_node = v.given[2];
    int r = by_node ? arkb_pwr_poweron_node(node, watts, mode) : arkb_pwr_poweron(watts, mode);
    std::string detail = fmt(" (%s)", admission_meaning(r));
    if (by_node)
        detail += fmt(", node %d", node);
    detail += fmt(", watts %s, mode %d", watts_text(watts).c_str(), mode);
    return {r, detail, "", by_node ? "arkb_pwr_poweron_node" : nullptr};
}

const Entry kEntries[] = {
    // power
    {"power", "show", nullptr, "", Ok::Zero, power_show,
     "power [show]                 every budget getter, one line each"},
    {"power", "publish", "arkb_pwr_publish_budget", "HW:u16 PERMITTED:u16", Ok::Zero,
     [](const Values &v) {
         arkb_pwr_budget b = {static_cast<uint16_t>(v.n[0]), static_cast<uint16_t>(v.n[1])};
         return Outcome{arkb_pwr_publish_budget(&b),
                        fmt(", hwconfig %u W, permitted %u W", b.hwconfig_power, b.permitted_power)};
     },
     "power publish HW PERMITTED   arkb_pwr_publish_budget (watts, 0..65535)"},
    {"power", "ready", "arkb_pwr_decision_ready", "", Ok::NotNegative, plain<arkb_pwr_decision_ready>,
     "power ready                  arkb_pwr_decision_ready"},
    {"power", "on", "arkb_pwr_poweron", "WATTS:watts --mode:mode=0 --node:i32", Ok::Zero, power_on,
     "power on WATTS [--mode M] [--node N]\n"
     "                                            arkb_pwr_poweron (arkb_pwr_poweron_node\n"
     "                                            with --node)"},
    {"power", "off", "arkb_pwr_poweroff", "", Ok::Zero, plain<arkb_pwr_poweroff>,
     "power off                    arkb_pwr_poweroff"},
    {"power", "decision", "arkb_pwr_getdecision", "", Ok::Zero,
     [](const Values &) {
         uint8_t d = 0;
         int r = arkb_pwr_getdecision(&d);
         return Outcome{r, if_ok(r, fmt(", decision %u", d))};
     },
     "power decision               arkb_pwr_getdecision"},
    {"power", "available", "arkb_get_available_power", "", Ok::NotNegative,
     [](const Values &) {
         return Outcome{arkb_get_available_power(), " W"};
     },
     "power available              arkb_get_available_power"},
    {"power", "self-test", "arkb_pwr_unit_test", "", Ok::Zero, plain<arkb_pwr_unit_test>,
     "power self-test              arkb_pwr_unit_test"},
    // The answer is the grant (0 for a refusal), negative when the CMM gave none.
    {"power", "cmm", "arkb_pwr_cmm_request_power", "WATTS:watts", Ok::NotNegative,
     [](const Values &v) {
         int watts = static_cast<int>(v.n[0]);
         int r = arkb_pwr_cmm_request_power(watts);
         return Outcome{r, fmt(" (%s), watts %d",
                               r > 0    ? "granted"
                               : r == 0 ? "refused"
                                        : "no answer",
                               watts)};
     },
     "power cmm WATTS              arkb_pwr_cmm_request_power"},
};

}  // namespace

std::span<const Entry> power_entries() { return kEntries; }

}  // namespace arkbctl
