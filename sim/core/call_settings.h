/*
 * What the stand-ins keep of a blade's files between calls, and the change
 * counter that tells them to read the files again.
 *
 * A call needs the blade's fault rules (<sp>/faults), the chassis's answer
 * mode and bus speed (<chassis>/answers, <chassis>/bus_khz), the shared
 * counters (<sp>/stats.bin) and the journal (<sp>/journal, kept open for
 * appending).  A process reads them at its first call and again only when:
 *
 *   - the blade's change counter (Stats::changes, in the shared mapping of
 *     stats.bin) moved: every writer of those files bumps it (note_change,
 *     ChangeNotice), the tools' commands and the stand-ins alike;
 *   - ARKSIM_SP names another folder;
 *   - kRecheckNs went by since the last reading, so that a file edited by
 *     hand is taken up within that time.
 */
#ifndef ARKSIM_CALL_SETTINGS_H
#define ARKSIM_CALL_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>
#include <sys/types.h>

#include "answers.h"
#include "fault_rule.h"
#include "simstate.h"
#include "unique_fd.h"

namespace arksim {

inline constexpr uint64_t kRecheckNs = 1000000000;

struct Settings {
    std::string sp;                // the blade's folder they are of
    Stats *stats = nullptr;        // the shared counters; nullptr when unmappable
    std::vector<FaultRule> rules;  // the well-formed rules of <sp>/faults
    AnswerMode answers;
    unsigned khz = 0;       // bus speed, 0: untimed
    UniqueFd journal;       // <sp>/journal, O_APPEND; use journal_fd()
    dev_t journal_dev = 0;  // which file it is, to tell when the program
    ino_t journal_ino = 0;  // closed the descriptor or put another on it
    uint32_t seen = 0;      // the change counter they were read at
    uint64_t read_ns = 0;   // when, on the monotonic clock
};

/* The process's settings under its lock, up to date when taken: one thread
 * at a time reads or uses them (the journal's fd among them). */
class SettingsHold {
public:
    SettingsHold();
    ~SettingsHold();
    SettingsHold(const SettingsHold &) = delete;
    SettingsHold &operator=(const SettingsHold &) = delete;
    const Settings &operator*() const;
    const Settings *operator->() const { return &**this; }
    // Reads the files again if the counter moved since they were read.
    void recheck();
    // The journal's descriptor, opened again when the program closed it or
    // put another file on its number; -1 when it cannot be opened.
    int journal_fd();
};

/* The shared counters of <sp>/stats.bin, mapped for the life of the process
 * (redone when `path` names another file or the file was replaced). */
Stats *map_stats(const std::string &path, bool create);
/* Adds `by` to a counter of the mapping (stored big-endian); its new value. */
uint32_t bump(uint32_t &counter, uint32_t by);

/* Bumps the change counter of the blade at `dir`, or of every blade of the
 * chassis at `dir`. */
void note_change(const std::string &dir);

/* For a blade's or chassis's folder about to be replaced, moved or removed:
 * holds the change counters of the blades it has now and bumps them when it
 * goes out of scope, once the new files are in place, so that the processes
 * that kept the old files take up the new ones. */
class ChangeNotice {
public:
    explicit ChangeNotice(const std::string &dir);
    ~ChangeNotice();
    ChangeNotice(const ChangeNotice &) = delete;
    ChangeNotice &operator=(const ChangeNotice &) = delete;

private:
    std::vector<void *> held_;  // mappings of the blades' stats.bin
};

}  // namespace arksim

#endif
