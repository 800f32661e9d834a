// The CMM daemon of one chassis: its main loop, the sensor broadcast, the
// lock that keeps it alone, and the reloading of its config and behaviour.
//
// It creates the chassis network, serves power requests (service.cpp) and,
// every second, broadcasts the chassis sensors into the memstore of each
// blade that the config's `broadcast` names: "SSBCAST/CH/8300" (the
// ok-to-power-on state, 00 00 00 01 while the pool has watts left, 00 00 00 02
// when it has none) and then "SSBCAST/CH/TIMESTAMP" (4-byte big-endian unix
// time).  Taking a blade off the broadcast removes nothing: its keys stay, the
// timestamp just stops moving, as on a chassis whose broadcast stopped.
//
// It stops on SIGTERM or SIGINT, when its owner process is gone, or when its
// chassis folder was removed or made anew.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/chassis.h"
#include "core/simstate.h"
#include "cmm_daemon.h"
#include "userns/userns.h"

namespace arksim::cmm {
namespace {

constexpr int kTickMs = 100;  // how often files, owner and broadcast are looked at
constexpr int kMaxDelayMs = 60000;
constexpr int kLockTries = 50;  // 10 ms apart
constexpr uint8_t kMayPowerOn = 1;
constexpr uint8_t kMayNotPowerOn = 2;

Behaviour parse_behaviour(const std::string &path)
{
    Behaviour b;
    for (const std::string &line : read_lines(path)) {
        std::string word = line.substr(0, line.find(' '));
        std::string arg = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        char *stop = nullptr;
        long ms = std::strtol(arg.c_str(), &stop, 10);
        if (word == "reply") {
            b.fixed = true;
            if (!unescape(arg, b.reply)) {
                note("behaviour: bad escape in reply, sent as written");
                b.reply = arg;
            }
        } else if (word == "close") {
            b.close = true;
        } else if (word == "split") {
            b.split = true;
        } else if (word == "delay" && !arg.empty() && *stop == '\0' && ms >= 0 && ms <= kMaxDelayMs) {
            b.delay_ms = static_cast<int>(ms);
        } else if (word == "nolisten") {
            b.nolisten = true;
        } else if (!word.empty() && word != "normal" && word[0] != '#') {
            note("behaviour: ignored line '%s'", line.c_str());
        }
    }
    return b;
}

void put_be32(uint8_t *out, uint32_t v)
{
    out[0] = static_cast<uint8_t>(v >> 24);
    out[1] = static_cast<uint8_t>(v >> 16);
    out[2] = static_cast<uint8_t>(v >> 8);
    out[3] = static_cast<uint8_t>(v);
}

void broadcast(const Daemon &d, time_t now)
{
    static std::string last_failed;
    uint8_t stamp[4], state[4];
    put_be32(stamp, static_cast<uint32_t>(now));
    put_be32(state, free_watts(d) > 0 ? kMayPowerOn : kMayNotPowerOn);
    std::string failed;
    for (const std::string &name : broadcast_blades(d.chassis, d.config)) {
        std::string mem = blade_dir(d.chassis, name) + "/memstore/";
        struct stat st {};
        if (name.find('/') != std::string::npos || ::stat(mem.c_str(), &st) != 0) {
            failed += " " + name;  // no such blade
            continue;
        }
        // The sensor first: whoever sees the timestamp finds the sensor too.
        if (!write_file_atomic(mem + encode_key("SSBCAST/CH/8300"), state) ||
            !write_file_atomic(mem + encode_key("SSBCAST/CH/TIMESTAMP"), stamp))
            failed += " " + name;
    }
    if (failed != last_failed && !failed.empty())
        note("broadcast: cannot write to blade(s)%s", failed.c_str());
    last_failed = failed;
}

// The lock file still the one we hold: the chassis was not removed or remade.
bool chassis_still_ours(const std::string &chassis, int lock_fd)
{
    struct stat held {
    }, now{};
    return ::fstat(lock_fd, &held) == 0 && ::stat(file(chassis, "lock").c_str(), &now) == 0 &&
           held.st_ino == now.st_ino && held.st_dev == now.st_dev;
}

bool take_lock(const std::string &chassis, UniqueFd &lock)
{
    lock.reset(::open(file(chassis, "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    for (int i = 0; lock && i < kLockTries; ++i) {
        if (::fcntl(lock.get(), F_OFD_SETLK, &fl) == 0)
            return true;
        ::usleep(10000);
    }
    return false;
}

// Room for every connection the service keeps open, and some.
void raise_descriptor_limit()
{
    constexpr rlim_t kWanted = 4096;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < kWanted) {
        rl.rlim_cur = rl.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, rl.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &rl);
    }
}

UniqueFd block_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, s);
    ::sigprocmask(SIG_SETMASK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

// Serves until told to stop; the exit status.
int serve(Daemon &d, int lock_fd, int sig_fd, int owner, int &ready_fd)
{
    UniqueFd ep(::epoll_create1(EPOLL_CLOEXEC));
    struct epoll_event sev {};
    sev.events = EPOLLIN;
    sev.data.fd = sig_fd;
    if (!ep || ::epoll_ctl(ep.get(), EPOLL_CTL_ADD, sig_fd, &sev) != 0) {
        note("epoll: %s", std::strerror(errno));
        return 1;
    }
    Service service(d, ep.get());
    service.sync_listener();
    if (!publish_netns(d.chassis) || !write_text(file(d.chassis, "pid"), std::to_string(::getpid()) + "\n")) {
        note("cannot publish the chassis network and pid");
        return 1;
    }
    note("serving chassis %s: pool %d W, %ld W free", d.chassis.c_str(), d.config.pool, free_watts(d));
    ::close(ready_fd);
    ready_fd = -1;
    time_t last_second = 0;
    for (;;) {
        auto now = Clock::now();
        auto next = std::min<Clock::duration>(service.expire(now), std::chrono::milliseconds(kTickMs));
        // Rounded up: waking before a deadline would only spin.
        long wait_ms = std::chrono::ceil<std::chrono::milliseconds>(next).count();
        wait_ms = std::max(0L, wait_ms);
        struct epoll_event evs[32];
        int n = ::epoll_wait(ep.get(), evs, 32, static_cast<int>(wait_ms));
        for (int i = 0; i < n; ++i) {
            if (evs[i].data.fd != sig_fd) {
                service.handle(evs[i].data.fd, evs[i].events);
                continue;
            }
            struct signalfd_siginfo si {};
            while (::read(sig_fd, &si, sizeof si) == static_cast<ssize_t>(sizeof si))
                if (si.ssi_signo != SIGHUP) {
                    note("stopping on signal %u", si.ssi_signo);
                    return 0;
                }
        }
        if (reload(d))
            note("config: pool %d W, broadcast '%s'", d.config.pool, d.config.broadcast.c_str());
        service.sync_listener();
        time_t second = std::time(nullptr);
        if (second == last_second)
            continue;
        last_second = second;
        if (!chassis_still_ours(d.chassis, lock_fd)) {
            note("chassis folder removed or made anew: stopping");
            return 0;
        }
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
            note("owner %d has ended: stopping", owner);
            return 0;
        }
        broadcast(d, second);
    }
}

}  // namespace

