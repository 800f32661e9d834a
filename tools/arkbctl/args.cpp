#include "args.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool is_separator(char c) { return c == ':' || c == ',' || c == ' ' || c == '-' || c == '.'; }

}  // namespace

bool parse_number(const char *s, long long min, long long max, long long *out)
{
    if (s == nullptr || *s == '\0')
        return false;
    bool neg = *s == '-';
    const char *p = neg ? s + 1 : s;
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (!std::isxdigit(static_cast<unsigned char>(*p)))
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long mag = std::strtoull(p, &end, base);
    if (errno != 0 || *end != '\0' || mag > (1ULL << 63))
        return false;
    long long v;
    if (neg)
        v = mag == (1ULL << 63) ? std::numeric_limits<long long>::min() : -static_cast<long long>(mag);
    else if (mag > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
        return false;
    else
        v = static_cast<long long>(mag);
    if (v < min || v > max)
        return false;
    *out = v;
    return true;
}

bool parse_hex_bytes(const char *s, std::vector<uint8_t> *out)
{
    out->clear();
    const char *p = s;
    while (*p != '\0') {
        if (is_separator(*p)) {
            ++p;
            continue;
        }
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
            p += 2;
        const char *start = p;
        while (hex_digit(*p) >= 0)
            ++p;
        size_t n = static_cast<size_t>(p - start);
        if (n == 0 || (*p != '\0' && !is_separator(*p)))
            return false;
        if (n <= 2) {  // "a" or "0a": one byte
            out->push_back(static_cast<uint8_t>(n == 1 ? hex_digit(start[0])
                                                       : hex_digit(start[0]) << 4 | hex_digit(start[1])));
            continue;
        }
        if (n % 2 != 0)  // a run of bytes needs whole pairs
            return false;
        for (size_t i = 0; i < n; i += 2)
            out->push_back(static_cast<uint8_t>(hex_digit(start[i]) << 4 | hex_digit(start[i + 1])));
    }
    return !out->empty();
}

bool parse_ipv4(const char *s, uint32_t *out)
{
    uint8_t octets[4];
    const char *p = s;
    for (int i = 0; i < 4; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return false;
        unsigned v = 0;
        int digits = 0;
        while (std::isdigit(static_cast<unsigned char>(*p)) && digits < 4) {
            v = v * 10 + static_cast<unsigned>(*p++ - '0');
            ++digits;
        }
        if (v > 255 || *p != (i < 3 ? '.' : '\0'))
            return false;
        octets[i] = static_cast<uint8_t>(v);
        if (i < 3)
            ++p;
    }
    std::memcpy(out, octets, sizeof octets);
    return true;
}

const char *format_ipv4(uint32_t v, char *buf)
{
    uint8_t o[4];
    std::memcpy(o, &v, sizeof o);
    std::snprintf(buf, 16, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return buf;
}

bool parse_mac(const char *s, uint8_t mac[6])
{
    const char *p = s;
    for (int i = 0; i < 6; ++i) {
        int hi = hex_digit(p[0]);
        int lo = hi >= 0 ? hex_digit(p[1]) : -1;
        if (lo < 0)
            return false;
        mac[i] = static_cast<uint8_t>(hi << 4 | lo);
        p += 2;
        if (i < 5) {
            if (*p != ':' && *p != '-')
                return false;
            ++p;
        }
    }
    return *p == '\0';
}

std::string hex_dump(const uint8_t *p, size_t n, unsigned long base)
{
    std::string out;
    for (size_t line = 0; line < n; line += 16) {
        out += fmt("%08lx ", base + line);
        for (size_t i = line; i < line + 16; ++i)
            out += i < n ? fmt(" %02x", p[i]) : "   ";
        out += "  |";
        for (size_t i = line; i < line + 16 && i < n; ++i)
            out += std::isprint(p[i]) ? static_cast<char>(p[i]) : '.';
        out += "|\n";
    }
    return out;
}

bool number_arg(const char *what, const char *s, long long min, long long max, long long *out)
{
    if (parse_number(s, min, max, out))
        return true;
    usage_error("%s: '%s' is not a number in %lld..%lld", what, s, min, max);
    return false;
}

bool take_flag(Args &a, const char *name)
{
    for (auto it = a.begin(); it != a.end(); ++it) {
        if (std::strcmp(*it, name) == 0) {
            a.erase(it);
            return true;
        }
    }
    return false;
}

const char *take_option(Args &a, const char *name)
{
    size_t len = std::strlen(name);
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::strncmp(a[i], name, len) != 0)
            continue;
        if (a[i][len] == '=') {
            const char *v = a[i] + len + 1;
            a.erase(a.begin() + static_cast<long>(i));
            return v;
        }
        if (a[i][len] == '\0' && i + 1 < a.size()) {
            const char *v = a[i + 1];
            a.erase(a.begin() + static_cast<long>(i), a.begin() + static_cast<long>(i) + 2);
            return v;
        }
    }
    return nullptr;
}

bool want(const Args &a, size_t min, size_t max)
{
    for (const char *s : a) {
        if (s[0] == '-' && s[1] == '-') {
            usage_error("unknown option or missing value: '%s'", s);
            return false;
        }
    }
    if (a.size() < min) {
        usage_error("missing argument");
        return false;
    }
    if (a.size() > max) {
        usage_error("unexpected argument '%s'", a[max]);
        return false;
    }
    return true;
}

}  // namespace arkbctl
