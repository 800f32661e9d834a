// Creation of the InstallR segment in the motherboard FRU EEPROM section:
// its descriptor appended to the directory, the section header recounted,
// the ring header and the checksum trailer written, each small change a
// 32-byte read-modify-write window on a 16-byte boundary.
#include <array>
#include <cstdint>
#include <span>

#include "../common/bytes.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "fru_layout.h"

namespace arkb {

int eeprom_read(std::span<uint8_t> buf, unsigned offset)
{
    return arkbp_read_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()), offset);
}

int eeprom_write(std::span<const uint8_t> buf, unsigned offset)
{
    return arkbp_write_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()), offset);
}

namespace {

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

}  // namespace

// Kept out of line so that its buffers are not on the stack during the ring
// update.
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

}  // namespace arkb
