// The mailbox test dump on standard output: slot, initialization state,
// record offset and the ten lines of the net_info record.  Part of the unit
// "libarkblade_netconf".
#include <cstdio>

#include <array>
#include <cstdint>

#include "../common/bytes.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "netconf_mailbox.h"

namespace arkb {
namespace {

void print_address(const char *name, const Record &rec, int at)
{
    std::printf("%s: %d.%d.%d.%d\n", name, rec[at], rec[at + 1], rec[at + 2], rec[at + 3]);
}

void netconf_print_net_info(const Record &rec)
{
    std::printf("sp_req_mbox: 0x%.2x\n", rec[kReq]);
    std::printf("sp_grant_mbox: 0x%.2x\n", rec[kGrant]);
    print_address("ipaddr", rec, kIpAddr);
    if (rec[kIpDiscovery] == kStatic)
        std::puts("ipdiscovery: static");
    else if (rec[kIpDiscovery] == kDhcp)
        std::puts("ipdiscovery: dhcp");
    else
        std::printf("ipdiscovery: unknown %d\n", rec[kIpDiscovery]);
    print_address("ipgway", rec, kIpGway);
    print_address("ipnetmask", rec, kIpNetmask);
    const uint8_t *mac = rec.data() + kMacSect;
    std::printf("macaddr: %.2x:%.2x:%.2x:%.2x:%.2x:%.2x\n", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" int arkb_netconf_test(void)
{
    uint8_t slot = 0;
    if (read_stored_slot(&slot) != 0) {
        std::printf("err slotid");
        slot = 0;  // carry on as slot 0
    }
    std::printf("SLOTID: %d\n", slot);
    if (arkb_netconf_initialize() < 0)
        std::puts("err init");
    int flag = 0;
    if (netconf_is_initialized(slot_target(slot), flag) != 0) {
        std::puts("is_init err");
        flag = 0;
    }
    std::printf("IS_INITIALIZED?: %d\n", flag);
    netconf_handle h{};
    if (arkb_netconf_get_handle(&h) < 0)
        std::puts("err getting handle");
    std::printf("offset: 0x%.4x\n", h.offset);
    Record rec{};
    if (netconf_read_net_info(h, rec) != 0) {
        std::puts("get net_info err");
        rec = Record{};  // a failed read may have left part of a record
    }
    netconf_print_net_info(rec);
    std::fflush(stdout);
    return 0;
}
