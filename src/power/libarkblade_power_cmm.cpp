// CMM power request client and the chassis-network address table.  One TCP
// exchange per attempt: "PWR <watts>\n" and its NUL out, one NUL-terminated
// reply of at most 100 bytes back ("OK <watts>" or "NO").  Failures go
// straight to the system log at LOG_CRIT with the unit name
// "libarkblade_power_cmm".
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../common/logging.h"
#include "arkblade.h"

// Chassis-network addresses; entry 0 is the CMM.  Five runs in 169.254.10.0/24.
const char *vlan_ipaddrs[98] = {
    "169.254.10.1",   "169.254.10.2",   "169.254.10.3",   "169.254.10.4",   // 0-3
    "169.254.10.16",  "169.254.10.17",  "169.254.10.18",  "169.254.10.19",  // 4-15
    "169.254.10.20",  "169.254.10.21",  "169.254.10.22",  "169.254.10.23",  "169.254.10.24",
    "169.254.10.25",  "169.254.10.26",  "169.254.10.27",  "169.254.10.200", "169.254.10.201",
    "169.254.10.202", "169.254.10.203",  // 16-25
    "169.254.10.204", "169.254.10.205", "169.254.10.206", "169.254.10.207", "169.254.10.208",
    "169.254.10.209", "169.254.10.28",  "169.254.10.29",  "169.254.10.30",  "169.254.10.31",  // 26-37
    "169.254.10.32",  "169.254.10.33",  "169.254.10.34",  "169.254.10.35",  "169.254.10.36",
    "169.254.10.37",  "169.254.10.38",  "169.254.10.39",  "169.254.10.100", "169.254.10.101",
    "169.254.10.102", "169.254.10.103",  // 38-97
    "169.254.10.104", "169.254.10.105", "169.254.10.106", "169.254.10.107", "169.254.10.108",
    "169.254.10.109", "169.254.10.110", "169.254.10.111", "169.254.10.112", "169.254.10.113",
    "169.254.10.114", "169.254.10.115", "169.254.10.116", "169.254.10.117", "169.254.10.118",
    "169.254.10.119", "169.254.10.120", "169.254.10.121", "169.254.10.122", "169.254.10.123",
    "169.254.10.124", "169.254.10.125", "169.254.10.126", "169.254.10.127", "169.254.10.128",
    "169.254.10.129", "169.254.10.130", "169.254.10.131", "169.254.10.132", "169.254.10.133",
    "169.254.10.134", "169.254.10.135", "169.254.10.136", "169.254.10.137", "169.254.10.138",
    "169.254.10.139", "169.254.10.140", "169.254.10.141", "169.254.10.142", "169.254.10.143",
    "169.254.10.144", "169.254.10.145", "169.254.10.146", "169.254.10.147", "169.254.10.148",
    "169.254.10.149", "169.254.10.150", "169.254.10.151", "169.254.10.152", "169.254.10.153",
    "169.254.10.154", "169.254.10.155", "169.254.10.156", "169.254.10.157", "169.254.10.158",
    "169.254.10.159",
};

