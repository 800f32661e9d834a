// The runs of an exploration: the clean run's platform calls read from its
// journal, and for each one the fault rules that make it answer every other
// result its contract allows, then a power cut after each bus write.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "core/journal_line.h"
#include "explore.h"

namespace arkcli::explore {
namespace {

constexpr unsigned kEepromPage = 64;  // the EEPROM's page buffer wraps here

// What a caller may rely on, per function, as the stand-ins' answer modes
// know it (sim/core/answers.cpp); Value: the result is data, not a verdict.
enum class Kind {
    NegativeFails,
    MinusOneFails,
    PositiveSucceeds,
    OneSucceeds,
    NonzeroIsTrue,
    ZeroSucceeds,
    Value
};

Kind kind_of(const std::string &f)
{
    static const std::map<std::string, Kind> kinds = {
        {"memstore_get", Kind::OneSucceeds},
        {"memstore_set", Kind::OneSucceeds},
        {"memstore_haskey", Kind::NonzeroIsTrue},
        {"arkmp_read", Kind::MinusOneFails},
        {"arkmp_write", Kind::PositiveSucceeds},
        {"ssbcast_sensor_format", Kind::ZeroSucceeds},
        {"sspoller_get_shared_sensor_reading", Kind::ZeroSucceeds},
        {"compute_crc8", Kind::Value},
        {"compute_checksum32", Kind::Value},
        {"get_tag_type", Kind::Value},
        {"get_tag_size", Kind::Value},
        {"get_payload_length", Kind::Value},
        {"uptime", Kind::Value},
    };
    auto it = kinds.find(f);
    return it == kinds.end() ? Kind::NegativeFails : it->second;
}

bool succeeded(Kind k, long long rc)
{
    switch (k) {
    case Kind::NegativeFails: return rc >= 0;
    case Kind::MinusOneFails: return rc != -1;
    case Kind::PositiveSucceeds: return rc > 0;
    case Kind::OneSucceeds: return rc == 1;
    case Kind::NonzeroIsTrue: return rc != 0;
    case Kind::ZeroSucceeds: return rc == 0;
    case Kind::Value: return true;
    }
    return true;
}

// The failures a call may answer, the usual one first.
std::vector<long long> failures(Kind k)
{
    switch (k) {
    case Kind::NegativeFails: return {-1, -5, INT_MIN};
    case Kind::MinusOneFails: return {-1};
    case Kind::PositiveSucceeds: return {0, -1};
    case Kind::OneSucceeds: return {0, 2, -1};
    case Kind::NonzeroIsTrue: return {0};
    case Kind::ZeroSucceeds: return {1, -1};
    case Kind::Value: break;
    }
    return {};
}

// The successes equivalent to the clean one for a caller that keeps to the contract.
std::vector<long long> successes(Kind k, const Call &c)
{
    switch (k) {
    case Kind::NegativeFails: return {0, c.length};
    case Kind::MinusOneFails: return {0, c.byte, -2, c.length};
    case Kind::PositiveSucceeds: return {INT_MAX, 1, c.length};
    case Kind::OneSucceeds: return {1};
    case Kind::NonzeroIsTrue: return {2, -1, 1};
    case Kind::ZeroSucceeds: return {0};
    case Kind::Value: break;
    }
    return {};
}

// Other data a value function might give: a CRC that is not the data's, a
// bad tag, a blade just started or up for ever.  Never derived from what the
// clean run's data held where that may change from run to run.
std::vector<long long> other_values(const Call &c)
{
    if (c.function == "compute_crc8")
        return {c.result ^ 0xFF};
    if (c.function == "compute_checksum32")
        return {c.result != 0 ? 0 : 1};  // not the clean one ^ 1: that may hold the time
    if (c.function == "uptime")
        return {0, INT32_MAX};
    return {-1, 0};
}

bool is_write(const std::string &f)
{
    return f == "memstore_set" || f == "arkmp_write" || f == "elm_i2c_blk_write_on_bus" ||
           f == "arkmp_tnlblk_write" || f == "arkmp_tnlblk_write_fromfile" || f == "ark_pwr_i2c_publish";
}

// The numbers among a call's arguments, in order ("0xa0" read as hex; a
// quoted argument is skipped).
std::vector<long long> numbers_in(const std::string &text)
{
    std::vector<long long> out;
    std::size_t i = text.find('(');
    bool quoted = false;
    for (++i; i < text.size() && !(text[i] == ')' && !quoted); ++i) {
        if (text[i] == '"' && (i == 0 || text[i - 1] != '\\'))
            quoted = !quoted;
        if (quoted || !(text[i] == '-' || (text[i] >= '0' && text[i] <= '9')) ||
            !(text[i - 1] == '(' || text[i - 1] == ' '))
            continue;
        char *end = nullptr;
        out.push_back(std::strtoll(text.c_str() + i, &end, 0));
        i = static_cast<std::size_t>(end - text.c_str()) - 1;
    }
    return out;
}

// Bytes written when each page but the last reached the device.
std::vector<long long> page_ends(const Call &c)
{
    const std::vector<long long> n = numbers_in(c.text);
    long long len = 0, offset = 0, unit = 0;
    bool eeprom = false;
    if (c.function == "elm_i2c_blk_write_on_bus" && n.size() == 8) {
        len = n[4], offset = n[5], unit = n[7], eeprom = true;
    } else if (c.function == "arkmp_tnlblk_write" && n.size() == 5) {
        len = n[1], offset = n[2], unit = n[4];
    } else if (c.function == "arkmp_tnlblk_write_fromfile" && n.size() == 3) {
        len = c.result, unit = n[2];
    }
    std::vector<long long> out;
    for (long long done = 0; unit > 0 && done < len;) {
        long long chunk = std::min(unit, len - done);
        if (eeprom)
            chunk = std::min<long long>(chunk, kEepromPage - (offset + done) % kEepromPage);
        done += chunk;
        if (done < len)
            out.push_back(done);
    }
    return out;
}

std::string text_of(long long v) { return std::to_string(v); }

}  // namespace

std::vector<Call> journal_calls(const std::vector<std::string> &lines)
{
    std::vector<Call> calls;
    std::map<std::string, int> counted;
    for (const std::string &line : lines) {
        arksim::JournalLine j;
        if (!arksim::parse_journal_line(line, j))
            continue;
        Call c;
        c.index = static_cast<int>(calls.size()) + 1;
        c.function = std::string(j.function());
        c.nth = ++counted[c.function];
        c.text = j.call;
        if (auto eq = j.call.rfind(" = "); eq != std::string::npos)
            c.result = std::strtoll(j.call.c_str() + eq + 3, nullptr, 10);
        c.length = j.bytes() > 0 ? static_cast<int>(j.bytes()) : 1;
        if (!j.hex.empty())
            c.byte = static_cast<int>(std::strtol(j.hex.substr(0, 2).c_str(), nullptr, 16));
        c.writes = is_write(c.function) && succeeded(kind_of(c.function), c.result);
        if (c.writes)
            c.pages = page_ends(c);
        calls.push_back(c);
    }
    return calls;
}

std::vector<Planned> plan_runs(const std::vector<Call> &calls)
{
    std::vector<Planned> out;
    for (const Call &c : calls) {
        int n = 0;
        auto add = [&](const std::string &value, bool cut) {
            Planned p;
            p.id = std::to_string(c.index) + "." + std::to_string(++n);
            p.call = c.index;
            p.function = c.function;
            p.rule = c.function + " " + std::to_string(c.nth) + " " + value;
            p.cut = cut;
            out.push_back(p);
        };
        const Kind k = kind_of(c.function);
        const bool ok = succeeded(k, c.result);
        std::vector<long long> seen = {c.result};
        auto fresh = [&](long long v) {
            if (std::find(seen.begin(), seen.end(), v) != seen.end())
                return false;
            seen.push_back(v);
            return true;
        };
        if (k == Kind::Value) {
            for (long long v : other_values(c))
                if (fresh(v))
                    add(text_of(v), false);
        } else {
            // A failure answers without the work; a success other than the
            // clean one does the work and then answers it.
            for (long long v : failures(k))
                if (fresh(v))
                    add(text_of(v), false);
            if (ok || k == Kind::NonzeroIsTrue)
                for (long long v : successes(k, c))
                    if (fresh(v))
                        add((ok ? "done:" : "") + text_of(v), false);
        }
        if (c.writes) {
            for (long long b : c.pages)
                add("cut-after:" + text_of(b), true);
            add("cut", true);
        }
    }
    return out;
}

}  // namespace arkcli::explore
