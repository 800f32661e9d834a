/*
 * User namespaces: how the simulator of an ordinary user gets the mount and
 * network namespaces that root makes directly.
 *
 * A process without CAP_SYS_ADMIN first enters a user namespace: one of its
 * own, where its uid and gid are mapped to 0 (the CMM daemon, a blade run
 * with no chassis network), or the one that owns the chassis network (a
 * blade run while the CMM serves).  Inside, it is root over what it makes
 * and nothing else; outside, everything it writes belongs to its user.  Root
 * enters none, as before.
 */
#ifndef ARKSIM_USERNS_H
#define ARKSIM_USERNS_H

#include <string>

#include "core/unique_fd.h"

namespace arksim {

// Exit status when an ordinary user's simulator finds no user namespaces.
inline constexpr int kNoUserNamespaces = 123;

// Whether this process may make mount and network namespaces as it is
// (CAP_SYS_ADMIN and CAP_NET_ADMIN in its user namespace).
bool privileged();

// Moves this single-threaded process into a new user namespace where it is
// root.  On failure `err` is one line naming what is missing and what to
// change.
bool enter_own_userns(std::string &err);

// The user namespace of process `pid`, opened.
UniqueFd open_userns_of(int pid);
// Joins the user namespace `fd` unless this process is in it already.
bool join_userns(int fd, std::string &err);

// Tries enter_own_userns in a child process: true when it works here.
bool userns_available(std::string &err);

}  // namespace arksim

#endif
