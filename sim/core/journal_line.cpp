// Writing and reading the stamp of a journal line.
#include "journal_line.h"

#include <cstdlib>

namespace arksim {
namespace {

constexpr std::string_view kBus = "bus=";
constexpr std::string_view kFault = "fault=";
constexpr std::string_view kThread = "tid=";
constexpr std::string_view kData = " : ";
constexpr uint64_t kMicro = 1000000;

bool parse_u64(std::string_view text, uint64_t &out)
{
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    out = v;
    return true;
}

// "<seconds>.<microseconds>", six digits after the point.
bool parse_wall(std::string_view text, uint64_t &us)
{
    const auto dot = text.find('.');
    uint64_t sec = 0, frac = 0;
    if (dot == std::string_view::npos || text.size() - dot != 7 || !parse_u64(text.substr(0, dot), sec) ||
        !parse_u64(text.substr(dot + 1), frac))
        return false;
    us = sec * kMicro + frac;
    return true;
}

}  // namespace

bool parse_stamp(std::string_view word, JournalStamp &s)
{
    std::string_view first = word.substr(0, word.find(','));
    const auto at = first.find('@');
    uint64_t pid = 0, v = 0;
    if (!parse_u64(first.substr(0, at), pid))
        return false;
    s.pid = static_cast<long>(pid);
    if (at != std::string_view::npos) {
        if (!parse_wall(first.substr(at + 1), v))
            return false;
        s.wall_us = v;
    }
    for (auto comma = word.find(','); comma != std::string_view::npos;) {
        const auto next = word.find(',', comma + 1);
        std::string_view part =
            word.substr(comma + 1, next == std::string_view::npos ? next : next - comma - 1);
        if (part.starts_with(kBus) && parse_u64(part.substr(kBus.size()), v)) {
            s.bus_ns = v;
        } else if (part.starts_with(kThread) && parse_u64(part.substr(kThread.size()), v)) {
            s.thread = static_cast<long>(v);
        } else if (part.starts_with(kFault)) {
            s.fault = std::string(part.substr(kFault.size()));
            if (auto slash = s.fault.find('/'); slash != std::string::npos)
                s.fault[slash] = ' ';
        } else {
            return false;
        }
        comma = next;
    }
    return true;
}

std::string format_stamp(const JournalStamp &s)
{
    std::string out = std::to_string(s.pid);
    if (s.wall_us) {
        const std::string frac = std::to_string(*s.wall_us % kMicro);
        // Appended piece by piece: GCC 12 warns (-Wrestrict) about a literal
        // prepended to a temporary string at -O2.
        out += '@';
        out += std::to_string(*s.wall_us / kMicro);
        out += '.';
        out.append(6 - frac.size(), '0');
        out += frac;
    }
    if (s.thread != 0) {
        out += ",tid=";
        out += std::to_string(s.thread);
    }
    if (s.bus_ns) {
        out += ",bus=";
        out += std::to_string(*s.bus_ns);
    }
    if (!s.fault.empty()) {
        std::string f = s.fault;
        if (auto space = f.find(' '); space != std::string::npos)
            f[space] = '/';
        out += ",fault=";
        out += f;
    }
    return out;
}

bool parse_journal_line(std::string_view line, JournalLine &out)
{
    const auto space = line.find(' ');
    out = {};
    if (space == std::string_view::npos || !parse_stamp(line.substr(0, space), out.stamp))
        return false;
    std::string_view rest = line.substr(space + 1);
    // The bytes follow the first " : " after the result.
    const auto eq = rest.find(" = ");
    const auto data = eq == std::string_view::npos ? std::string_view::npos : rest.find(kData, eq);
    out.call = std::string(rest.substr(0, data));
    if (data != std::string_view::npos)
        out.hex = std::string(rest.substr(data + kData.size()));
    return true;
}

std::string_view JournalLine::function() const { return std::string_view(call).substr(0, call.find('(')); }

}  // namespace arksim
