// The parent of an installation record: the chassis's manufacturing record,
// found in the "SD" segment of the chassis's FRU data behind the midplane
// tunnel.  The chassis data is untrusted: no descriptor, tag header or
// payload is read or copied past the image or the caller's 183 bytes.
#include <array>
#include <cstdint>
#include <span>

#include "../common/bytes.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "fru_layout.h"

namespace arkb {
namespace {

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

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" int get_manr_info(uint8_t *out)
{
    ChassisImage image;
    const int rc = arkmp_tnlblk_read(kChassisTarget, image.data.data(), static_cast<int>(kChassisDataSize),
                                     static_cast<int>(kChassisDataStart), kTunnelOffsetWidth, kTunnelUnit);
    if (rc < 0)
        return rc;
    return find_manr(image, out);
}
