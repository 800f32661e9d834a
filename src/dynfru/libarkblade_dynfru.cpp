// Installation history in the motherboard FRU EEPROM: the InstallR segment
// with its ring of five InstallationR records, the chassis's manufacturing
// record that names the parent of a record, the update at start-up and the
// dump on standard output.  Log lines carry the unit name
// "libarkblade_dynfru".
//
// Everything read from the EEPROM or from the chassis's FRU data is taken as
// untrusted: a count, index, offset or length only ever selects bytes inside
// the buffers of this file.
#include <cstdio>
#include <ctime>

#include <array>
#include <cstdint>
#include <span>

#include "../common/bytes.h"
#include "../common/log.h"
#include "arkb_outside.h"
#include "arkblade.h"

namespace arkb {
namespace {

// ---- FRU section: header and segment directory ----------------------------

constexpr unsigned kHeaderSize = 6;
constexpr unsigned kHeaderLengthByte = 3;  // bytes covered by the CRC-8
constexpr unsigned kHeaderCrcByte = 4;
constexpr unsigned kHeaderCountByte = 5;
constexpr unsigned kDescriptorSize = 10;
constexpr unsigned kDirectoryStart = kHeaderSize;
// The header length is one byte: 6 + 10 x 24 = 246 is the last that fits.
constexpr unsigned kMaxDescriptors = 24;
constexpr unsigned kMaxHeaderLength = kDirectoryStart + kDescriptorSize * kMaxDescriptors;

// Small changes are 32-byte read-modify-write windows on 16-byte boundaries.
constexpr unsigned kWindowSize = 32;
constexpr unsigned kWindowAlignMask = ~15u;

constexpr std::array<uint8_t, kDescriptorSize> kInstallrDescriptor = {
    0x46, 0x44,              // "FD"
    0x00, 0x00, 0x41, 0xB6,  // descriptor word
    0x0C, 0x7B,              // segment offset 3195
    0x0B, 0x85,              // segment length 2949
};

// ---- InstallR segment ----------------------------------------------------------

constexpr unsigned kRingWindowStart = 3184;     // 0xC70: first byte the ring write covers
constexpr unsigned kSegmentStart = 3195;        // 0xC7B: tag header of the record array
constexpr unsigned kChecksummedSize = 1103;     // 3195..4297: tag header, ring header, slots
constexpr unsigned kTrailerWindowStart = 4288;  // 0x10C0
constexpr unsigned kTrailerStart = 4298;        // 0x10CA
constexpr uint8_t kTrailerTag = 0x0C;
constexpr unsigned kChecksumSize = 4;

// Tag header, then oldest index 0, newest index 0, record count 0, capacity 5.
constexpr std::array<uint8_t, 8> kFreshRingHeader = {0xF8, 0x00, 0x14, 0x4B, 0, 0, 0, 5};

constexpr unsigned kRecordSlots = 5;
constexpr unsigned kRecordSize = 219;
constexpr unsigned kSlotBytes = kRecordSlots * kRecordSize;

// Within the ring image (section bytes 3184..4302).
constexpr unsigned kRingImageSize = 1119;
constexpr unsigned kRingReadSize = 1114;  // everything before the checksum trailer
constexpr unsigned kRingSegmentAt = kSegmentStart - kRingWindowStart;  // 11
constexpr unsigned kRingOldestAt = kRingSegmentAt + 4;                 // 15
constexpr unsigned kRingNewestAt = kRingOldestAt + 1;                  // 16
constexpr unsigned kRingCountAt = kRingOldestAt + 2;                   // 17
constexpr unsigned kRingCapacityAt = kRingOldestAt + 3;                // 18
constexpr unsigned kRingSlotsAt = kRingOldestAt + 4;                   // 19
constexpr unsigned kRingTrailerAt = kTrailerStart - kRingWindowStart;  // 1114
static_assert(kRingSlotsAt + kSlotBytes == kRingTrailerAt);
static_assert(kRingTrailerAt + 1 + kChecksumSize == kRingImageSize);

// Within the dump's ring copy (section bytes 3195..4297).
constexpr unsigned kCopyOldestAt = 4;
constexpr unsigned kCopyNewestAt = 5;
constexpr unsigned kCopyCountAt = 6;
constexpr unsigned kCopySlotsAt = 8;
static_assert(kCopySlotsAt + kSlotBytes == kChecksummedSize);

// InstallationR record fields.
constexpr unsigned kTimestampAt = 0;
constexpr unsigned kFruPathAt = 4;
constexpr unsigned kFruPathSize = 128;
constexpr unsigned kPartNumberAt = 132;
constexpr unsigned kPartNumberSize = 7;
constexpr unsigned kSerialNumberAt = 139;
constexpr unsigned kSerialNumberSize = 6;
constexpr unsigned kDashLevelAt = 145;
constexpr unsigned kDashLevelSize = 2;

constexpr const char *kFruPathFormat = "/CH/BL%d";
constexpr int kFruPathTextSize = 16;  // "/CH/BL255" and its NUL

// ---- Chassis FRU data ------------------------------------------------------------

constexpr uint8_t kChassisTarget = 0xAA;
constexpr unsigned kImageSize = 8192;         // positions of the chassis image
constexpr unsigned kChassisDataStart = 6144;  // 0x1800: positions below hold zeros
constexpr unsigned kChassisDataSize = kImageSize - kChassisDataStart;
constexpr int kTunnelOffsetWidth = 16;
constexpr int kTunnelUnit = 64;
constexpr unsigned kChassisCountAt = kChassisDataStart + kHeaderCountByte;     // 6149
constexpr unsigned kChassisDirectoryAt = kChassisDataStart + kDirectoryStart;  // 6150
constexpr unsigned kSegmentOffsetAt = 6;                                       // within a descriptor
constexpr unsigned kSegmentLengthAt = 8;
constexpr uint8_t kSegmentEndTag = 0x0C;
constexpr int kTagError = -1;
// Tag headers are handed to the tag functions from a copy of this size, so
// they never look past the chassis data whatever they decode.
constexpr unsigned kTagWindowSize = 16;
constexpr std::array<uint8_t, 4> kManrTagHeader = {0xF8, 0x00, 0x10, 0xB7};

// The manufacturing record's payload, and the most that get_manr_info copies
// to its caller whatever length a tag header claims.
constexpr unsigned kManrPayloadSize = 183;
// Parent identity: the manufacturing record payload, in a buffer with room
// to spare.
constexpr unsigned kParentBufferSize = 192;
static_assert(kManrPayloadSize <= kParentBufferSize);
constexpr unsigned kParentPartNumberAt = 148;
constexpr unsigned kParentSerialNumberAt = 155;
constexpr unsigned kParentDashLevelAt = 163;

constexpr const char *kDescriptorName = "FD";
constexpr const char *kChassisSegmentName = "SD";

bool has_name(std::span<const uint8_t> descriptor, const char *name)
{
    return descriptor[0] == static_cast<uint8_t>(name[0]) && descriptor[1] == static_cast<uint8_t>(name[1]);
}

int eeprom_read(std::span<uint8_t> buf, unsigned offset)
{
    return arkbp_read_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()), offset);
}

