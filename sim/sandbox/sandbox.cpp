// `arksim run`: starts the program as the SP in its own namespaces and serves
// the SP's log until the program ends.
#include "sandbox.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/own_child.h"
#include "core/simstate.h"
#include "userns/userns.h"

namespace arksim {
namespace {

constexpr int kForwarded[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

[[noreturn]] void setup_failed(const std::string &err, int status = kSetupFailed)
{
    std::fprintf(stderr, "arksim run: %s\n", err.c_str());
    ::_exit(status);
}

[[noreturn]] void child(const std::string &sp, const std::vector<std::string> &argv)
{
    std::string err;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        setup_failed(std::string("cannot read the working folder: ") + std::strerror(errno));
    ChassisNet net = find_chassis_network(sp);
    // Without root's privileges: the user namespace that owns the chassis
    // network, else one of our own, before any other namespace.
    if (!privileged()) {
        if (net && !join_userns(net.user.get(), err))
            setup_failed(err);
        if (!net && !enter_own_userns(err))
            setup_failed(err, kNoUserNamespaces);
    }
    if (::unshare(CLONE_NEWNS) != 0)
        setup_failed(std::string("cannot make a mount namespace: ") + std::strerror(errno));
    if (!enter_chassis_network(net, err) || !enter_sp_root(sp, cwd, err))
        setup_failed(err);
    ::setenv(kSpEnv, sp.c_str(), 1);
    ::setenv("ARKSIM_SANDBOX", "1", 1);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    int e = errno;
    std::fprintf(stderr, "arksim run: cannot run %s: %s\n", args[0], std::strerror(e));
    ::_exit(e == ENOENT ? 127 : 126);
}

int exit_status(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

// Serves the log and passes signals on until the child ends.
int supervise(pid_t pid, int log_fd, int sig_fd, const std::string &sp)
{
    int status = 0;
    for (;;) {
        struct pollfd fds[2] = {{sig_fd, POLLIN, 0}, {log_fd, POLLIN, 0}};
        if (::poll(fds, log_fd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        if (log_fd >= 0 && (fds[1].revents & POLLIN))
            serve_log(log_fd, sp);
        struct signalfd_siginfo si {};
        // A terminal's ^C reaches the child by itself (same process group).
        while (::read(sig_fd, &si, sizeof si) == static_cast<ssize_t>(sizeof si))
            if (si.ssi_signo != SIGCHLD && si.ssi_code != SI_KERNEL)
                ::kill(pid, static_cast<int>(si.ssi_signo));
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
    }
    if (log_fd >= 0)
        serve_log(log_fd, sp);  // what was sent before the end
    return exit_status(status);
}

}  // namespace

int run_in_sandbox(const std::string &sp_in, const std::vector<std::string> &argv)
{
    char real[PATH_MAX];
    if (argv.empty() || ::realpath(sp_in.c_str(), real) == nullptr) {
        std::fprintf(stderr, "arksim run: no SP folder %s\n", sp_in.c_str());
        return kSetupFailed;
    }
    std::string sp = real;
    for (const char *dir : {"fs/dev/shm", "fs/conf", "fs/persist", "fs/usr/local/bin", "root"})
        if (!make_dirs(sp + "/" + dir)) {
            std::fprintf(stderr, "arksim run: cannot create %s/%s\n", sp.c_str(), dir);
            return kSetupFailed;
        }
    std::string err;
    bool shared = false;
    UniqueFd log = open_log_socket(sp, shared, err);
    if (!log && !shared) {
        std::fprintf(stderr, "arksim run: %s\n", err.c_str());
        return kSetupFailed;
    }
    sigset_t mask, old;
    sigemptyset(&mask);
    sigaddset(&mask, SIGCHLD);
    for (int s : kForwarded)
        sigaddset(&mask, s);
    ::sigprocmask(SIG_BLOCK, &mask, &old);
    UniqueFd sig(::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK));
    const KeepChildStatus keep;
    std::fflush(nullptr);
    pid_t parent = ::getpid();
    pid_t pid = sig ? ::fork() : -1;
    if (pid == 0) {
        // Killed with arksim (e.g. by a test runner's timeout), not left behind.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(kSetupFailed);
        keep.restore();
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        child(sp, argv);
    }
    int rc = kSetupFailed;
    if (pid < 0)
        std::fprintf(stderr, "arksim run: cannot start: %s\n", std::strerror(errno));
    else
        rc = supervise(pid, log.get(), sig.get(), sp);
    if (pid > 0)
        leave_chassis_network(sp, pid);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    return rc;
}

}  // namespace arksim
