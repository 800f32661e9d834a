// The chassis network: a network namespace owned by the CMM daemon, with a
// bridge that every blade run joins through its own veth pair.  The namespace
// lives as long as the daemon; it is published as a symlink to the daemon's
// /proc entry, so nothing is mounted on the host and a dead daemon leaves only
// a link that no longer opens.  A daemon run by an ordinary user has entered a
// user namespace of its own first (cmm_daemon.cpp): that one owns the
// namespace, and blade runs join it, /proc/<pid>/ns/user, before this one.
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/netif.h"
#include "cmm_daemon.h"

namespace arksim::cmm {
namespace {

std::string own_netns() { return "/proc/" + std::to_string(::getpid()) + "/ns/net"; }

}  // namespace

bool make_chassis_network(std::string &err)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        err = std::string("cannot make the chassis network namespace: ") + std::strerror(errno);
        return false;
    }
    UniqueFd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const char *step = "socket";
    bool ok = sock && (step = "loopback", bring_up(sock.get(), "lo")) &&
              (step = "bridge", ::ioctl(sock.get(), SIOCBRADDBR, kBridge) == 0) &&
              (step = "address", set_ipv4(sock.get(), kBridge, SIOCSIFADDR, kAddress)) &&
              (step = "netmask", set_ipv4(sock.get(), kBridge, SIOCSIFNETMASK, kChassisNetmask)) &&
              (step = "bridge up", bring_up(sock.get(), kBridge));
    if (!ok)
        err = std::string("cannot set up the chassis network (") + step + "): " + std::strerror(errno);
    return ok;
}

bool publish_netns(const std::string &chassis)
{
    // A fresh link renamed over the old one: a blade never sees it missing.
    std::string link = chassis + "/netns", tmp = link + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(own_netns().c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
        note("cannot publish %s: %s", link.c_str(), std::strerror(errno));
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void withdraw_netns(const std::string &chassis)
{
    std::string link = chassis + "/netns";
    char target[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        if (own_netns() == target)  // not one that a newer daemon published
            ::unlink(link.c_str());
    }
}

}  // namespace arksim::cmm
