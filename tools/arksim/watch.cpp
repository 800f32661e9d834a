// arksim watch: the chassis picture redrawn every few seconds, with each
// blade's latest log entry.  On a terminal each frame replaces the last (the
// screen is cleared and the cursor sent home); into a pipe or file the
// frames follow one another, each under a line of its own.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/sp_log.h"
#include "picture.h"

namespace arkcli {
namespace {

constexpr double kMaxInterval = 3600;

void draw_frame(const std::string &chassis, long frame, bool terminal)
{
    char when[32];
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) == nullptr || std::strftime(when, sizeof when, "%H:%M:%S", &local) == 0)
        when[0] = '\0';
    if (terminal)
        std::fputs("\033[H\033[2J", stdout);
    else if (frame > 1)
        std::putchar('\n');
    std::printf("=== arksim watch: frame %ld, %s ===\n", frame, when);
    draw_chassis(chassis);
    const auto blades = arksim::list_blades(chassis);
    if (!blades.empty())
        std::puts("latest log entries:");
    for (const auto &b : blades) {
        const auto log = arksim::read_log(b.dir);
        std::string message = log.empty() ? std::string() : log.back().message;
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        const std::string line = log.empty() ? "(none)" : arksim::escape_log_message(message);
        std::printf("  %-10s %s\n", b.name.c_str(), line.c_str());
    }
    std::fflush(stdout);
}

void pause_for(double seconds)
{
    const auto ns = static_cast<long long>(seconds * 1e9);
    timespec left{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int watch(const Context &ctx, const Args &args)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    double interval = 2;
    if (const std::string *v = args.get("--interval")) {
        char *end = nullptr;
        interval = std::strtod(v->c_str(), &end);
        if (end == v->c_str() || *end != '\0' || !(interval > 0 && interval <= kMaxInterval))
            return usage_error("--interval wants seconds above 0, up to %.0f, not %s", kMaxInterval,
                               v->c_str());
    }
    long long count = 0;
    if (const std::string *v = args.get("--count"); v != nullptr && !parse_number(*v, 1, 1000000000, count))
        return usage_error("--count wants a number of frames, not %s", v->c_str());
    if (!need_chassis(ctx))
        return 1;
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    for (long frame = 1; count == 0 || frame <= count; ++frame) {
        if (frame > 1)
            pause_for(interval);
        draw_frame(ctx.chassis, frame, terminal);
    }
    return 0;
}

constexpr Opt kWatchOpts[] = {
    {"--interval", "S", "seconds between frames (default 2; fractions allowed)"},
    {"--count", "N", "stop after N frames (default: until interrupted)"},
};

constexpr Command kCommands[] = {
    {"watch", "[--interval S] [--count N]", "redraw the chassis picture as it changes",
     "The picture of `arksim show` (one column per blade, the CMM's pool) with each\n"
     "blade's latest log entry, redrawn every S seconds.  On a terminal each frame\n"
     "replaces the last, as top does; into a pipe or a file the frames follow one\n"
     "another, each starting with a line \"=== arksim watch: frame N, HH:MM:SS ===\".",
     kWatchOpts, false, watch},
};

}  // namespace

std::span<const Command> watch_commands() { return kCommands; }

}  // namespace arkcli
