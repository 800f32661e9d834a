// The parameter lists of the command table: "REG:u8 BYTE:u8",
// "[ENABLE:0..1=1]", "--width:width=16", "--read".  Each argument is checked
// and converted by its kind; a bad one is a usage error naming it.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

struct Param {
    std::string name;
    std::string kind;
    std::string dflt;  // an optional argument's or option's default
    bool optional = false;
    bool option = false;  // --name, taken from anywhere in the arguments
};

std::vector<Param> parse_list(const char *list)
{
    std::vector<Param> params;
    std::string_view rest(list);
    while (!rest.empty()) {
        size_t end = rest.find(' ');
        std::string_view tok = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (tok.empty())
            continue;
        Param p;
        if (tok.front() == '[') {
            p.optional = true;
            tok = tok.substr(1, tok.size() - 2);
        }
        size_t eq = tok.find('=');
        if (eq != std::string_view::npos) {
            p.dflt = std::string(tok.substr(eq + 1));
            tok = tok.substr(0, eq);
        }
        size_t colon = tok.find(':');
        p.name = std::string(tok.substr(0, colon));
        p.kind = colon == std::string_view::npos ? "flag" : std::string(tok.substr(colon + 1));
        p.option = p.name.starts_with("-");
        params.push_back(std::move(p));
    }
    return params;
}

template <class T> bool typed(const Param &p, const char *s, long long *out)
{
    T v{};
    if (!num(p.name.c_str(), s, &v))
        return false;
    *out = static_cast<long long>(v);
    return true;
}

// A word from names[] stands for its index; anything else must be a number.
template <class T, size_t N>
bool named(const Param &p, const char *s, const char *const (&names)[N], long long first, long long *out)
{
    for (size_t i = 0; i < N; ++i) {
        if (std::strcmp(s, names[i]) == 0) {
            *out = first + static_cast<long long>(i);
            return true;
        }
    }
    return typed<T>(p, s, out);
}

constexpr const char *kModes[] = {"ask", "admit-on-silence", "admit-all"};
constexpr const char *kDiscoveries[] = {"dhcp", "static"};  // 1 and 2
constexpr const char *kPriorities[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};

bool parse_one(const Param &p, const char *s, Values &v, size_t i)
{
    const std::string &k = p.kind;
    const char *name = p.name.c_str();
    long long *out = &v.n[i];
    if (k == "u8")
        return typed<uint8_t>(p, s, out);
    if (k == "u16")
        return typed<uint16_t>(p, s, out);
    if (k == "u32")
        return typed<uint32_t>(p, s, out);
    if (k == "i32")
        return typed<int32_t>(p, s, out);
    if (k == "watts") {
        if (std::strcmp(s, "hwconfig") == 0) {
            *out = ARKB_PWR_HWCONFIG_WATTS;
            return true;
        }
        return typed<int>(p, s, out);
    }
    if (k == "mode")
        return named<int>(p, s, kModes, 0, out);
    if (k == "discovery")
        return named<int32_t>(p, s, kDiscoveries, 1, out);
    if (k == "priority")
        return named<int>(p, s, kPriorities, 0, out);
    if (k == "width") {
        if (parse_number(s, 8, 16, out) && (*out == 8 || *out == 16))
            return true;
        usage_error("%s: '%s' is not 8 or 16", name, s);
        return false;
    }
    if (k == "path") {
        v.text = s;
        return true;
    }
    if (k == "hex") {
        if (parse_hex_bytes(s, &v.bytes))
            return true;
        usage_error("%s: '%s' is not a list of hex bytes", name, s);
        return false;
    }
    if (k == "ipv4") {
        uint32_t addr = 0;
        if (!parse_ipv4(s, &addr)) {
            usage_error("%s: '%s' is not a dotted quad", name, s);
            return false;
        }
        *out = addr;
        return true;
    }
    if (k == "mac") {
        if (parse_mac(s, v.mac.data()))
            return true;
        usage_error("%s: '%s' is not aa:bb:cc:dd:ee:ff", name, s);
        return false;
    }
    // LO..HI
    size_t dots = k.find("..");
    long long lo = std::strtoll(k.c_str(), nullptr, 0);
    long long hi = std::strtoll(k.c_str() + dots + 2, nullptr, 0);
    return number_arg(name, s, lo, hi, out);
}

}  // namespace

const char *priority_name(int p) { return p >= 0 && p < 8 ? kPriorities[p] : "?"; }

bool parse_params(const char *list, Args &a, Values &v)
{
    std::vector<Param> params = parse_list(list);
    std::vector<const char *> raw(params.size(), nullptr);
    size_t required = 0;
    size_t positional = 0;
    for (size_t i = 0; i < params.size(); ++i) {
        const Param &p = params[i];
        if (p.option) {
            if (p.kind == "flag")
                v.given[i] = take_flag(a, p.name.c_str());
            else
                raw[i] = take_option(a, p.name.c_str());
            continue;
        }
        positional = p.kind == "text" ? static_cast<size_t>(-1) : positional + 1;
        required += p.optional ? 0 : 1;
    }
    if (!want(a, required, positional))
        return false;
    size_t next = 0;
    for (size_t i = 0; i < params.size(); ++i) {
        const Param &p = params[i];
        if (!p.option && next < a.size()) {
            raw[i] = a[next++];
            if (p.kind == "text") {
                v.text = raw[i];
                for (; next < a.size(); ++next)
                    v.text.append(" ").append(a[next]);
                v.given[i] = true;
                continue;
            }
        }
        if (p.kind == "flag")
            continue;
        v.given[i] = raw[i] != nullptr;
        const char *s = raw[i] != nullptr ? raw[i] : p.dflt.empty() ? nullptr : p.dflt.c_str();
        if (s != nullptr && !parse_one(p, s, v, i))
            return false;
    }
    return true;
}

}  // namespace arkbctl
