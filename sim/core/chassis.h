// Creating and changing a simulated chassis and its blades.
#ifndef ARKSIM_CHASSIS_H
#define ARKSIM_CHASSIS_H

#include <cstdint>
#include <string>
#include <vector>

namespace arksim {

// Chassis type codes that the blade's midplane probe can find, and the
// registers that produce them.
inline constexpr uint16_t kChassisTypes[] = {1302, 3096, 3074, 3331, 3073};

struct Identity;
// The identity a new chassis gets (part, serial, dash level).
extern const Identity kDefaultChassisIdentity;

struct BladeInfo {
    std::string name;
    std::string dir;
    int slot = -1;  // slot byte, -1 when the blade has none
};

std::string blade_dir(const std::string &chassis, const std::string &name);
// The chassis folder is made mode 0700: its maker's alone.
bool create_chassis(const std::string &chassis, uint16_t type_code);
// Makes the registers answer so that the probe finds `type_code`.
bool set_chassis_type(const std::string &chassis, uint16_t type_code);
// Adds a blade (a fresh SP) in slot `slot`; the SP's folders are created.
bool add_blade(const std::string &chassis, const std::string &name, int slot);
// Brings an SP back to a freshly inserted blade: no memstore keys, the
// EEPROM as manufacturing left it, empty SP folders, no journal, faults
// or counters.  Keeps its slot.
bool reset_blade(const std::string &sp);
bool set_slot(const std::string &sp, int slot);
std::vector<BladeInfo> list_blades(const std::string &chassis);

// Midplane registers: value, or -1 when unreadable.
int read_register(const std::string &chassis, uint8_t reg);
bool write_register(const std::string &chassis, uint8_t reg, int value);  // -1 = unreadable

// Tunnel block memory of one target, whole.
bool read_tunnel(const std::string &chassis, uint8_t target, std::vector<uint8_t> &out);
bool write_tunnel_bytes(const std::string &chassis, uint8_t target, uint32_t offset,
                        const std::vector<uint8_t> &bytes);

}  // namespace arksim

#endif
