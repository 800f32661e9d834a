// The settings a process keeps of its blade's files between calls, and the
// change counter that renews them (call_settings.h).
#include "call_settings.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <arpa/inet.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <mutex>

#include "bus_time.h"
#include "chassis.h"

namespace arksim {
namespace {

// The counters live in a shared mapping of <sp>/stats.bin, so every process
// of the simulated SP adds to the same figures.  A mapping that is given up
// stays mapped, since another thread may still be counting into it (it
// takes one page, and a file is replaced only by a new chassis).
struct StatsMap {
    std::string path;
    ino_t inode = 0;
    Stats *stats = nullptr;
};
StatsMap g_map;
std::mutex g_map_lock;

// The process's settings.  A pthread mutex, so that a fork in another thread
// can take it first (the child never gets it held).
Settings g_settings;
pthread_mutex_t g_settings_lock = PTHREAD_MUTEX_INITIALIZER;
void take_settings_lock() { pthread_mutex_lock(&g_settings_lock); }
void give_settings_lock() { pthread_mutex_unlock(&g_settings_lock); }
[[gnu::constructor]] void guard_settings_over_fork()
{
    pthread_atfork(take_settings_lock, give_settings_lock, give_settings_lock);
}

uint32_t changes_of(const Stats *s) { return __atomic_load_n(&s->changes, __ATOMIC_SEQ_CST); }

uint64_t monotonic_ns()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000 + static_cast<uint64_t>(now.tv_nsec);
}

// Whether $ARKSIM_SP (or its default) is still `sp`, without building a
// string in the usual case.
bool same_sp(const std::string &sp)
{
    const char *env = std::getenv(kSpEnv);
    if (env != nullptr && env[0] != '\0')
        return sp == env;
    return sp == sp_dir();
}

// Descriptors the stand-ins keep sit this high, out of the way of a
// program's own: it gets the lowest free number, and a daemon that closes or
// redirects 0, 1 and 2 never lands on the journal.
constexpr int kKeptFdFloor = 200;

// Whether the kept journal descriptor is still the journal's: a program may
// have closed it, or opened or dup2'ed something else onto its number.
bool journal_is_ours(const Settings &s)
{
    struct stat st {};
    return s.journal && ::fstat(s.journal.get(), &st) == 0 && st.st_dev == s.journal_dev &&
           st.st_ino == s.journal_ino;
}

void open_journal(Settings &s)
{
    if (!journal_is_ours(s))
        s.journal.release();  // the number is no longer ours to close
    int fd = ::open((s.sp + "/journal").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && fd < kKeptFdFloor) {
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kKeptFdFloor);
        if (high >= 0) {
            ::close(fd);
            fd = high;
        }
    }
    s.journal.reset(fd);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        s.journal_dev = st.st_dev;
        s.journal_ino = st.st_ino;
    }
}

void read_settings(Settings &s)
{
    s.sp = sp_dir();
    const std::string chassis = chassis_of(s.sp);
    s.stats = map_stats(s.sp + "/stats.bin", true);
    // The counter first: a change made while the files are read is taken up
    // again at the next call.
    s.seen = s.stats != nullptr ? changes_of(s.stats) : 0;
    s.rules = load_fault_rules(s.sp);
    s.answers = read_answer_mode(chassis);
    s.khz = read_bus_khz(chassis);
    open_journal(s);
    s.read_ns = monotonic_ns();
}

bool stale(const Settings &s)
{
    return s.stats == nullptr || changes_of(s.stats) != s.seen || !same_sp(s.sp) ||
           monotonic_ns() - s.read_ns >= kRecheckNs;
}

// Calls `use` with a mapping of every blade's stats.bin at `dir` (a blade's
// folder) or in it (a chassis's), which `use` then owns.
template <typename Use> void each_blade_counter(const std::string &dir, Use use)
{
    std::vector<std::string> files{dir + "/stats.bin"};
    for (const BladeInfo &b : list_blades(dir))
        files.push_back(b.dir + "/stats.bin");
    for (const std::string &path : files) {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0 || static_cast<std::size_t>(st.st_size) < sizeof(Stats))
            continue;  // no blade, or one whose processes never mapped its counters
        void *p = ::mmap(nullptr, sizeof(Stats), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
        if (p != MAP_FAILED)
            use(p);
    }
}

}  // namespace

Stats *map_stats(const std::string &path, bool create)
{
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    const std::lock_guard<std::mutex> hold(g_map_lock);
    if (g_map.stats != nullptr && g_map.path == path && exists && st.st_ino == g_map.inode)
        return g_map.stats;
    g_map.stats = nullptr;
    if (!exists && !create)
        return nullptr;
    UniqueFd fd(::open(path.c_str(), O_RDWR | (create ? O_CREAT : 0) | O_CLOEXEC, 0644));
    if (!fd)
        return nullptr;
    if (::fstat(fd.get(), &st) != 0)
        return nullptr;
    if (static_cast<std::size_t>(st.st_size) < sizeof(Stats) && ::ftruncate(fd.get(), sizeof(Stats)) != 0)
        return nullptr;
    void *p = ::mmap(nullptr, sizeof(Stats), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (p == MAP_FAILED)
        return nullptr;
    g_map.path = path;
    g_map.inode = st.st_ino;
    g_map.stats = static_cast<Stats *>(p);
    return g_map.stats;
}

// The counters are stored big-endian, the SP's order, so that host tools
// read the figures that target programs run under an emulator wrote.  In
// the one order of every thread and process (sequentially consistent), so
// that a call that counts itself after `arksim fault` restarted its count
// also sees the change counter that the command bumped before.
uint32_t bump(uint32_t &counter, uint32_t by)
{
    uint32_t old = __atomic_load_n(&counter, __ATOMIC_RELAXED), next = 0;
    do
        next = htonl(ntohl(old) + by);
    while (!__atomic_compare_exchange_n(&counter, &old, next, true, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED));
    return ntohl(next);
}

SettingsHold::SettingsHold()
{
    take_settings_lock();
    if (stale(g_settings))
        read_settings(g_settings);
}

SettingsHold::~SettingsHold() { give_settings_lock(); }

const Settings &SettingsHold::operator*() const { return g_settings; }

int SettingsHold::journal_fd()
{
    if (!journal_is_ours(g_settings))
        open_journal(g_settings);
    return g_settings.journal.get();
}

void SettingsHold::recheck()
{
    if (g_settings.stats == nullptr || changes_of(g_settings.stats) != g_settings.seen)
        read_settings(g_settings);
}

void note_change(const std::string &dir) { ChangeNotice{dir}; }

// Both keep errno: a writer reports its own failure after them.
ChangeNotice::ChangeNotice(const std::string &dir)
{
    const int kept = errno;
    each_blade_counter(dir, [this](void *p) { held_.push_back(p); });
    errno = kept;
}

ChangeNotice::~ChangeNotice()
{
    const int kept = errno;
    for (void *p : held_) {
        bump(static_cast<Stats *>(p)->changes, 1);
        ::munmap(p, sizeof(Stats));
    }
    errno = kept;
}

}  // namespace arksim
