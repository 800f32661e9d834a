// Discovery and initialization of the netconf mailbox: finding it through
// the tunnel header, creating header and segment when they are missing, and
// formatting a record that is not one.  Part of the unit
// "libarkblade_netconf".
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>

#include "../common/bytes.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "netconf_mailbox.h"

// The records that cross the boundary have one layout on every target,
// whatever the build's time_t and off_t.
static_assert(sizeof(netconf_handle) == 12 && sizeof(netconf_settings) == 16);

namespace arkb {
namespace {

// A handle is the caller's record and may hold any offset: a transfer whose
// end would not fit the platform's int offsets is refused here instead of
// reaching the platform as a negative or wrapped offset.
bool fits_platform(std::size_t len, uint64_t offset)
{
    return offset <= INT_MAX && len <= static_cast<uint64_t>(INT_MAX) - offset;
}

// One tunnel read or write of the whole buffer: 0, or -1 when it cannot be
// made or the platform call fails (any result >= 0 is its success).
template <class Byte, class Call>
int tunnel_transfer(Call call, uint8_t target, std::span<Byte> buf, uint64_t offset)
{
    if (!fits_platform(buf.size(), offset))
        return -1;
    return call(target, buf.data(), static_cast<int>(buf.size()), static_cast<int>(offset), kOffsetWidth,
                kTransferUnit) < 0
               ? -1
               : 0;
}

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

}  // namespace

int tunnel_read(uint8_t target, std::span<uint8_t> buf, uint64_t offset)
{
    return tunnel_transfer(arkmp_tnlblk_read, target, buf, offset);
}

int tunnel_write(uint8_t target, std::span<const uint8_t> buf, uint64_t offset)
{
    return tunnel_transfer(arkmp_tnlblk_write, target, buf, offset);
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

namespace {

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

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int arkb_netconf_initialize(void)
{
    uint8_t slot = 0;
    if (read_stored_slot(&slot) != 0)
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
    if (read_stored_slot(&h->slotid) != 0)
        std::printf("err slotid");
    Location loc{};
    if (netconf_find_mailbox(slot_target(h->slotid), loc) != 0)
        return -1;
    h->signature = loc.signature;
    h->offset = loc.offset;
    return 0;
}

}  // extern "C"
