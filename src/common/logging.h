// Log priorities, the source-unit names that lead every log line, and the
// one writer of the library's "<unit>::<function>::<line>:" lines.
#ifndef ARKBLADE_LOGGING_H
#define ARKBLADE_LOGGING_H

#include <cstdarg>

namespace arkb {

inline constexpr int kLogError = 3;
inline constexpr int kLogNotice = 5;

inline constexpr const char *kUnitCore = "libarkblade";
inline constexpr const char *kUnitDynfru = "libarkblade_dynfru";
inline constexpr const char *kUnitNetconf = "libarkblade_netconf";
inline constexpr const char *kUnitPower = "libarkblade_power";
inline constexpr const char *kUnitPowerCmm = "libarkblade_power_cmm";
inline constexpr const char *kUnitTcontrol = "libarkblade_tcontrol";

// Where a log line comes from.  Unit, function and line make the
// "%s::%s::%d:" prefix of the line.  The line numbers are part of the log
// contract: SP programs match these lines, numbers included, so each is a
// fixed value at its call, never __LINE__.
struct LogSite {
    const char *unit;
    const char *function;
    int line;
};

// Formats a line as printf does and sends it to the system log at `priority`
// with the library's facility (LOG_UUCP): arkb_output.  Cut at 511 characters.
void log_vformat(int priority, const char *format, va_list args);

// Writes "<unit>::<function>::<line>:<text>" to the system log as
// log_vformat does, the prefix counted in the 511 characters; `format` and its
// arguments make the text, which starts with "Error" or "Notice" and ends with
// its own newline(s).
void log_line(int priority, LogSite site, const char *format, ...) __attribute__((format(printf, 3, 4)));

// The bare error line "<unit>::<function>::<line>:Error".
inline void log_error(LogSite site) { log_line(kLogError, site, "Error\n"); }

}  // namespace arkb

#endif
