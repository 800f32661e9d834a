// FRU data of the simulated hardware: checksums, sections, manufacturing
// records.
#include "fru.h"

#include <algorithm>

#include "chassis.h"
#include "simstate.h"

namespace arksim {
namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kDescriptorSize = 10;
constexpr uint8_t kManrHeader[] = {0xF8, 0x00, 0x10, 0xB7};
constexpr std::size_t kPartAt = 148, kSerialAt = 155, kDashAt = 163;
constexpr uint8_t kEndTag = 0x0C;

// Chassis section: header at 0x1800, the "SD" segment right after it.
constexpr uint16_t kChassisSdOffset = 0x1810;
constexpr uint16_t kChassisSdLength = 0x0100;
// Blade EEPROM: the section at 0, its "SD" segment at 0x0100.
constexpr uint16_t kBladeSdOffset = 0x0100;
constexpr uint16_t kBladeSdLength = 0x0200;

void put_text(std::vector<uint8_t> &out, std::size_t at, const std::string &text, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        out[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

// An "SD" segment: the manufacturing record, then the end tag and a CRC-32.
void put_sd_segment(std::vector<uint8_t> &image, std::size_t at, const Identity &id)
{
    std::vector<uint8_t> field = manr_field(id);
    std::copy(field.begin(), field.end(), image.begin() + static_cast<long>(at));
    std::size_t end = at + field.size();
    uint32_t sum = crc32({image.data() + at, field.size()});
    image[end] = kEndTag;
    for (int i = 0; i < 4; ++i)
        image[end + 1 + i] = static_cast<uint8_t>(sum >> (24 - 8 * i));
}

}  // namespace

const Identity kDefaultChassisIdentity = {"5412345", "CH0001", "01"};

uint8_t crc8(std::span<const uint8_t> bytes)
{
    uint8_t crc = 0;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

uint32_t crc32(std::span<const uint8_t> bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

void put_section(std::vector<uint8_t> &image, std::size_t base, const std::vector<Segment> &segments)
{
    const std::size_t length = kHeaderSize + kDescriptorSize * segments.size();
    uint8_t *h = image.data() + base;
    h[0] = 0x01;
    h[1] = 0x00;
    h[2] = 0x00;
    h[3] = static_cast<uint8_t>(length);
    h[4] = 0;
    h[5] = static_cast<uint8_t>(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        uint8_t *d = h + kHeaderSize + kDescriptorSize * i;
        const Segment &s = segments[i];
        const uint8_t desc[kDescriptorSize] = {static_cast<uint8_t>(s.name[0]),
                                               static_cast<uint8_t>(s.name[1]),
                                               0,
                                               0,
                                               0,
                                               0,
                                               static_cast<uint8_t>(s.offset >> 8),
                                               static_cast<uint8_t>(s.offset),
                                               static_cast<uint8_t>(s.length >> 8),
                                               static_cast<uint8_t>(s.length)};
        std::copy(std::begin(desc), std::end(desc), d);
    }
    h[4] = crc8({h, length});
}

std::vector<uint8_t> manr_field(const Identity &id)
{
    std::vector<uint8_t> out(std::begin(kManrHeader), std::end(kManrHeader));
    std::vector<uint8_t> payload(kManrPayload, 0);
    put_text(payload, kPartAt, id.part, 7);
    put_text(payload, kSerialAt, id.serial, 6);
    put_text(payload, kDashAt, id.dash, 2);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Identity identity_of(std::span<const uint8_t> payload)
{
    Identity id;
    if (payload.size() < kManrPayload)
        return id;
    auto text = [&](std::size_t at, std::size_t n) {
        return std::string(payload.begin() + static_cast<long>(at),
                           payload.begin() + static_cast<long>(at + n));
    };
    id.part = text(kPartAt, 7);
    id.serial = text(kSerialAt, 6);
    id.dash = text(kDashAt, 2);
    return id;
}

bool write_chassis_fru(const std::string &chassis, const Identity &id)
{
    // Build the 2048 bytes as the tunnel holds them, indexed from 0x1800.
    std::vector<uint8_t> image(kChassisFruOffset + kChassisFruSize, 0);
    put_section(image, kChassisFruOffset, {{{'S', 'D'}, kChassisSdOffset, kChassisSdLength}});
    put_sd_segment(image, kChassisSdOffset, id);
    std::vector<uint8_t> data(image.begin() + kChassisFruOffset, image.end());
    return write_tunnel_bytes(chassis, kChassisFruTarget, kChassisFruOffset, data);
}

bool read_chassis_identity(const std::string &chassis, Identity &id)
{
    std::vector<uint8_t> mem;
    read_tunnel(chassis, kChassisFruTarget, mem);
    const std::size_t at = kChassisSdOffset + sizeof kManrHeader;
    if (!std::equal(std::begin(kManrHeader), std::end(kManrHeader), mem.begin() + kChassisSdOffset))
        return false;
    id = identity_of({mem.data() + at, kManrPayload});
    return true;
}

std::vector<uint8_t> new_blade_eeprom(const Identity &blade)
{
    std::vector<uint8_t> image(kEepromSize, 0xFF);
    put_section(image, 0, {{{'S', 'D'}, kBladeSdOffset, kBladeSdLength}});
    put_sd_segment(image, kBladeSdOffset, blade);
    return image;
}

int tag_type(uint8_t b0)
{
    if (b0 == 0x0C)
        return 0;
    if (b0 >= 0x40 && b0 <= 0x7F)
        return 1;
    if (b0 >= 0x80 && b0 <= 0xBF)
        return 2;
    return b0 == 0xF8 ? 3 : -1;
}

int tag_header_size(int type)
{
    static constexpr int kSizes[] = {1, 1, 2, 4};
    return type >= 0 && type <= 3 ? kSizes[type] : -1;
}

int tag_payload_length(const uint8_t *hdr)
{
    switch (tag_type(hdr[0])) {
    case 0: return 0;
    case 1: return hdr[0] & 0x3F;
    case 2: return (hdr[0] & 0x3F) << 8 | hdr[1];
    case 3: return (hdr[2] & 0x0F) << 8 | hdr[3];
    default: return -1;
    }
}

}  // namespace arksim
