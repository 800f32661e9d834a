// Load for the CMM emulator, run as a blade's SP (arksim run):
//
//   cmm_load blade CYCLES WATTS   CYCLES times: ask for WATTS, then give them
//                                 back ("PWR 0"); one line per request,
//                                 "<ms> <reply>", and a summary on stderr
//   cmm_load hostile IDLE STOP    keeps IDLE connections open that send
//                                 nothing or one byte now and then, and a few
//                                 that send garbage, until file STOP exists
//                                 (two minutes at most); prints "ready" once
//                                 all are open
//
// Every connection goes to 169.254.10.1:880, the CMM's power service.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReplyWaitMs = 10000;
constexpr int kGarbageConns = 10;
constexpr int kTrickleEveryMs = 300;

int connect_cmm()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(880);
    ::inet_pton(AF_INET, "169.254.10.1", &sin.sin_addr);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// One request: its reply up to the NUL ("" when none came).
std::string ask(const std::string &request)
{
    int fd = connect_cmm();
    if (fd < 0)
        return "";
    std::string reply;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buf[64];
        pollfd p{fd, POLLIN, 0};
        while (reply.find('\0') == std::string::npos && ::poll(&p, 1, kReplyWaitMs) > 0) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            reply.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    const std::size_t nul = reply.find('\0');
    return nul == std::string::npos ? "" : reply.substr(0, nul);
}

int blade(int cycles, int watts)
{
    int answered = 0, total = 0;
    for (int i = 0; i < cycles; ++i)
        for (int w : {watts, 0}) {
            const auto t0 = Clock::now();
            const std::string reply = ask("PWR " + std::to_string(w) + "\n" + std::string(1, '\0'));
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            ++total;
            answered += reply.empty() ? 0 : 1;
            std::printf("%.3f %s\n", ms, reply.empty() ? "-" : reply.c_str());
        }
    std::fprintf(stderr, "cmm_load: %d of %d requests answered\n", answered, total);
    return answered == total ? 0 : 1;
}

int hostile(int idle, const char *stop)
{
    struct Peer {
        int fd = -1;
        bool garbage = false, trickle = false;
    };
    std::vector<Peer> peers(static_cast<std::size_t>(idle + kGarbageConns));
    for (std::size_t i = 0; i < peers.size(); ++i) {
        peers[i].garbage = i >= static_cast<std::size_t>(idle);
        peers[i].trickle = !peers[i].garbage && i % 2 == 1;
    }
    std::mt19937 rng(42);
    const auto end = Clock::now() + std::chrono::minutes(2);
    bool ready = false;
    while (Clock::now() < end && ::access(stop, F_OK) != 0) {
        for (Peer &p : peers) {
            if (p.fd >= 0) {
                char sink[256];
                // The CMM closed it (a time-out or an answer): open another.
                if (::recv(p.fd, sink, sizeof sink, MSG_DONTWAIT) == 0) {
                    ::close(p.fd);
                    p.fd = -1;
                }
            }
            if (p.fd < 0)
                p.fd = connect_cmm();
            if (p.fd < 0)
                continue;
            if (p.garbage) {
                char junk[97];
                for (char &c : junk)
                    c = static_cast<char>(rng() % 255 + 1);  // never the NUL that ends a request
                ::send(p.fd, junk, sizeof junk, MSG_NOSIGNAL | MSG_DONTWAIT);
            } else if (p.trickle) {
                ::send(p.fd, "P", 1, MSG_NOSIGNAL | MSG_DONTWAIT);  // a request that never ends
            }
        }
        if (!ready) {
            std::printf("ready\n");
            std::fflush(stdout);
            ready = true;
        }
        ::usleep(kTrickleEveryMs * 1000);
    }
    for (Peer &p : peers)
        if (p.fd >= 0)
            ::close(p.fd);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "blade") == 0)
        return blade(std::atoi(argv[2]), std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "hostile") == 0)
        return hostile(std::atoi(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: cmm_load blade CYCLES WATTS | hostile IDLE STOPFILE\n");
    return 2;
}
