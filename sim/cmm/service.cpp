// The CMM's power service: TCP 169.254.10.1:880 on the chassis network.
//
// A blade sends "PWR <watts>\n" and its NUL; the CMM answers "OK <watts>" or
// "NO", NUL-terminated, in one segment, then closes.  Every connection is
// non-blocking and driven by the daemon's epoll loop, so many blades may ask
// at once.  Whatever a peer sends, the worst it gets is "NO" or a closed
// connection: at most kMaxRequest bytes before the NUL, kRequestTime to finish
// the request.  Idle, slow or garbage-sending peers cannot hold others up:
// at kMaxConns open connections the one that has waited longest for its
// request is closed ("evicted") to make room for the next.
//
// Every request is recorded in <chassis>/cmm/requests, one line (the file is
// renamed to requests.1, replacing the one before, once it passes
// kRequestLogLimit bytes, so the two hold at most about twice that):
//   <unix time.ms> <peer address> <slot or -> "<request>" "<reply>"|closed [why]
// with the bytes escaped (\n, \0, \xHH...) and `why` one of: oversized,
// unterminated, timeout, malformed, negative, not-a-blade, behaviour, reset,
// evicted.
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "cmm_daemon.h"

namespace arksim::cmm {
namespace {

using std::chrono::milliseconds;

constexpr std::size_t kMaxRequest = 64;  // bytes before the NUL
constexpr auto kRequestTime = milliseconds(2000);
constexpr auto kSplitGap = milliseconds(50);
constexpr auto kDrainTime = milliseconds(1000);  // for the peer to close after the reply
constexpr std::size_t kMaxDrain = 65536;
constexpr std::size_t kMaxConns = 1000;  // the daemon raises its descriptor limit to fit
constexpr int kBacklog = 1024;
constexpr off_t kRequestLogLimit = 1 << 20;
constexpr uint32_t kReadEvents = EPOLLIN | EPOLLRDHUP;

std::string unix_time_ms()
{
    struct timeval tv {};
    ::gettimeofday(&tv, nullptr);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03ld", static_cast<long long>(tv.tv_sec),
                  static_cast<long>(tv.tv_usec / 1000));
    return buf;
}

std::span<const uint8_t> bytes_of(const std::string &s)
{
    return {reinterpret_cast<const uint8_t *>(s.data()), s.size()};
}

}  // namespace

// "PWR <decimal>" with an optional line feed, nothing else; any int, down to
// INT_MIN, which a blade may send.
bool parse_request(const std::string &text, long long &watts)
{
    constexpr std::string_view kVerb = "PWR ";
    if (text.compare(0, kVerb.size(), kVerb) != 0)
        return false;
    std::size_t i = kVerb.size();
    bool negative = i < text.size() && text[i] == '-';
    i += negative;
    std::size_t start = i;
    long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 10)
        v = v * 10 + (text[i++] - '0');
    if (i == start || v > (negative ? INT_MAX + 1LL : INT_MAX) ||
        !(i == text.size() || (text[i] == '\n' && i + 1 == text.size())))
        return false;
    watts = negative ? -v : v;
    return true;
}

struct Service::Conn {
    enum class State { Reading, Replying, Draining };
    UniqueFd fd;
    std::string peer;
    int slot = -1;  // blade host index, -1 for an address outside the blade range
    State state = State::Reading;
    Clock::time_point due;
    Behaviour b;            // as it was when the connection came
    std::string in;         // at most kMaxRequest + 1 bytes
    std::string out;        // still to send
    std::size_t split = 0;  // send out[0, split) first, the rest kSplitGap later
    std::size_t drained = 0;
};

Service::Service(Daemon &d, int epoll_fd) : d_(d), ep_(epoll_fd) {}
Service::~Service() = default;

