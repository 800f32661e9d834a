// The arksim command line: the subcommand table, option parsing, choosing a
// blade and the output helpers the subcommands share.
#ifndef ARKSIM_ARKSIM_CLI_H
#define ARKSIM_ARKSIM_CLI_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/chassis.h"

namespace arkcli {

struct Opt {
    const char *name;   // "--offset"
    const char *value;  // "O", or "" when the option takes no value
    const char *help;   // "first byte (default 0)"
};

struct Args {
    std::vector<std::string> pos;
    std::vector<std::pair<std::string, std::string>> opts;
    bool has(std::string_view name) const;
    const std::string *get(std::string_view name) const;  // last value given
    std::vector<std::string> all(std::string_view name) const;
};

// The options every subcommand takes: -C DIR, --blade NAME, --slot N.
struct Context {
    std::string chassis;  // absolute
    std::string blade;    // empty: not given
    int slot = -1;        // -1: not given
};

struct Command {
    const char *name;
    const char *usage;    // arguments after the name
    const char *summary;  // one line
    const char *help;     // more, may be empty
    std::span<const Opt> opts;
    bool rest_is_command;  // options end at the first argument (`run`)
    int (*run)(const Context &, const Args &);
};

std::span<const Command> chassis_commands();   // create add-blade move reset
std::span<const Command> show_commands();      // show
std::span<const Command> watch_commands();     // watch
std::span<const Command> memory_commands();    // memstore register tunnel eeprom
std::span<const Command> value_commands();     // uptime sensor dt slot-byte
std::span<const Command> debug_commands();     // fault journal stats log
std::span<const Command> timeline_commands();  // timeline
std::span<const Command> run_commands();       // run
std::span<const Command> replay_commands();    // replay
std::span<const Command> cmm_commands();       // cmm broadcast
std::span<const Command> explore_commands();   // explore

/* --- the chassis management module (cmd_cmm.cpp) ---------------------- */
// Starts the CMM daemon when the chassis is configured to have one (`create
// --cmm`) and it is not running; false, with the error printed, when it fails.
bool start_configured_cmm(const std::string &chassis);
// Stops the chassis's CMM daemon if one runs (quietly); false when it would not end.
bool stop_cmm(const std::string &chassis);

/* --- namespaces (namespaces.cpp) ---------------------------------------- */
// Run without root's privileges, arksim needs user namespaces; when the
// system refuses them this prints why, in one line, and returns false (the
// command then ends with arksim::kNoUserNamespaces, changing nothing).
bool namespaces_usable();

/* --- errors: "arksim CMD: message" on stderr, the exit status back ---- */
void set_command_name(const char *name);
int fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));         // 1
int usage_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));  // 2

/* --- values ------------------------------------------------------------ */
// Decimal or 0x hex within [lo, hi].
bool parse_number(std::string_view s, long long lo, long long hi, long long &out);
// "01 02 ff", "0102ff", "01:02:ff", "0x01,0x02", over one or more words.
bool parse_hex_bytes(std::span<const std::string> words, std::vector<uint8_t> &out);
std::string absolute_path(const std::string &path);
// Names in a folder, sorted, without "." and ".."; empty when it is missing.
std::vector<std::string> dir_entries(const std::string &dir);
// The same, names being numbers, in numeric order.
std::vector<std::string> numbered_entries(const std::string &dir);
// A file's text without its trailing newlines; empty when it is missing.
std::string read_text(const std::string &path);

/* --- the chassis and its blades -------------------------------------- */
bool is_chassis(const std::string &dir);
// Checks that ctx.chassis holds a chassis; prints the error when not.
bool need_chassis(const Context &ctx);
// The blade chosen by --blade/--slot, else the one of $ARKSIM_SP, else the
// chassis's only blade.  Prints the error when there is none, or when the
// chassis has several and none was named.
bool pick_blade(const Context &ctx, arksim::BladeInfo &out);
bool blade_given(const Context &ctx);
// A command's optional BLADE argument (`arksim reset b2`) in place of
// --blade: `c` becomes ctx with it applied.  The usage error's status when
// more than one argument is given, else -1.
int take_blade_argument(const Context &ctx, const Args &args, Context &c);
// The blade so named, as pick_blade chooses it: -1 when there is one, else
// the status to end with (the error printed).
int pick_blade_argument(const Context &ctx, const Args &args, arksim::BladeInfo &b);
// Wipes `dir` (when it is empty or holds a chassis) and creates a chassis with
// the given blades.
bool fresh_chassis(const std::string &dir, uint16_t type,
                   const std::vector<std::pair<std::string, int>> &blades);

/* --- output ------------------------------------------------------------ */
// Lines of 16 bytes with offsets; runs of identical lines become "*".
void hexdump(std::span<const uint8_t> data, std::size_t base);
// A readable view of a memstore value, empty when there is none.
std::string decode_value(const std::string &key, std::span<const uint8_t> v);
// "2026-01-31 12:00:00 UTC", "?" when it cannot be formatted.
std::string utc_date(uint32_t seconds);

}  // namespace arkcli

#endif
