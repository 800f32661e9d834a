// The test program's own sleep(): the library's waits are recorded and
// return at once, so time-outs are observable without waiting.
#include <unistd.h>

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