namespace arkb {
namespace {

constexpr int kCmmPort = 880;
constexpr int kAttempts = 3;
constexpr std::size_t kRequestSize = 32;  // "PWR %d\n" for any 32-bit value
constexpr std::size_t kReplySize = 100;   // NUL included
constexpr int kLogCrit = 2;               // no facility bits
constexpr const char *kGrant = "OK";
constexpr const char *kRefusal = "NO";
constexpr std::size_t kReplyTagSize = 2;

// Writes "<unit>:<function>:<line>: <text>" straight to the system log at
// LOG_CRIT with no facility bits: this client's own line form, whose line
// numbers SP programs match like those of every other log line.
[[gnu::format(printf, 2, 3)]] void log_crit(LogSite site, const char *format, ...)
{
    std::array<char, kReplySize + 64> text{};  // the longest text holds a whole reply
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    syslog(kLogCrit, "%s:%s:%d: %s", site.unit, site.function, site.line, text.data());
}

// Sends the text and its NUL in one call.
int send_text(int sock, const char *text)
{
    const std::size_t len = std::strlen(text) + 1;
    const ssize_t sent = send(sock, text, len, 0);
    return sent >= 0 && static_cast<std::size_t>(sent) == len ? 0 : -1;
}

// One receive; the reply must arrive whole and end in its NUL.
int recv_text(int sock, char *buf, std::size_t size)
{
    const ssize_t got = recv(sock, buf, size, 0);
    if (got <= 0 || static_cast<std::size_t>(got) > size) {
        // A failed recv shows as its unsigned 32-bit count, 4294967295.
        log_crit({kUnitPowerCmm, "recv_text", 61}, "Receive length was %lu",
                 static_cast<unsigned long>(static_cast<uint32_t>(got)));
        return -1;
    }
    if (buf[got - 1] != '\0') {
        log_crit({kUnitPowerCmm, "recv_text", 67}, "Receive message wasn't property terminated");
        return -1;
    }
    return 0;
}

// The number after "OK", read as the " %d" conversion reads it (white space,
// an optional sign, decimal digits up to the first other character), except
// that a value outside the int range is no number: -1, on every target,
// instead of a conversion whose result the C library leaves undefined.
int read_grant(const char *text)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (!std::isdigit(static_cast<unsigned char>(*text)))
        return -1;
    // Magnitudes are kept in 64 bits and stop growing past the int range, so
    // any number of digits is read without overflow.
    constexpr int64_t kLimit = static_cast<int64_t>(INT_MAX) + 1;
    int64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text)
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (*text - '0');
    const int64_t value = negative ? -magnitude : magnitude;
    return value < INT_MIN || value > INT_MAX ? -1 : static_cast<int>(value);
}

// "OK" then a number: the grant; "NO": 0; anything else is logged and -1.
// Letters that continue the word "OK" ("OKAY 250") belong to it, not to the
// number.
int parse_reply(const char *reply)
{
    if (std::strncmp(reply, kGrant, kReplyTagSize) == 0) {
        const char *number = reply + kReplyTagSize;
        while (std::isalpha(static_cast<unsigned char>(*number)))
            ++number;
        return read_grant(number);
    }
    if (std::strncmp(reply, kRefusal, kReplyTagSize) == 0)
        return 0;
    log_crit({kUnitPowerCmm, "request_power", 148}, "Got response: %s", reply);
    return -1;
}

// One connection to the CMM: the granted watts, 0 for a refusal, or -1.
int request_power(int watts)
{
    constexpr const char *fn = "request_power";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kCmmPort);
    // The table is writable by every program that links it: check the entry.
    if (vlan_ipaddrs[0] == nullptr || inet_aton(vlan_ipaddrs[0], &addr.sin_addr) == 0) {
        log_crit({kUnitPowerCmm, fn, 86}, "inet_aton failed");
        return -1;
    }
    const protoent *tcp = getprotobyname("tcp");
    if (tcp == nullptr) {
        log_crit({kUnitPowerCmm, fn, 110}, "Can't get tcp protocol entry");
        return -1;
    }
    const int sock = socket(AF_INET, SOCK_STREAM, tcp->p_proto);
    if (sock < 0) {
        log_crit({kUnitPowerCmm, fn, 116}, "Can't create socket");
        return -1;
    }
    if (connect(sock, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        const int err = errno;
        log_crit({kUnitPowerCmm, fn, 122}, "Can't connect socket, errno = %d", err);
        close(sock);
        return -1;
    }
    std::array<char, kRequestSize> request{};
    std::snprintf(request.data(), request.size(), "PWR %d\n", watts);
    if (send_text(sock, request.data()) != 0) {
        log_crit({kUnitPowerCmm, fn, 131}, "Can't send message");
        close(sock);
        return -1;
    }
    std::array<char, kReplySize> reply{};
    const int received = recv_text(sock, reply.data(), reply.size());
    close(sock);
    return received == 0 ? parse_reply(reply.data()) : -1;
}

}  // namespace
}  // namespace arkb

extern "C" int arkb_pwr_cmm_request_power(int watts)
{
    int result = -1;
    for (int attempt = 0; attempt < arkb::kAttempts && result < 0; ++attempt)
        result = arkb::request_power(watts);
    return result;
}
