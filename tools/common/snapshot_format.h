// The blade snapshot's format, shared by its writer (`arkbctl snapshot`) and
// its reader (`arksim create --from`, `add-blade --from`): what is recorded,
// at which lengths and places, so that a reader accepts only what the
// library itself reads.
#ifndef ARKB_SNAPSHOT_FORMAT_H
#define ARKB_SNAPSHOT_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace arkb_snapshot {

inline constexpr const char *kFormat = "arkblade-snapshot";
// Raised whenever a field changes its meaning; readers refuse newer ones.
inline constexpr int kVersion = 1;

// Every memstore key the library reads or writes, at the length it uses.
struct Key {
    const char *name;
    int length;
};
inline constexpr Key kKeys[] = {
    {"slotid", 1},          {"chassis_type", 2},         {"device_type", 4},     {"ARKB/SAS_CAPS", 4},
    {"ARKB/CMMREADY", 1},   {"SSBCAST/CH/TIMESTAMP", 4}, {"therm_ovrd", 1},      {"tcontrol", 4},
    {"arkb_pwrpubtime", 4}, {"ARKB/PWRBUDGET", 4},       {"available_power", 4}, {"ARKB/PWRDEC", 4},
};
// The blade's allotment, the grant of the CMM it last heard (4 bytes, big-endian).
inline constexpr const char *kAllotmentKey = "available_power";
// The P_OVER_WARN sensor of the chassis broadcast, whose key the sensor
// library names from this prefix.
inline constexpr uint8_t kPowerSensor[2] = {131, 0};
inline constexpr const char *kSensorPrefix = "SSBCAST/CH";
inline constexpr int kSensorLength = 4;

// The chassis type registers.
inline constexpr uint8_t kRegisters[] = {0x9C, 0x4C, 0x7E};
inline constexpr const char *kRegisterNames[] = {"0x9c", "0x4c", "0x7e"};
inline constexpr int kRegisterCount = 3;
// A slot's thermal override register, and its mailbox's tunnel target.
constexpr uint8_t thermal_register(int slot) { return static_cast<uint8_t>((slot * 2) & 0xFE); }
constexpr uint8_t mailbox_target(int slot) { return static_cast<uint8_t>(0x80 | thermal_register(slot)); }

// The files of /dev/shm the library writes, and the switch files whose
// presence it checks.
inline constexpr const char *kShmFiles[] = {"/dev/shm/slotid", "/dev/shm/chassis_type"};
inline constexpr std::size_t kMaxShmFile = 4096;
inline constexpr const char *kSwitchFiles[] = {"/persist/node1", "/conf/override_powerctl",
                                               "/usr/local/bin/frutool"};

// The EEPROM spans the library reaches: the section header and the largest
// directory with the 32-byte window after it, and the InstallR segment with
// the bytes before it that its windows rewrite.
struct Span {
    unsigned offset, length;
};
inline constexpr Span kEepromSpans[] = {{0, 288}, {3184, 6144 - 3184}};
inline constexpr unsigned kEepromSize = 16384;

inline constexpr uint8_t kChassisFruTarget = 0xAA;
inline constexpr unsigned kChassisFruOffset = 0x1800, kChassisFruLength = 0x800;
inline constexpr unsigned kTunnelSize = 65536;
inline constexpr unsigned kMailboxLength = 256;  // all of an 8-bit-offset tunnel
inline constexpr int kMaxWatts = 65535;          // a published budget's 16-bit figures

}  // namespace arkb_snapshot

#endif
