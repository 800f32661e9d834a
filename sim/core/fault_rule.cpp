// The fault rules of a blade: one line "FUNC WHEN VALUE" each in <sp>/faults,
// read afresh at every call so that `arksim fault` takes effect at once.
#include "fault_rule.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "simstate.h"

namespace arksim {
namespace {

constexpr std::string_view kDone = "done:";

}  // namespace

bool parse_fault_rule(const std::string &line, FaultRule &r)
{
    char func[64], when[32], value[32];
    if (std::sscanf(line.c_str(), "%63s %31s %31s", func, when, value) != 3 || func[0] == '#')
        return false;
    r.func = func;
    if (std::strcmp(when, "*") != 0) {
        char *end = nullptr;
        r.first = std::strtoll(when, &end, 10);
        if (r.first <= 0)
            return false;
        r.onward = *end == '+';
    }
    if (std::strcmp(value, "cut") == 0) {
        r.cut = true;
        return true;
    }
    r.done = std::string_view(value).starts_with(kDone);
    const char *number = r.done ? value + kDone.size() : value;
    // Read in 64 bits on every target: a value outside int is a bad rule,
    // not one that a 32-bit long would silently saturate.
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(number, &end, 0);
    if (end == number || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
        return false;
    r.value = static_cast<int>(v);
    return true;
}

std::string fault_rule_text(const FaultRule &r)
{
    std::string when = r.first == 0 ? "*" : std::to_string(r.first) + (r.onward ? "+" : "");
    if (r.cut)
        return when + " cut";
    return when + " " + std::string(r.done ? kDone : "") + std::to_string(r.value);
}

std::vector<FaultRule> load_fault_rules(const std::string &sp)
{
    std::vector<FaultRule> rules;
    for (const std::string &line : read_lines(sp + "/faults")) {
        FaultRule r;
        if (parse_fault_rule(line, r))
            rules.push_back(r);
    }
    return rules;
}

}  // namespace arksim
