// Blades built from a field blade's snapshot (`arkbctl snapshot`, its
// fields in arkbctl.1): `arksim create --from` and `arksim add-blade --from`.
#ifndef ARKSIM_SNAPSHOT_IMPORT_H
#define ARKSIM_SNAPSHOT_IMPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot_format.h"

namespace arkcli {

// The newest snapshot format this arksim reads.
inline constexpr int kSnapshotVersion = arkb_snapshot::kVersion;

using Bytes = std::vector<uint8_t>;

// A span of bytes the SP read: where, and the bytes (none when unreadable).
struct SnapshotSpan {
    unsigned offset = 0;
    std::optional<Bytes> bytes;
};

// A memstore key as the SP read it.
struct SnapshotKey {
    std::string name;
    bool present = false;
    std::optional<Bytes> bytes;  // none: absent, or present but unreadable
    long long length = 0;
};

struct Snapshot {
    using Span = SnapshotSpan;
    using Key = SnapshotKey;
    std::string taken_by;
    long long uptime = -1;  // -1: not recorded
    int slot = -1;          // -1: the slot byte was unreadable
    // Registers 0x9C, 0x4C, 0x7E: the value, -1 when the SP could not read it.
    int registers[3] = {-1, -1, -1};
    int thermal_register = -1, thermal_value = -1;
    std::vector<Key> keys;
    std::vector<std::pair<std::string, std::optional<Bytes>>> files;  // /dev/shm/NAME
    std::vector<std::pair<std::string, bool>> present;                // the switch files
    std::vector<Span> eeprom;
    std::optional<Span> mailbox;                // offset in the slot's tunnel memory
    std::optional<Span> chassis_fru;            // offset in target 0xAA's
    std::optional<std::pair<int, int>> budget;  // published: hwconfig, permitted
};

// Reads and checks a snapshot, every member against what the library reads;
// false with "PATH ... reason" in `error` (a newer format version, a damaged
// or foreign file, one that is too large or no regular file).
bool read_snapshot(const std::string &path, Snapshot &out, std::string &error);
// The same for a document's text, named `path` in the errors.
bool parse_snapshot(std::string_view text, const std::string &path, Snapshot &out, std::string &error);

// The blade's allotment (its memstore key available_power), when it was read.
std::optional<long long> snapshot_allotment(const Snapshot &s);

// The chassis's part (its type registers, the slot's thermal override, its
// FRU data) into `chassis`; the blade's own part (memstore, /dev/shm, switch
// files, EEPROM, uptime) into the blade folder `sp`; the blade's part in the
// chassis (mailbox, published budget) into `chassis` at slot `slot`.
// `notes` gathers what had to be left out; false with "cannot write PATH:
// reason" in `error`.
bool import_chassis(const std::string &chassis, const Snapshot &s, std::vector<std::string> &notes,
                    std::string &error);
bool import_blade(const std::string &sp, const Snapshot &s, std::vector<std::string> &notes,
                  std::string &error);
bool import_slot(const std::string &chassis, int slot, const Snapshot &s, std::vector<std::string> &notes,
                 std::string &error);

}  // namespace arkcli

#endif
