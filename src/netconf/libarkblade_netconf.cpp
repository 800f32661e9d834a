// Network configuration mailbox: the net_info record that the SP and the CMM
// share in the tunnel block memory of the blade's slot.  This file has the
// run-time request handshake, the start-up settings and the publishing of
// the SP's own settings; mailbox_setup.cpp finds and creates the mailbox,
// netconf_dump.cpp prints it.  Log lines carry the unit name
// "libarkblade_netconf".
#include <arpa/inet.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "../common/bytes.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "netconf_mailbox.h"

namespace arkb {

int netconf_read_net_info(const netconf_handle &h, Record &rec)
{
    return tunnel_read(target_of(h), rec, h.offset);
}

namespace {

// Tunnel offset of a record field, computed without wrapping.
uint64_t field_at(const netconf_handle &h, int field)
{
    return uint64_t{h.offset} + static_cast<uint64_t>(field);
}

// One single-byte transaction: the cheap test that callers may poll.
int netconf_request_pending(const netconf_handle &h)
{
    const uint8_t where = static_cast<uint8_t>(field_at(h, kReq));
    uint8_t request = 0;
    if (arkmp_writeread(target_of(h), &where, &request, 1, 1) < 0)
        return 0;
    return request == kRequestRunTime ? 1 : 0;
}

int netconf_grant_request(const netconf_handle &h)
{
    const std::array<uint8_t, 1> grant = {kGranted};
    return tunnel_write(target_of(h), grant, field_at(h, kGrant));
}

// Lowers the request and grant bytes; the rest of the record stays.
int netconf_clear_mbox(const netconf_handle &h)
{
    const std::array<uint8_t, 2> idle = {0, 0};
    return tunnel_write(target_of(h), idle, field_at(h, kReq));
}

int netconf_write_ipsect(const netconf_handle &h, std::span<const uint8_t, kIpSectSize> sect)
{
    return tunnel_write(target_of(h), sect, field_at(h, kIpSect));
}

int netconf_write_macsect(const netconf_handle &h, std::span<const uint8_t, kMacSize> sect)
{
    return tunnel_write(target_of(h), sect, field_at(h, kMacSect));
}

int netconf_take_request(const netconf_handle &h)
{
    return netconf_request_pending(h) == 1 && netconf_grant_request(h) == 0 ? 1 : 0;
}

// The settings' address fields hold the octets in network order, as in the
// record: first octet at the lowest address on every host.
uint32_t address_at(const Record &rec, int at)
{
    return htonl(load_be32(std::span<const uint8_t>(rec).subspan(static_cast<std::size_t>(at)).first<4>()));
}

void store_address(std::span<uint8_t> sect, int at, uint32_t address)
{
    store_be32(sect.subspan(static_cast<std::size_t>(at)).first<4>(), ntohl(address));
}

void fill_settings(const Record &rec, netconf_settings &s)
{
    s.ipaddr = address_at(rec, kIpAddr);
    s.ipgway = address_at(rec, kIpGway);
    s.ipnetmask = address_at(rec, kIpNetmask);
    const uint8_t discovery = rec[kIpDiscovery];
    s.ipdiscovery = discovery == kDhcp || discovery == kStatic ? discovery : 0;
}

// Sum of the ip section modulo 256; 0 becomes 255 so a valid check byte is
// never 0.
uint8_t byte_sum(const Record &rec)
{
    unsigned sum = 0;
    for (int i = kIpSect; i < kIpSect + kIpSectSize; ++i)
        sum += rec[i];
    const uint8_t check = static_cast<uint8_t>(sum);
    return check == 0 ? 0xFF : check;
}

// After a grant: waits for the CMM to lower both bytes, then takes the
// settings.  A CMM that leaves both bytes raised has its request withdrawn;
// a record last seen with only one byte lowered, or never read, is left as
// it is.
int netconf_wait_settings(const netconf_handle &h, netconf_settings &s)
{
    std::memset(&s, 0, sizeof s);
    bool still_raised = false;
    for (int poll = 0; poll < kPolls; ++poll) {
        Record rec{};
        if (netconf_read_net_info(h, rec) == 0) {
            if (rec[kReq] == 0 && rec[kGrant] == 0) {
                fill_settings(rec, s);
                return 0;
            }
            still_raised = rec[kReq] != 0 && rec[kGrant] != 0;
        }
        (void)sleep(kPollSeconds);
    }
    if (still_raised)
        (void)netconf_clear_mbox(h);
    return -1;
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int arkb_netconf_check_req(const netconf_handle *h, netconf_settings *s)
{
    if (h == nullptr || s == nullptr || netconf_take_request(*h) == 0)
        return 0;
    return netconf_wait_settings(*h, *s) >= 0 ? 1 : 0;
}

int arkb_netconf_initial_check(const netconf_handle *h, netconf_settings *s)
{
    Record rec{};
    if (h == nullptr || s == nullptr || netconf_read_net_info(*h, rec) != 0)
        return 0;
    int result = 0;
    if (rec[kReq] == kRequestStartUp && rec[kGrant] == byte_sum(rec)) {
        fill_settings(rec, *s);
        result = 1;
    }
    // Whatever the record asked, both bytes end lowered.
    (void)netconf_clear_mbox(*h);
    return result;
}

int arkb_netconf_publish_ip(const netconf_handle *h, const netconf_settings *s)
{
    if (h == nullptr || s == nullptr || (s->ipdiscovery != kDhcp && s->ipdiscovery != kStatic))
        return -1;
    std::array<uint8_t, kIpSectSize> sect{};
    store_address(sect, kIpAddr - kIpSect, s->ipaddr);
    sect[kIpDiscovery - kIpSect] = static_cast<uint8_t>(s->ipdiscovery);
    store_address(sect, kIpGway - kIpSect, s->ipgway);
    store_address(sect, kIpNetmask - kIpSect, s->ipnetmask);
    if (netconf_write_ipsect(*h, sect) == 0)
        return 0;
    log_line(kLogError, {kUnitNetconf, "arkb_netconf_publish_ip", 569},
             "Error Could not write to mailbox ipsect\n");
    return -1;
}

int arkb_netconf_publish_macaddr(const netconf_handle *h, const uint8_t *mac)
{
    if (h == nullptr || mac == nullptr)
        return -1;
    std::array<uint8_t, kMacSize> sect{};
    std::memcpy(sect.data(), mac, sect.size());
    if (netconf_write_macsect(*h, sect) == 0)
        return 0;
    log_line(kLogError, {kUnitNetconf, "arkb_netconf_publish_macaddr", 586},
             "Error Could not write to mailbox mac sect\n");
    return -1;
}

}  // extern "C"