int eeprom_write(std::span<const uint8_t> buf, unsigned offset)
{
    return arkbp_write_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()), offset);
}

// Reads the 32-byte window at `start`, puts `bytes` at `at` within it and
// writes the window back.
int patch_window(unsigned start, unsigned at, std::span<const uint8_t> bytes)
{
    std::array<uint8_t, kWindowSize> window{};
    if (at > window.size() || bytes.size() > window.size() - at)
        return -1;
    if (eeprom_read(window, start) < 0)
        return -1;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        window[at + i] = bytes[i];
    return eeprom_write(window, start) < 0 ? -1 : 0;
}

// ---- Segment creation ------------------------------------------------------------

// Result of the directory search: -1 on a read failure, 1 when "FD" is
// there, 0 when not; `last` gets the result of the last descriptor read.
int find_installr_descriptor(unsigned count, int &last)
{
    // A count above 24 cannot come from a valid header; only the descriptors
    // that fit under the one-byte header length are looked at.
    const unsigned searched = count < kMaxDescriptors ? count : kMaxDescriptors;
    for (unsigned i = 0; i < searched; ++i) {
        std::array<uint8_t, kDescriptorSize> descriptor{};
        last = eeprom_read(descriptor, kDirectoryStart + kDescriptorSize * i);
        if (last < 0)
            return -1;
        if (has_name(descriptor, kDescriptorName))
            return 1;
    }
    return 0;
}

