// One run of an exploration: a copy of the chassis with the blade alone,
// the program run on it under `arksim run` in a process group of its own
// (killed past the time-out), and the blade's end state read back.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <set>

#include "arksim_cli.h"
#include "core/chassis.h"
#include "core/fru.h"
#include "core/simstate.h"
#include "core/sp_log.h"
#include "core/unique_fd.h"
#include "explore.h"
#include "sandbox/sandbox.h"

extern char **environ;

namespace arkcli::explore {
namespace {

constexpr int kCrashSignalsFrom = 129, kCrashSignalsTo = 128 + 64;
constexpr std::size_t kCopyBuffer = 65536;
// The installation records' time stamps (4 bytes at the start of each of the
// five records of the ring from EEPROM byte 3203, 219 bytes apart) hold the
// time of the run, and so does the ring's checksum over them (the CRC-32 of
// bytes 3195 to 4297, big-endian after the marker byte 0x0C at 4298): the
// stamps are left out of the comparison, and a checksum that matches its
// bytes compares as "valid" whatever its value.
constexpr std::size_t kRecordsAt = 3203, kRecordSize = 219, kRecords = 5, kStampSize = 4;
constexpr std::size_t kSumFrom = 3195, kSumMarkAt = 4298, kSumAt = 4299, kSumSize = 4;
constexpr char kSumMark = 0x0C;

void mask_times(std::string &eeprom)
{
    if (eeprom.size() < kSumAt + kSumSize || eeprom[kSumMarkAt] != kSumMark)
        return;
    const auto *bytes = reinterpret_cast<const uint8_t *>(eeprom.data());
    uint32_t stored = 0;
    for (std::size_t i = 0; i < kSumSize; ++i)
        stored = stored << 8 | bytes[kSumAt + i];
    const bool valid = arksim::crc32({bytes + kSumFrom, kSumMarkAt - kSumFrom}) == stored;
    for (std::size_t r = 0; r < kRecords; ++r)
        eeprom.replace(kRecordsAt + r * kRecordSize, kStampSize, kStampSize, '\0');
    if (valid)
        eeprom.replace(kSumAt, kSumSize, kSumSize, '\0');
}

// What a copy leaves out: in the chassis, its CMM (a run of the copy starts
// none) and the other blades; in the blade, the record of earlier runs.
bool left_out(const std::string &rel, const std::string &blade)
{
    static const char *const kBladeRecords[] = {"journal", "faults", "stats.bin",
                                                "log",     "root",   "devlog.sock"};
    if (rel == "cmm" || rel == "netns")
        return true;
    const std::string blades = "blades/";
    if (rel.rfind(blades, 0) != 0)
        return false;
    const std::string rest = rel.substr(blades.size());
    const auto slash = rest.find('/');
    if (rest.substr(0, slash) != blade)
        return true;
    if (slash == std::string::npos)
        return false;
    const std::string inside = rest.substr(slash + 1);
    for (const char *r : kBladeRecords)
        if (inside == r)
            return true;
    return false;
}

bool copy_file(const std::string &from, const std::string &to, mode_t mode)
{
    arksim::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    arksim::UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode & 07777));
    if (!in || !out)
        return false;
    std::vector<char> buf(kCopyBuffer);
    for (;;) {
        const ssize_t n = ::read(in.get(), buf.data(), buf.size());
        if (n == 0)
            return true;
        if (n < 0 || ::write(out.get(), buf.data(), static_cast<std::size_t>(n)) != n)
            return false;
    }
}

bool copy_tree(const std::string &root, const std::string &rel, const std::string &dest,
               const std::string &blade, std::string &error)
{
    const std::string from = rel.empty() ? root : root + "/" + rel;
    for (const std::string &name : dir_entries(from)) {
        const std::string r = rel.empty() ? name : rel + "/" + name;
        if (left_out(r, blade))
            continue;
        const std::string src = root + "/" + r, dst = dest + "/" + r;
        struct stat st {};
        if (::lstat(src.c_str(), &st) != 0)
            continue;
        bool ok = true;
        if (S_ISDIR(st.st_mode)) {
            ok = ::mkdir(dst.c_str(), 0700) == 0 && copy_tree(root, r, dest, blade, error) &&
                 ::chmod(dst.c_str(), st.st_mode & 07777) == 0;
        } else if (S_ISREG(st.st_mode)) {
            ok = copy_file(src, dst, st.st_mode);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(src.c_str(), target, sizeof target - 1);
            ok = n > 0 &&
                 ::symlink(std::string(target, static_cast<std::size_t>(n)).c_str(), dst.c_str()) == 0;
        }  // sockets and the like belong to running processes: not copied
        if (!ok) {
            if (error.empty())
                error = "cannot copy " + src + " to " + dst + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void read_tree(const std::string &root, const std::string &rel, EndState &out)
{
    const std::string dir = root + "/" + rel;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        std::vector<uint8_t> raw;
        arksim::read_file(dir, raw);
        out[rel] = std::string(raw.begin(), raw.end());
        return;
    }
    for (const std::string &name : dir_entries(dir))
        read_tree(root, rel + "/" + name, out);
}

std::string read_all(const std::string &path)
{
    std::vector<uint8_t> raw;
    arksim::read_file(path, raw);
    return std::string(raw.begin(), raw.end());
}

// Waits for `pid` until `deadline`; false when it is still running then.
bool wait_until(pid_t pid, std::chrono::steady_clock::time_point deadline, int &status)
{
    arksim::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        struct pollfd p = {pidfd.get(), POLLIN, 0};
        if (pidfd)
            ::poll(&p, 1, static_cast<int>(left.count()));
        else
            ::usleep(2000);  // without pidfds: look again soon
    }
}

// The process groups of the runs going now, for stop_all_runs.
std::mutex g_running_lock;
std::set<pid_t> g_running;
bool g_stopping = false;

}  // namespace

