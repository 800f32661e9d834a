// An SP platform held in process memory, for the fuzz targets of the
// library's parsers: the outside functions the library calls, defined in the
// fuzz executable itself so that they take the place of the file-backed
// stand-ins (which stay loaded, unused).  Each platform call costs no system
// call; an execution is thousands of times cheaper than on the files.
//
// Same answers as the stand-ins for the calls these targets make: the FRU
// EEPROM (bus 4, 0xA0, 16-bit offsets, 64-byte pages), tunnel block memory
// (zeros until written), memstore (a value answers only a read of its own
// length), the slot register, and the FRU helpers' checksums and tags.
#ifndef ARKB_FUZZ_MEM_PLATFORM_H
#define ARKB_FUZZ_MEM_PLATFORM_H

#include <cstdint>
#include <span>
#include <string>

namespace fuzz::mem {

// Blank EEPROM (0xFF), zeroed tunnels, empty memstore, slot byte 3.
void reset();
// The EEPROM from offset 0: `bytes`, then blank.
void set_eeprom(std::span<const uint8_t> bytes);
void set_tunnel(uint8_t target, uint32_t offset, std::span<const uint8_t> bytes);
void set_key(const std::string &key, std::span<const uint8_t> value);

}  // namespace fuzz::mem

#endif