void Service::sync_listener()
{
    if (d_.behaviour.nolisten && listen_fd_ >= 0) {
        ::epoll_ctl(ep_, EPOLL_CTL_DEL, listen_fd_, nullptr);
        ::close(listen_fd_);
        listen_fd_ = -1;
        note("stopped listening (behaviour nolisten)");
    }
    if (d_.behaviour.nolisten || listen_fd_ >= 0)
        return;
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    int one = 1;
    struct sockaddr_in sin {};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(kPort);
    ::inet_pton(AF_INET, kAddress, &sin.sin_addr);
    struct epoll_event ev {};
    ev.events = EPOLLIN;
    ev.data.fd = s.get();
    if (!s || ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(s.get(), reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0 ||
        ::listen(s.get(), kBacklog) != 0 || ::epoll_ctl(ep_, EPOLL_CTL_ADD, s.get(), &ev) != 0) {
        if (!listen_warned_)
            note("cannot listen on %s:%u: %s (retrying)", kAddress, kPort, std::strerror(errno));
        listen_warned_ = true;
        return;
    }
    listen_warned_ = false;
    listen_fd_ = s.release();
    note("listening on %s:%u", kAddress, kPort);
    update_listen_events();
}

void Service::update_listen_events()
{
    if (listen_fd_ < 0)
        return;
    struct epoll_event ev {};
    bool room = conns_.size() < kMaxConns;
    for (auto it = conns_.begin(); !room && it != conns_.end(); ++it)
        room = it->second->state == Conn::State::Reading;  // one can be evicted
    ev.events = room ? uint32_t{EPOLLIN} : 0u;
    ev.data.fd = listen_fd_;
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, listen_fd_, &ev);
}

bool Service::handle(int fd, uint32_t events)
{
    if (fd == listen_fd_) {
        accept_all();
        return true;
    }
    auto it = conns_.find(fd);
    if (it == conns_.end())
        return false;
    Conn &c = *it->second;
    if ((events & (EPOLLIN | EPOLLRDHUP)) && c.state != Conn::State::Replying) {
        on_readable(c);
        if (conns_.find(fd) == conns_.end())
            return true;
    }
    if (events & (EPOLLERR | EPOLLHUP)) {
        if (c.state == Conn::State::Reading)
            record(c, "", "reset");
        drop(fd);
    }
    return true;
}

void Service::accept_all()
{
    reload(d_);  // behaviour and pool as they are now
    while (listen_fd_ >= 0 && (conns_.size() < kMaxConns || evict_oldest())) {
        struct sockaddr_in sin {};
        socklen_t len = sizeof sin;
        UniqueFd fd(
            ::accept4(listen_fd_, reinterpret_cast<sockaddr *>(&sin), &len, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR)
                note("accept: %s", std::strerror(errno));
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        auto c = std::make_unique<Conn>();
        char text[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text);
        c->peer = text;
        uint32_t host = ntohl(sin.sin_addr.s_addr);
        c->slot = slot_of_address(host);
        int one = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        struct epoll_event ev {};
        ev.events = kReadEvents;
        ev.data.fd = fd.get();
        if (::epoll_ctl(ep_, EPOLL_CTL_ADD, fd.get(), &ev) != 0) {
            note("epoll: %s", std::strerror(errno));
            continue;
        }
        c->due = Clock::now() + kRequestTime;
        c->b = d_.behaviour;
        c->fd = std::move(fd);
        int key = c->fd.get();
        conns_[key] = std::move(c);
    }
    update_listen_events();
    sync_listener();
}

bool Service::evict_oldest()
{
    Conn *oldest = nullptr;
    for (const auto &[fd, c] : conns_)
        if (c->state == Conn::State::Reading && (oldest == nullptr || c->due < oldest->due))
            oldest = c.get();
    if (oldest == nullptr)
        return false;
    record(*oldest, "", "evicted");
    drop(oldest->fd.get());
    return true;
}

void Service::on_readable(Conn &c)
{
    char buf[512];
    for (;;) {
        std::size_t room = c.state == Conn::State::Reading ? kMaxRequest + 1 - c.in.size() : sizeof buf;
        ssize_t n = ::recv(c.fd.get(), buf, room < sizeof buf ? room : sizeof buf, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0 && errno == EINTR)
            continue;
        if (c.state == Conn::State::Draining) {
            c.drained += n > 0 ? static_cast<std::size_t>(n) : 0;
            if (n <= 0 || c.drained > kMaxDrain)
                drop(c.fd.get());
            if (n <= 0 || c.drained > kMaxDrain)
                return;
            continue;
        }
        if (n < 0) {
            record(c, "", "reset");
            drop(c.fd.get());
            return;
        }
        if (n == 0)
            return finish_request(c, "unterminated");
        c.in.append(buf, static_cast<std::size_t>(n));
        if (c.in.find('\0') != std::string::npos)
            return finish_request(c, nullptr);
        if (c.in.size() > kMaxRequest)
            return finish_request(c, "oversized");
    }
}

// Decides the reply once the request is complete (`why` null) or has failed.
void Service::finish_request(Conn &c, const char *why)
{
    std::string reply = "NO";
    if (why == nullptr) {
        c.in.resize(c.in.find('\0') + 1);  // what followed the NUL is not part of it
        long long watts = 0;
        if (c.b.close || c.b.fixed || c.b.split || c.b.delay_ms > 0)
            why = "behaviour";
        if (c.b.close) {
            record(c, "", why);
            ::shutdown(c.fd.get(), SHUT_WR);
            c.state = Conn::State::Draining;
            c.due = Clock::now() + kDrainTime;
            return;
        }
        if (c.b.fixed)
            reply = c.b.reply;
        else if (!parse_request(c.in.substr(0, c.in.size() - 1), watts))
            why = "malformed";
        else if (watts < 0)
            why = "negative";
        else if (c.slot < 0)
            why = "not-a-blade";
        else
            reply = decide(d_, c.slot, static_cast<int>(watts));
    }
    c.out = reply + '\0';
    c.split = c.b.split && c.out.size() > 1 ? (reply.size() + 1) / 2 : 0;
    record(c, c.out, why);
    c.state = Conn::State::Replying;
    c.due = Clock::now() + milliseconds(c.b.delay_ms);
    struct epoll_event ev {};
    ev.data.fd = c.fd.get();
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, c.fd.get(), &ev);  // only errors until it is sent
    if (c.b.delay_ms == 0)
        send_part(c);
}

