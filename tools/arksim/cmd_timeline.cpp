// arksim timeline: what happened on a blade, one screen: its platform calls,
// its log entries and the CMM's power requests, merged in time order.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "arksim_cli.h"
#include "core/journal_line.h"
#include "core/simstate.h"
#include "core/sp_log.h"
#include "journal_view.h"

namespace arkcli {
namespace {

constexpr std::size_t kTimeWidth = 12;  // "14:03:07.412" and "(no time)   " alike

struct Event {
    uint64_t wall_us = 0;  // 0: no time (an older record), shown first
    std::string text;
};

// "14:03:07.412  KIND  rest": the kind put after the time column of a view.
std::string with_kind(const std::string &view, const char *kind)
{
    return view.substr(0, kTimeWidth) + "  " + kind + view.substr(kTimeWidth);
}

// "<seconds>.<milliseconds> <peer> <slot> "<request>" ...", a line of the
// CMM's request log, as an event.
bool cmm_event(const std::string &line, Event &out)
{
    char *end = nullptr;
    const double seconds = std::strtod(line.c_str(), &end);
    if (end == line.c_str() || *end != ' ' || seconds < 0)
        return false;
    out.wall_us = static_cast<uint64_t>(seconds * 1e6 + 0.5);
    out.text = stamp_time(out.wall_us) + "  cmm   " + std::string(end + 1);
    return true;
}

int timeline(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = pick_blade_argument(ctx, args, b); rc >= 0)
        return rc;
    const bool full = args.has("--full");
    std::vector<Event> events;
    for (const std::string &line : arksim::read_lines(b.dir + "/journal")) {
        arksim::JournalLine l;
        if (arksim::parse_journal_line(line, l))
            events.push_back({l.stamp.wall_us.value_or(0), with_kind(journal_text(l, full), "call ")});
    }
    for (const arksim::LogEntry &e : arksim::read_log(b.dir))
        events.push_back({e.wall_us.value_or(0), with_kind(log_text(e), "log  ")});
    for (const char *name : {"/cmm/requests.1", "/cmm/requests"})
        for (const std::string &line : arksim::read_lines(ctx.chassis + name))
            if (Event e; cmm_event(line, e))
                events.push_back(std::move(e));
    std::stable_sort(events.begin(), events.end(),
                     [](const Event &x, const Event &y) { return x.wall_us < y.wall_us; });
    for (const Event &e : events)
        std::puts(e.text.c_str());
    return 0;
}

constexpr Opt kTimelineOpts[] = {
    kFullBytesOpt,
};

constexpr Command kCommands[] = {
    {"timeline", "[BLADE] [--full]", "what happened: calls, log entries and CMM requests in time order",
     "One line an event, the time first (local, to the millisecond), then its kind:\n"
     "`call` a platform call as `arksim journal` shows it, `log` a system log\n"
     "entry as `arksim log` shows it, `cmm` a power request the chassis's CMM\n"
     "answered (peer, slot, request, reply) as `arksim cmm requests` lists it.\n"
     "Calls are stamped when they returned, log entries when they arrived, CMM\n"
     "requests when answered.",
     kTimelineOpts, false, timeline},
};

}  // namespace

std::span<const Command> timeline_commands() { return kCommands; }

}  // namespace arkcli
