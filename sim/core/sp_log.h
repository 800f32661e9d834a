/*
 * The simulated SP's system log.  `arksim run` serves the SP's /dev/log and
 * appends one line per entry to <sp>/log:
 *
 *   <pid>@<seconds>.<microseconds> <name> <facility> <severity> <message>
 *
 * The first word is the journal's stamp (journal_line.h): the sending
 * process's id, from the socket's credentials, and the wall clock when the
 * entry arrived.  <name> is the sender's syslog tag ("-" when it gave none and
 * its /proc entry was gone).  facility and severity are decimal; in the
 * message a backslash is written "\\", a newline "\n" and any other byte
 * below 0x20 or 0x7f "\xhh".  A line of an older log, "<facility> <severity>
 * <message>", reads with no time, pid or name.
 *
 * A datagram whose whole text is "arksim-sync <token>" is not logged: the
 * server writes <token> to <sp>/log.sync once every earlier datagram is in the
 * log, which is how a program in the SP waits for its own entries.
 */
#ifndef ARKSIM_LOG_H
#define ARKSIM_LOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace arksim {

struct LogEntry {
    int facility;
    int severity;
    std::string message;
    long pid = 0;  // 0: not known
    std::optional<uint64_t> wall_us;
    std::string name;  // the syslog tag, empty when not known
};

// Waits until every entry sent to /dev/log before the call is in <sp>/log.
// False when the log server did not answer within `timeout_ms`.
bool sync_log(const std::string &sp, int timeout_ms = 5000);
std::vector<LogEntry> read_log(const std::string &sp);
void clear_log(const std::string &sp);

/* --- the log format, shared with the log server -------------------- */
inline constexpr std::string_view kSyncPrefix = "arksim-sync ";

// One datagram as a syslog client sends it: "<PRI>Mmm dd hh:mm:ss tag: text"
// or "... tag[pid]: text" (name and pid taken from the tag).  Without a valid
// <PRI> the whole datagram is the message, facility 1 (user), severity 5
// (notice).
LogEntry parse_syslog_datagram(std::string_view datagram);
std::string escape_log_message(std::string_view message);
std::string unescape_log_message(std::string_view escaped);
std::string format_log_line(const LogEntry &e);  // with the final newline
// The message as a person reads it: escaped, its trailing newlines dropped.
std::string shown_log_message(std::string_view message);
const char *facility_name(int facility);  // "uucp"; "?" when unknown
const char *severity_name(int severity);  // "err"

}  // namespace arksim

#endif
