// Functions shared between the library's source units; none is exported.
#ifndef ARKBLADE_INTERNAL_H
#define ARKBLADE_INTERNAL_H

#include <cstdint>

namespace arkb {

// 1 when bit 4 of the slot byte is clear: the slot uses midplane tunnel
// access and may take PCA9501 defaults.
int slot_tunnel_enabled(uint8_t slot);
// The one-byte midplane and tunnel address of a slot.
inline uint8_t slot_target(uint8_t slot) { return static_cast<uint8_t>(0x80 | ((slot * 2) & 0xFE)); }
// The thermal override register of a slot (no 0x80 bit).
inline uint8_t thermal_register(uint8_t slot) { return static_cast<uint8_t>((slot * 2) & 0xFE); }

int write_slotid_file(const char *path, uint8_t slot);
int write_file_bytes(const char *path, const uint8_t *bytes, int count);

}  // namespace arkb

#endif
