// Running a chassis's CMM daemon from outside: starting it detached and
// waiting until it serves, stopping it, changing how it behaves, choosing the
// blades of its sensor broadcast, and reading its status.  `arksim cmm` and
// `arksim broadcast` are front ends of these; tests use them directly.
#ifndef ARKSIM_CMM_CONTROL_H
#define ARKSIM_CMM_CONTROL_H

#include <string>
#include <vector>

#include "cmm_state.h"

namespace arksim::cmm {

// The daemon to run: arkcmm next to the running program (an installed
// pair), else the one built with the simulator.
std::string daemon_program();

enum class Outcome {
    Done,        // started, stopped or changed as asked
    WasRunning,  // start: a daemon served already
    NotRunning,  // stop: none ran
    Failed,      // `error` says why
};

struct Result {
    Outcome outcome = Outcome::Failed;
    int pid = -1;          // the daemon's pid, when one runs or ran
    std::string error;     // for Failed
    std::string log_tail;  // for a start that Failed: the end of the daemon's log
    bool ok() const { return outcome != Outcome::Failed; }
};

// Starts the daemon of `chassis` in a session of its own (reparented, so
// that it outlives the caller) and waits until it serves or has given up.
// owner > 0: it ends when that process does.  An empty `program` is
// daemon_program().
Result start(const std::string &chassis, int owner = 0, const std::string &program = "");
// Starts it when the chassis is configured to have one (`create --cmm`) and
// none runs; Done without starting anything otherwise.
Result start_configured(const std::string &chassis);
// Stops it: SIGTERM, then SIGKILL when it does not end in time.
Result stop(const std::string &chassis);

// The misbehaviour directives, one line of <chassis>/cmm/behaviour:
// "reply TEXT" (escapes as in unescape), "close", "split", "delay MS"
// (0..60000), "nolisten"; "normal" removes the file.  Checks the words, writes
// them, and waits until a running daemon's listener follows.
bool set_behaviour(const std::string &chassis, const std::vector<std::string> &words, std::string &text,
                   std::string &error);

// The broadcast setting with blade `name` started or stopped (all: every
// blade, or none), from the current setting `current` of `chassis`.
std::string broadcast_setting(const std::string &chassis, const Config &current, const std::string &name,
                              bool start, bool all);
// Waits until the broadcast reached blade folder `sp` (its timestamp key).
bool await_broadcast(const std::string &sp);

// What `arksim cmm status` shows.
struct Status {
    int pid = -1;  // -1: not running, 0: starting
    bool listening = false;
    Config config;
    Allotments allotments{};
    long allotted = 0;
    std::string behaviour;                   // "" when normal
    std::vector<std::string> last_requests;  // oldest first
};
Status read_status(const std::string &chassis, std::size_t requests);
// The names of the blades in slot `index` (one, unless a chassis was edited by hand).
std::vector<std::string> blades_at(const std::string &chassis, int index);

}  // namespace arksim::cmm

#endif
