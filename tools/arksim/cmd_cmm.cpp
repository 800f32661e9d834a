// arksim cmm, broadcast: the chassis management module's daemon (arkcmm), its
// power pool, misbehaviour for tests, and the sensor broadcast to blades.
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

#include "cmm_state.h"
#include "cli.h"
#include "simstate.h"

namespace arkcli {
namespace {

namespace cmm = arksim::cmm;
using std::chrono::milliseconds;

constexpr int kReadyWaitMs = 10000;
constexpr int kStopWaitMs = 3000;
constexpr int kSettleWaitMs = 2000;  // for the daemon to take up a change
constexpr int kPollMs = 20;
constexpr std::size_t kStatusRequests = 5;

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

// arkcmm beside this arksim (an installed pair), else the one built with it.
std::string arkcmm_path()
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        std::string sibling = dir.substr(0, dir.rfind('/') + 1) + cmm::kDaemonName;
        if (is_executable(sibling))
            return sibling;
    }
    return is_executable(ARKSIM_ARKCMM_PATH) ? ARKSIM_ARKCMM_PATH : cmm::kDaemonName;
}

bool process_alive(int pid)
{
    std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
    auto paren = stat.rfind(')');
    // A zombie has ended; only its parent's wait is missing.
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

void print_log_tail(const std::string &chassis)
{
    std::string log = read_text(cmm::file(chassis, "log"));
    std::size_t start = log.size();
    for (int lines = 0; lines < 5 && start > 0; ++lines)
        start = log.rfind('\n', start - 1) == std::string::npos ? 0 : log.rfind('\n', start - 1);
    if (!log.empty())
        std::fprintf(stderr, "%s\n", log.substr(start == 0 ? 0 : start + 1).c_str());
}

[[noreturn]] void exec_daemon(const std::string &chassis, int ready_fd, int owner)
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
    std::string path = arkcmm_path(), ready = std::to_string(ready_fd);
    std::vector<std::string> args{cmm::kDaemonName, "--ready-fd", ready};
    if (owner > 0)
        args.insert(args.end(), {"--owner", std::to_string(owner)});
    args.push_back(chassis);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(path.c_str(), argv.data());
    std::string msg = "arksim: cannot run " + path + ": " + std::strerror(errno) + "\n";
    int log = ::open(cmm::file(chassis, "log").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (log >= 0 && ::write(log, msg.data(), msg.size()) < 0)
        ::_exit(127);
    ::_exit(127);
}

// Starts the daemon detached from us (own session, reparented) and waits
// until it serves or has given up.
bool start_daemon(const std::string &chassis, int owner)
{
    int ready[2];
    if (!arksim::make_dirs(cmm::dir(chassis)) || ::pipe2(ready, O_CLOEXEC) != 0)
        return fail("cannot prepare %s", cmm::dir(chassis).c_str()), false;
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() == 0)
            exec_daemon(chassis, ready[1], owner);
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
    wait_for(kReadyWaitMs, [&] { return cmm::running_pid(chassis) != 0; });
    if (cmm::running_pid(chassis) > 0)
        return true;
    fail("the CMM did not start; the end of %s:", cmm::file(chassis, "log").c_str());
    print_log_tail(chassis);
    return false;
}

// Removes the link of a daemon that did not end cleanly.
void tidy_stale_link(const std::string &chassis)
{
    int pid = 0;
    struct stat st {};
    std::string link = chassis + "/netns";
    if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !cmm::open_chassis_netns(chassis, pid))
        ::unlink(link.c_str());
}

