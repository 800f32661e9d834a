// `arksim journal` for a person: each call on one line with its time, long
// byte runs shortened.
#ifndef ARKSIM_JOURNAL_VIEW_H
#define ARKSIM_JOURNAL_VIEW_H

#include <string>
#include <string_view>

#include "arksim_cli.h"
#include "core/journal_line.h"
#include "core/sp_log.h"

namespace arkcli {

// Byte runs longer than this are shown as their head, length and tail.
inline constexpr std::size_t kJournalFullBytes = 32;
inline constexpr std::size_t kJournalHeadBytes = 16;
inline constexpr std::size_t kJournalTailBytes = 8;
// The option of every view of calls that shows their bytes whole.
inline constexpr Opt kFullBytesOpt = {"--full", "",
                                      "every byte a call moved (default: runs over 32 bytes shortened)"};

// "12:00:01.250  bus 0.371 ms  4321  arkmp_read(0x9c, 1) = 1 : 18"; the bus
// time only on a timed bus, a rule's injected result marked "<fault: 1 -1>".
std::string journal_text(const arksim::JournalLine &l, bool full);
// A log entry for a person: "14:03:07.412  4242  arkbctl  err     uucp
// libarkblade::f::12:Error", the message escaped without its final newline.
std::string log_text(const arksim::LogEntry &e);
// "14:03:07.412": the local time of day of a stamp, to the millisecond;
// "(no time)   " for an entry that has none.
std::string stamp_time(const std::optional<uint64_t> &wall_us);

}  // namespace arkcli

#endif
