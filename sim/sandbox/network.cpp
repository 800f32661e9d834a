// The network a simulated SP sees: the chassis network namespace when one is
// bind-mounted at <chassis>/netns (shared by every blade and the chassis
// management emulator), else a private one whose loopback also answers the
// SP's internal address 169.254.10.1.
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/vfs.h>

#include "sandbox.h"

namespace arksim {
namespace {

constexpr const char *kSpAddress = "169.254.10.1";
constexpr const char *kSpNetmask = "255.255.255.0";

bool set_ipv4(int sock, const char *ifname, unsigned long request, const char *address)
{
    struct ifreq ifr {};
    std::strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
    struct sockaddr_in sin {};
    sin.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &sin.sin_addr);
    std::memcpy(&ifr.ifr_addr, &sin, sizeof sin);
    return ::ioctl(sock, request, &ifr) == 0;
}

bool private_network(std::string &err)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        err = std::string("cannot make a network namespace: ") + std::strerror(errno);
        return false;
    }
    UniqueFd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    struct ifreq ifr {};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = sock && ::ioctl(sock.get(), SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ok && ::ioctl(sock.get(), SIOCSIFFLAGS, &ifr) == 0 &&
         set_ipv4(sock.get(), "lo:0", SIOCSIFADDR, kSpAddress) &&
         set_ipv4(sock.get(), "lo:0", SIOCSIFNETMASK, kSpNetmask);
    if (!ok)
        err = std::string("cannot set up the loopback network: ") + std::strerror(errno);
    return ok;
}

}  // namespace

bool enter_chassis_network(const std::string &chassis, std::string &err)
{
    UniqueFd ns(::open((chassis + "/netns").c_str(), O_RDONLY | O_CLOEXEC));
    struct statfs fs {};
    if (!ns || ::fstatfs(ns.get(), &fs) != 0 || fs.f_type != NSFS_MAGIC)
        return private_network(err);
    if (::setns(ns.get(), CLONE_NEWNET) != 0) {
        err = "cannot join the chassis network " + chassis + "/netns: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace arksim
