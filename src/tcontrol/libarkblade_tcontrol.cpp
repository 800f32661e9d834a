// Thermal control setting: stored in memstore "tcontrol"; the setting 4 needs
// the thermal override on, every other setting needs it off.  Log lines carry
// the unit name "libarkblade_tcontrol".
#include <array>

#include "../common/bytes.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"

namespace arkb {
namespace {

constexpr int32_t kSettingOverrideOn = 4;
constexpr uint8_t kOverrideUnknown = 255;

int switch_failed(int line)
{
    log_line(kLogError, {kUnitTcontrol, "arkb_set_tcontrol", line}, "Error arkb_set_thermovrd failed.\n\n");
    return -1;
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int arkb_set_tcontrol(int32_t value)
{
    const auto raw = be32(static_cast<uint32_t>(value));
    if (memstore_set(kKeyTcontrol, raw.data(), 4) != 1) {
        log_line(kLogError, {kUnitTcontrol, "arkb_set_tcontrol", 31}, "Error error memstore %s\n",
                 kKeyTcontrol);
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
    *value = static_cast<int32_t>(load_be32(raw));
    return 0;
}

}  // extern "C"
