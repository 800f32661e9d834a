// Network configuration mailbox: the net_info record that the SP and the CMM
// share in the tunnel block memory of the blade's slot.  Finding and creating
// the mailbox, the run-time request handshake, the start-up settings, the
// publishing of the SP's own settings and the test dump.  Log lines carry the
// unit name "libarkblade_netconf".
//
// Tunnel block memory of a mailbox created here (all values big-endian):
//   0..15    tunnel header: section header and one segment descriptor "NT"
//   78, 79   segment signature C0 55
//   80..111  net_info record; 107..111 first get the segment trailer
#include <arpa/inet.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>

#include "../common/bytes.h"
#include "../common/internal.h"
#include "../common/log.h"
#include "arkb_outside.h"
#include "arkblade.h"

// The records that cross the boundary have one layout on every target,
// whatever the build's time_t and off_t.
static_assert(sizeof(netconf_handle) == 12 && sizeof(netconf_settings) == 16);

namespace arkb {
namespace {

constexpr const char *kKeySlot = "slotid";

// Every tunnel access of the mailbox: 8-bit offsets, 8-byte transactions.
constexpr int kOffsetWidth = 8;
constexpr int kTransferUnit = 8;

// Tunnel header at tunnel offset 0.  Readers take the first 15 bytes only.
constexpr int kHeaderOffset = 0;
constexpr int kHeaderSize = 16;
constexpr int kHeaderReadSize = 15;
constexpr int kHdrFormat = 0;      // must read back as kHeaderFormat after creation
constexpr int kHdrCrc = 4;         // CRC-8 of the template taken while this byte is 0
constexpr int kHdrName = 6;        // first letter of the segment name
constexpr int kHdrSegOffset = 13;  // tunnel offset of the netconf segment (low byte)
constexpr int kHdrSegLength = 15;  // netconf segment length (low byte)
constexpr uint8_t kHeaderFormat = 0x08;
constexpr uint8_t kSegmentName = 'N';
constexpr std::array<uint8_t, kHeaderSize> kHeaderTemplate = {0x08, 0x00, 0x01, 0x10, 0x00, 0x01, 'N',  'T',
                                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x4E, 0x00, 0x22};

// Netconf segment: signature, then the net_info record; the checksum trailer
// form (0x0C and a checksum left 0) goes over its last five bytes.
constexpr uint16_t kSignature = 0xC055;
constexpr int kSignatureSize = 2;
constexpr std::array<uint8_t, 5> kTrailer = {0x0C, 0x00, 0x00, 0x00, 0x00};

// net_info record.
constexpr int kRecordSize = 32;
constexpr int kReq = 0;     // sp_req_mbox
constexpr int kGrant = 1;   // sp_grant_mbox, or the check byte of start-up settings
constexpr int kIpSect = 2;  // ipaddr, ipdiscovery, ipgway, ipnetmask
constexpr int kIpSectSize = 13;
constexpr int kIpAddr = 2;
constexpr int kIpDiscovery = 6;
constexpr int kIpGway = 7;
constexpr int kIpNetmask = 11;
constexpr int kMacSect = 15;
constexpr int kMacSize = 6;
constexpr int kMarker = 21;
constexpr uint8_t kRecordMarker = 0x0C;

constexpr uint8_t kRequestRunTime = 1;
constexpr uint8_t kRequestStartUp = 2;
constexpr uint8_t kGranted = 1;
constexpr uint8_t kDhcp = 1;
constexpr uint8_t kStatic = 2;

// The CMM gets eight polls, two seconds apart, to answer a grant.
constexpr int kPolls = 8;
constexpr unsigned kPollSeconds = 2;

using Record = std::array<uint8_t, kRecordSize>;

struct Location {
    uint32_t signature;
    uint32_t offset;  // tunnel offset of the net_info record
};

/* --- tunnel access --------------------------------------------------- */

// A handle is the caller's record and may hold any offset: a transfer whose
// end would not fit the platform's int offsets is refused here instead of
// reaching the platform as a negative or wrapped offset.
bool fits_platform(std::size_t len, uint64_t offset)
{
    return offset <= INT_MAX && len <= static_cast<uint64_t>(INT_MAX) - offset;
}

int tunnel_read(uint8_t target, std::span<uint8_t> buf, uint64_t offset)
{
    if (!fits_platform(buf.size(), offset))
        return -1;
    return arkmp_tnlblk_read(target, buf.data(), static_cast<int>(buf.size()), static_cast<int>(offset),
                             kOffsetWidth, kTransferUnit) < 0
               ? -1
               : 0;
}

int tunnel_write(uint8_t target, std::span<const uint8_t> buf, uint64_t offset)
{
    if (!fits_platform(buf.size(), offset))
        return -1;
    return arkmp_tnlblk_write(target, buf.data(), static_cast<int>(buf.size()), static_cast<int>(offset),
                              kOffsetWidth, kTransferUnit) < 0
               ? -1
               : 0;
}

// Tunnel offset of a record field, computed without wrapping.
uint64_t field_at(const netconf_handle &h, int field)
{
    return uint64_t{h.offset} + static_cast<uint64_t>(field);
}

/* --- discovery and initialization ------------------------------------- */

int read_header(uint8_t target, std::array<uint8_t, kHeaderReadSize> &hdr)
{
    return tunnel_read(target, hdr, kHeaderOffset);
}

int read_signature(uint8_t target, uint8_t segment, uint16_t &signature)
{
    std::array<uint8_t, kSignatureSize> raw{};
    if (tunnel_read(target, raw, segment) != 0)
        return -1;
    signature = load_be16(raw);
    return 0;
}

int netconf_find_mailbox(uint8_t target, Location &loc)
{
    std::array<uint8_t, kHeaderReadSize> hdr{};
    if (read_header(target, hdr) != 0 || hdr[kHdrName] != kSegmentName)
        return -1;
    uint16_t signature = 0;
    if (read_signature(target, hdr[kHdrSegOffset], signature) != 0)
        return -1;
    loc.signature = signature;
    loc.offset = hdr[kHdrSegOffset] + static_cast<uint32_t>(kSignatureSize);
    return 0;
}

int netconf_is_initialized(uint8_t target, int &flag)
{
    std::array<uint8_t, kHeaderReadSize> hdr{};
    uint16_t signature = 0;
    // The signature is read even when the name does not match.
    if (read_header(target, hdr) != 0 || read_signature(target, hdr[kHdrSegOffset], signature) != 0)
        return -1;
    flag = hdr[kHdrName] == kSegmentName && signature == kSignature ? 1 : 0;
    return 0;
}

int netconf_create_header(uint8_t target)
{
    std::array<uint8_t, kHeaderSize> hdr = kHeaderTemplate;
    hdr[kHdrCrc] = compute_crc8(hdr.data(), kHeaderSize);
    std::array<uint8_t, kSignatureSize> signature{};
    store_be16(signature, kSignature);
    const uint32_t segment = hdr[kHdrSegOffset];
    const uint32_t trailer = segment + hdr[kHdrSegLength] - kTrailer.size();
    if (tunnel_write(target, hdr, kHeaderOffset) != 0 || tunnel_write(target, signature, segment) != 0 ||
        tunnel_write(target, kTrailer, trailer) != 0)
        return -1;
    std::array<uint8_t, kHeaderReadSize> back{};
    if (read_header(target, back) != 0)
        return -1;
    return back[kHdrFormat] == kHeaderFormat ? 0 : -1;
}

int netconf_record_valid(uint8_t target, int &flag)
{
    Location loc{};
    Record rec{};
    if (netconf_find_mailbox(target, loc) != 0 || tunnel_read(target, rec, loc.offset) != 0)
        return -1;
    flag = rec[kMarker] == kRecordMarker ? 1 : 0;
    return 0;
}

int netconf_reset_record(uint8_t target)
{
    Record rec{};
    rec[kIpDiscovery] = kStatic;
    rec[kMarker] = kRecordMarker;
    Location loc{};
    if (netconf_find_mailbox(target, loc) != 0)
        return -1;
    return tunnel_write(target, rec, loc.offset);
}

/* --- the record through a handle --------------------------------------- */

uint8_t target_of(const netconf_handle &h) { return slot_target(h.slotid); }

int netconf_read_net_info(const netconf_handle &h, Record &rec)
{
    return tunnel_read(target_of(h), rec, h.offset);
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
    return htonl(load_be32(std::span<const uint8_t, 4>(rec.data() + at, 4)));
}

void store_address(std::span<uint8_t> sect, int at, uint32_t address)
{
    store_be32(std::span<uint8_t, 4>(sect.data() + at, 4), ntohl(address));
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

/* --- the test dump ------------------------------------------------------ */

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

extern "C" {

int arkb_netconf_initialize(void)
{
    uint8_t slot = 0;
    if (memstore_get(kKeySlot, &slot, 1) != 1)
        return -1;
    const uint8_t target = slot_target(slot);
    int flag = 0;
    if (netconf_is_initialized(target, flag) != 0)
        return -1;
    if (flag != 1 && netconf_create_header(target) != 0)
        return -1;
    if (netconf_record_valid(target, flag) != 0)
        return -1;
    if (flag == 1)
        return 0;  // formatted: the settings in it survive an SP restart
    return netconf_reset_record(target);
}

int arkb_netconf_get_handle(netconf_handle *h)
{
    if (h == nullptr)
        return -1;
    std::memset(h, 0, sizeof *h);
    if (memstore_get(kKeySlot, &h->slotid, 1) != 1)
        std::printf("err slotid");
    Location loc{};
    if (netconf_find_mailbox(slot_target(h->slotid), loc) != 0)
        return -1;
    h->signature = loc.signature;
    h->offset = loc.offset;
    return 0;
}

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
    arkb_output(kLogError, "%s::%s::%d:Error Could not write to mailbox ipsect\n", kUnitNetconf,
                "arkb_netconf_publish_ip", 569);
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
    arkb_output(kLogError, "%s::%s::%d:Error Could not write to mailbox mac sect\n", kUnitNetconf,
                "arkb_netconf_publish_macaddr", 586);
    return -1;
}

int arkb_netconf_test(void)
{
    uint8_t slot = 0;
    if (memstore_get(kKeySlot, &slot, 1) != 1) {
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

}  // extern "C"
