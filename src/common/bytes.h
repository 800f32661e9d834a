// Big-endian encoding of the integers that the library keeps in memstore,
// the FRU EEPROM and tunnel block memory: explicit on every host, so the
// bytes are those of the SP's native order whatever the build machine is.
#ifndef ARKBLADE_BYTES_H
#define ARKBLADE_BYTES_H

#include <array>
#include <cstdint>
#include <span>

namespace arkb {

inline uint16_t load_be16(std::span<const uint8_t, 2> b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }

inline uint32_t load_be32(std::span<const uint8_t, 4> b)
{
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

inline void store_be16(std::span<uint8_t, 2> b, uint16_t v)
{
    b[0] = static_cast<uint8_t>(v >> 8);
    b[1] = static_cast<uint8_t>(v);
}

inline void store_be32(std::span<uint8_t, 4> b, uint32_t v)
{
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

inline std::array<uint8_t, 4> be32(uint32_t v)
{
    std::array<uint8_t, 4> b{};
    store_be32(b, v);
    return b;
}

}  // namespace arkb

#endif
