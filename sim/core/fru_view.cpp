// Taking a blade's EEPROM section apart for display (see fru_view.h).
#include "fru_view.h"

#include <cstdio>

#include "fru.h"

namespace arksim {
namespace {

constexpr unsigned kHeaderSize = 6;
constexpr unsigned kLengthByte = 3;
constexpr unsigned kCrcByte = 4;
constexpr unsigned kCountByte = 5;
constexpr unsigned kDescriptorSize = 10;
constexpr unsigned kMaxDescriptors = 24;  // 6 + 10 x 24 = 246 fits the one-byte length

constexpr unsigned kRingSlots = 5;
constexpr unsigned kRingLength = 2949;       // what the "FD" descriptor says
constexpr unsigned kChecksummedSize = 1103;  // 3195..4297
constexpr uint8_t kRingTag[4] = {0xF8, 0x00, 0x14, 0x4B};
constexpr uint8_t kTrailerTag = 0x0C;

// Record fields.
constexpr unsigned kPathAt = 4, kPathSize = 128;
constexpr unsigned kPartAt = 132, kPartSize = 7;
constexpr unsigned kSerialAt = 139, kSerialSize = 6;
constexpr unsigned kDashAt = 145, kDashSize = 2;

class Image {
public:
    explicit Image(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    // Past the end the image reads as blank.
    uint8_t at(std::size_t pos) const { return pos < bytes_.size() ? bytes_[pos] : 0xFF; }
    uint32_t be32(std::size_t pos) const
    {
        return static_cast<uint32_t>(at(pos)) << 24 | static_cast<uint32_t>(at(pos + 1)) << 16 |
               static_cast<uint32_t>(at(pos + 2)) << 8 | at(pos + 3);
    }
    unsigned be16(std::size_t pos) const { return static_cast<unsigned>(at(pos) << 8 | at(pos + 1)); }
    std::vector<uint8_t> copy(std::size_t pos, std::size_t n) const
    {
        std::vector<uint8_t> out(n);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = at(pos + i);
        return out;
    }
    // At most `n` bytes, up to the first NUL.
    std::string text(std::size_t pos, std::size_t n) const
    {
        std::string out;
        for (std::size_t i = 0; i < n && at(pos + i) != 0; ++i)
            out.push_back(static_cast<char>(at(pos + i)));
        return out;
    }

private:
    std::span<const uint8_t> bytes_;
};

std::string format(const char *fmt, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

// False when the header is blank: no section to list.
bool decode_header(const Image &img, SectionView &v)
{
    SectionHeader &h = v.header;
    bool blank = true;
    for (unsigned i = 0; i < kHeaderSize; ++i) {
        h.bytes[i] = img.at(i);
        blank = blank && h.bytes[i] == 0xFF;
    }
    h.length = h.bytes[kLengthByte];
    h.count = h.bytes[kCountByte];
    h.crc_stored = h.bytes[kCrcByte];
    std::vector<uint8_t> covered = img.copy(0, h.length);
    if (covered.size() > kCrcByte)
        covered[kCrcByte] = 0;
    h.crc_computed = crc8(covered);
    if (blank) {
        v.warnings.push_back("the header is blank (all 0xff): no section was ever written");
        return false;
    }
    if (h.length != kHeaderSize + kDescriptorSize * h.count)
        v.warnings.push_back(format("header length %u does not match %u descriptors (6 + 10 x %u = %u)",
                                    h.length, h.count, h.count, kHeaderSize + kDescriptorSize * h.count));
    if (h.count > kMaxDescriptors)
        v.warnings.push_back(format("%u descriptors cannot fit under a one-byte header length; "
                                    "showing the first %u, as many as the library looks at",
                                    h.count, kMaxDescriptors));
    return true;
}

void decode_directory(const Image &img, SectionView &v)
{
    const unsigned listed = v.header.count < kMaxDescriptors ? v.header.count : kMaxDescriptors;
    for (unsigned i = 0; i < listed; ++i) {
        const std::size_t at = kHeaderSize + kDescriptorSize * i;
        DirectoryEntry e;
        e.index = i;
        e.name = {static_cast<char>(img.at(at)), static_cast<char>(img.at(at + 1))};
        for (unsigned k = 0; k < 4; ++k)
            e.word[k] = img.at(at + 2 + k);
        e.offset = img.be16(at + 6);
        e.length = img.be16(at + 8);
        v.directory.push_back(e);
    }
}

// Whether oldest/newest/count are what a run of ring updates leaves behind.
void check_ring_state(InstallRing &r)
{
    const unsigned cap = r.capacity;
    if (r.count == cap) {
        const unsigned want = (r.newest + 1) % cap;
        if (r.oldest != want)
            r.warnings.push_back(
                format("a full ring has oldest = (newest + 1) mod capacity = %u, not %u", want, r.oldest));
        return;
    }
    const unsigned want_newest = r.count == 0 ? 0 : r.count - 1;
    if (r.oldest != 0 || r.newest != want_newest)
        r.warnings.push_back(format("with count %u ring updates leave oldest 0, newest %u, not oldest %u, "
                                    "newest %u",
                                    r.count, want_newest, r.oldest, r.newest));
}

InstallRecord decode_record(const Image &img, unsigned order, unsigned slot)
{
    const std::size_t at = kRingRecordsAt + static_cast<std::size_t>(kRingRecordSize) * slot;
    InstallRecord rec;
    rec.order = order;
    rec.slot = slot;
    rec.timestamp = img.be32(at);
    rec.fru_path = img.text(at + kPathAt, kPathSize);
    rec.part = img.text(at + kPartAt, kPartSize);
    rec.serial = img.text(at + kSerialAt, kSerialSize);
    rec.dash = img.text(at + kDashAt, kDashSize);
    return rec;
}

void decode_ring(const Image &img, const DirectoryEntry &fd, InstallRing &r)
{
    r.descriptor = fd.index;
    if (fd.offset != kRingAt || fd.length != kRingLength)
        r.warnings.push_back(format("the \"FD\" descriptor says offset %u, length %u; the library uses "
                                    "%u and %u regardless",
                                    fd.offset, fd.length, kRingAt, kRingLength));
    bool tag_ok = true;
    for (unsigned i = 0; i < 4; ++i) {
        r.tag[i] = img.at(kRingAt + i);
        tag_ok = tag_ok && r.tag[i] == kRingTag[i];
    }
    if (!tag_ok)
        r.warnings.push_back("the tag header is not f8 00 14 4b");
    r.oldest = img.at(kRingAt + 4);
    r.newest = img.at(kRingAt + 5);
    r.count = img.at(kRingAt + 6);
    r.capacity = img.at(kRingAt + 7);
    r.trailer_tag = img.at(kRingTrailerAt);
    r.checksum_stored = img.be32(kRingTrailerAt + 1);
    r.checksum_computed = crc32(img.copy(kRingAt, kChecksummedSize));
    if (r.trailer_tag != kTrailerTag)
        r.warnings.push_back(format("the trailer tag is 0x%02x, not 0x0c", r.trailer_tag));

    r.usable = r.capacity >= 1 && r.capacity <= kRingSlots && r.oldest < r.capacity &&
               r.newest < r.capacity && r.count <= r.capacity;
    if (!r.usable) {
        r.warnings.push_back("no ring update writes this header (capacity 1..5, indexes below it, count "
                             "at most it): the library takes the ring as empty and starts it afresh at "
                             "the next update");
        return;
    }
    if (r.capacity != kRingSlots)
        r.warnings.push_back(format("capacity %u; segment creation writes 5", r.capacity));
    check_ring_state(r);
    for (unsigned n = 0; n < r.count; ++n)
        r.records.push_back(decode_record(img, n, (r.oldest + n) % r.capacity));
}

}  // namespace

SectionView decode_section(std::span<const uint8_t> image)
{
    const Image img(image);
    SectionView v;
    if (!decode_header(img, v))
        return v;
    decode_directory(img, v);
    for (const DirectoryEntry &e : v.directory)
        if (e.name == "FD") {
            v.has_ring = true;
            decode_ring(img, e, v.ring);
            break;
        }
    return v;
}

}  // namespace arksim
