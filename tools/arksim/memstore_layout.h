// The layouts of the memstore keys that hold numbers, so that show --json can
// give their values as numbers (byte order as the library keeps them:
// big-endian, except the chassis type, low byte first).
#ifndef ARKSIM_MEMSTORE_LAYOUT_H
#define ARKSIM_MEMSTORE_LAYOUT_H

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace arkcli {

enum class Layout {
    U8,      // slotid, ARKB/CMMREADY, therm_ovrd
    U16Low,  // chassis_type
    U32,     // device_type, ARKB/SAS_CAPS, arkb_pwrpubtime, SSBCAST/CH/TIMESTAMP
    I32,     // tcontrol, available_power, ARKB/PWRDEC, the broadcast sensors
    TwoU16,  // ARKB/PWRBUDGET: hardware-configuration power, permitted power
};

std::optional<Layout> key_layout(std::string_view key);
// The value, when `v` has the layout's size.  TwoU16 gives the first figure
// here and the second through `second`.
std::optional<long long> decode_number(Layout l, std::span<const uint8_t> v, long long *second = nullptr);

}  // namespace arkcli

#endif
