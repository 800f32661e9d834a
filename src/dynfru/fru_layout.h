// Byte layout of the motherboard FRU EEPROM section (section header,
// segment directory, the InstallR segment with its ring of InstallationR
// records) and of the chassis's FRU data, shared by the installation
// history's source files, with the EEPROM access they all use.
#ifndef ARKBLADE_FRU_LAYOUT_H
#define ARKBLADE_FRU_LAYOUT_H

#include <array>
#include <cstdint>
#include <span>

namespace arkb {

// ---- FRU section: header and segment directory ----------------------------

inline constexpr unsigned kHeaderSize = 6;
inline constexpr unsigned kHeaderLengthByte = 3;  // bytes covered by the CRC-8
inline constexpr unsigned kHeaderCrcByte = 4;
inline constexpr unsigned kHeaderCountByte = 5;
inline constexpr unsigned kDescriptorSize = 10;
inline constexpr unsigned kDirectoryStart = kHeaderSize;
// The header length is one byte: 6 + 10 x 24 = 246 is the last that fits.
inline constexpr unsigned kMaxDescriptors = 24;
inline constexpr unsigned kMaxHeaderLength = kDirectoryStart + kDescriptorSize * kMaxDescriptors;

// Small changes are 32-byte read-modify-write windows on 16-byte boundaries.
inline constexpr unsigned kWindowSize = 32;
inline constexpr unsigned kWindowAlignMask = ~15u;

inline constexpr std::array<uint8_t, kDescriptorSize> kInstallrDescriptor = {
    0x46, 0x44,              // "FD"
    0x00, 0x00, 0x41, 0xB6,  // descriptor word
    0x0C, 0x7B,              // segment offset 3195
    0x0B, 0x85,              // segment length 2949
};

// ---- InstallR segment ----------------------------------------------------------

inline constexpr unsigned kRingWindowStart = 3184;     // 0xC70: first byte the ring write covers
inline constexpr unsigned kSegmentStart = 3195;        // 0xC7B: tag header of the record array
inline constexpr unsigned kChecksummedSize = 1103;     // 3195..4297: tag header, ring header, slots
inline constexpr unsigned kTrailerWindowStart = 4288;  // 0x10C0
inline constexpr unsigned kTrailerStart = 4298;        // 0x10CA
inline constexpr uint8_t kTrailerTag = 0x0C;
inline constexpr unsigned kChecksumSize = 4;

// Tag header, then oldest index 0, newest index 0, record count 0, capacity 5.
inline constexpr std::array<uint8_t, 8> kFreshRingHeader = {0xF8, 0x00, 0x14, 0x4B, 0, 0, 0, 5};

inline constexpr unsigned kRecordSlots = 5;
inline constexpr unsigned kRecordSize = 219;
inline constexpr unsigned kSlotBytes = kRecordSlots * kRecordSize;

// Within the ring image (section bytes 3184..4302).
inline constexpr unsigned kRingImageSize = 1119;
inline constexpr unsigned kRingReadSize = 1114;  // everything before the checksum trailer
inline constexpr unsigned kRingSegmentAt = kSegmentStart - kRingWindowStart;  // 11
inline constexpr unsigned kRingOldestAt = kRingSegmentAt + 4;                 // 15
inline constexpr unsigned kRingNewestAt = kRingOldestAt + 1;                  // 16
inline constexpr unsigned kRingCountAt = kRingOldestAt + 2;                   // 17
inline constexpr unsigned kRingCapacityAt = kRingOldestAt + 3;                // 18
inline constexpr unsigned kRingSlotsAt = kRingOldestAt + 4;                   // 19
inline constexpr unsigned kRingTrailerAt = kTrailerStart - kRingWindowStart;  // 1114
static_assert(kRingSlotsAt + kSlotBytes == kRingTrailerAt);
static_assert(kRingTrailerAt + 1 + kChecksumSize == kRingImageSize);

// Within the dump's ring copy (section bytes 3195..4297).
inline constexpr unsigned kCopyOldestAt = 4;
inline constexpr unsigned kCopyNewestAt = 5;
inline constexpr unsigned kCopyCountAt = 6;
inline constexpr unsigned kCopySlotsAt = 8;
static_assert(kCopySlotsAt + kSlotBytes == kChecksummedSize);

// InstallationR record fields.
inline constexpr unsigned kTimestampAt = 0;
inline constexpr unsigned kFruPathAt = 4;
inline constexpr unsigned kFruPathSize = 128;
inline constexpr unsigned kPartNumberAt = 132;
inline constexpr unsigned kPartNumberSize = 7;
inline constexpr unsigned kSerialNumberAt = 139;
inline constexpr unsigned kSerialNumberSize = 6;
inline constexpr unsigned kDashLevelAt = 145;
inline constexpr unsigned kDashLevelSize = 2;

inline constexpr const char *kFruPathFormat = "/CH/BL%d";
inline constexpr int kFruPathTextSize = 16;  // "/CH/BL255" and its NUL

// ---- Chassis FRU data ------------------------------------------------------------

inline constexpr uint8_t kChassisTarget = 0xAA;
inline constexpr unsigned kImageSize = 8192;         // positions of the chassis image
inline constexpr unsigned kChassisDataStart = 6144;  // 0x1800: positions below hold zeros
inline constexpr unsigned kChassisDataSize = kImageSize - kChassisDataStart;
inline constexpr int kTunnelOffsetWidth = 16;
inline constexpr int kTunnelUnit = 64;
inline constexpr unsigned kChassisCountAt = kChassisDataStart + kHeaderCountByte;     // 6149
inline constexpr unsigned kChassisDirectoryAt = kChassisDataStart + kDirectoryStart;  // 6150
inline constexpr unsigned kSegmentOffsetAt = 6;                                       // within a descriptor
inline constexpr unsigned kSegmentLengthAt = 8;
inline constexpr uint8_t kSegmentEndTag = 0x0C;
inline constexpr int kTagError = -1;
// Tag headers are handed to the tag functions from a copy of this size, so
// they never look past the chassis data whatever they decode.
inline constexpr unsigned kTagWindowSize = 16;
inline constexpr std::array<uint8_t, 4> kManrTagHeader = {0xF8, 0x00, 0x10, 0xB7};

// The manufacturing record's payload, and the most that get_manr_info copies
// to its caller whatever length a tag header claims.
inline constexpr unsigned kManrPayloadSize = 183;
// Parent identity: the manufacturing record payload, in a buffer with room
// to spare.
inline constexpr unsigned kParentBufferSize = 192;
static_assert(kManrPayloadSize <= kParentBufferSize);
inline constexpr unsigned kParentPartNumberAt = 148;
inline constexpr unsigned kParentSerialNumberAt = 155;
inline constexpr unsigned kParentDashLevelAt = 163;

inline constexpr const char *kDescriptorName = "FD";
inline constexpr const char *kChassisSegmentName = "SD";

inline bool has_name(std::span<const uint8_t> descriptor, const char *name)
{
    return descriptor[0] == static_cast<uint8_t>(name[0]) && descriptor[1] == static_cast<uint8_t>(name[1]);
}

// The section through the platform layer; negative on failure.
int eeprom_read(std::span<uint8_t> buf, unsigned offset);
int eeprom_write(std::span<const uint8_t> buf, unsigned offset);

// Makes sure the section holds the InstallR segment.  Negative when an
// EEPROM access failed or the directory has no room left.
int create_installr_segment();

}  // namespace arkb

#endif