// Counts the new descriptor in the section header and renews its CRC-8.
int count_new_descriptor(unsigned new_count)
{
    const unsigned length = kDirectoryStart + kDescriptorSize * new_count;
    std::array<uint8_t, kMaxHeaderLength> header{};
    const std::span<uint8_t> covered(header.data(), length);
    if (eeprom_read(covered, 0) < 0)
        return -1;
    header[kHeaderLengthByte] = static_cast<uint8_t>(length);
    header[kHeaderCountByte] = static_cast<uint8_t>(new_count);
    header[kHeaderCrcByte] = 0;
    header[kHeaderCrcByte] = compute_crc8(header.data(), static_cast<int>(length));
    return eeprom_write(covered.first(kHeaderSize), 0) < 0 ? -1 : 0;
}

int write_checksum_trailer()
{
    std::array<uint8_t, kChecksummedSize> covered{};
    if (eeprom_read(covered, kSegmentStart) < 0)
        return -1;
    std::array<uint8_t, 1 + kChecksumSize> trailer{kTrailerTag};
    store_be32(std::span(trailer).subspan<1, kChecksumSize>(),
               compute_checksum32(covered.data(), static_cast<int>(covered.size())));
    return patch_window(kTrailerWindowStart, kTrailerStart - kTrailerWindowStart, trailer);
}

// Makes sure the section holds the InstallR segment.  Negative when an
// EEPROM access failed or the directory has no room left.  Kept out of line
// so that its buffers are not on the stack during the ring update.
[[gnu::noinline]] int create_installr_segment()
{
    std::array<uint8_t, kHeaderSize> header{};
    if (eeprom_read(header, 0) < 0)
        return -1;
    const unsigned count = header[kHeaderCountByte];
    int last = 0;
    const int found = find_installr_descriptor(count, last);
    if (found != 0)
        return found > 0 ? 0 : -1;
    if (count >= kMaxDescriptors)
        return -1;  // a 25th descriptor would not fit under the header length

    const unsigned end = kDirectoryStart + kDescriptorSize * count;
    const unsigned window = end & kWindowAlignMask;
    if (patch_window(window, end - window, kInstallrDescriptor) < 0 || count_new_descriptor(count + 1) < 0 ||
        patch_window(kRingWindowStart, kSegmentStart - kRingWindowStart, kFreshRingHeader) < 0 ||
        write_checksum_trailer() < 0)
        return -1;
    return last;
}

// ---- Manufacturing record --------------------------------------------------------

// The chassis image holds chassis data at positions 6144..8191 only; the
// positions below read as zeros and are not kept.
struct ChassisImage {
    std::array<uint8_t, kChassisDataSize> data{};
};

bool within_image(int64_t pos, int64_t len)
{
    return pos >= 0 && len >= 0 && pos <= kImageSize && len <= kImageSize - pos;
}

uint8_t image_byte(const ChassisImage &image, int64_t pos)
{
    return pos < kChassisDataStart ? 0 : image.data[static_cast<std::size_t>(pos - kChassisDataStart)];
}

void copy_from_image(const ChassisImage &image, int64_t pos, std::span<uint8_t> out)
{
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int64_t at = pos + static_cast<int64_t>(i);
        out[i] = at < kImageSize ? image_byte(image, at) : 0;
    }
}

