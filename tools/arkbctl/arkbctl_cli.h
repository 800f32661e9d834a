// The command table of arkbctl: every command is one entry (its name, its
// parameters, the library call and how the result reads), and one runner
// (runner.cpp) does the rest: picks the entry, parses the arguments, makes
// the call, prints "function: result" and maps the result to the exit status.
#ifndef ARKBCTL_CLI_H
#define ARKBCTL_CLI_H

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "args.h"

namespace arkbctl {

// Exit statuses: 0 success, 1 the library reported failure, 2 bad usage,
// 3 libarkblade.so.1 or the SP's platform libraries could not be loaded.
constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoLibrary = 3;

constexpr size_t kMaxParams = 6;

// The parsed arguments of one command, by their place in the entry's
// parameter list (options included).
struct Values {
    std::array<long long, kMaxParams> n{};  // numbers; an address in memory order
    std::array<bool, kMaxParams> given{};   // the option or optional argument was there
    std::vector<uint8_t> bytes;             // a HEXBYTES argument
    std::array<uint8_t, 6> mac{};           // a MAC argument
    std::string text;                       // a TEXT... argument, words joined by spaces
};

// How a result decides the exit status.
enum class Ok {
    Zero,         // 0 succeeds
    NotNegative,  // byte counts and grants: >= 0 succeeds
    One,          // memstore's own 1, the CMM ready flag
    ZeroOrOne,    // the request checks: 1 (a request) or 0 (none)
    Always,       // nothing to fail
};

// What a call gave.
struct Outcome {
    int result = 0;
    std::string detail;              // follows "function: result" on its line
    std::string more;                // whole lines after it (dumps, settings)
    const char *function = nullptr;  // another name for the result line
    bool own_lines = false;          // the call wrote every line itself, in `more`
};

using CallFn = Outcome (*)(const Values &);

struct Entry {
    const char *command;
    const char *sub;       // "" the command itself; "--flag" picked by that flag
    const char *function;  // the library function the result line names
    // Parameters, space separated: NAME:KIND for a positional, [NAME:KIND=DEFAULT]
    // for an optional one, --name:KIND for an option with a value, --name for a
    // flag.  KIND: u8 u16 u32 i32 LO..HI hex ipv4 mac watts mode discovery
    // priority width text (the rest of the words).
    const char *params;
    Ok ok;
    CallFn call;
    const char *usage;  // its line(s) in the command's usage; nullptr: none
};

struct Family {
    const char *name;
    const char *summary;  // its line in `arkbctl --help`
    const char *notes;    // the usage text after the entries' lines
    const char *dflt;     // the sub run without one, or nullptr
};

std::span<const Family> families();
std::span<const Entry> entries();

// Runs the command f with the arguments after its name.
int run_family(const Family &f, Args &a);

// Prints f's usage: its entries' lines, then its notes.
void print_usage(const Family &f, FILE *out);

// Parses a against the entry's parameters into v; a usage error otherwise.
bool parse_params(const char *params, Args &a, Values &v);

// "emerg" .. "debug" for the log priorities 0..7, "?" for any other.
const char *priority_name(int p);

// The command being run, for error messages (set by main).
void set_command(const Family *f);

// Prints "arkbctl CMD: message" and a pointer to --help on stderr; returns kExitUsage.
int usage_error(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// printf into a std::string.
std::string fmt(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace arkbctl

#endif
