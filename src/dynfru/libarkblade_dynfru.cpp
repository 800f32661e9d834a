// Installation history in the motherboard FRU EEPROM: the update at
// start-up that adds this installation to the ring of five InstallationR
// records.  The segment's creation (installr_segment.cpp), the parent's
// lookup (manr_lookup.cpp) and the dump (instrec_dump.cpp) are the other
// files of this unit; its log lines carry the unit name
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
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "fru_layout.h"

namespace arkb {
namespace {

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

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" int arkb_instrec_update(void)
{
    constexpr const char *fn = "arkb_instrec_update";
    if (create_installr_segment() < 0) {
        log_line(kLogError, {kUnitDynfru, fn, 506}, "Error Could not create InstallR segment\n");
        return -1;
    }
    if (update_installation_instance() < 0) {
        log_line(kLogError, {kUnitDynfru, fn, 511}, "Error Could not update installation instance\n");
        return -1;
    }
    return 0;
}
