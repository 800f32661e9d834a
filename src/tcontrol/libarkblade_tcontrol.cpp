// Thermal control setting: stored in memstore "tcontrol"; the setting 4 needs
// the thermal override on, every other setting needs it off.  Log lines carry
// the unit name "libarkblade_tcontrol".
#include <array>

#include "../common/bytes.h"
#include "../common/log.h"
#include "arkb_outside.h"
#include "arkblade.h"

namespace {

constexpr const char *kKeyTcontrol = "tcontrol";
constexpr int32_t kSettingOverrideOn = 4;
constexpr uint8_t kOverrideUnknown = 255;

int switch_failed(int line)
{
    arkb_output(arkb::kLogError, "%s::%s::%d:Error arkb_set_thermovrd failed.\n\n", arkb::kUnitTcontrol,
                "arkb_set_tcontrol", line);
    return -1;
}

}  // namespace

extern "C" {

int arkb_set_tcontrol(int32_t value)
{
    const auto raw = arkb::be32(static_cast<uint32_t>(value));
    if (memstore_set(kKeyTcontrol, raw.data(), 4) != 1) {
        arkb_output(arkb::kLogError, "%s::%s::%d:Error error memstore %s\n", arkb::kUnitTcontrol,
                    "arkb_set_tcontrol", 31, kKeyTcontrol);
        return -1;
    }
    uint8_t current = kOverrideUnknown;
    (void)arkb_get_thermovrd(&current);
    // An override that cannot be read is switched off first, so it ends in a
    // known state even when the setting then switches it on.
    if (current == kOverrideUnknown) {
        if (arkb_set_thermovrd(0) != 0)
            return switch_failed(42);
        current = 0;
    }
    if (current == 1 && value != kSettingOverrideOn)
        return arkb_set_thermovrd(0) != 0 ? switch_failed(54) : 0;
    if (current == 0 && value == kSettingOverrideOn)
        return arkb_set_thermovrd(1) != 0 ? switch_failed(64) : 0;
    return 0;  // already matching, or a byte other than 0 and 1 left as found
}

int arkb_get_tcontrol(int32_t *value)
{
    std::array<uint8_t, 4> raw{};
    if (memstore_get(kKeyTcontrol, raw.data(), 4) != 1)
        return -1;
    *value = static_cast<int32_t>(arkb::load_be32(raw));
    return 0;
}

}  // extern "C"
