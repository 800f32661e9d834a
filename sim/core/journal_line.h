/*
 * One line of a blade's journal (<sp>/journal), every outside call its
 * programs made:
 *
 *   <stamp> <call> = <result>[ <MODE: PLAIN>][ : <hex bytes>]
 *
 * <stamp> is one word, "<pid>@<seconds>.<microseconds>" (the wall clock when
 * the call returned), followed by ",tid=<tid>" for a call from another
 * thread than the process's main one (its kernel thread id), ",bus=<ns>" on a
 * timed bus (the call's modelled bus time) and ",fault=<when>/<value>" when a
 * fault rule
 * answered for the call (or cut the power after it).  The rest of the line
 * is the call with its arguments, its result, the answer mode's mark (see
 * answers.h) and the bytes it moved, all of them.  A line of an older
 * journal, whose first word is the pid alone, reads with no time.
 */
#ifndef ARKSIM_JOURNAL_LINE_H
#define ARKSIM_JOURNAL_LINE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace arksim {

struct JournalStamp {
    long pid = 0;
    long thread = 0;                  // kernel thread id; 0: the main thread
    std::optional<uint64_t> wall_us;  // microseconds since the epoch
    std::optional<uint64_t> bus_ns;   // modelled bus time, on a timed bus
    std::string fault;                // "1 -1": the rule that answered, or empty
};

std::string format_stamp(const JournalStamp &s);
// False for a word that is not a stamp.
bool parse_stamp(std::string_view word, JournalStamp &s);

struct JournalLine {
    JournalStamp stamp;
    std::string call;  // "memstore_get(\"slotid\", 1) = 1 <edge: 0>", without the bytes
    std::string hex;   // "03 00", or empty
    std::size_t bytes() const { return hex.empty() ? 0 : (hex.size() + 1) / 3; }
    // The function's name: the call up to its '('.
    std::string_view function() const;
};

// False for a line that is not a journal line.
bool parse_journal_line(std::string_view line, JournalLine &out);

}  // namespace arksim

#endif
