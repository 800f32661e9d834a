// FRU data of the simulated hardware: the checksums of the FRU helpers, the
// section layout (6-byte header, 10-byte segment descriptors, tag-encoded
// fields), the chassis's FRU data behind the midplane tunnel and the section
// that a new blade's motherboard EEPROM carries from manufacturing.
#ifndef ARKSIM_FRU_H
#define ARKSIM_FRU_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace arksim {

uint8_t crc8(std::span<const uint8_t> bytes);    // polynomial 0x07, initial 0
uint32_t crc32(std::span<const uint8_t> bytes);  // CRC-32/ISO-HDLC
// The FRU field tags: type 0 END (0x0C), 1 SHORT (0x40..0x7F), 2 MEDIUM
// (0x80..0xBF), 3 LONG (0xF8), -1 for any other first byte; the header size
// of a type (-1 for none); the payload length a header states (-1: invalid).
int tag_type(uint8_t b0);
int tag_header_size(int type);
int tag_payload_length(const uint8_t *hdr);

struct Segment {
    char name[2];
    uint16_t offset;  // absolute, in the memory that holds the section
    uint16_t length;
};

// Writes a section header and directory at `base` of `image`: header length
// 6 + 10 x count, CRC-8 over it, and one descriptor per segment.
void put_section(std::vector<uint8_t> &image, std::size_t base, const std::vector<Segment> &segments);

// Part number (7), serial number (6) and dash level (2) of a manufacturing
// record, as ASCII without terminators.
struct Identity {
    std::string part, serial, dash;
};

inline constexpr uint8_t kChassisFruTarget = 0xAA;
inline constexpr uint32_t kChassisFruOffset = 0x1800;
inline constexpr std::size_t kChassisFruSize = 0x800;
inline constexpr std::size_t kManrPayload = 183;

// The manufacturing record field: tag header F8 00 10 B7, then 183 bytes
// with the identity at payload offsets 148, 155 and 163.
std::vector<uint8_t> manr_field(const Identity &id);
// Reads the identity back out of a manufacturing record payload.
Identity identity_of(std::span<const uint8_t> payload);

// The chassis's FRU data in tunnel memory of target 0xAA from 0x1800: a
// section with one "SD" segment holding the manufacturing record.
bool write_chassis_fru(const std::string &chassis, const Identity &id);
bool read_chassis_identity(const std::string &chassis, Identity &id);
// A motherboard EEPROM image (16384 bytes, blank 0xFF) with the section that
// manufacturing leaves: a header and an "SD" segment for the blade itself.
std::vector<uint8_t> new_blade_eeprom(const Identity &blade);

}  // namespace arksim

#endif
