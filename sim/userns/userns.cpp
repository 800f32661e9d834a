// Entering and joining user namespaces, and the one-line reason when the
// system refuses them.
#include "userns.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/own_child.h"

namespace arksim {
namespace {

constexpr const char *kLimit = "/proc/sys/user/max_user_namespaces";

bool has_cap(const __user_cap_data_struct (&caps)[2], int cap)
{
    return (caps[cap / 32].effective & (1u << (cap % 32))) != 0;
}

// Writes `text` to a /proc file in one write, as the kernel wants it.
bool write_proc(const char *path, const std::string &text)
{
    UniqueFd fd(::open(path, O_WRONLY | O_CLOEXEC));
    return fd && ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::string limit_value()
{
    char buf[32] = {};
    UniqueFd fd(::open(kLimit, O_RDONLY | O_CLOEXEC));
    ssize_t n = fd ? ::read(fd.get(), buf, sizeof buf - 1) : -1;
    std::string v = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "?";
    while (!v.empty() && v.back() == '\n')
        v.pop_back();
    return v;
}

// "user namespaces are not available (STEP: ERROR); WHAT TO CHANGE, or run as root"
std::string unavailable(const std::string &step, int e)
{
    std::string why = "user namespaces are not available (" + step + ": " + std::strerror(e) + "); ";
    if (e == ENOSPC)
        why += "the limit user.max_user_namespaces is " + limit_value() +
               " or used up: raise it (sysctl -w user.max_user_namespaces=10000)";
    else if (e == EPERM || e == EACCES)
        why += "allow them for ordinary users (sysctl -w kernel.unprivileged_userns_clone=1; in a "
               "container, a seccomp profile that permits CLONE_NEWUSER)";
    else if (e == EINVAL || e == ENOSYS)
        why += "this kernel has none: build it with CONFIG_USER_NS";
    else
        why += "make them available to ordinary users";
    return why + ", or run as root";
}

}  // namespace

bool privileged()
{
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    if (::syscall(SYS_capget, &head, caps) != 0)
        return ::geteuid() == 0;
    return has_cap(caps, CAP_SYS_ADMIN) && has_cap(caps, CAP_NET_ADMIN);
}

bool enter_own_userns(std::string &err)
{
    const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
    if (::unshare(CLONE_NEWUSER) != 0) {
        err = unavailable("cannot make one", errno);
        return false;
    }
    // setgroups is denied first, or an ordinary user may not map its group.
    if (!write_proc("/proc/self/uid_map", "0 " + uid + " 1\n") ||
        (!write_proc("/proc/self/setgroups", "deny") && errno != ENOENT) ||
        !write_proc("/proc/self/gid_map", "0 " + gid + " 1\n")) {
        err = unavailable("cannot map uid " + uid + " and gid " + gid + " to root in one", errno);
        return false;
    }
    if (!privileged()) {
        err = "user namespaces are not available (one was made, but without capabilities); allow them for "
              "ordinary users (sysctl -w kernel.apparmor_restrict_unprivileged_userns=0, or a profile "
              "for arksim and arkcmm), or run as root";
        return false;
    }
    return true;
}

UniqueFd open_userns_of(int pid)
{
    return UniqueFd(::open(("/proc/" + std::to_string(pid) + "/ns/user").c_str(), O_RDONLY | O_CLOEXEC));
}

bool join_userns(int fd, std::string &err)
{
    struct stat theirs {
    }, ours{};
    if (fd < 0 || ::fstat(fd, &theirs) != 0 || ::stat("/proc/self/ns/user", &ours) != 0) {
        err = std::string("cannot find the chassis network's user namespace: ") + std::strerror(errno);
        return false;
    }
    if (theirs.st_ino == ours.st_ino && theirs.st_dev == ours.st_dev)
        return true;
    if (::setns(fd, CLONE_NEWUSER) != 0) {
        err = std::string("cannot join the chassis network's user namespace (another user's CMM?): ") +
              std::strerror(errno);
        return false;
    }
    return true;
}

bool userns_available(std::string &err)
{
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        err = std::string("cannot try a user namespace: ") + std::strerror(errno);
        return false;
    }
    UniqueFd in(pipe_fds[0]), out(pipe_fds[1]);
    const KeepChildStatus keep;
    pid_t pid = ::fork();
    if (pid == 0) {
        std::string why;
        if (enter_own_userns(why))
            ::_exit(0);
        ssize_t n = ::write(out.get(), why.data(), why.size());
        ::_exit(n < 0 ? 2 : 1);
    }
    out.reset();
    std::string why;
    char buf[512];
    for (ssize_t n; pid > 0 && (n = ::read(in.get(), buf, sizeof buf)) != 0;)
        if (n > 0)
            why.append(buf, static_cast<std::size_t>(n));
        else if (errno != EINTR)
            break;
    if (!child_exited_zero(pid)) {
        err = why.empty() ? std::string("cannot try a user namespace: ") + std::strerror(errno) : why;
        return false;
    }
    return true;
}

}  // namespace arksim
