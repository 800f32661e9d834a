// Argument parsing and output helpers shared by the arkbctl commands.
#ifndef ARKBCTL_ARGS_H
#define ARKBCTL_ARGS_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace arkbctl {

// The arguments after the command (and subcommand) name.
using Args = std::vector<const char *>;

// Decimal or 0x-prefixed hex, optionally negative, within [min, max].
bool parse_number(const char *s, long long min, long long max, long long *out);

// Hex bytes: "0a1b2c", "0a:1b:2c", "0x0a,0x1b" or "0a 1b"; at least one byte.
bool parse_hex_bytes(const char *s, std::vector<uint8_t> *out);

// Dotted quad; the first octet lands at the lowest address of *out.
bool parse_ipv4(const char *s, uint32_t *out);

// Formats the four octets of v in memory order; buf holds at least 16 chars.
const char *format_ipv4(uint32_t v, char *buf);

// aa:bb:cc:dd:ee:ff (or '-' separated).
bool parse_mac(const char *s, uint8_t mac[6]);

// 16 bytes per line: offset, hex bytes, printable characters.
std::string hex_dump(const uint8_t *p, size_t n, unsigned long base = 0);

// parse_number with an error message naming the argument.
bool number_arg(const char *what, const char *s, long long min, long long max, long long *out);

template <class T> bool num(const char *what, const char *s, T *out)
{
    long long v = 0;
    if (!number_arg(what, s, static_cast<long long>(std::numeric_limits<T>::min()),
                    static_cast<long long>(std::numeric_limits<T>::max()), &v))
        return false;
    *out = static_cast<T>(v);
    return true;
}

// Removes "--name" from a; true if it was there.
bool take_flag(Args &a, const char *name);

// Removes "--name VALUE" or "--name=VALUE" from a and returns VALUE, or
// nullptr if absent.  A trailing "--name" without value is left in place so
// that want() reports it.
const char *take_option(Args &a, const char *name);

// Checks that no option is left and that min..max positionals remain;
// prints a usage error otherwise.
bool want(const Args &a, size_t min, size_t max);

}  // namespace arkbctl

#endif
