// The power client's reply handling: arkb_pwr_cmm_request_power against a
// server thread on loopback that answers every request with the input (its
// first byte, when odd, splits the reply in two sends).  Run it in a network
// namespace of its own (`arksim run`): it listens on port 880.  The platform
// is the in-memory one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "arkblade.h"
#include "fuzz_sp.h"
#include "mem_platform.h"

namespace {

std::mutex g_lock;
std::vector<uint8_t> g_reply;
bool g_split = false;

void serve(int listener)
{
    for (;;) {
        const int c = ::accept(listener, nullptr, nullptr);
        if (c < 0)
            continue;
        char request[64];
        (void)::recv(c, request, sizeof request, 0);
        std::vector<uint8_t> reply;
        bool split = false;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            reply = g_reply;
            split = g_split;
        }
        const size_t first = split ? reply.size() / 2 : reply.size();
        if (first > 0)
            (void)::send(c, reply.data(), first, MSG_NOSIGNAL);
        if (reply.size() > first) {
            ::usleep(100);  // long enough for two segments on loopback
            (void)::send(c, reply.data() + first, reply.size() - first, MSG_NOSIGNAL);
        }
        ::close(c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static char loopback[] = "127.0.0.1";
    vlan_ipaddrs[0] = loopback;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(880);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("fuzz_cmm_reply: listen on 127.0.0.1:880");
        std::exit(1);
    }
    std::thread(serve, listener).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_split = data[0] & 1;
        g_reply.assign(data + 1, data + size);
    }
    static const uint8_t kSlot[] = {3};
    fuzz::mem::reset();
    fuzz::mem::set_key("slotid", kSlot);
    (void)arkb_pwr_cmm_request_power(100);
    return 0;
}