bool stop_daemon(const std::string &chassis, bool quiet)
{
    int pid = cmm::running_pid(chassis);
    if (pid == 0)
        wait_for(kReadyWaitMs, [&] { return (pid = cmm::running_pid(chassis)) != 0; });
    if (pid < 0) {
        tidy_stale_link(chassis);
        if (!quiet)
            std::puts("the CMM is not running");
        return true;
    }
    if (pid == 0 || read_text("/proc/" + std::to_string(pid) + "/comm") != cmm::kDaemonName)
        return fail("the CMM of %s holds its lock but names no arkcmm pid", chassis.c_str()), false;
    ::kill(pid, SIGTERM);
    bool ended = wait_for(kStopWaitMs, [&] { return !process_alive(pid); });
    if (!ended) {
        ::kill(pid, SIGKILL);
        ended = wait_for(kStopWaitMs, [&] { return !process_alive(pid); });
        tidy_stale_link(chassis);
    }
    if (!ended)
        return fail("the CMM (pid %d) does not end", pid), false;
    if (!quiet)
        std::printf("the CMM (pid %d) stopped\n", pid);
    return true;
}

bool parse_watts(const std::string &text, int &watts)
{
    long long v = 0;
    if (!parse_number(text, 0, cmm::kMaxPool, v))
        return false;
    watts = static_cast<int>(v);
    return true;
}

std::string blades_in_slot(const std::string &chassis, int host_index)
{
    std::string names;
    for (const auto &b : arksim::list_blades(chassis))
        if (b.slot >= 0 && b.slot % cmm::kBladeHosts == host_index)
            names += (names.empty() ? "" : ",") + b.name;
    return names.empty() ? "no blade" : names;
}

std::vector<std::string> text_lines(const std::string &text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

int cmm_start(const Context &ctx, const Args &args)
{
    int watts = 0;
    const std::string *pool = args.get("--pool");
    if (pool != nullptr && !parse_watts(*pool, watts))
        return usage_error("--pool wants watts from 0 to %d", cmm::kMaxPool);
    long long owner = 0;
    const std::string *own = args.get("--owner");
    if (own != nullptr && !parse_number(*own, 1, INT_MAX, owner))
        return usage_error("--owner wants a process id");
    cmm::Config c = cmm::read_config(ctx.chassis);
    if (pool != nullptr)
        c.pool = watts;
    if (!cmm::write_config(ctx.chassis, c))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    int pid = cmm::running_pid(ctx.chassis);
    if (pid == 0)  // another start is under way
        wait_for(kReadyWaitMs, [&] { return (pid = cmm::running_pid(ctx.chassis)) != 0; });
    if (pid < 0 && !start_daemon(ctx.chassis, static_cast<int>(owner)))
        return 1;
    std::printf("the CMM %s (pid %d), pool %d W, on %s:%u\n", pid < 0 ? "runs" : "ran already",
                cmm::running_pid(ctx.chassis), c.pool, cmm::kAddress, cmm::kPort);
    return 0;
}

int cmm_status(const Context &ctx)
{
    int pid = cmm::running_pid(ctx.chassis);
    cmm::Config c = cmm::read_config(ctx.chassis);
    if (pid > 0)
        std::printf("CMM: running, pid %d, %s %s:%u\n", pid,
                    cmm::is_listening(pid) ? "listening on" : "not listening on", cmm::kAddress, cmm::kPort);
    else
        std::printf("CMM: %s\n", pid == 0 ? "starting" : "not running");
    cmm::Allotments a = cmm::read_allotments(ctx.chassis);
    long used = 0;
    for (int w : a)
        used += w;
    std::printf("pool: %d W, allotted %ld W, free %ld W\n", c.pool, used, c.pool - used);
    std::printf("autostart: %s\nbroadcast: %s\n", c.autostart ? "yes (arksim run)" : "no",
                c.broadcast.empty() ? "none" : c.broadcast.c_str());
    std::string behaviour = read_text(cmm::file(ctx.chassis, "behaviour"));
    std::printf("behaviour: %s\n", behaviour.empty() ? "normal" : behaviour.c_str());
    std::puts("allotments:");
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != 0)
            std::printf("  slot %zu (%s, %s): %d W\n", i, blades_in_slot(ctx.chassis, int(i)).c_str(),
                        cmm::blade_address(static_cast<int>(i)).c_str(), a[i]);
    auto reqs = text_lines(read_text(cmm::file(ctx.chassis, "requests")));
    std::printf("last requests (time address slot request reply):\n");
    for (std::size_t i = reqs.size() > kStatusRequests ? reqs.size() - kStatusRequests : 0; i < reqs.size();
         ++i)
        std::printf("  %s\n", reqs[i].c_str());
    return 0;
}

