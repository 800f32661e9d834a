// The test program's own sleep(): the library's waits are recorded and
// return at once, so time-outs are observable without waiting.
#include <dlfcn.h>
#include <errno.h>
#include <netdb.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <optional>
#include <thread>

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

// The test program's own getprotobyname(), socket() and send(): the C
// library's own, unless a test has asked for the next calls to go otherwise,
// so that the CMM client's local failures can be tried: they fail, a send
// sends its bytes but one, or a socket comes as descriptor 0 (in place of
// standard input, which the test puts back).  Only the calls of the thread
// that asked are changed: a test's own peers in other threads go on as usual.
namespace {
std::string g_function;
int g_calls_left = 0;
LibcFake g_how = LibcFake::Fail;
std::thread::id g_thread;

bool faked(const char *function)
{
    if (g_calls_left == 0 || g_function != function || std::this_thread::get_id() != g_thread)
        return false;
    --g_calls_left;
    return true;
}

template <class Fn> Fn next_definition(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
}  // namespace

void fake_libc(const std::string &function, int times, LibcFake how)
{
    g_function = function;
    g_calls_left = times;
    g_how = how;
    g_thread = std::this_thread::get_id();
}

extern "C" protoent *getprotobyname(const char *name)
{
    static const auto real = next_definition<protoent *(*)(const char *)>("getprotobyname");
    return faked("getprotobyname") ? nullptr : real(name);
}

extern "C" int socket(int domain, int type, int protocol) noexcept
{
    static const auto real = next_definition<int (*)(int, int, int)>("socket");
    if (!faked("socket"))
        return real(domain, type, protocol);
    if (g_how == LibcFake::SocketZero) {
        const int fd = real(domain, type, protocol);
        if (fd <= 0)
            return fd;
        const int zero = dup2(fd, 0);
        close(fd);
        return zero;
    }
    errno = EMFILE;
    return -1;
}

extern "C" ssize_t send(int fd, const void *buf, size_t len, int flags)
{
    static const auto real = next_definition<ssize_t (*)(int, const void *, size_t, int)>("send");
    if (!faked("send"))
        return real(fd, buf, len, flags);
    if (g_how == LibcFake::ShortSend && len > 0)
        return real(fd, buf, len - 1, flags);
    errno = EPIPE;
    return -1;
}