// A header longer than the record's own never matches.
bool is_manr_header(const uint8_t *header, int size)
{
    if (size > static_cast<int>(kManrTagHeader.size()))
        return false;
    for (int i = 0; i < size; ++i)
        if (header[i] != kManrTagHeader[static_cast<std::size_t>(i)])
            return false;
    return true;
}

constexpr int kNotInSegment = 1;

// Walks the tag-encoded fields of one "SD" segment.  0: the record was
// copied to `out`; kNotInSegment: the segment ended first; -1: a tag error,
// data that would reach past the chassis image, or a record that claims a
// payload longer than the 183 bytes that the caller is promised (a foreign
// record, counted as missing).
int walk_segment(const ChassisImage &image, int64_t pos, int64_t end, uint8_t *out)
{
    while (pos < end) {
        if (pos >= kImageSize)
            return -1;
        if (image_byte(image, pos) == kSegmentEndTag)
            break;
        std::array<uint8_t, kTagWindowSize> header{};
        copy_from_image(image, pos, header);
        const int type = get_tag_type(header.data());
        const int size = get_tag_size(type);
        const int plen = get_payload_length(header.data());
        // Besides the tag functions' -1, a size below 1 (which would never
        // move on) and a negative length count as errors.
        if (type == kTagError || size < 1 || plen < 0 || !within_image(pos, size))
            return -1;
        if (is_manr_header(header.data(), size)) {
            if (static_cast<unsigned>(plen) > kManrPayloadSize || !within_image(pos + size, plen))
                return -1;
            copy_from_image(image, pos + size, std::span<uint8_t>(out, static_cast<std::size_t>(plen)));
            return 0;
        }
        pos += static_cast<int64_t>(size) + plen;
    }
    return kNotInSegment;
}

int find_manr(const ChassisImage &image, uint8_t *out)
{
    const unsigned count = image_byte(image, kChassisCountAt);
    if (count == 0)
        return -1;
    for (unsigned i = 0; i < count; ++i) {
        const int64_t at = kChassisDirectoryAt + static_cast<int64_t>(kDescriptorSize) * i;
        if (!within_image(at, kDescriptorSize))
            return -1;
        std::array<uint8_t, kDescriptorSize> descriptor{};
        copy_from_image(image, at, descriptor);
        if (!has_name(descriptor, kChassisSegmentName))
            continue;
        const int64_t start = load_be16(std::span(descriptor).subspan<kSegmentOffsetAt, 2>());
        const int64_t end = start + load_be16(std::span(descriptor).subspan<kSegmentLengthAt, 2>());
        const int rc = walk_segment(image, start, end, out);
        if (rc != kNotInSegment)
            return rc;
    }
    return -1;
}

// ---- Installation record update --------------------------------------------------

using RingImage = std::array<uint8_t, kRingImageSize>;
using ParentIdentity = std::array<uint8_t, kParentBufferSize>;
using RecordSlots = std::span<uint8_t, kSlotBytes>;
using FruPath = std::array<char, kFruPathTextSize>;

FruPath format_fru_path(uint8_t slot)
{
    FruPath path{};
    std::snprintf(path.data(), path.size(), kFruPathFormat, slot);
    return path;
}

// Character comparison that also ends, as equal, at a NUL both sides hold.
bool same_text(const uint8_t *a, const uint8_t *b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
        if (a[i] == 0)
            return true;
    }
    return true;
}

bool already_recorded(const uint8_t *record, const ParentIdentity &parent, uint8_t slot)
{
    const FruPath path = format_fru_path(slot);
    std::size_t path_length = 0;
    while (path[path_length] != '\0')
        ++path_length;
    return same_text(record + kPartNumberAt, parent.data() + kParentPartNumberAt, kPartNumberSize) &&
           same_text(record + kSerialNumberAt, parent.data() + kParentSerialNumberAt, kSerialNumberSize) &&
           same_text(record + kDashLevelAt, parent.data() + kParentDashLevelAt, kDashLevelSize) &&
           same_text(record + kFruPathAt, reinterpret_cast<const uint8_t *>(path.data()), path_length);
}

