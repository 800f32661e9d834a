// `arksim journal` and `arksim log` for a person.
#include "journal_view.h"

#include <cstdio>
#include <ctime>

namespace arkcli {
namespace {

constexpr std::size_t kHexWidth = 3;  // "ab "

std::string local_time(uint64_t us)
{
    const auto t = static_cast<time_t>(us / 1000000);
    struct tm local {};
    char text[16];
    if (localtime_r(&t, &local) == nullptr || std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0)
        return "?";
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03u", static_cast<unsigned>(us / 1000 % 1000));
    return std::string(text) + ms;
}

std::string shortened(const std::string &hex, std::size_t bytes)
{
    if (bytes <= kJournalFullBytes)
        return hex;
    const std::string head = hex.substr(0, kJournalHeadBytes * kHexWidth - 1);
    const std::string tail = hex.substr(hex.size() - (kJournalTailBytes * kHexWidth - 1));
    return head + " ... (" + std::to_string(bytes) + " bytes) ... " + tail;
}

}  // namespace

std::string stamp_time(const std::optional<uint64_t> &wall_us)
{
    return wall_us ? local_time(*wall_us) : std::string("(no time)   ");
}

std::string log_text(const arksim::LogEntry &e)
{
    char levels[32];
    std::snprintf(levels, sizeof levels, "  %-7s %-8s ", arksim::severity_name(e.severity),
                  arksim::facility_name(e.facility));
    return stamp_time(e.wall_us) + "  " + (e.pid > 0 ? std::to_string(e.pid) : std::string("-")) + "  " +
           (e.name.empty() ? std::string("-") : e.name) + levels + arksim::shown_log_message(e.message);
}

std::string journal_text(const arksim::JournalLine &l, bool full)
{
    std::string out = stamp_time(l.stamp.wall_us);
    if (l.stamp.bus_ns) {
        char bus[32];
        std::snprintf(bus, sizeof bus, "  bus %7.3f ms", static_cast<double>(*l.stamp.bus_ns) / 1e6);
        out += bus;
    }
    // Appended piece by piece: GCC 12 misreads a literal before a temporary
    // string as an overlapping copy (-Wrestrict) at -O3.
    out += "  ";
    out += std::to_string(l.stamp.pid);
    if (l.stamp.thread != 0) {
        out += '/';  // pid/tid: another thread than the main one
        out += std::to_string(l.stamp.thread);
    }
    out += "  " + l.call;
    if (!l.stamp.fault.empty())
        out += " <fault: " + l.stamp.fault + ">";
    if (!l.hex.empty())
        out += " : " + (full ? l.hex : shortened(l.hex, l.bytes()));
    return out;
}

}  // namespace arkcli
