/*
 * Running a program as a simulated SP (`arksim run`).
 *
 * The program gets its own mount namespace whose root is a copy of the host's
 * (every top-level folder bind-mounted, the host itself is never changed)
 * with the SP's folders laid over it:
 *
 *   /conf, /persist, /usr/local/bin, /dev/shm   <sp>/fs/...
 *   /dev/log                                    <sp>/devlog.sock, served by
 *                                               the parent into <sp>/log
 *
 * and the network: while the chassis's CMM runs, its own namespace joined to
 * the chassis network (<chassis>/netns) by a veth pair with the blade's
 * address; else a private namespace whose loopback also answers 169.254.10.1.
 *
 * Without root's privileges all of it happens inside a user namespace where
 * the caller is root: the CMM daemon's, so that the veth pair can reach the
 * chassis network, or else one of the run's own (userns/userns.h).
 */
#ifndef ARKSIM_SANDBOX_H
#define ARKSIM_SANDBOX_H

#include <string>
#include <vector>

#include "core/unique_fd.h"

namespace arksim {

inline constexpr int kSetupFailed = 125;  // exit status when the SP could not be set up

// Runs argv as the SP whose state folder is `sp` and returns the exit status
// to pass on (128 + signal when the program was killed).
int run_in_sandbox(const std::string &sp, const std::vector<std::string> &argv);

/* --- parts, each in its own file ------------------------------------- */

// Child side, in a fresh mount namespace: builds the SP's root and pivots into
// it, then returns to `cwd`.  (newroot.cpp)
bool enter_sp_root(const std::string &sp, const std::string &cwd, std::string &err);

// The chassis network that a run of blade folder `sp` joins: the namespace
// the CMM daemon publishes at <chassis>/netns and, for a run without root's
// privileges, the daemon's user namespace.  Empty (false) when no daemon
// serves or the blade has no slot.  (network.cpp)
struct ChassisNet {
    UniqueFd ns, user;
    int cmm_pid = 0;
    int slot = -1;
    explicit operator bool() const { return static_cast<bool>(ns); }
};
ChassisNet find_chassis_network(const std::string &sp);
// Child side: a network namespace of its own, joined by a veth pair to the
// chassis network `net`, else private with loopback up and 169.254.10.1/24.
bool enter_chassis_network(const ChassisNet &net, std::string &err);
// Parent side, once the child `pid` has ended: removes its veth pair.
void leave_chassis_network(const std::string &sp, int pid);

// The SP's log socket <sp>/devlog.sock.  When another `arksim run` of the
// same SP serves it already, `shared` is set and no socket is returned.
// (logserver.cpp)
UniqueFd open_log_socket(const std::string &sp, bool &shared, std::string &err);
// Logs every datagram waiting on the socket.
void serve_log(int fd, const std::string &sp);

}  // namespace arksim

#endif
