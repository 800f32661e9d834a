// Waiting for our own children: an inherited "ignore SIGCHLD" makes the
// kernel reap a child the moment it ends, so waitpid finds nothing and its
// exit status is lost.  While a KeepChildStatus lives SIGCHLD has its default
// action; the inherited one comes back when it goes, and a child that runs
// another program puts it back first with restore().
#ifndef ARKSIM_OWN_CHILD_H
#define ARKSIM_OWN_CHILD_H

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>

namespace arksim {

class KeepChildStatus {
public:
    KeepChildStatus()
    {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(SIGCHLD, &dfl, &old_);
    }
    KeepChildStatus(const KeepChildStatus &) = delete;
    KeepChildStatus &operator=(const KeepChildStatus &) = delete;
    ~KeepChildStatus() { restore(); }
    void restore() const { ::sigaction(SIGCHLD, &old_, nullptr); }

private:
    struct sigaction old_ {};
};

// True when the child `pid` (<= 0: fork failed) ran to an exit status of 0.
inline bool child_exited_zero(pid_t pid)
{
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace arksim

#endif
