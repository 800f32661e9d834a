// A blade's motherboard EEPROM section taken apart for display: the section
// header, the segment directory and, when the directory names an "FD"
// segment, the ring of installation records with its checksum trailer.
//
// The image is hostile: every position read is bounded to the image (bytes
// past its end read as blank 0xFF), nothing stops at a bad CRC or checksum,
// and what a field says is reported, never trusted to select memory.
#ifndef ARKSIM_FRU_VIEW_H
#define ARKSIM_FRU_VIEW_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace arksim {

struct SectionHeader {
    uint8_t bytes[6];     // as stored
    unsigned length = 0;  // byte 3: bytes covered by the CRC-8
    unsigned count = 0;   // byte 5: descriptors in the directory
    uint8_t crc_stored = 0;
    uint8_t crc_computed = 0;  // over `length` bytes with the CRC byte as 0
    bool crc_ok() const { return crc_stored == crc_computed; }
};

struct DirectoryEntry {
    unsigned index = 0;
    std::string name;  // the two name bytes, raw
    uint8_t word[4];   // the descriptor word, raw
    unsigned offset = 0;
    unsigned length = 0;
};

struct InstallRecord {
    unsigned order = 0;  // 0 = oldest
    unsigned slot = 0;   // record slot in the ring
    uint32_t timestamp = 0;
    // Raw bytes up to the first NUL, as the library's dump prints them.
    std::string fru_path, part, serial, dash;
};

struct InstallRing {
    unsigned descriptor = 0;  // directory index of "FD"
    uint8_t tag[4];
    unsigned oldest = 0, newest = 0, count = 0, capacity = 0;
    // False when the library treats the ring as empty and starts it afresh
    // at the next update (capacity outside 1..5, an index not below the
    // capacity, or a count above it); no records are listed then.
    bool usable = false;
    std::vector<std::string> warnings;
    std::vector<InstallRecord> records;  // oldest first
    uint8_t trailer_tag = 0;
    uint32_t checksum_stored = 0;
    uint32_t checksum_computed = 0;  // CRC-32 over section bytes 3195..4297
    bool checksum_ok() const { return checksum_stored == checksum_computed; }
};

struct SectionView {
    SectionHeader header;
    std::vector<std::string> warnings;  // about the header and directory
    std::vector<DirectoryEntry> directory;
    bool has_ring = false;
    InstallRing ring;
};

// Where the library keeps the ring: fixed, whatever the descriptor says.
inline constexpr unsigned kRingAt = 3195;
inline constexpr unsigned kRingRecordsAt = 3203;
inline constexpr unsigned kRingRecordSize = 219;
inline constexpr unsigned kRingTrailerAt = 4298;

SectionView decode_section(std::span<const uint8_t> image);

}  // namespace arksim

#endif
