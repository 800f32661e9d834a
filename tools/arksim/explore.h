// arksim explore: a program run once cleanly on a copy of a blade, then once
// for every other answer its platform calls may give and for a power cut
// after every bus write, each on a copy of its own, and every run judged
// against the clean one.
#ifndef ARKSIM_EXPLORE_H
#define ARKSIM_EXPLORE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace arkcli::explore {

/* --- the clean run's platform calls (explore_plan.cpp) ----------------- */

struct Call {
    int index = 0;         // its place among the clean run's calls, from 1
    std::string function;  // "memstore_get"
    int nth = 0;           // its place among that function's calls, from 1
    std::string text;      // "memstore_get(\"slotid\", 1) = 1", as journalled
    long long result = 0;  // what it answered
    int length = 1;        // the bytes it moved (1 when none)
    int byte = 0;          // the first of them
    bool writes = false;   // a bus write: a power cut may follow it
    // Bytes written when each page but the last reached the device (the
    // multi-page writes): where a cut part-way may fall.
    std::vector<long long> pages;
};

// The calls of a journal, in order; lines that are no journal lines are left out.
std::vector<Call> journal_calls(const std::vector<std::string> &lines);

// One run of the exploration: the clean run's program with one fault rule.
struct Planned {
    std::string id;        // "12.3": call 12, its third fault
    int call = 0;          // Call::index
    std::string function;  // the rule's function
    std::string rule;      // "memstore_get 3 -1": the line of <sp>/faults
    bool cut = false;      // a power cut: the program's next run must recover
};

// Every answer each call's contract allows other than the clean one, then a
// cut after each bus write (and at each page boundary within one).
std::vector<Planned> plan_runs(const std::vector<Call> &calls);

/* --- one run on a copy of the blade (explore_run.cpp) ------------------ */

// The blade's end state that a run is judged by: file (relative to the
// chassis folder) -> contents, for the memstore, the EEPROM, the tunnel
// memory (the mailbox) and /dev/shm.
using EndState = std::map<std::string, std::string>;

struct Ending {
    int status = 0;      // as `arksim run` ends: 128 + N when killed by signal N
    bool hung = false;   // ended by explore past the time-out
    std::string output;  // stdout, then stderr
    std::string log;     // the system log's entries: severity and message
    EndState state;
};

struct Setup {
    std::string arksim;             // this arksim, to run `arksim run` with
    std::string arkbctl;            // for the start-up after a cut
    std::string chassis, blade;     // the original, never changed
    std::vector<std::string> argv;  // PROGRAM ARGS
    double timeout = 0;             // seconds
    std::string scratch;            // private folder for the copies
};

// Copies the chassis folder with the blade alone, without its journal,
// fault rules, counters, log and CMM: `dest` is made afresh.
bool copy_chassis(const std::string &from, const std::string &blade, const std::string &dest,
                  std::string &error);
// Runs argv under `arksim run` on blade `blade` of chassis `chassis`, in a
// process group of its own that is killed past the time-out.
Ending run_on(const Setup &s, const std::string &chassis, const std::vector<std::string> &argv,
              bool keep_output = true);
EndState end_state(const std::string &chassis, const std::string &blade);
// The blade's folder in a chassis copy.
std::string blade_of(const std::string &chassis, const std::string &blade);
bool killed_by_signal(const Ending &e);
// Kills every run going now and starts no more (explore itself interrupted).
void stop_all_runs();
// Removes a folder tree that the runs may have made read-only in places.
void remove_copy(const std::string &dir);

/* --- judging (explore_judge.cpp) --------------------------------------- */

struct Clean {
    Ending first;   // the clean run
    Ending second;  // its program run again on the same blade (for cuts)
    std::vector<Call> calls;
    double seconds = 0;
};

struct Result {
    const Planned *run = nullptr;
    std::string outcome;  // same reported crash hang silent-damage unrecovered
    int status = 0;
    std::string differs;  // what made it reported or silent damage
    // For a cut: the status of the next run and of the start-up after it
    // (-1: not run).
    int next_status = -1, boot_status = -1;
};

// Runs one planned run on a fresh copy under `dir` and judges it.
Result explore_one(const Setup &s, const Clean &clean, const Planned &p, const std::string &dir,
                   std::string *output = nullptr);
// The outcomes in the order reports list them, the worst first.
const std::vector<std::string> &outcome_order();

/* --- the report (explore_report.cpp) ----------------------------------- */

std::string rerun_command(const Setup &s, const std::string &id);
void print_table(const Setup &s, const Clean &clean, const std::vector<Result> &results, double seconds,
                 int jobs);
void print_json(const Setup &s, const Clean &clean, const std::vector<Result> &results);
void print_row(const Setup &s, const Result &r);

}  // namespace arkcli::explore

#endif
