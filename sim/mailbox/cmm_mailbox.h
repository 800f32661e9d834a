// The CMM's side of a blade's network configuration mailbox: the net_info
// record in the tunnel block memory of the blade's slot, seen and changed the
// way the chassis management module does it, from outside the blade.
//
// Every access is one whole transaction under the lock of the target's
// tunnel file (<chassis>/tunnel/<tt>.bin), the lock the blade's midplane
// library takes for each of its own transactions: a read here never sees
// half of a blade's write of up to 8 bytes, and the blade never sees half
// of a write made here.
//
// Tunnel block memory of the mailbox:
//   0..15    header: 08 00 01 10 <crc8> 01 'N' 'T' 00 00 00 00 00 <seg> 00 22
//   seg      segment signature C0 55 (seg = 78 in a mailbox created here)
//   seg+2    net_info record, 32 bytes:
//              0 request byte (1 run-time request, 2 start-up settings)
//              1 grant byte (request 1) or check byte (request 2)
//              2..5 ipaddr, 6 discovery (1 dhcp, 2 static), 7..10 gateway,
//              11..14 netmask (the ip section), 15..20 MAC, 21 marker 0x0C
#ifndef ARKSIM_CMM_MAILBOX_H
#define ARKSIM_CMM_MAILBOX_H

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace arksim::mbox {

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kHdrCrc = 4;
inline constexpr std::size_t kHdrName = 6;
inline constexpr std::size_t kHdrSegOffset = 13;
inline constexpr uint8_t kSegmentName = 'N';
inline constexpr std::array<uint8_t, kHeaderSize> kHeaderTemplate = {
    0x08, 0x00, 0x01, 0x10, 0x00, 0x01, 'N', 'T', 0x00, 0x00, 0x00, 0x00, 0x00, 0x4E, 0x00, 0x22};
inline constexpr std::array<uint8_t, 2> kSignature = {0xC0, 0x55};

inline constexpr std::size_t kRecordSize = 32;
inline constexpr std::size_t kReq = 0;
inline constexpr std::size_t kGrant = 1;
inline constexpr std::size_t kIpSect = 2;
inline constexpr std::size_t kIpSectSize = 13;
inline constexpr std::size_t kIpAddr = 2;
inline constexpr std::size_t kDiscovery = 6;
inline constexpr std::size_t kGateway = 7;
inline constexpr std::size_t kNetmask = 11;
inline constexpr std::size_t kMac = 15;
inline constexpr std::size_t kMacSize = 6;
inline constexpr std::size_t kMarker = 21;
inline constexpr uint8_t kRecordMarker = 0x0C;

inline constexpr uint8_t kRequestRunTime = 1;
inline constexpr uint8_t kRequestStartUp = 2;
inline constexpr uint8_t kGranted = 1;
inline constexpr uint8_t kDhcp = 1;
inline constexpr uint8_t kStatic = 2;

using Record = std::array<uint8_t, kRecordSize>;
using IpSection = std::array<uint8_t, kIpSectSize>;

// The slot target address of a slot: 0x80 | ((slot * 2) & 0xFE).
uint8_t slot_target(int slot);

// One target's tunnel block memory in a chassis.
struct Tunnel {
    std::string path;  // <chassis>/tunnel/<tt>.bin
};
Tunnel tunnel_of(const std::string &chassis, uint8_t target);
// One transaction each; a file never written reads as zeros.
bool read_bytes(const Tunnel &t, uint32_t offset, std::span<uint8_t> out);
bool write_bytes(const Tunnel &t, uint32_t offset, std::span<const uint8_t> bytes);

// The mailbox's state as the blade judges it: absent or foreign (header byte
// 6 not 'N', or no signature where the header points), initialized (record
// marker missing), formatted.
enum class State { Absent, Initialized, Formatted };
const char *state_name(State s);

struct View {
    std::array<uint8_t, kHeaderSize> header{};
    std::array<uint8_t, 2> signature{};
    bool located = false;    // header byte 6 is 'N': the blade finds the record
    uint32_t record_at = 0;  // tunnel offset of the record (header byte 13 + 2)
    Record record{};         // read only when located
    State state = State::Absent;
};
bool inspect(const Tunnel &t, View &v);

// Byte-sum of the ip section modulo 256, 0 replaced by 255.
uint8_t check_byte(std::span<const uint8_t, kIpSectSize> sect);

struct Settings {
    std::array<uint8_t, 4> addr{}, gateway{}, netmask{};
    uint8_t discovery = kStatic;
};
IpSection ip_section(const Settings &s);

// "10.1.2.3"; "dhcp", "static" or a number 0..255.
bool parse_ipv4(const std::string &text, std::array<uint8_t, 4> &out);
bool parse_discovery(const std::string &text, uint8_t &out);
std::string ipv4_text(std::span<const uint8_t> octets);
std::string discovery_text(uint8_t d);

/* --- what the CMM does ------------------------------------------------- */
// Each step is reported as one line, already stamped with the time of day.
using Report = void (*)(const std::string &line);

// Creates the mailbox when it is absent (header with its CRC-8, signature)
// and writes a fresh record (discovery static, marker) when it is not
// formatted; a formatted mailbox is left as it is.  `v` is the state after.
bool ensure_formatted(const Tunnel &t, View &v, Report report);

// Start-up settings for the blade to find at start: the mailbox is created or
// formatted when needed, then the ip section, the check byte and request
// byte 2 are written in that order.  `bad_check` writes a check byte that
// does not match.
bool preset(const Tunnel &t, const Settings &s, bool bad_check, Report report);

enum class Misbehave {
    None,
    NeverAnswer,       // raise the request, then ignore the grant
    LowerRequestOnly,  // after the grant lower the request byte alone
    LowerGrantOnly,    // after the grant lower the grant byte alone
};
bool parse_misbehave(const std::string &text, Misbehave &out);

enum class Outcome { Done, TimedOut, Failed };

// The run-time request.  Once the SP has created the mailbox: grant byte 0,
// request byte 1, then the record is polled every 100 ms until the blade
// grants (grant byte 1); after the grant the new ip section goes in and both
// bytes are lowered in one write.  `timeout_ms`, counted from the start,
// bounds the wait for the mailbox and the grant.  A request not granted in
// time is withdrawn (both bytes 0), except by a CMM that never answers, which
// leaves it raised.  NeverAnswer is Done when the blade withdraws the request
// itself after its grant, within another `timeout_ms`.
Outcome request(const Tunnel &t, const Settings &s, long timeout_ms, Misbehave how, Report report);

}  // namespace arksim::mbox

#endif
