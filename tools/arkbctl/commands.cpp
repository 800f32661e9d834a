// Every arkbctl command, one entry each: command and subcommand, the library
// function, its parameters, what counts as success, the call and its usage
// line.  The runner (runner.cpp) prints "function: result" and the detail the
// call gives; calls that print more lines say so with own_lines.
#include <chrono>
#include <cstdio>
#include <thread>

#include "arkblade.h"
#include "arkbctl_cli.h"
#include "snapshot.h"

namespace arkbctl {

namespace {

constexpr size_t kManrBuffer = 192;   // get_manr_info writes at most this much
constexpr size_t kManrPayload = 183;  // payload of the manufacturing record

// The detail of a call that read a value: shown only when the call succeeded.
std::string if_ok(int r, std::string detail) { return r == 0 ? std::move(detail) : std::string(); }

// A call without arguments whose result says it all.
template <int (*call)()> Outcome plain(const Values &) { return {call()}; }

// The getters of one value through a pointer, and how the value reads.
template <int (*get)(uint8_t *)> Outcome slot_of(const Values &)
{
    uint8_t slot = 0;
    int r = get(&slot);
    return {r, if_ok(r, fmt(", slot %u", slot))};
}

template <int (*store)(uint8_t)> Outcome store_slot(const Values &v)
{
    return {store(static_cast<uint8_t>(v.n[0])), fmt(", slot %lld", v.n[0])};
}

template <int (*get)(uint32_t *)> Outcome type_of(const Values &)
{
    uint32_t type = 0;
    int r = get(&type);
    return {r, if_ok(r, fmt(", type %u (0x%08x)", type, type))};
}

Outcome cmm_ready_outcome()
{
    int r = arkb_is_cmm_ready();
    return {r, r == 1 ? " (ready)" : " (not ready)"};
}

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

const char *discovery_name(int32_t d)
{
    return d == 1 ? "dhcp" : d == 2 ? "static" : d == 0 ? "unknown" : "?";
}

std::string settings_lines(const netconf_settings &s)
{
    char a[16];
    char g[16];
    char m[16];
    return fmt("ipaddr: %s\nipgway: %s\nipnetmask: %s\nipdiscovery: %d (%s)\n", format_ipv4(s.ipaddr, a),
               format_ipv4(s.ipgway, g), format_ipv4(s.ipnetmask, m), static_cast<int>(s.ipdiscovery),
               discovery_name(s.ipdiscovery));
}

// The mailbox commands fetch the handle first and print that call's line.
bool fetch_handle(netconf_handle *h)
{
    int r = arkb_netconf_get_handle(h);
    std::printf("arkb_netconf_get_handle: %d\n", r);
    return r == 0;
}

Outcome no_handle() { return {-1, "", "", nullptr, true}; }

// The request checks answer 1 (settings filled) or 0 (nothing pending).
Outcome check_outcome(int r, const netconf_settings &s)
{
    return {r,
            fmt(" (%s)", r == 1   ? "request"
                         : r == 0 ? "no request"
                                  : "failed"),
            r == 1 ? settings_lines(s) : ""};
}

template <int (*check)(const netconf_handle *, netconf_settings *)> Outcome netconf_check(const Values &)
{
    netconf_handle h = {};
    netconf_settings s = {};
    return fetch_handle(&h) ? check_outcome(check(&h, &s), s) : no_handle();
}

// Payload bytes first..last (inclusive) as text, up to the first NUL.
std::string manr_text(const char *label, const uint8_t *payload, size_t first, size_t last)
{
    std::string s = fmt("%s: \"", label);
    for (size_t i = first; i <= last && payload[i] != 0; ++i)
        s += payload[i] >= 0x20 && payload[i] < 0x7F ? static_cast<char>(payload[i]) : '.';
    return s + "\"\n";
}

Outcome boot(const Values &)
{
    int r = arkb_initialize_mp();
    std::string lines = fmt("arkb_initialize_mp: %d\n", r);
    if (r != 0)
        return {r, "", lines + "arkb_initialize: not called\n", nullptr, true};
    r = arkb_initialize();
    return {r, "", lines + fmt("arkb_initialize: %d\n", r), nullptr, true};
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

Outcome netconf_watch(const Values &v)
{
    long long interval = v.n[0];
    long long count = v.n[1];  // 0: until a request arrives
    netconf_handle h = {};
    if (!fetch_handle(&h))
        return no_handle();
    for (long long n = 1;; ++n) {
        netconf_settings s = {};
        int r = arkb_netconf_check_req(&h, &s);
        if (r != 0) {
            Outcome o = check_outcome(r, s);
            return {r, "", fmt("poll %lld: arkb_netconf_check_req: %d%s\n", n, r, o.detail.c_str()) + o.more,
                    nullptr, true};
        }
        if (count != 0 && n >= count)
            return {-1, "", fmt("arkb_netconf_check_req: %d (no request after %lld polls)\n", r, n), nullptr,
                    true};
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(interval));
    }
}

Outcome netconf_handle_fields(const Values &)
{
    netconf_handle h = {};
    if (!fetch_handle(&h))
        return no_handle();
    return {0, "", fmt("slotid: %u\nsignature: 0x%04x\noffset: 0x%x\n", h.slotid, h.signature, h.offset),
            nullptr, true};
}

Outcome fru_manr(const Values &)
{
    uint8_t payload[kManrBuffer] = {};  // the record's payload, without its tag header
    int r = get_manr_info(payload);
    if (r != 0)
        return {r};
    return {r, "",
            manr_text("part number", payload, 148, 154) + manr_text("serial", payload, 155, 160) +
                manr_text("dash level", payload, 163, 164) + hex_dump(payload, kManrPayload)};
}

Outcome tnl_read(const Values &v)
{
    auto target = static_cast<uint8_t>(v.n[0]);
    auto len = static_cast<int>(v.n[2]);
    std::vector<uint8_t> buf(static_cast<size_t>(len));
    int r = arkb_mp_tnlblk_read(target, buf.data(), len, static_cast<int>(v.n[1]), static_cast<int>(v.n[3]),
                                static_cast<int>(v.n[4]));
    return {
        r,
        fmt(", target 0x%02x offset 0x%llx len %d width %lld unit %lld", target, v.n[1], len, v.n[3], v.n[4]),
        r > 0
            ? hex_dump(buf.data(), static_cast<size_t>(r < len ? r : len), static_cast<unsigned long>(v.n[1]))
            : ""};
}

Outcome tnl_write(const Values &v)
{
    auto target = static_cast<uint8_t>(v.n[0]);
    int r =
        arkb_mp_tnlblk_write(target, v.bytes.data(), static_cast<int>(v.bytes.size()),
                             static_cast<int>(v.n[1]), static_cast<int>(v.n[3]), static_cast<int>(v.n[4]));
    return {r, fmt(", target 0x%02x offset 0x%llx len %zu width %lld unit %lld", target, v.n[1],
                   v.bytes.size(), v.n[3], v.n[4])};
}

Outcome eeprom_read(const Values &v)
{
    std::vector<uint8_t> buf(static_cast<size_t>(v.n[1]));
    int r = arkbp_read_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()),
                                       static_cast<unsigned>(v.n[0]));
    return {r, fmt(", offset 0x%llx len %lld", v.n[0], v.n[1]),
            r >= 0 ? hex_dump(buf.data(), buf.size(), static_cast<unsigned long>(v.n[0])) : ""};
}

