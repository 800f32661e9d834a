// The memstore keys that the library reads and writes, in one place, with
// the reader of the stored slot number that every subsystem shares.
#ifndef ARKBLADE_KEYS_H
#define ARKBLADE_KEYS_H

#include <cstdint>

namespace arkb {

// Blade state.
inline constexpr const char *kKeySlot = "slotid";  // 1 byte; 255: no slot number
inline constexpr const char *kKeyDeviceType = "device_type";
inline constexpr const char *kKeyChassisType = "chassis_type";  // 2 bytes, low byte first
inline constexpr const char *kKeySasCaps = "ARKB/SAS_CAPS";
inline constexpr const char *kKeyCmmReady = "ARKB/CMMREADY";
inline constexpr const char *kKeyBroadcast = "SSBCAST/CH/TIMESTAMP";  // written by the CMM's broadcast
inline constexpr const char *kKeyThermOvrd = "therm_ovrd";

// Power budgeting.
inline constexpr const char *kKeyBudget = "ARKB/PWRBUDGET";
inline constexpr const char *kKeyPubTime = "arkb_pwrpubtime";
inline constexpr const char *kKeyAvailable = "available_power";
inline constexpr const char *kKeyDecision = "ARKB/PWRDEC";

// Thermal control.
inline constexpr const char *kKeyTcontrol = "tcontrol";

inline constexpr uint8_t kNoSlot = 255;

// Reads the one byte of "slotid" straight into *slot (memstore may leave it
// as it was when the key is missing).  0 when memstore answered 1, else -1.
// Whether 255 counts as a slot number is the caller's rule.
int read_stored_slot(uint8_t *slot);

}  // namespace arkb

#endif
