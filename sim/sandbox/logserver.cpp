// The SP's log server: a unix datagram socket at <sp>/devlog.sock (the SP's
// /dev/log) whose datagrams become lines of <sp>/log.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/simstate.h"
#include "core/sp_log.h"
#include "sandbox.h"

namespace arksim {
namespace {

// Calls `op` with the address of the socket file at `path`.  A path too long
// for sun_path is reached through its folder's descriptor instead.
template <typename Op> int with_unix_address(const std::string &path, Op op)
{
    struct sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    UniqueFd dir;
    std::string name = path;
    if (path.size() >= sizeof addr.sun_path) {
        std::size_t cut = path.rfind('/');
        dir.reset(::open(path.substr(0, cut).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!dir)
            return -1;
        name = "/proc/self/fd/" + std::to_string(dir.get()) + path.substr(cut);
        if (name.size() >= sizeof addr.sun_path) {
            errno = ENAMETOOLONG;
            return -1;
        }
    }
    std::memcpy(addr.sun_path, name.c_str(), name.size() + 1);
    return op(reinterpret_cast<const struct sockaddr *>(&addr), socklen_t{sizeof addr});
}

bool served_elsewhere(const std::string &path)
{
    UniqueFd probe(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    return probe && with_unix_address(path, [&](const struct sockaddr *a, socklen_t n) {
                        return ::connect(probe.get(), a, n);
                    }) == 0;
}

void append_line(const std::string &sp, const std::string &line)
{
    UniqueFd fd(::open((sp + "/log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd)
        write_all(fd.get(),
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(line.data()), line.size()));
}

// A process's name as the kernel keeps it, empty once it is gone.
std::string process_name(long pid)
{
    std::string path = "/proc/";  // piece by piece, for GCC 12's -Wrestrict
    path += std::to_string(pid);
    path += "/comm";
    return read_text(path);
}

// `sender`: the pid the kernel vouches for (0 when it did not say).
void handle_datagram(const std::string &sp, std::string_view text, long sender)
{
    if (text.size() > kSyncPrefix.size() && text.substr(0, kSyncPrefix.size()) == kSyncPrefix &&
        text.find_first_of(" \n", kSyncPrefix.size()) == std::string_view::npos) {
        write_text(sp + "/log.sync", text.substr(kSyncPrefix.size()));
        return;
    }
    LogEntry e = parse_syslog_datagram(text);
    if (sender > 0)
        e.pid = sender;
    if (e.name.empty() && e.pid > 0)
        e.name = process_name(e.pid);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    e.wall_us = static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    append_line(sp, format_log_line(e));
}

}  // namespace

UniqueFd open_log_socket(const std::string &sp, bool &shared, std::string &err)
{
    std::string path = sp + "/devlog.sock";
    // Two runs starting at once on one blade: one serves, the other shares;
    // the lock keeps one from unlinking the socket the other just bound.
    UniqueFd lock(::open((sp + "/devlog.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock)
        ::flock(lock.get(), LOCK_EX);
    shared = served_elsewhere(path);
    if (shared)
        return {};
    // A socket left by a run that ended goes; one that cannot go (a blade
    // folder its owner made read-only) is said as it is, not as the bind's
    // "Address already in use".
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        err = "cannot replace the log socket " + path + ": " + std::strerror(errno);
        return {};
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd || with_unix_address(path, [&](const struct sockaddr *a, socklen_t n) {
                   return ::bind(fd.get(), a, n);
               }) != 0) {
        err = "cannot create the log socket " + path + ": " + std::strerror(errno);
        return {};
    }
    ::chmod(path.c_str(), 0666);
    // The sender's credentials with every datagram: the pid of each entry.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
    return fd;
}

void serve_log(int fd, const std::string &sp)
{
    static char buf[65536];
    alignas(struct cmsghdr) static char control[CMSG_SPACE(sizeof(struct ucred))];
    for (;;) {
        struct iovec iov {
            buf, sizeof buf
        };
        struct msghdr msg {};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        long sender = 0;
        for (struct cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
                struct ucred cred {};
                std::memcpy(&cred, CMSG_DATA(c), sizeof cred);
                sender = cred.pid;
            }
        handle_datagram(sp, std::string_view(buf, static_cast<std::size_t>(n)), sender);
    }
}

}  // namespace arksim
