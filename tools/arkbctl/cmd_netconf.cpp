// netconf: the network configuration mailbox.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

const char *discovery_name(int32_t d)
{
    return d == 1 ? "dhcp" : d == 2 ? "static" : d == 0 ? "unknown" : "?";
}

bool parse_discovery(const char *s, int32_t *d)
{
    if (std::strcmp(s, "dhcp") == 0) {
        *d = 1;
        return true;
    }
    if (std::strcmp(s, "static") == 0) {
        *d = 2;
        return true;
    }
    return num("DISCOVERY", s, d);
}

void print_settings(const netconf_settings &s)
{
    char buf[16];
    std::printf("ipaddr: %s\n", format_ipv4(s.ipaddr, buf));
    std::printf("ipgway: %s\n", format_ipv4(s.ipgway, buf));
    std::printf("ipnetmask: %s\n", format_ipv4(s.ipnetmask, buf));
    std::printf("ipdiscovery: %d (%s)\n", static_cast<int>(s.ipdiscovery), discovery_name(s.ipdiscovery));
}

// Fills h, printing the call; false if the library failed.
bool get_handle(netconf_handle *h, bool verbose)
{
    int r = arkb_netconf_get_handle(h);
    std::printf("arkb_netconf_get_handle: %d\n", r);
    if (r != 0) {
        status(r);
        return false;
    }
    if (verbose) {
        std::printf("slotid: %u\n", h->slotid);
        std::printf("signature: 0x%04x\n", h->signature);
        std::printf("offset: 0x%x\n", h->offset);
    }
    return true;
}

// The request checks answer 1 (settings filled) or 0 (nothing pending).
int check_result(const char *fn, int r, const netconf_settings &s)
{
    std::printf("%s: %d (%s)\n", fn, r, r == 1 ? "request" : r == 0 ? "no request" : "failed");
    if (r == 1)
        print_settings(s);
    return r == 0 || r == 1 ? 0 : status(r);
}

int netconf_init(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_netconf_initialize();
    std::printf("arkb_netconf_initialize: %d\n", r);
    return status(r);
}

int netconf_handle_cmd(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    netconf_handle h = {};
    return get_handle(&h, true) ? 0 : kExitFail;
}

int netconf_check(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    netconf_handle h = {};
    if (!get_handle(&h, false))
        return kExitFail;
    netconf_settings s = {};
    return check_result("arkb_netconf_check_req", arkb_netconf_check_req(&h, &s), s);
}

int netconf_watch(Args &a)
{
    const char *interval_s = take_option(a, "--interval");
    const char *count_s = take_option(a, "--count");
    long long interval = 1;
    long long count = 0;  // 0: until a request arrives
    if (!want(a, 0, 0) ||
        (interval_s != nullptr && !number_arg("--interval", interval_s, 0, 86400, &interval)) ||
        (count_s != nullptr && !number_arg("--count", count_s, 1, 1LL << 40, &count)))
        return kExitUsage;
    netconf_handle h = {};
    if (!get_handle(&h, false))
        return kExitFail;
    for (long long n = 1;; ++n) {
        netconf_settings s = {};
        int r = arkb_netconf_check_req(&h, &s);
        if (r != 0) {
            std::printf("poll %lld: ", n);
            return check_result("arkb_netconf_check_req", r, s);
        }
        if (count != 0 && n >= count) {
            std::printf("arkb_netconf_check_req: %d (no request after %lld polls)\n", r, n);
            return kExitFail;
        }
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(interval));
    }
}

int netconf_initial_check(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    netconf_handle h = {};
    if (!get_handle(&h, false))
        return kExitFail;
    netconf_settings s = {};
    return check_result("arkb_netconf_initial_check", arkb_netconf_initial_check(&h, &s), s);
}

int netconf_publish_ip(Args &a)
{
    netconf_settings s = {};
    if (!want(a, 4, 4))
        return kExitUsage;
    if (!parse_ipv4(a[0], &s.ipaddr))
        return usage_error("ADDR: '%s' is not a dotted quad", a[0]);
    if (!parse_discovery(a[1], &s.ipdiscovery))
        return kExitUsage;
    if (!parse_ipv4(a[2], &s.ipgway))
        return usage_error("GW: '%s' is not a dotted quad", a[2]);
    if (!parse_ipv4(a[3], &s.ipnetmask))
        return usage_error("MASK: '%s' is not a dotted quad", a[3]);
    netconf_handle h = {};
    if (!get_handle(&h, false))
        return kExitFail;
    int r = arkb_netconf_publish_ip(&h, &s);
    std::printf("arkb_netconf_publish_ip: %d\n", r);
    print_settings(s);
    return status(r);
}

int netconf_publish_mac(Args &a)
{
    uint8_t mac[6];
    if (!want(a, 1, 1))
        return kExitUsage;
    if (!parse_mac(a[0], mac))
        return usage_error("MAC: '%s' is not aa:bb:cc:dd:ee:ff", a[0]);
    netconf_handle h = {};
    if (!get_handle(&h, false))
        return kExitFail;
    int r = arkb_netconf_publish_macaddr(&h, mac);
    std::printf("arkb_netconf_publish_macaddr: %d, mac %02x:%02x:%02x:%02x:%02x:%02x\n", r, mac[0], mac[1],
                mac[2], mac[3], mac[4], mac[5]);
    return status(r);
}

int netconf_dump(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    std::fflush(stdout);
    int r = arkb_netconf_test();
    std::printf("arkb_netconf_test: %d\n", r);
    return status(r);
}

}  // namespace

int cmd_netconf(Args &a)
{
    static const Sub kSubs[] = {
        {"init", netconf_init},
        {"handle", netconf_handle_cmd},
        {"check", netconf_check},
        {"watch", netconf_watch},
        {"initial-check", netconf_initial_check},
        {"publish-ip", netconf_publish_ip},
        {"publish-mac", netconf_publish_mac},
        {"dump", netconf_dump},
    };
    return run_sub(kSubs, a);
}

}  // namespace arkbctl
