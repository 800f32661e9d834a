// CMM power request client against a real TCP peer on 169.254.10.1:880 (the
// SP's network namespace answers that address on its loopback).
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "arkblade.h"
#include "sim_test.h"

using namespace std::string_literals;

namespace {

// The CMM's end of the exchange: connection n reads one request and answers
// replies[n] (the last one again for later connections).  An empty reply
// closes without answering; split_at > 0 sends the first reply in two
// segments, 50 ms apart.
// Only the server thread touches `requests` between start and stop.
struct FakeCmm {
    int listener = -1;
    std::thread thread;
    std::vector<std::string> replies, requests;
    std::size_t split_at = 0;
} g_cmm;

std::string read_request(int conn)
{
    std::string req;
    char buf[64];
    while (req.find('\0') == std::string::npos) {
        ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        req.append(buf, static_cast<std::size_t>(n));
    }
    return req;
}

void serve()
{
    for (std::size_t n = 0;; ++n) {
        int conn = ::accept(g_cmm.listener, nullptr, nullptr);
        if (conn < 0)
            return;
        g_cmm.requests.push_back(read_request(conn));
        const std::string &reply = g_cmm.replies[std::min(n, g_cmm.replies.size() - 1)];
        const std::size_t first = n == 0 && g_cmm.split_at ? g_cmm.split_at : reply.size();
        ::send(conn, reply.data(), first, MSG_NOSIGNAL);
        if (first < reply.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::send(conn, reply.data() + first, reply.size() - first, MSG_NOSIGNAL);
        }
        ::close(conn);
    }
}

std::size_t open_fds()
{
    std::size_t n = 0;
    DIR *d = ::opendir("/proc/self/fd");
    while (::readdir(d) != nullptr)
        ++n;
    ::closedir(d);
    return n;
}

}  // namespace

std::vector<std::string> stop_cmm();

