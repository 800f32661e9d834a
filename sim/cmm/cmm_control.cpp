// Starting, stopping and steering a chassis's CMM daemon from outside.
#include "cmm_control.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/chassis.h"
#include "core/simstate.h"

namespace arksim::cmm {
namespace {

using std::chrono::milliseconds;

constexpr int kReadyWaitMs = 10000;
constexpr int kStopWaitMs = 3000;
constexpr int kSettleWaitMs = 2000;  // for the daemon to take up a change
constexpr int kPollMs = 20;
constexpr int kLogTailLines = 5;
constexpr long long kMaxDelayMs = 60000;

// Polls `done` every kPollMs for up to `ms`; its last answer.
template <typename F> bool wait_for(int ms, F done)
{
    for (int waited = 0; !done(); waited += kPollMs) {
        if (waited >= ms)
            return done();
        std::this_thread::sleep_for(milliseconds(kPollMs));
    }
    return true;
}

bool is_executable(const std::string &path) { return ::access(path.c_str(), X_OK) == 0; }

bool process_alive(int pid)
{
    std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
    auto paren = stat.rfind(')');
    // A zombie has ended; only its parent's wait is missing.
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

std::string log_tail(const std::string &chassis)
{
    std::string log = read_text(file(chassis, "log"));
    std::size_t start = log.size();
    for (int lines = 0; lines < kLogTailLines && start > 0; ++lines) {
        std::size_t nl = log.rfind('\n', start - 1);
        start = nl == std::string::npos ? 0 : nl;
    }
    return log.substr(start == 0 ? 0 : start + 1);
}

[[noreturn]] void exec_daemon(const std::string &chassis, const std::string &program, int ready_fd, int owner)
{
    int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        ::dup2(null, fd);
    ::fcntl(ready_fd, F_SETFD, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
        ::signal(s, SIG_DFL);
    if (::chdir("/") != 0)
        ::_exit(127);
    std::vector<std::string> args{kDaemonName, "--ready-fd", std::to_string(ready_fd)};
    if (owner > 0)
        args.insert(args.end(), {"--owner", std::to_string(owner)});
    args.push_back(chassis);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(program.c_str(), argv.data());
    std::string msg = "arksim: cannot run " + program + ": " + std::strerror(errno) + "\n";
    int log = ::open(file(chassis, "log").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (log >= 0 && ::write(log, msg.data(), msg.size()) < 0)
        ::_exit(127);
    ::_exit(127);
}

// Removes the link of a daemon that did not end cleanly.
void tidy_stale_link(const std::string &chassis)
{
    int pid = 0;
    struct stat st {};
    std::string link = chassis + "/netns";
    if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !open_chassis_netns(chassis, pid))
        ::unlink(link.c_str());
}

Result failed(std::string why, std::string tail = {})
{
    Result r;
    r.error = std::move(why);
    r.log_tail = std::move(tail);
    return r;
}

// The pid of a running daemon, waiting for one that is starting.
int settled_pid(const std::string &chassis)
{
    int pid = running_pid(chassis);
    if (pid == 0)
        wait_for(kReadyWaitMs, [&] { return (pid = running_pid(chassis)) != 0; });
    return pid;
}

}  // namespace

std::string daemon_program()
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        std::string sibling = dir.substr(0, dir.rfind('/') + 1) + kDaemonName;
        if (is_executable(sibling))
            return sibling;
    }
    return is_executable(ARKSIM_ARKCMM_PATH) ? ARKSIM_ARKCMM_PATH : kDaemonName;
}

Result start(const std::string &chassis, int owner, const std::string &program)
{
    int pid = settled_pid(chassis);
    if (pid > 0)
        return {Outcome::WasRunning, pid, {}, {}};
    int ready[2];
    if (!make_dirs(dir(chassis)) || ::pipe2(ready, O_CLOEXEC) != 0)
        return failed("cannot prepare " + dir(chassis));
    const std::string path = program.empty() ? daemon_program() : program;
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() == 0)
            exec_daemon(chassis, path, ready[1], owner);
        ::_exit(0);
    }
    ::close(ready[1]);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    // The daemon closes its end once it serves, or dies with it open.
    struct pollfd pfd = {ready[0], POLLIN, 0};
    char byte;
    while (::poll(&pfd, 1, kReadyWaitMs) > 0 && ::read(ready[0], &byte, 1) > 0) {
    }
    ::close(ready[0]);
    // Ours lost the race to another daemon that is still starting: wait for it.
    pid = settled_pid(chassis);
    if (pid > 0)
        return {Outcome::Done, pid, {}, {}};
    return failed("the CMM did not start; the end of " + file(chassis, "log") + ":", log_tail(chassis));
}