void Service::send_part(Conn &c)
{
    std::size_t len = c.split != 0 ? c.split : c.out.size();
    ssize_t n = ::send(c.fd.get(), c.out.data(), len, MSG_NOSIGNAL);
    if (n != static_cast<ssize_t>(len)) {
        note("reply to %s not sent whole: %s", c.peer.c_str(), n < 0 ? std::strerror(errno) : "short send");
        drop(c.fd.get());
        return;
    }
    c.out.erase(0, len);
    if (c.split != 0) {
        c.split = 0;
        c.due = Clock::now() + kSplitGap;
        return;
    }
    // Close our side, then let the peer close first: closing with its bytes
    // still unread would reset the connection and could lose the reply.
    ::shutdown(c.fd.get(), SHUT_WR);
    c.state = Conn::State::Draining;
    c.due = Clock::now() + kDrainTime;
    struct epoll_event ev {};
    ev.events = kReadEvents;
    ev.data.fd = c.fd.get();
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, c.fd.get(), &ev);
}

Clock::duration Service::expire(Clock::time_point now)
{
    std::vector<int> due;
    for (const auto &[fd, c] : conns_)
        if (c->due <= now)
            due.push_back(fd);
    for (int fd : due) {
        auto it = conns_.find(fd);
        if (it == conns_.end())
            continue;
        Conn &c = *it->second;
        if (c.state == Conn::State::Reading)
            finish_request(c, "timeout");
        else if (c.state == Conn::State::Replying)
            send_part(c);
        else
            drop(fd);
    }
    Clock::duration next = Clock::duration::max();
    for (const auto &[fd, c] : conns_)
        next = std::min(next, c->due - now);
    return next;
}

void Service::drop(int fd)
{
    ::epoll_ctl(ep_, EPOLL_CTL_DEL, fd, nullptr);
    conns_.erase(fd);
    update_listen_events();
}

void Service::record(const Conn &c, const std::string &reply, const char *why)
{
    std::string line = unix_time_ms();
    line.append(" ").append(c.peer).append(" ");
    line.append(c.slot >= 0 ? std::to_string(c.slot) : std::string("-"));
    line.append(" \"").append(escape(bytes_of(c.in))).append("\" ");
    if (reply.empty())
        line.append("closed");
    else
        line.append("\"").append(escape(bytes_of(reply))).append("\"");
    if (why != nullptr)
        line.append(" ").append(why);
    line.append("\n");
    std::string path = file(d_.chassis, "requests");
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd || ::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        note("cannot record a request in %s: %s", path.c_str(), std::strerror(errno));
    struct stat st {};
    if (fd && ::fstat(fd.get(), &st) == 0 && st.st_size > kRequestLogLimit)
        std::rename(path.c_str(), (path + ".1").c_str());
}

}  // namespace arksim::cmm
