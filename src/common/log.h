// Log priorities and the source-unit names that lead every log line.
#ifndef ARKBLADE_LOG_H
#define ARKBLADE_LOG_H

namespace arkb {

inline constexpr int kLogError = 3;
inline constexpr int kLogNotice = 5;

inline constexpr const char *kUnitCore = "libarkblade";
inline constexpr const char *kUnitDynfru = "libarkblade_dynfru";
inline constexpr const char *kUnitNetconf = "libarkblade_netconf";
inline constexpr const char *kUnitPower = "libarkblade_power";
inline constexpr const char *kUnitPowerCmm = "libarkblade_power_cmm";
inline constexpr const char *kUnitTcontrol = "libarkblade_tcontrol";

}  // namespace arkb

#endif