Result start_configured(const std::string &chassis)
{
    int pid = running_pid(chassis);
    if (!read_config(chassis).autostart || pid > 0)
        return {Outcome::Done, pid, {}, {}};
    return start(chassis);
}

Result stop(const std::string &chassis)
{
    int pid = settled_pid(chassis);
    if (pid < 0) {
        tidy_stale_link(chassis);
        return {Outcome::NotRunning, -1, {}, {}};
    }
    if (pid == 0 || read_text("/proc/" + std::to_string(pid) + "/comm") != kDaemonName)
        return failed("the CMM of " + chassis + " holds its lock but names no arkcmm pid");
    ::kill(pid, SIGTERM);
    bool ended = wait_for(kStopWaitMs, [&] { return !process_alive(pid); });
    if (!ended) {
        ::kill(pid, SIGKILL);
        ended = wait_for(kStopWaitMs, [&] { return !process_alive(pid); });
        tidy_stale_link(chassis);
    }
    if (!ended)
        return failed("the CMM (pid " + std::to_string(pid) + ") does not end");
    return {Outcome::Done, pid, {}, {}};
}

bool set_behaviour(const std::string &chassis, const std::vector<std::string> &words, std::string &text,
                   std::string &error)
{
    const std::string mode = words.empty() ? "" : words[0];
    std::string unescaped;
    char *end = nullptr;
    long long ms = words.size() == 2 ? std::strtoll(words[1].c_str(), &end, 10) : -1;
    text.clear();
    if (mode == "reply" && words.size() >= 2) {
        for (std::size_t i = 1; i < words.size(); ++i)
            text += (i > 1 ? " " : "") + words[i];
        if (!unescape(text, unescaped)) {
            error = "bad escape in " + text + " (\\\\ \\n \\r \\t \\0 \\xHH)";
            return false;
        }
        text = "reply " + text;
    } else if (mode == "delay" && words.size() == 2 && end != nullptr && *end == '\0' && !words[1].empty() &&
               ms >= 0 && ms <= kMaxDelayMs) {
        text = "delay " + std::to_string(ms);
    } else if ((mode == "close" || mode == "split" || mode == "nolisten" || mode == "normal") &&
               words.size() == 1) {
        text = mode;
    } else {
        error = "wants reply TEXT, close, split, delay MS, nolisten or normal";
        return false;
    }
    const std::string path = file(chassis, "behaviour");
    bool ok = mode == "normal" ? (::unlink(path.c_str()) == 0 || errno == ENOENT)
                               : make_dirs(dir(chassis)) && write_text(path, text + "\n");
    if (!ok) {
        error = "cannot write " + path;
        return false;
    }
    // The listener follows within a tick; wait so the next connection meets it.
    int pid = running_pid(chassis);
    bool listen = mode != "nolisten";
    if (pid > 0 && !wait_for(kSettleWaitMs, [&] { return is_listening(pid) == listen; })) {
        error = std::string("the CMM did not ") + (listen ? "start" : "stop") + " listening";
        return false;
    }
    return true;
}

std::string broadcast_setting(const std::string &chassis, const Config &current, const std::string &name,
                              bool start, bool all)
{
    if (all)
        return start ? "all" : "";
    std::string list;
    for (const std::string &n : broadcast_blades(chassis, current))
        if (n != name)
            list += (list.empty() ? "" : ",") + n;
    if (start)
        list += (list.empty() ? "" : ",") + name;
    return list;
}

bool await_broadcast(const std::string &sp)
{
    const std::string stamp = sp + "/memstore/" + encode_key("SSBCAST/CH/TIMESTAMP");
    return wait_for(kSettleWaitMs, [&] { return ::access(stamp.c_str(), F_OK) == 0; });
}

Status read_status(const std::string &chassis, std::size_t requests)
{
    Status s;
    s.pid = running_pid(chassis);
    s.listening = s.pid > 0 && is_listening(s.pid);
    s.config = read_config(chassis);
    s.allotments = read_allotments(chassis);
    for (int w : s.allotments)
        s.allotted += w;
    s.behaviour = read_text(file(chassis, "behaviour"));
    std::vector<std::string> lines = read_lines(file(chassis, "requests"));
    std::size_t first = lines.size() > requests ? lines.size() - requests : 0;
    s.last_requests.assign(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
    return s;
}

std::vector<std::string> blades_at(const std::string &chassis, int index)
{
    std::vector<std::string> names;
    for (const BladeInfo &b : list_blades(chassis))
        if (b.slot == index)
            names.push_back(b.name);
    return names;
}

}  // namespace arksim::cmm