int cmm_behave(const Context &ctx, const std::vector<std::string> &words)
{
    std::string mode = words.empty() ? "" : words[0], text, unescaped;
    long long ms = 0;
    if (mode == "reply" && words.size() >= 2) {
        for (std::size_t i = 1; i < words.size(); ++i)
            text += (i > 1 ? " " : "") + words[i];
        if (!cmm::unescape(text, unescaped))
            return usage_error("bad escape in %s (\\\\ \\n \\r \\t \\0 \\xHH)", text.c_str());
        text = "reply " + text;
    } else if (mode == "delay" && words.size() == 2 && parse_number(words[1], 0, 60000, ms)) {
        text = "delay " + std::to_string(ms);
    } else if ((mode == "close" || mode == "split" || mode == "nolisten" || mode == "normal") &&
               words.size() == 1) {
        text = mode;
    } else {
        return usage_error("wants reply TEXT, close, split, delay MS, nolisten or normal");
    }
    std::string path = cmm::file(ctx.chassis, "behaviour");
    bool ok = mode == "normal"
                  ? (::unlink(path.c_str()) == 0 || errno == ENOENT)
                  : arksim::make_dirs(cmm::dir(ctx.chassis)) && arksim::write_text(path, text + "\n");
    if (!ok)
        return fail("cannot write %s", path.c_str());
    // The listener follows within a tick; wait so the next connection meets it.
    int pid = cmm::running_pid(ctx.chassis);
    bool listen = mode != "nolisten";
    if (pid > 0 && !wait_for(kSettleWaitMs, [&] { return cmm::is_listening(pid) == listen; }))
        return fail("the CMM did not %s listening", listen ? "start" : "stop");
    std::printf("behaviour: %s\n", text.c_str());
    return 0;
}

int cmm_cmd(const Context &ctx, const Args &args)
{
    if (!need_chassis(ctx))
        return 1;
    if (args.pos.empty())
        return cmm_status(ctx);
    const std::string &sub = args.pos[0];
    std::vector<std::string> rest(args.pos.begin() + 1, args.pos.end());
    if (sub == "behave")
        return cmm_behave(ctx, rest);
    if (!rest.empty() && sub != "pool")
        return usage_error("unexpected argument %s", rest[0].c_str());
    if (sub == "start")
        return cmm_start(ctx, args);
    if (sub == "stop")
        return stop_daemon(ctx.chassis, false) ? 0 : 1;
    if (sub == "status")
        return cmm_status(ctx);
    if (sub == "requests") {
        std::string reqs = read_text(cmm::file(ctx.chassis, "requests"));
        if (!reqs.empty())
            std::puts(reqs.c_str());
        return 0;
    }
    int watts = 0;
    if (sub != "pool")
        return usage_error("unknown subcommand %s", sub.c_str());
    if (rest.size() != 1 || !parse_watts(rest[0], watts))
        return usage_error("pool wants watts from 0 to %d", cmm::kMaxPool);
    cmm::Config c = cmm::read_config(ctx.chassis);
    c.pool = watts;
    if (!cmm::write_config(ctx.chassis, c))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    std::printf("pool: %d W\n", watts);
    return 0;
}

