// `arksim journal` for a person: each call on one line with its time, long
// byte runs shortened.
#ifndef ARKSIM_JOURNAL_VIEW_H
#define ARKSIM_JOURNAL_VIEW_H

#include <string>
#include <string_view>

#include "core/journal_line.h"

namespace arkcli {

// Byte runs longer than this are shown as their head, length and tail.
inline constexpr std::size_t kJournalFullBytes = 32;
inline constexpr std::size_t kJournalHeadBytes = 16;
inline constexpr std::size_t kJournalTailBytes = 8;

// "12:00:01.250  bus 0.371 ms  4321  arkmp_read(0x9c, 1) = 1 : 18"; the bus
// time only on a timed bus, a rule's injected result marked "<fault: 1 -1>".
std::string journal_text(const arksim::JournalLine &l, bool full);

}  // namespace arkcli

#endif
