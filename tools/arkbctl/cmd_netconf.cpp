// arkbctl's network configuration mailbox commands (netconf): every one
// after init fetches the handle first and prints that call's line.
#include <chrono>
#include <cstdio>
#include <thread>

#include "arkblade.h"
#include "command_table.h"

namespace arkbctl {

namespace {

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

const Entry kEntries[] = {
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
};

}  // namespace

std::span<const Entry> netconf_entries() { return kEntries; }

}  // namespace arkbctl