// Also used by the admission tests.
void start_cmm(std::vector<std::string> replies, std::size_t split_at = 0)
{
    stop_cmm();  // one left running by a failed test
    g_cmm.replies = std::move(replies);
    g_cmm.requests.clear();
    g_cmm.split_at = split_at;
    g_cmm.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(g_cmm.listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(880);
    ::inet_aton("169.254.10.1", &addr.sin_addr);
    if (::bind(g_cmm.listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(g_cmm.listener, 8) != 0) {
        ADD_FAILURE() << "cannot listen on 169.254.10.1:880: " << std::strerror(errno);
        ::close(g_cmm.listener);
        g_cmm.listener = -1;
        return;
    }
    g_cmm.thread = std::thread(serve);
}

// Stops the CMM and returns the requests it received.
std::vector<std::string> stop_cmm()
{
    if (g_cmm.listener < 0)
        return {};
    ::shutdown(g_cmm.listener, SHUT_RDWR);
    g_cmm.thread.join();
    ::close(g_cmm.listener);
    g_cmm.listener = -1;
    return std::exchange(g_cmm.requests, {});
}

using PowerCmm = SimTest;

TEST_F(PowerCmm, AddressTableHasFiveRuns)
{
    const std::pair<int, int> runs[] = {{1, 4}, {16, 12}, {200, 10}, {28, 12}, {100, 60}};
    int i = 0;
    for (auto [first, count] : runs)
        for (int k = 0; k < count; ++k, ++i)
            EXPECT_EQ(std::string(vlan_ipaddrs[i]), "169.254.10." + std::to_string(first + k)) << i;
    EXPECT_EQ(i, 98);
}

TEST_F(PowerCmm, RepliesAndTheirRetries)
{
    const std::string prefix = "2 libarkblade_power_cmm:";
    const std::string len0 = prefix + "recv_text:61: Receive length was 0";
    const std::string unterminated = prefix + "recv_text:67: Receive message wasn't property terminated";
    const std::string long_ok = "OK" + std::string(95, ' ') + "42\0"s;   // 100 bytes
    const std::string too_long = "OK" + std::string(96, ' ') + "42\0"s;  // 101: the NUL is cut off
    ASSERT_EQ(long_ok.size(), 100u);
    struct Case {
        int watts;
        std::vector<std::string> replies;
        std::size_t split_at;
        int result;
        std::size_t connections;
        std::vector<std::string> log;
    } cases[] = {
        {100, {"OK 100\0"s}, 0, 100, 1, {}},
        {100, {"OK250\0"s}, 0, 250, 1, {}},
        {100, {"OKAY 250\0"s}, 0, 250, 1, {}},
        {100, {"NO\0"s}, 0, 0, 1, {}},
        {100, {"NOPE 7\0"s}, 0, 0, 1, {}},
        {100, {"OK 0\0"s}, 0, 0, 1, {}},
        {-5, {"OK -5\0"s, "OK 3\0"s}, 0, 3, 2, {}},  // a negative grant is a failed attempt
        {100, {"OK\0"s}, 0, -1, 3, {}},
        {100, {"OK \t\n 7\0"s}, 0, 7, 1, {}},  // leading white space
        {100, {"OK+12 W\0"s}, 0, 12, 1, {}},   // a sign, and text after the number
        {100, {"OK 2147483647\0"s}, 0, 2147483647, 1, {}},
        {100, {"OK -2147483648\0"s}, 0, -2147483647 - 1, 3, {}},  // the last attempt's negative grant
        // A number outside the int range is no number, on every target.
        {100, {"OK 4294967396\0"s}, 0, -1, 3, {}},
        {100, {"OK 2147483648\0"s}, 0, -1, 3, {}},
        {100, {"OK -2147483649\0"s}, 0, -1, 3, {}},
        {100, {"OK -21474836480\0"s}, 0, -1, 3, {}},  // past INT_MIN by a digit, not a wrap
        {100, {"OK 99999999999999999999999\0"s}, 0, -1, 3, {}},
        {100, {"OK -\0"s}, 0, -1, 3, {}},
        {100, {long_ok}, 0, 42, 1, {}},
        {100, {too_long}, 0, -1, 3, {unterminated, unterminated, unterminated}},
        {100,
         {"ok 100\0"s},
         0,
         -1,
         3,
         std::vector<std::string>(3, prefix + "request_power:148: Got response: ok 100")},
        {100, {""s, "OK 100\0"s}, 0, 100, 2, {len0}},
        {100, {"\0"s}, 0, -1, 3, std::vector<std::string>(3, prefix + "request_power:148: Got response: ")},
        {100, {"OK 100\0"s, "OK 9\0"s}, 3, 9, 2, {unterminated}},
    };
    for (const Case &c : cases) {
        SetUp();
        start_cmm(c.replies, c.split_at);
        EXPECT_EQ(arkb_pwr_cmm_request_power(c.watts), c.result) << c.replies[0];
        const auto requests = stop_cmm();
        EXPECT_EQ(requests,
                  std::vector<std::string>(c.connections, "PWR " + std::to_string(c.watts) + "\n\0"s));
        EXPECT_EQ(log(), c.log) << c.replies[0];
    }
}

TEST_F(PowerCmm, RequestBytesOnTheWire)
{
    start_cmm({"OK 100\0"s});
    arkb_pwr_cmm_request_power(100);
    const Bytes expect = {0x50, 0x57, 0x52, 0x20, 0x31, 0x30, 0x30, 0x0A, 0x00};
    const auto requests = stop_cmm();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(Bytes(requests[0].begin(), requests[0].end()), expect);

    start_cmm({"NO\0"s});
    arkb_pwr_cmm_request_power(-2147483647 - 1);
    EXPECT_EQ(stop_cmm(), std::vector<std::string>{"PWR -2147483648\n\0"s});
}

TEST_F(PowerCmm, NoListenerThreeAttemptsAtLogCrit)
{
    EXPECT_EQ(arkb_pwr_cmm_request_power(100), -1);
    EXPECT_EQ(log(), std::vector<std::string>(
                         3, "2 libarkblade_power_cmm:request_power:122: Can't connect socket, errno = 111"));
    EXPECT_EQ(log_facility_of_last(), 1);  // no facility bits: syslog's default, user
}

// Failures on the SP's own side: each attempt ends at its own log line.
TEST_F(PowerCmm, LocalFailuresThreeAttempts)
{
    const std::string at = "2 libarkblade_power_cmm:request_power:";
    const char *const address = vlan_ipaddrs[0];
    struct Case {
        const char *entry;  // vlan_ipaddrs[0]
        const char *function;
        LibcFake how;
        std::string line;
    } cases[] = {
        {nullptr, "", LibcFake::Fail, at + "86: inet_aton failed"},
        {"169.254.10.one", "", LibcFake::Fail, at + "86: inet_aton failed"},
        {address, "getprotobyname", LibcFake::Fail, at + "110: Can't get tcp protocol entry"},
        {address, "socket", LibcFake::Fail, at + "116: Can't create socket"},
        {address, "send", LibcFake::Fail, at + "131: Can't send message"},
        {address, "send", LibcFake::ShortSend, at + "131: Can't send message"},
    };
    for (const Case &c : cases) {
        SetUp();
        start_cmm({"OK 100\0"s});
        vlan_ipaddrs[0] = c.entry;
        fake_libc(c.function, 3, c.how);
        EXPECT_EQ(arkb_pwr_cmm_request_power(100), -1) << c.line;
        vlan_ipaddrs[0] = address;
        fake_libc("", 0);
        stop_cmm();
        EXPECT_EQ(log(), std::vector<std::string>(3, c.line));
    }
    // A program whose standard input is closed gets its socket as descriptor 0.
    SetUp();
    start_cmm({"OK 100\0"s});
    const int input = ::dup(0);
    fake_libc("socket", 1, LibcFake::SocketZero);
    EXPECT_EQ(arkb_pwr_cmm_request_power(100), 100);
    ::dup2(input, 0);
    ::close(input);
    stop_cmm();
    EXPECT_EQ(log(), std::vector<std::string>{});  // in one attempt
}

TEST_F(PowerCmm, NoDescriptorLeaksOnAnyPath)
{
    arkb_pwr_cmm_request_power(1);  // opens the system log's socket once
    const std::size_t before = open_fds();
    arkb_pwr_cmm_request_power(1);
    const std::pair<std::string, std::size_t> failures[] = {
        {""s, 0}, {"OK\0"s, 0}, {"?\0"s, 0}, {"OK 1\0"s, 2}, {"NO"s, 0}};
    for (const auto &[reply, split] : failures) {
        start_cmm({reply}, split);
        arkb_pwr_cmm_request_power(1);
        stop_cmm();
    }
    EXPECT_EQ(open_fds(), before);
}