bool FileStamp::changed(const std::string &path)
{
    struct stat st {};
    bool now_exists = ::stat(path.c_str(), &st) == 0;
    bool differs = now_exists != exists ||
                   (now_exists && (st.st_ino != ino || st.st_size != size ||
                                   st.st_mtim.tv_sec != mtime.tv_sec || st.st_mtim.tv_nsec != mtime.tv_nsec));
    exists = now_exists;
    ino = now_exists ? st.st_ino : 0;
    size = now_exists ? st.st_size : 0;
    mtime = now_exists ? st.st_mtim : timespec{};
    return differs;
}

bool reload(Daemon &d)
{
    bool config = d.config_stamp.changed(file(d.chassis, "config"));
    if (config)
        d.config = read_config(d.chassis);
    std::string path = file(d.chassis, "behaviour");
    if (d.behaviour_stamp.changed(path))
        d.behaviour = parse_behaviour(path);
    return config;
}

void note(const char *fmt, ...)
{
    char when[32];
    time_t now = std::time(nullptr);
    struct tm tm {};
    ::localtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::fprintf(stderr, "%s arkcmm[%d]: ", when, static_cast<int>(::getpid()));
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int run_daemon(const std::string &chassis, int owner, int ready_fd)
{
    if (ready_fd >= 0)
        ::fcntl(ready_fd, F_SETFD, FD_CLOEXEC);
    if (!make_dirs(dir(chassis)))
        return 1;
    int log = ::open(file(chassis, "log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (log >= 0 && log != STDERR_FILENO) {
        ::dup2(log, STDERR_FILENO);
        ::close(log);
    }
    UniqueFd lock;
    if (!take_lock(chassis, lock)) {
        note("another arkcmm serves %s", chassis.c_str());
        return 3;
    }
    ::unlink(file(chassis, "pid").c_str());  // a killed daemon's
    raise_descriptor_limit();
    UniqueFd sig = block_signals();
    std::string err;
    // An ordinary user's chassis network lives in a user namespace of the
    // daemon's own, which every blade run of the chassis joins.
    if (!privileged() && !enter_own_userns(err)) {
        note("%s", err.c_str());
        return kNoUserNamespaces;
    }
    if (!sig || !make_chassis_network(err)) {
        note("%s", sig ? err.c_str() : "cannot watch signals");
        return 1;
    }
    Daemon d;
    d.chassis = chassis;
    d.allot = read_allotments(chassis);
    reload(d);
    int rc = serve(d, lock.get(), sig.get(), owner, ready_fd);
    withdraw_netns(chassis);
    if (chassis_still_ours(chassis, lock.get()))
        ::unlink(file(chassis, "pid").c_str());
    note("stopped");
    return rc;
}

}  // namespace arksim::cmm