uint8_t u8(long long n) { return static_cast<uint8_t>(n); }

const Entry kEntries[] = {
    // start-up
    {"init-mp", "", "arkb_initialize_mp", "", Ok::Zero, plain<arkb_initialize_mp>, "init-mp"},
    {"init", "", "arkb_initialize", "", Ok::Zero, plain<arkb_initialize>, "init"},
    {"boot", "", nullptr, "", Ok::Zero, boot, "boot"},

    // blade state
    {"slot", "get", "arkb_get_slotid", "", Ok::Zero, slot_of<arkb_get_slotid>,
     "slot get        arkb_get_slotid: the slot kept in memstore"},
    {"slot", "read", "arkb_read_slotid", "", Ok::Zero, slot_of<arkb_read_slotid>,
     "slot read       arkb_read_slotid: the slot read from the midplane"},
    {"slot", "store", "arkb_store_slotid", "N:u8", Ok::Zero, store_slot<arkb_store_slotid>,
     "slot store N    arkb_store_slotid (N: 0..255)"},
    {"chassis-type", "", "arkb_get_chassis_type", "", Ok::Zero, type_of<arkb_get_chassis_type>,
     "chassis-type"},
    {"device-type", "", "arkb_get_device_type", "", Ok::Zero, type_of<arkb_get_device_type>,
     "device-type          arkb_get_device_type: print the stored type"},
    {"device-type", "--read", "arkb_read_device_type", "", Ok::Zero, plain<arkb_read_device_type>,
     "device-type --read   arkb_read_device_type: read it from the hardware"},
    {"sas", "get", nullptr, "", Ok::Always,
     [](const Values &) {
         uint32_t caps = arkb_get_sas_cap();
         return Outcome{0, "", fmt("arkb_get_sas_cap: %u (0x%08x)\n", caps, caps), nullptr, true};
     },
     "sas get        arkb_get_sas_cap: print the capability word"},
    // memstore's own 1 means stored.
    {"sas", "set", "arkb_set_sas_cap", "WORD:u32", Ok::One,
     [](const Values &v) {
         int r = arkb_set_sas_cap(static_cast<uint32_t>(v.n[0]));
         return Outcome{r, fmt(", caps 0x%08llx%s", v.n[0], r == 1 ? " (stored)" : "")};
     },
     "sas set WORD   arkb_set_sas_cap (WORD: 32-bit; result 1 is success)"},
    {"cmm-ready", "", "arkb_is_cmm_ready", "", Ok::One, [](const Values &) { return cmm_ready_outcome(); },
     "cmm-ready [--update]"},
    {"cmm-ready", "--update", "arkb_is_cmm_ready", "", Ok::One,
     [](const Values &) {
         arkb_update_cmm_ready();
         std::printf("arkb_update_cmm_ready: done\n");
         return cmm_ready_outcome();
     },
     nullptr},
    {"fru-read", "", "arkb_fru_read", "", Ok::Zero, plain<arkb_fru_read>, "fru-read"},
    {"log", "", nullptr, "priority:priority TEXT:text", Ok::Always,
     [](const Values &v) {
         int p = static_cast<int>(v.n[0]);
         arkb_output(p, "%s", v.text.c_str());
         return Outcome{0, "",
                        fmt("arkb_output: priority %d (%s), %zu chars\n", p, priority_name(p), v.text.size()),
                        nullptr, true};
     },
     "log PRIORITY TEXT..."},

    // midplane
    {"mp", "read", "arkb_mp_read", "REG:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t b = 0;
         int r = arkb_mp_read(u8(v.n[0]), &b, 1);
         return Outcome{r, r >= 1 ? fmt(", reg 0x%02llx = 0x%02x (%u)", v.n[0], b, b)
                                  : fmt(", reg 0x%02llx", v.n[0])};
     },
     "mp read REG                 arkb_mp_read of one register byte"},
    {"mp", "write", "arkb_mp_write", "REG:u8 BYTE:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t b = u8(v.n[1]);
         return Outcome{arkb_mp_write(u8(v.n[0]), &b, 1), fmt(", reg 0x%02llx <- 0x%02x", v.n[0], b)};
     },
     "mp write REG BYTE           arkb_mp_write of one register byte"},
    {"mp", "writeread", "arkb_mp_writeread", "TARGET:u8 BYTE:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t w = u8(v.n[1]);
         uint8_t b = 0;
         int r = arkb_mp_writeread(u8(v.n[0]), &w, &b, 1, 1);
         std::string at = fmt(", target 0x%02llx [0x%02x]", v.n[0], w);
         return Outcome{r, r >= 1 ? at + fmt(" = 0x%02x (%u)", b, b) : at};
     },
     "mp writeread TARGET BYTE    arkb_mp_writeread: write BYTE, read one byte"},
    {"mp", "tnl-read", "arkb_mp_tnlblk_read",
     "TARGET:u8 OFFSET:0..65535 LEN:1..65536 --width:width=16 --unit:1..65536=32", Ok::NotNegative, tnl_read,
     "mp tnl-read TARGET OFFSET LEN [--width 8|16] [--unit N]"},
    {"mp", "tnl-write", "arkb_mp_tnlblk_write",
     "TARGET:u8 OFFSET:0..65535 HEXBYTES:hex --width:width=16 --unit:1..65536=32", Ok::NotNegative, tnl_write,
     "mp tnl-write TARGET OFFSET HEXBYTES [--width 8|16] [--unit N]"},
    {"mp", "tunneling-init", "arkb_mp_tunneling_init", "[ENABLE:0..1=1]", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_mp_tunneling_init(static_cast<int>(v.n[0])), fmt(", enable %lld", v.n[0])};
     },
     "mp tunneling-init [0|1]     arkb_mp_tunneling_init (default 1)"},

    // platform layer
    {"platform", "read-slot", "arkbp_read_slotid", "", Ok::Zero, slot_of<arkbp_read_slotid>,
     "platform read-slot                 arkbp_read_slotid"},
    {"platform", "store-slot", "arkbp_store_slotid", "N:u8", Ok::Zero, store_slot<arkbp_store_slotid>,
     "platform store-slot N              arkbp_store_slotid"},
    {"platform", "device-type", "arkbp_read_device_type", "", Ok::Zero, plain<arkbp_read_device_type>,
     "platform device-type               arkbp_read_device_type"},
    {"platform", "init", "arkbp_platform_specific_initialize", "SLOT:u8", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkbp_platform_specific_initialize(u8(v.n[0])), fmt(", slot %lld", v.n[0])};
     },
     "platform init SLOT                 arkbp_platform_specific_initialize"},
    {"platform", "pca-path", nullptr, "", Ok::Zero,
     [](const Values &) {
         const char *path = arkbp_pca9501_filepath();
         return Outcome{path != nullptr ? 0 : -1, "",
                        fmt("arkbp_pca9501_filepath: %s\n", path != nullptr ? path : "(null)"), nullptr,
                        true};
     },
     "platform pca-path                  arkbp_pca9501_filepath"},
    {"platform", "eeprom-read", "arkbp_read_mbfruid_elmsect", "OFFSET:0..65535 LEN:1..65536", Ok::NotNegative,
     eeprom_read, "platform eeprom-read OFFSET LEN    arkbp_read_mbfruid_elmsect"},
    {"platform", "eeprom-write", "arkbp_write_mbfruid_elmsect", "OFFSET:0..65535 HEXBYTES:hex",
     Ok::NotNegative,
     [](const Values &v) {
         return Outcome{arkbp_write_mbfruid_elmsect(v.bytes.data(), static_cast<unsigned>(v.bytes.size()),
                                                    static_cast<unsigned>(v.n[0])),
                        fmt(", offset 0x%llx len %zu", v.n[0], v.bytes.size())};
     },
     "platform eeprom-write OFFSET HEXBYTES\n"
     "                                                  arkbp_write_mbfruid_elmsect"},

    // thermal override and control
    {"thermal", "show", "arkb_get_thermovrd", "", Ok::Zero,
     [](const Values &) {
         uint8_t o = 0;
         int r = arkb_get_thermovrd(&o);
         return Outcome{r, if_ok(r, fmt(", override %u (%s)", o, o != 0 ? "on" : "off"))};
     },
     "thermal [show]    arkb_get_thermovrd"},
    {"thermal", "set", "arkb_set_thermovrd", "value:0..1", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_set_thermovrd(u8(v.n[0])), fmt(", override %lld", v.n[0])};
     },
     "thermal set 0|1   arkb_set_thermovrd"},
    {"tcontrol", "show", "arkb_get_tcontrol", "", Ok::Zero,
     [](const Values &) {
         int32_t t = 0;
         int r = arkb_get_tcontrol(&t);
         return Outcome{r, if_ok(r, fmt(", tcontrol %d", static_cast<int>(t)))};
     },
     "tcontrol [show]   arkb_get_tcontrol"},
    {"tcontrol", "set", "arkb_set_tcontrol", "N:i32", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_set_tcontrol(static_cast<int32_t>(v.n[0])), fmt(", tcontrol %lld", v.n[0])};
     },
     "tcontrol set N    arkb_set_tcontrol (N: signed 32-bit)"},

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

    // network configuration mailbox
    {"netconf", "init", "arkb_netconf_initialize", "", Ok::Zero, plain<arkb_netconf_initialize>,
     "netconf init                  arkb_netconf_initialize"},
    {"netconf", "handle", nullptr, "", Ok::Zero, netconf_handle_fields,
     "netconf handle                arkb_netconf_get_handle, print its fields"},
    {"netconf", "check", "arkb_netconf_check_req", "", Ok::ZeroOrOne, netconf_check<arkb_netconf_check_req>,
     "netconf check                 one arkb_netconf_check_req"},
    {"netconf", "watch", nullptr, "--interval:0..86400=1 --count:1..1099511627776", Ok::ZeroOrOne,
     netconf_watch,
     "netconf watch [--interval SEC] [--count N]\n"
     "                                             poll arkb_netconf_check_req until it\n"
     "                                             returns 1 (default every 1 s, no limit)"},
    {"netconf", "initial-check", "arkb_netconf_initial_check", "", Ok::ZeroOrOne,
     netconf_check<arkb_netconf_initial_check>, "netconf initial-check         arkb_netconf_initial_check"},
    {"netconf", "publish-ip", "arkb_netconf_publish_ip", "ADDR:ipv4 DISCOVERY:discovery GW:ipv4 MASK:ipv4",
     Ok::Zero,
     [](const Values &v) {
         netconf_settings s = {static_cast<uint32_t>(v.n[0]), static_cast<uint32_t>(v.n[2]),
                               static_cast<uint32_t>(v.n[3]), static_cast<int32_t>(v.n[1])};
         netconf_handle h = {};
         return fetch_handle(&h) ? Outcome{arkb_netconf_publish_ip(&h, &s), "", settings_lines(s)}
                                 : no_handle();
     },
     "netconf publish-ip ADDR DISCOVERY GW MASK\n"
     "                                             arkb_netconf_publish_ip"},
    {"netconf", "publish-mac", "arkb_netconf_publish_macaddr", "MAC:mac", Ok::Zero,
     [](const Values &v) {
         netconf_handle h = {};
         std::array<uint8_t, 6> mac = v.mac;
         if (!fetch_handle(&h))
             return no_handle();
         return Outcome{
             arkb_netconf_publish_macaddr(&h, mac.data()),
             fmt(", mac %02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5])};
     },
     "netconf publish-mac MAC       arkb_netconf_publish_macaddr"},
    {"netconf", "dump", "arkb_netconf_test", "", Ok::Zero, plain<arkb_netconf_test>,
     "netconf dump                  arkb_netconf_test"},

    // installation and manufacturing records
    {"instrec", "update", "arkb_instrec_update", "", Ok::Zero, plain<arkb_instrec_update>,
     "instrec update   arkb_instrec_update"},
    {"instrec", "dump", "arkb_instrec_test", "", Ok::Zero, plain<arkb_instrec_test>,
     "instrec dump     arkb_instrec_test"},
    {"fru", "manr", "get_manr_info", "", Ok::Zero, fru_manr, "fru manr"},
    {"snapshot", "", nullptr, "-o:path", Ok::Zero, snapshot, "snapshot [-o FILE]"},
};

const Family kFamilies[] = {
    {"init-mp", "arkb_initialize_mp", "Calls arkb_initialize_mp (first start-up step).\n", nullptr},
    {"init", "arkb_initialize", "Calls arkb_initialize (second start-up step).\n", nullptr},
    {"boot", "both start-up calls in order",
     "Calls arkb_initialize_mp, then arkb_initialize if that returned 0.\n"
     "Exit 0 only if both returned 0.\n",
     nullptr},
    {"slot", "get, read or store the slot number", "", nullptr},
    {"chassis-type", "the chassis type",
     "Calls arkb_get_chassis_type and prints the type in decimal and hex.\n", nullptr},
    {"device-type", "the blade's device type", "", nullptr},
    {"sas", "get or set the SAS capability word", "", nullptr},
    {"cmm-ready", "is the CMM ready",
     "Calls arkb_is_cmm_ready (after arkb_update_cmm_ready with --update).\n"
     "Exit 0 if the CMM is ready (result 1), 1 otherwise.\n",
     nullptr},
    {"fru-read", "arkb_fru_read", "Calls arkb_fru_read.\n", nullptr},
    {"mp", "midplane registers and tunnel block memory",
     "Numbers take 0x for hex.  --width is the offset width in bits (default 16),\n"
     "--unit the bytes per transaction (default 32).  HEXBYTES: \"0a1b2c\",\n"
     "\"0a:1b:2c\" or \"0x0a,0x1b\".  Results are byte counts: exit 0 when >= 0.\n",
     nullptr},
    {"platform", "the platform layer (arkbp_*)", "", nullptr},
    {"thermal", "thermal override flag", "", "show"},
    {"tcontrol", "thermal control value", "", "show"},
    {"power", "power budget and admission",
     "WATTS: a number or \"hwconfig\" (0x7FFFFFFF).  M: ask|admit-on-silence|admit-all\n"
     "or 0|1|2 (default ask).  Admission results: 0 admitted, -8 no cached budget,\n"
     "-10 refused, -17 no answer.  'on' and 'cmm' may block on the CMM.\n",
     "show"},
    {"netconf", "network configuration mailbox",
     "ADDR, GW, MASK: dotted quads.  DISCOVERY: dhcp|static|1|2 or any number.\n"
     "MAC: aa:bb:cc:dd:ee:ff.  The commands after 'init' fetch the handle first.\n"
     "A check blocks up to 16 s after granting a request.\n",
     nullptr},
    {"instrec", "installation record", "", nullptr},
    {"fru", "manufacturing record",
     "Calls get_manr_info and prints the part number, serial and dash level,\n"
     "then a hex dump of the 183-byte record payload.\n",
     nullptr},
    {"snapshot", "the blade's state as one JSON document, for the simulator",
     "Reads, and never writes, what the library keeps and reads: its memstore keys,\n"
     "the /dev/shm files, the switch files, midplane registers 0x9C, 0x4C and 0x7E\n"
     "and the slot's thermal override register, the slot byte, the uptime, the FRU\n"
     "EEPROM's directory and InstallR segment, the slot's mailbox, the chassis FRU\n"
     "data and the published budget.  A part that cannot be read is recorded with\n"
     "the result that refused it.  `arksim create --from FILE` builds a simulated\n"
     "blade from it; the fields are in arkbctl(1).\n",
     nullptr},
    {"log", "write a line through arkb_output",
     "Calls arkb_output(PRIORITY, \"%s\", TEXT).  PRIORITY: a number or\n"
     "emerg|alert|crit|err|warning|notice|info|debug (0..7).\n",
     nullptr},
};

}  // namespace

std::span<const Family> families() { return kFamilies; }
std::span<const Entry> entries() { return kEntries; }

}  // namespace arkbctl