void copy_bytes(uint8_t *to, const uint8_t *from, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        to[i] = from[i];
}

// Fills record slot `index` with this installation: the time, the FRU path
// from the midplane's slot number and the parent's identity.
int fill_installr_record(RecordSlots slots, uint8_t index, const ParentIdentity &parent)
{
    if (index >= kRecordSlots)
        return -1;  // not reached: the ring header was checked before
    uint8_t slot = 0;
    if (arkb_read_slotid(&slot) < 0)
        return -1;
    uint8_t *record = slots.data() + kRecordSize * index;
    store_be32(std::span<uint8_t, 4>(record + kTimestampAt, 4), static_cast<uint32_t>(std::time(nullptr)));
    const FruPath path = format_fru_path(slot);
    static_assert(kFruPathTextSize <= kFruPathSize);
    for (std::size_t i = 0; i < path.size(); ++i) {
        record[kFruPathAt + i] = static_cast<uint8_t>(path[i]);
        if (path[i] == '\0')
            break;
    }
    copy_bytes(record + kSerialNumberAt, parent.data() + kParentSerialNumberAt, kSerialNumberSize);
    copy_bytes(record + kPartNumberAt, parent.data() + kParentPartNumberAt, kPartNumberSize);
    copy_bytes(record + kDashLevelAt, parent.data() + kParentDashLevelAt, kDashLevelSize);
    return 0;
}

// A header that could place a record outside the slots (left blank by an
// interrupted creation, or foreign) starts the ring afresh: a capacity
// outside 1 to 5, or an oldest or newest index not below the capacity.
// Anything else is taken as written; a record count above the capacity only
// stops growing, and the records already in the ring are kept.
void repair_ring_header(RingImage &ring)
{
    const unsigned capacity = ring[kRingCapacityAt];
    if (capacity >= 1 && capacity <= kRecordSlots && ring[kRingOldestAt] < capacity &&
        ring[kRingNewestAt] < capacity)
        return;
    for (std::size_t i = 0; i < kFreshRingHeader.size(); ++i)
        ring[kRingSegmentAt + i] = kFreshRingHeader[i];
}

uint8_t next_index(uint8_t index, uint8_t capacity)
{
    const auto next = static_cast<uint8_t>(index + 1);
    return next == capacity ? 0 : next;
}

// Adds this installation to the ring image; -1 when the slot number cannot be
// read from the midplane.
int add_record(RingImage &ring, const ParentIdentity &parent)
{
    const RecordSlots slots(ring.data() + kRingSlotsAt, kSlotBytes);
    uint8_t &oldest = ring[kRingOldestAt];
    uint8_t &newest = ring[kRingNewestAt];
    uint8_t &count = ring[kRingCountAt];
    const uint8_t capacity = ring[kRingCapacityAt];
    if (count == 0) {
        if (fill_installr_record(slots, 0, parent) < 0)
            return -1;
        count = 1;
        return 0;
    }
    newest = next_index(newest, capacity);
    if (fill_installr_record(slots, newest, parent) < 0)
        return -1;
    if (count < capacity)
        ++count;
    if (newest == oldest)
        oldest = next_index(oldest, capacity);
    return 0;
}

[[gnu::noinline]] int update_installation_instance()
{
    uint8_t slot = 0;
    if (arkb_get_slotid(&slot) != 0)
        return -1;
    RingImage ring{};
    if (eeprom_read(std::span(ring).first<kRingReadSize>(), kRingWindowStart) < 0)
        return -1;
    ParentIdentity parent{};
    if (get_manr_info(parent.data()) < 0)
        return -1;

    repair_ring_header(ring);
    const uint8_t *newest = ring.data() + kRingSlotsAt + kRecordSize * ring[kRingNewestAt];
    if (ring[kRingCountAt] != 0 && already_recorded(newest, parent, slot))
        return 0;
    if (add_record(ring, parent) < 0)
        return -1;

    ring[kRingTrailerAt] = kTrailerTag;
    store_be32(std::span(ring).subspan<kRingTrailerAt + 1, kChecksumSize>(),
               compute_checksum32(ring.data() + kRingSegmentAt, static_cast<int>(kChecksummedSize)));
    return eeprom_write(ring, kRingWindowStart) < 0 ? -1 : 0;
}

