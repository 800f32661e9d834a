// Reading back what a simulated chassis looks like to a blade.
#ifndef ARKSIM_INSPECT_H
#define ARKSIM_INSPECT_H

#include <cstdint>
#include <string>

namespace arksim {

// The chassis type code the blade's midplane probe finds from registers
// 0x9c, 0x4c and 0x7e.
uint16_t probe_chassis_type(const std::string &chassis);

// Midplane register that holds the thermal override of `slot`.
inline uint8_t thermal_register(int slot) { return static_cast<uint8_t>((slot * 2) & 0xFE); }

inline constexpr int kThermalOverrideOff = 0x7F;
inline constexpr int kThermalOverrideOn = 0x5F;

}  // namespace arksim

#endif
