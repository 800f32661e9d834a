/*
 * The simulated SP and chassis: where their state lives and the services that
 * every platform stand-in shares (files, journal of outside calls, fault
 * injection, bus counters).
 *
 * Layout of a simulated chassis folder (created by `arksim create`):
 *
 *   <chassis>/registers/<rr>       midplane register 0x<rr>: "0x7f" (hex byte);
 *                                  absent or "unreadable" -> arkmp_read fails
 *   <chassis>/tunnel/<tt>.bin      tunnel block memory of target 0x<tt>, 64 KiB;
 *                                  aa.bin holds the chassis FRU data from 0x1800
 *   <chassis>/power/slot<N>        published power budget of slot N (4 bytes BE)
 *   <chassis>/blades/<name>/       one simulated SP: its state folder
 *
 * Layout of a simulated SP state folder (the ARKSIM_SP environment variable):
 *
 *   slot                 slot byte the midplane reports, decimal text
 *   memstore/<key>       one file per key, raw value bytes (key names encoded)
 *   eeprom.bin           motherboard FRU EEPROM, 16384 bytes, blank = 0xFF;
 *                        a new blade has its manufacturing section at 0
 *   uptime               "<n>" frozen at n seconds, or "boot <epoch>"
 *   pca9501_dt           DT value of the on-blade PCA9501 (absent = 0)
 *   sensors/<n>          sensor poller readings, decimal text
 *   fs/dev/shm fs/conf fs/persist fs/usr/local/bin
 *                        the SP's own folders, mounted by `arksim run`
 *   log                  the SP's system log, one entry per line
 *   frutool.log          calls of the SP's /usr/local/bin/frutool (a recorder)
 *   journal              every outside call, one line each (journal_line.h)
 *   faults               fault rules, "<function> <when> <value>" per line
 *   stats.bin            call and bus counters, modelled bus time (big-endian),
 *                        the change counter (core/call_settings.h)
 *
 * <chassis>/answers is the answer mode of every blade's stand-ins (answers.h).
 *
 * <chassis>/bus_khz holds the bus speed in kHz that every blade's bus
 * transactions take their modelled time at (absent or 0: untimed).
 */
#ifndef ARKSIM_SIMSTATE_H
#define ARKSIM_SIMSTATE_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace arksim {

inline constexpr const char *kSpEnv = "ARKSIM_SP";
inline constexpr std::size_t kEepromSize = 16384;
inline constexpr std::size_t kTunnelSize = 65536;

/* --- where things are ------------------------------------------------- */
std::string sp_dir();                            // $ARKSIM_SP or $HOME/.arksim/blades/sp1
std::string chassis_of(const std::string &sp);   // <sp>/../..
std::string sp_path(std::string_view rel);       // sp_dir() + "/" + rel
std::string chassis_path(std::string_view rel);  // chassis_of(sp_dir()) + "/" + rel
std::string encode_key(std::string_view key);    // memstore key -> file name
std::string decode_key(std::string_view name);   // file name -> memstore key
// Whether the memstore keeps `key`: not empty, no NUL, and its file name
// (encode_key) short enough to be written as a file.
bool storable_key(std::string_view key);
int hex_digit(char c);  // 0..15, -1 for a non-hex character
// Appends the byte's two hex digits: "0a", or "0A" when `upper`.
void append_hex(std::string &out, uint8_t byte, bool upper = false);

/* --- files ------------------------------------------------------------ */
bool read_file(const std::string &path, std::vector<uint8_t> &out);
// Through a temporary file of the calling thread's own, renamed over `path`:
// writers in several threads and processes at once never share one.
bool write_file_atomic(const std::string &path, std::span<const uint8_t> bytes);
// The calling thread's kernel id; the process id in its main thread.
long thread_id();
// The process's id.  Both are kept after their first use (a forked child
// finds its own).
long process_id();
bool write_text(const std::string &path, std::string_view text);
// The file's text without its trailing line feeds; empty when it cannot be
// read.
std::string read_text(const std::string &path);
// The file's lines without their line feeds; empty when it cannot be read.
std::vector<std::string> read_lines(const std::string &path);
std::optional<long long> read_number(const std::string &path);  // decimal or 0x hex
bool make_dirs(const std::string &path);
bool remove_tree(const std::string &path);

/* --- outside-call accounting ------------------------------------------ */
enum class Bus : int { Memstore, Register, Tunnel, Eeprom, PowerI2c, Sensor, Count };
const char *bus_name(Bus b);

