// The network a simulated SP sees.  While the chassis's CMM daemon runs, its
// network namespace (<chassis>/netns) holds the bridge of the chassis network
// and the CMM's address 169.254.10.1; the SP then gets its own namespace, a
// veth pair whose other end joins that bridge, and the blade's address
// its slot's own address (cmm::blade_address), so the CMM tells blades
// apart by address.
// Otherwise the SP gets a private namespace whose loopback also answers its
// internal address 169.254.10.1 (and nobody listens there).
// Run by an ordinary user, the SP is by then in the user namespace that
// owns the chassis network, or in one of its own (sandbox.cpp).
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "cmm/cmm_state.h"
#include "core/netif.h"
#include "core/own_child.h"
#include "core/simstate.h"
#include "sandbox.h"
#include "userns/userns.h"

namespace arksim {
namespace {

constexpr const char *kSpAddress = "169.254.10.1";
constexpr const char *kBladeIf = "eth0";

bool private_network(std::string &err)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        err = std::string("cannot make a network namespace: ") + std::strerror(errno);
        return false;
    }
    UniqueFd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    bool ok = sock && bring_up(sock.get(), "lo") && set_ipv4(sock.get(), "lo:0", SIOCSIFADDR, kSpAddress) &&
              set_ipv4(sock.get(), "lo:0", SIOCSIFNETMASK, cmm::kChassisNetmask);
    if (!ok)
        err = std::string("cannot set up the loopback network: ") + std::strerror(errno);
    return ok;
}

// Runs `ip ARGS...`, its output to /dev/null when `quiet`; true when it succeeded.
bool run_ip(const std::vector<std::string> &args, bool quiet)
{
    std::vector<char *> argv{const_cast<char *>("ip")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const KeepChildStatus keep;
    pid_t pid = ::fork();
    if (pid == 0) {
        if (quiet) {
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        ::execvp("ip", argv.data());
        for (const char *path : {"/usr/sbin/ip", "/sbin/ip", "/bin/ip"})
            ::execv(path, argv.data());
        ::_exit(127);
    }
    return child_exited_zero(pid);
}

int blade_slot(const std::string &sp)
{
    auto slot = read_number(sp + "/slot");
    return slot && *slot >= 0 && *slot <= 255 ? static_cast<int>(*slot) : -1;
}

// Own namespace, veth pair: "eth0" here, the other end on the chassis bridge.
bool blade_network(int chassis_ns, int cmm_pid, int slot, std::string &err)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        err = std::string("cannot make a network namespace: ") + std::strerror(errno);
        return false;
    }
    UniqueFd own(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    std::string peer = cmm::veth_name(slot, static_cast<int>(::getpid()));
    if (!own || !run_ip({"link", "add", kBladeIf, "type", "veth", "peer", "name", peer, "netns",
                         std::to_string(cmm_pid)},
                        false)) {
        err = "cannot make the veth pair to the chassis network (is iproute2's `ip` installed?)";
        return false;
    }
    if (::setns(chassis_ns, CLONE_NEWNET) != 0) {
        err = std::string("cannot enter the chassis network: ") + std::strerror(errno);
        return false;
    }
    bool joined = run_ip({"link", "set", "dev", peer, "master", cmm::kBridge, "up"}, false);
    if (::setns(own.get(), CLONE_NEWNET) != 0) {
        // Never run the SP in the chassis's own namespace.
        std::fprintf(stderr, "arksim run: cannot leave the chassis network: %s\n", std::strerror(errno));
        ::_exit(kSetupFailed);
    }
    std::string address = cmm::blade_address(slot);
    UniqueFd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    bool ok = joined && sock && bring_up(sock.get(), "lo") &&
              set_ipv4(sock.get(), kBladeIf, SIOCSIFADDR, address.c_str()) &&
              set_ipv4(sock.get(), kBladeIf, SIOCSIFNETMASK, cmm::kChassisNetmask) &&
              bring_up(sock.get(), kBladeIf);
    if (!ok)
        err = joined ? "cannot set up " + address + " on the chassis network: " + std::strerror(errno)
                     : "cannot attach the veth " + peer + " to the chassis bridge";
    return ok;
}

}  // namespace

ChassisNet find_chassis_network(const std::string &sp)
{
    ChassisNet net;
    net.slot = blade_slot(sp);
    // A blade without a slot has no address on the chassis network.
    if (net.slot >= 0)
        net.ns = cmm::open_chassis_netns(chassis_of(sp), net.cmm_pid);
    if (net.ns && !privileged())
        net.user = open_userns_of(net.cmm_pid);
    return net;
}

bool enter_chassis_network(const ChassisNet &net, std::string &err)
{
    if (!net)
        return private_network(err);
    return blade_network(net.ns.get(), net.cmm_pid, net.slot, err);
}

void leave_chassis_network(const std::string &sp, int pid)
{
    ChassisNet net = find_chassis_network(sp);
    if (!net)
        return;  // no chassis network, or it ended with its daemon
    pid_t helper = ::fork();
    if (helper == 0) {
        // Deleting one end deletes the pair; gone already when the SP's
        // namespace ended with its last process.
        std::string err;
        if ((privileged() || join_userns(net.user.get(), err)) && ::setns(net.ns.get(), CLONE_NEWNET) == 0)
            run_ip({"link", "del", "dev", cmm::veth_name(net.slot, pid)}, true);
        ::_exit(0);
    }
    int status = 0;
    if (helper > 0)
        ::waitpid(helper, &status, 0);
}

}  // namespace arksim