int broadcast_cmd(const Context &ctx, const Args &args)
{
    bool all = args.has("--all");
    if (args.pos.empty() || (args.pos[0] != "start" && args.pos[0] != "stop") || args.pos.size() > 2 ||
        (all && args.pos.size() > 1))
        return usage_error("wants start|stop [BLADE | --all]");
    bool start = args.pos[0] == "start";
    Context c = ctx;
    if (args.pos.size() == 2)
        c.blade = args.pos[1];
    arksim::BladeInfo b;
    if (!all && !pick_blade(c, b))
        return 1;
    cmm::Config conf = cmm::read_config(ctx.chassis);
    std::vector<std::string> names = cmm::broadcast_blades(ctx.chassis, conf), kept;
    for (const std::string &n : names)
        if (n != b.name)
            kept.push_back(n);
    if (start && !all)
        kept.push_back(b.name);
    std::string list;
    for (const std::string &n : kept)
        list += (list.empty() ? "" : ",") + n;
    conf.broadcast = all ? (start ? "all" : "") : list;
    if (!cmm::write_config(ctx.chassis, conf))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    std::printf("broadcast: %s\n", conf.broadcast.empty() ? "none" : conf.broadcast.c_str());
    if (cmm::running_pid(ctx.chassis) <= 0) {
        std::puts("(the CMM is not running: the broadcast starts with it)");
        return 0;
    }
    std::string stamp = b.dir + "/memstore/" + arksim::encode_key("SSBCAST/CH/TIMESTAMP");
    if (start && !all && !wait_for(kSettleWaitMs, [&] { return ::access(stamp.c_str(), F_OK) == 0; }))
        return fail("no broadcast reached blade %s", b.name.c_str());
    return 0;
}

constexpr Opt kCmmOpts[] = {
    {"--pool", "W", "start: the power pool in watts (default: as configured, else 1200)"},
    {"--owner", "PID", "start: the CMM ends when process PID does (for test scripts)"},
};
constexpr Opt kBroadcastOpts[] = {{"--all", "", "every blade of the chassis"}};

constexpr Command kCommands[] = {
    {"cmm", "[start [--pool W] | stop | status | requests | pool W | behave MODE]",
     "the chassis management module: power pool and requests",
     "start     starts the CMM daemon (arkcmm) of the chassis and its chassis network;\n"
     "          blades run afterwards join that network with 169.254.10.(100 + slot % 60)\n"
     "stop      stops it; nothing of it keeps running\n"
     "status    pool, allotment per slot, free watts, behaviour, last requests (default)\n"
     "requests  every request: time, peer address, slot, request bytes, reply bytes\n"
     "pool W    sets the power pool (a running CMM takes it at its next request)\n"
     "behave    how the CMM answers from the next connection on:\n"
     "            reply TEXT  always TEXT (escapes \\n \\0 \\xHH...) and its NUL\n"
     "            close       read the request, answer nothing\n"
     "            split       the reply in two segments, 50 ms apart\n"
     "            delay MS    wait MS milliseconds before answering\n"
     "            nolisten    no listener on 169.254.10.1:880\n"
     "            normal      answer by the pool\n\n"
     "The CMM grants a request when the pool minus the other blades' allotments\n"
     "holds it and answers \"OK <watts>\"; else \"NO\" and the blade's allotment is 0.\n"
     "A blade's allotment is its latest grant; 0 watts releases it.  State and\n"
     "the daemon's log are in <chassis>/cmm/.",
     kCmmOpts, false, cmm_cmd},
    {"broadcast", "start|stop [BLADE | --all]", "the CMM's sensor broadcast to a blade",
     "While on, the CMM writes the blade's memstore keys SSBCAST/CH/8300 (00 00 00 01:\n"
     "may power on while the pool has watts left, else 00 00 00 02) and then\n"
     "SSBCAST/CH/TIMESTAMP (unix time) every second.  Stopping removes nothing: the\n"
     "keys stay and the timestamp no longer moves.  BLADE defaults to the blade of\n"
     "--blade/--slot.",
     kBroadcastOpts, false, broadcast_cmd},
};

}  // namespace

std::span<const Command> cmm_commands() { return kCommands; }

bool start_configured_cmm(const std::string &chassis)
{
    if (!cmm::read_config(chassis).autostart || cmm::running_pid(chassis) > 0)
        return true;
    return start_daemon(chassis, 0);
}

bool stop_cmm(const std::string &chassis) { return stop_daemon(chassis, true); }

}  // namespace arkcli
