// The fault rules of a blade: one line "FUNC WHEN VALUE" each in <sp>/faults,
// read again by the stand-ins after every change (call_settings.h), so that
// `arksim fault` takes effect at once.
#include "fault_rule.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "call_settings.h"
#include "simstate.h"

namespace arksim {
namespace {

constexpr std::string_view kDone = "done:";
constexpr std::string_view kCutAfter = "cut-after:";
constexpr std::string_view kEveryProcess = "every-process";
constexpr std::string_view kSpent = "spent";

// Reads a decimal or 0x number that fits `lo`..`hi`, in 64 bits on every
// target: a value outside is a bad rule, not one a 32-bit long saturates.
bool number_in(const char *text, long long lo, long long hi, long long &out)
{
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

}  // namespace

bool parse_fault_rule(const std::string &line, FaultRule &r)
{
    char func[64], when[32], value[32], flag1[16] = "", flag2[16] = "";
    const int words = std::sscanf(line.c_str(), "%63s %31s %31s %15s %15s", func, when, value, flag1, flag2);
    if (words < 3 || func[0] == '#')
        return false;
    r.func = func;
    r.line = line;
    if (std::strcmp(when, "*") != 0) {
        char *end = nullptr;
        r.first = std::strtoll(when, &end, 10);
        if (r.first <= 0)
            return false;
        r.onward = *end == '+';
    }
    for (const char *flag : {flag1, flag2}) {
        if (flag[0] == '\0')
            continue;
        if (flag == kEveryProcess)
            r.every_process = true;
        else if (flag == kSpent)
            r.spent = true;
        else
            return false;
    }
    const std::string_view v(value);
    if (v == "cut") {
        r.cut = true;
        return true;
    }
    if (v.starts_with(kCutAfter))
        return number_in(value + kCutAfter.size(), 0, INT_MAX, r.cut_after);
    if (r.every_process || r.spent)
        return false;  // flags of cuts only
    r.done = v.starts_with(kDone);
    long long n = 0;
    if (!number_in(r.done ? value + kDone.size() : value, INT_MIN, INT_MAX, n))
        return false;
    r.value = static_cast<int>(n);
    return true;
}

std::string fault_rule_text(const FaultRule &r)
{
    std::string when = r.first == 0 ? "*" : std::to_string(r.first) + (r.onward ? "+" : "");
    if (r.cut)
        return when + " cut";
    if (r.cut_after >= 0)
        return when + " " + std::string(kCutAfter) + std::to_string(r.cut_after);
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

void spend_fault_rule(const std::string &sp, const FaultRule &r)
{
    std::string text;
    bool marked = false;
    for (const std::string &line : read_lines(sp + "/faults")) {
        text += line;
        if (!marked && line == r.line) {
            text += ' ';
            text += kSpent;
            marked = true;
        }
        text += "\n";
    }
    if (marked && write_text(sp + "/faults", text))
        note_change(sp);
}

}  // namespace arksim