void stop_all_runs()
{
    const std::lock_guard<std::mutex> hold(g_running_lock);
    g_stopping = true;
    for (pid_t group : g_running)
        ::kill(-group, SIGKILL);
}

std::string blade_of(const std::string &chassis, const std::string &blade)
{
    return arksim::blade_dir(chassis, blade);
}

bool copy_chassis(const std::string &from, const std::string &blade, const std::string &dest,
                  std::string &error)
{
    remove_copy(dest);
    if (::mkdir(dest.c_str(), 0700) != 0)
        return error = "cannot make " + dest + ": " + std::strerror(errno), false;
    return copy_tree(from, "", dest, blade, error);
}

void remove_copy(const std::string &dir)
{
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        ::chmod(dir.c_str(), 0700);
        for (const std::string &name : dir_entries(dir))
            remove_copy(dir + "/" + name);
        ::rmdir(dir.c_str());
    } else {
        ::unlink(dir.c_str());
    }
}

EndState end_state(const std::string &chassis, const std::string &blade)
{
    EndState s;
    const std::string sp = blade_of(chassis, blade);
    for (const char *rel : {"memstore", "eeprom.bin", "fs/dev/shm"})
        read_tree(sp, rel, s);
    if (auto it = s.find("eeprom.bin"); it != s.end())
        mask_times(it->second);
    read_tree(chassis, "tunnel", s);  // the mailbox lives in the slot's tunnel memory
    return s;
}

bool killed_by_signal(const Ending &e)
{
    return !e.hung && e.status >= kCrashSignalsFrom && e.status <= kCrashSignalsTo;
}

Ending run_on(const Setup &s, const std::string &chassis, const std::vector<std::string> &argv,
              bool keep_output)
{
    Ending e;
    const std::string out = chassis + "/.explore-out", err = chassis + "/.explore-err";
    std::vector<std::string> words = {s.arksim, "-C", chassis, "--blade", s.blade, "run", "--"};
    words.insert(words.end(), argv.begin(), argv.end());
    std::vector<char *> args;
    for (std::string &w : words)
        args.push_back(w.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);  // its own group: ended whole past the time-out
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    arksim::clear_log(blade_of(chassis, s.blade));  // this run's entries alone
    pid_t pid = -1;
    std::unique_lock<std::mutex> hold(g_running_lock);
    const int rc = g_stopping ? ECANCELED : ::posix_spawn(&pid, args[0], &fa, &attr, args.data(), environ);
    if (rc == 0)
        g_running.insert(pid);
    hold.unlock();
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        e.status = arksim::kSetupFailed;
        e.output = std::string("cannot start ") + s.arksim + ": " + std::strerror(rc);
        return e;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long long>(s.timeout * 1000));
    int status = 0;
    if (!wait_until(pid, deadline, status)) {
        e.hung = true;
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ::kill(-pid, SIGKILL);  // what the program left behind in its group
    }
    hold.lock();
    g_running.erase(pid);
    hold.unlock();
    e.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (keep_output) {
        // The copy's own path would make every run's output differ.
        e.output = read_all(out) + read_all(err);
        for (auto at = e.output.find(chassis); at != std::string::npos; at = e.output.find(chassis, at))
            e.output.replace(at, chassis.size(), "<chassis>");
    }
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    for (const arksim::LogEntry &l : arksim::read_log(blade_of(chassis, s.blade)))
        e.log += std::to_string(l.severity) + " " + arksim::shown_log_message(l.message) + "\n";
    e.state = end_state(chassis, s.blade);
    return e;
}

}  // namespace arkcli::explore
