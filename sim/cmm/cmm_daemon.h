// The CMM daemon (arkcmm) and its parts: its state, the power service and
// the chassis network.
#ifndef ARKSIM_CMM_DAEMON_H
#define ARKSIM_CMM_DAEMON_H

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "cmm_state.h"

namespace arksim::cmm {

using Clock = std::chrono::steady_clock;

// How the CMM misbehaves, read from <chassis>/cmm/behaviour.
struct Behaviour {
    bool fixed = false;  // answer `reply` (plus its NUL) to every request
    std::string reply;
    bool close = false;     // read the request, answer nothing
    bool split = false;     // send the reply in two segments, 50 ms apart
    int delay_ms = 0;       // wait before answering
    bool nolisten = false;  // no listener at all
};

// Tells whether a file changed since it was last looked at.
struct FileStamp {
    bool exists = false;
    ino_t ino = 0;
    struct timespec mtime {};
    off_t size = 0;
    bool changed(const std::string &path);  // and remembers the new stamp
};

struct Daemon {
    std::string chassis;
    Config config;
    FileStamp config_stamp;
    Behaviour behaviour;
    FileStamp behaviour_stamp;
    Allotments allot{};
};

// Runs the daemon of `chassis` (an absolute path) until it is told to stop
// or its chassis goes away; the exit status.  `owner` > 0: it also ends with
// that process.  `ready_fd` >= 0 is closed once it serves, or when it fails.
int run_daemon(const std::string &chassis, int owner, int ready_fd);

// Re-reads config and behaviour when their files changed; true when one did.
bool reload(Daemon &d);
// The watts not yet allotted (negative when the pool was made smaller).
long free_watts(const Daemon &d);
// Writes a line "<time> arkcmm: message" to the log (standard error).
void note(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

/* --- the power service (service.cpp) ---------------------------------- */
// A request's text without its NUL: "PWR <decimal>" with an optional line
// feed, nothing else; any int, down to INT_MIN, which a blade may send.
bool parse_request(const std::string &text, long long &watts);
// Grant logic for a complete, well-formed request: the reply text (no NUL).
std::string decide(Daemon &d, int slot, int watts);

class Service {
public:
    Service(Daemon &d, int epoll_fd);
    ~Service();
    // Opens or closes the listener to match the behaviour.
    void sync_listener();
    // Handles an epoll event whose data is `fd`; false when `fd` is not ours.
    bool handle(int fd, uint32_t events);
    // Acts on every connection whose time has come; returns the time until
    // the next deadline.
    Clock::duration expire(Clock::time_point now);

private:
    struct Conn;
    void accept_all();
    bool evict_oldest();
    void on_readable(Conn &c);
    void finish_request(Conn &c, const char *why);
    void send_part(Conn &c);
    void drop(int fd);
    void update_listen_events();
    void record(const Conn &c, const std::string &reply, const char *why);

    Daemon &d_;
    int ep_;
    int listen_fd_ = -1;
    bool listen_warned_ = false;
    std::map<int, std::unique_ptr<Conn>> conns_;
};

/* --- the chassis network (chassis_net.cpp) ------------------------------ */
// Moves the daemon into a new network namespace with loopback and the
// bridge holding the CMM's address, both up.
bool make_chassis_network(std::string &err);
// Points <chassis>/netns at this process's namespace; removes it at the end.
bool publish_netns(const std::string &chassis);
void withdraw_netns(const std::string &chassis);

}  // namespace arksim::cmm

#endif