struct Stats {
    static constexpr int kMaxFunctions = 40;
    static constexpr int kBuses = static_cast<int>(Bus::Count);
    uint32_t calls[kMaxFunctions];
    uint32_t transactions[kBuses];
    uint32_t bytes[kBuses];
    // Modelled bus time (core/bus_time.h), whatever the bus speed: bit-times
    // and EEPROM write cycles, per bus and per outside function.  32-bit
    // counters, so that every target adds to them atomically.
    uint32_t bus_bits[kBuses];
    uint32_t bus_cycles[kBuses];
    uint32_t call_bits[kMaxFunctions];
    uint32_t call_cycles[kMaxFunctions];
    // The blade's change counter: bumped by every writer of a file that the
    // stand-ins keep between calls (core/call_settings.h).  Not a figure.
    uint32_t changes;
};
// Shared by host tools and target programs: the same size on every target.
static_assert(sizeof(Stats) == sizeof(uint32_t) * (3 * Stats::kMaxFunctions + 4 * Stats::kBuses + 1));

/* Index of an outside function in Stats::calls, -1 when unknown. */
int function_index(std::string_view name);
std::span<const char *const> function_names();

/* What a fault rule asks of one call. */
struct Fault {
    bool fail = false;  // answer `value` instead of doing the work
    int value = 0;
    bool cut = false;          // do the work, then end the process (a power cut)
    bool done = false;         // do the work, then answer `value`
    long long cut_after = -1;  // end the process once this many bytes were written
    int function = -1;         // function_index() of the call
    uint32_t nth = 0;          // the call's number among this function's calls (from 1)
};

/* Counts the call of `func` and returns the fault rule that applies to it.
 * Bus transactions (count_bus, core/bus_time.h) until the next enter() are
 * the work of this call. */
Fault enter(const char *func);
/* Ends the process the way a power cut would, when `f.cut` is set. */
void leave(const Fault &f);
/* How many bytes of the next `chunk` of a call's device writes reach the
 * device, `done` of `len` written so far: all of them, unless a cut-after
 * rule ends the call within; then `f.cut` is set, the journal line will say
 * where it stopped, and the caller writes no more. */
unsigned cut_within(Fault &f, unsigned done, unsigned len, unsigned chunk);
bool read_stats(const std::string &sp, Stats &out);
void reset_stats(const std::string &sp);

/* Appends one line "<stamp> <call> = <result>[ <MODE: PLAIN>][ : <hex bytes>]"
 * to the journal (journal_line.h: the stamp holds the pid, the time, the bus
 * time and the fault rule that answered); the part in angle brackets when the
 * answer mode (answers.h) chose the result instead of the natural PLAIN one. */
void journal(const std::string &call, long long result, std::span<const uint8_t> data = {});
/* Notes for the journal line of the current call that `mode` chose its result
 * instead of `plain`. */
void note_answer(const std::string &mode, long long plain);
std::string quoted(std::string_view s);
std::string hex_bytes(std::span<const uint8_t> data);

/* Fault rules. `when` is "N" (the N-th call only), "N+" (from the N-th call
 * on) or "*" (every call); `value` is the result to answer, "cut" (the call's
 * work, then the process ends) or "cut-after:B" (the process ends once B
 * bytes of the call's device writes reached the device, page by page: the
 * EEPROM and tunnel writes).  Adding a rule restarts the call count of that
 * function.  The pseudo-function kBusWrite takes only "cut": after the N-th
 * write transaction of a process (see count_write), in the middle of a call.
 * A cut is spent once it fired, unless `every_process`. */
inline constexpr const char *kBusWrite = "bus_write";
bool add_fault(const std::string &sp, std::string_view func, std::string_view when, std::string_view value,
               bool every_process = false);
void clear_faults(const std::string &sp);

/* A rule as `arksim fault --list` shows it.  A one-shot rule ("N") is spent
 * once its function has been called N times since the count restarted (the
 * rule was added, or `arksim stats --reset`), a cut once it fired (unless
 * every_process); the others stay live. */
struct FaultRuleState {
    std::string function;
    std::string rule;     // "1 -1": WHEN and VALUE as the stand-ins read them
    uint32_t first = 0;   // N of "N" and "N+"; 0 for "*"
    bool onward = false;  // "N+"
    bool spent = false;
    uint32_t calls = 0;          // the function's calls counted so far
    bool per_process = false;    // bus_write: counted in each process
    bool every_process = false;  // a cut that stays live once it fired
};
std::vector<FaultRuleState> fault_rules(const std::string &sp);

}  // namespace arksim

#endif