// ---- Dump ------------------------------------------------------------------------

constexpr const char *kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kTimeTextSize = 64;

// The local time in the asctime() form, with its newline.
void format_local_time(uint32_t seconds, std::span<char, kTimeTextSize> text)
{
    const auto t = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11) {
        std::snprintf(text.data(), text.size(), "?\n");
        return;
    }
    std::snprintf(text.data(), text.size(), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDayNames[local.tm_wday],
                  kMonthNames[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  1900 + local.tm_year);
}

void print_slot(const uint8_t *slots, unsigned index, int &n)
{
    if (index >= kRecordSlots)
        return;  // the ring copy has no such slot
    (void)print_installr_struct(slots + kRecordSize * index, n);
    std::putchar('\n');
    ++n;
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int get_manr_info(uint8_t *out)
{
    ChassisImage image;
    const int rc = arkmp_tnlblk_read(kChassisTarget, image.data.data(), static_cast<int>(kChassisDataSize),
                                     static_cast<int>(kChassisDataStart), kTunnelOffsetWidth, kTunnelUnit);
    if (rc < 0)
        return rc;
    return find_manr(image, out);
}

int arkb_instrec_update(void)
{
    constexpr const char *fn = "arkb_instrec_update";
    if (create_installr_segment() < 0) {
        arkb_output(kLogError, "%s::%s::%d:Error Could not create InstallR segment\n", kUnitDynfru, fn, 506);
        return -1;
    }
    if (update_installation_instance() < 0) {
        arkb_output(kLogError, "%s::%s::%d:Error Could not update installation instance\n", kUnitDynfru, fn,
                    511);
        return -1;
    }
    return 0;
}

int print_installr_struct(const uint8_t *record, int n)
{
    std::array<char, kTimeTextSize> when{};
    format_local_time(load_be32(std::span<const uint8_t, 4>(record + kTimestampAt, 4)), when);
    const auto text = [record](unsigned at) { return reinterpret_cast<const char *>(record + at); };
    std::printf("/InstallationR[%d]/UNIX_Timestamp32=%s", n, when.data());
    std::printf("/InstallationR[%d]/Fru_Path=%.128s\n", n, text(kFruPathAt));
    std::printf("/InstallationR[%d]/Parent_Part_Number=%1.7s\n", n, text(kPartNumberAt));
    std::printf("/InstallationR[%d]/Parent_Serial_Number=%1.6s\n", n, text(kSerialNumberAt));
    return std::printf("/InstallationR[%d]/Parent_Dash_Level=%1.2s\n", n, text(kDashLevelAt));
}

int printf_installationR(void)
{
    std::array<uint8_t, kChecksummedSize> copy{};
    if (eeprom_read(copy, kSegmentStart) < 0)
        return -1;
    const unsigned oldest = copy[kCopyOldestAt];
    const unsigned newest = copy[kCopyNewestAt];
    const unsigned count = copy[kCopyCountAt];
    const uint8_t *slots = copy.data() + kCopySlotsAt;
    int n = 0;
    for (unsigned i = oldest; i < count; ++i)
        if (i != newest)
            print_slot(slots, i, n);
    if (oldest != 0 && newest != 0)
        for (unsigned i = 0; i < newest; ++i)
            print_slot(slots, i, n);
    print_slot(slots, newest, n);
    return 0;
}

int arkb_instrec_test(void)
{
    const int rc = printf_installationR();
    if (rc >= 0)
        return rc;
    return std::printf("errrr\n");
}

}  // extern "C"
