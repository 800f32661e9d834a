// The test program's own sleep(): the library's waits are recorded and
// return at once, so time-outs are observable without waiting.
#include <time.h>
#include <unistd.h>

#include <optional>

#include "sim_test.h"

std::vector<unsigned> &recorded_sleeps()
{
    static std::vector<unsigned> sleeps;
    return sleeps;
}

namespace {
std::function<void(std::size_t)> g_hook;
}

void on_sleep(std::function<void(std::size_t)> hook) { g_hook = std::move(hook); }

extern "C" unsigned int sleep(unsigned int seconds)
{
    recorded_sleeps().push_back(seconds);
    if (g_hook)
        g_hook(recorded_sleeps().size());
    return 0;
}

// The test program's own time(): the wall clock that the library reads for
// installation stamps, settable so that dates past 2038 can be tried on
// every target.  Unset, it is the real clock.  Built with the library's
// 64-bit time, this also stands in for the 64-bit entry point that a 32-bit
// target's library calls.
namespace {
std::optional<long long> g_wall_clock;
}

void set_wall_clock(std::optional<long long> seconds) { g_wall_clock = seconds; }

extern "C" time_t time(time_t *out) noexcept
{
    timespec now{};
    if (g_wall_clock)
        now.tv_sec = static_cast<time_t>(*g_wall_clock);
    else
        (void)clock_gettime(CLOCK_REALTIME, &now);
    if (out != nullptr)
        *out = now.tv_sec;
    return now.tv_sec;
}
