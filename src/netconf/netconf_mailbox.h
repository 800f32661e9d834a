// The netconf mailbox in the tunnel block memory of the blade's slot: its
// layout, and the tunnel access that the mailbox's source files share.
//
// Tunnel block memory of a mailbox created here (all values big-endian):
//   0..15    tunnel header: section header and one segment descriptor "NT"
//   78, 79   segment signature C0 55
//   80..111  net_info record; 107..111 first get the segment trailer
#ifndef ARKBLADE_NETCONF_MAILBOX_H
#define ARKBLADE_NETCONF_MAILBOX_H

#include <array>
#include <cstdint>
#include <span>

#include "../common/internal.h"
#include "arkblade.h"

namespace arkb {

// Every tunnel access of the mailbox: 8-bit offsets, 8-byte transactions.
inline constexpr int kOffsetWidth = 8;
inline constexpr int kTransferUnit = 8;

// Tunnel header at tunnel offset 0.  Readers take the first 15 bytes only.
inline constexpr int kHeaderOffset = 0;
inline constexpr int kHeaderSize = 16;
inline constexpr int kHeaderReadSize = 15;
inline constexpr int kHdrFormat = 0;      // must read back as kHeaderFormat after creation
inline constexpr int kHdrCrc = 4;         // CRC-8 of the template taken while this byte is 0
inline constexpr int kHdrName = 6;        // first letter of the segment name
inline constexpr int kHdrSegOffset = 13;  // tunnel offset of the netconf segment (low byte)
inline constexpr int kHdrSegLength = 15;  // netconf segment length (low byte)
inline constexpr uint8_t kHeaderFormat = 0x08;
inline constexpr uint8_t kSegmentName = 'N';
inline constexpr std::array<uint8_t, kHeaderSize> kHeaderTemplate = {
    0x08, 0x00, 0x01, 0x10, 0x00, 0x01, 'N', 'T', 0x00, 0x00, 0x00, 0x00, 0x00, 0x4E, 0x00, 0x22};

// Netconf segment: signature, then the net_info record; the checksum trailer
// form (0x0C and a checksum left 0) goes over its last five bytes.
inline constexpr uint16_t kSignature = 0xC055;
inline constexpr int kSignatureSize = 2;
inline constexpr std::array<uint8_t, 5> kTrailer = {0x0C, 0x00, 0x00, 0x00, 0x00};

// net_info record.
inline constexpr int kRecordSize = 32;
inline constexpr int kReq = 0;     // sp_req_mbox
inline constexpr int kGrant = 1;   // sp_grant_mbox, or the check byte of start-up settings
inline constexpr int kIpSect = 2;  // ipaddr, ipdiscovery, ipgway, ipnetmask
inline constexpr int kIpSectSize = 13;
inline constexpr int kIpAddr = 2;
inline constexpr int kIpDiscovery = 6;
inline constexpr int kIpGway = 7;
inline constexpr int kIpNetmask = 11;
inline constexpr int kMacSect = 15;
inline constexpr int kMacSize = 6;
inline constexpr int kMarker = 21;
inline constexpr uint8_t kRecordMarker = 0x0C;

inline constexpr uint8_t kRequestRunTime = 1;
inline constexpr uint8_t kRequestStartUp = 2;
inline constexpr uint8_t kGranted = 1;
inline constexpr uint8_t kDhcp = 1;
inline constexpr uint8_t kStatic = 2;

// The CMM gets eight polls, two seconds apart, to answer a grant.
inline constexpr int kPolls = 8;
inline constexpr unsigned kPollSeconds = 2;

using Record = std::array<uint8_t, kRecordSize>;

struct Location {
    uint32_t signature;
    uint32_t offset;  // tunnel offset of the net_info record
};

// Tunnel reads and writes of the mailbox; 0 on success, -1 on failure
// (also for a transfer whose end would not fit the platform's offsets).
int tunnel_read(uint8_t target, std::span<uint8_t> buf, uint64_t offset);
int tunnel_write(uint8_t target, std::span<const uint8_t> buf, uint64_t offset);

// Where the mailbox is, from the tunnel header; -1 when it cannot be read or
// names no netconf segment.
int netconf_find_mailbox(uint8_t target, Location &loc);
// flag := 1 when the header names the netconf segment and its signature is
// C0 55; -1 when the header or signature cannot be read.
int netconf_is_initialized(uint8_t target, int &flag);

inline uint8_t target_of(const netconf_handle &h) { return slot_target(h.slotid); }
int netconf_read_net_info(const netconf_handle &h, Record &rec);

}  // namespace arkb

#endif
