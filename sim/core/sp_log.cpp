// The simulated SP's system log: its line format and the calls tests use.
#include "sp_log.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <charconv>

#include "journal_line.h"
#include "simstate.h"
#include "unique_fd.h"

namespace arksim {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "Mmm dd hh:mm:ss " (the day may be space padded).
bool starts_with_timestamp(std::string_view s)
{
    if (s.size() < 16)
        return false;
    return is_alpha(s[0]) && is_alpha(s[1]) && is_alpha(s[2]) && s[3] == ' ' &&
           (s[4] == ' ' || is_digit(s[4])) && is_digit(s[5]) && s[6] == ' ' && is_digit(s[7]) &&
           is_digit(s[8]) && s[9] == ':' && is_digit(s[10]) && is_digit(s[11]) && s[12] == ':' &&
           is_digit(s[13]) && is_digit(s[14]) && s[15] == ' ';
}

// Takes "<decimal> " from the front of `s`.
bool take_number(std::string_view &s, int &out)
{
    std::size_t i = 0;
    out = 0;
    while (i < s.size() && i < 4 && is_digit(s[i]))
        out = out * 10 + (s[i++] - '0');
    if (i == 0 || i >= s.size() || s[i] != ' ')
        return false;
    s.remove_prefix(i + 1);
    return true;
}

std::string unique_token()
{
    static std::atomic<unsigned> counter{0};
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::to_string(::getpid()) + "-" + std::to_string(ts.tv_sec) + "." + std::to_string(ts.tv_nsec) +
           "-" + std::to_string(counter.fetch_add(1));
}

bool sync_file_holds(const std::string &path, const std::string &token)
{
    std::vector<uint8_t> raw;
    return read_file(path, raw) && std::string(raw.begin(), raw.end()) == token;
}

}  // namespace

LogEntry parse_syslog_datagram(std::string_view d)
{
    while (!d.empty() && d.back() == '\0')
        d.remove_suffix(1);
    LogEntry e{1, 5, std::string(d)};
    std::size_t i = 1;
    int pri = 0;
    while (i < d.size() && i <= 3 && is_digit(d[i]))
        pri = pri * 10 + (d[i++] - '0');
    if (d.empty() || d[0] != '<' || i == 1 || i >= d.size() || d[i] != '>' || pri > 191)
        return e;
    std::string_view rest = d.substr(i + 1);
    std::string_view tag;
    if (starts_with_timestamp(rest)) {
        rest.remove_prefix(16);
        if (std::size_t end = rest.find(": "); end != std::string_view::npos) {
            tag = rest.substr(0, end);
            rest.remove_prefix(end + 2);
        }
    }
    LogEntry out{pri >> 3, pri & 7, std::string(rest)};
    // "name[pid]": the pid as the sender wrote it, until the credentials say.
    if (const std::size_t open = tag.find('['); open != std::string_view::npos && tag.ends_with(']')) {
        const std::string_view digits = tag.substr(open + 1, tag.size() - open - 2);
        long pid = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
        if (ec == std::errc() && end == digits.data() + digits.size() && pid > 0)
            out.pid = pid;
        tag = tag.substr(0, open);
    }
    out.name = std::string(tag);
    return out;
}

std::string escape_log_message(std::string_view message)
{
    std::string out;
    out.reserve(message.size());
    for (char ch : message) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string unescape_log_message(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out.push_back(s[i]);
        } else if (s[i + 1] == 'n') {
            out.push_back('\n');
            ++i;
        } else if (s[i + 1] == 'x' && i + 3 < s.size() && hex_digit(s[i + 2]) >= 0 &&
                   hex_digit(s[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hex_digit(s[i + 2]) * 16 + hex_digit(s[i + 3])));
            i += 3;
        } else {
            out.push_back(s[i + 1]);  // "\\" and anything unknown
            ++i;
        }
    }
    return out;
}

std::string format_log_line(const LogEntry &e)
{
    JournalStamp stamp;
    stamp.pid = e.pid;
    stamp.wall_us = e.wall_us;
    std::string name = e.name.empty() ? "-" : e.name;
    for (char &c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            c = '_';  // one word
    return format_stamp(stamp) + " " + name + " " + std::to_string(e.facility) + " " +
           std::to_string(e.severity) + " " + escape_log_message(e.message) + "\n";
}

std::string shown_log_message(std::string_view message)
{
    while (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    return escape_log_message(message);
}

const char *facility_name(int facility)
{
    static const char *const names[] = {"kern",   "user",   "mail",   "daemon", "auth",     "syslog",
                                        "lpr",    "news",   "uucp",   "cron",   "authpriv", "ftp",
                                        "ntp",    "audit",  "alert",  "clock",  "local0",   "local1",
                                        "local2", "local3", "local4", "local5", "local6",   "local7"};
    return facility >= 0 && facility < 24 ? names[facility] : "?";
}

const char *severity_name(int severity)
{
    static const char *const names[] = {"emerg",   "alert",  "crit", "err",
                                        "warning", "notice", "info", "debug"};
    return severity >= 0 && severity < 8 ? names[severity] : "?";
}

bool sync_log(const std::string &sp, int timeout_ms)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return false;
    struct sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", "/dev/log");
    std::string token = unique_token();
    std::string msg = std::string(kSyncPrefix) + token;
    std::string sync_path = sp + "/log.sync";
    struct timespec start {
    }, now{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    auto elapsed_ms = [&] {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    };
    for (;;) {
        ssize_t n = ::sendto(fd.get(), msg.data(), msg.size(), MSG_DONTWAIT,
                             reinterpret_cast<struct sockaddr *>(&addr), sizeof addr);
        if (n == static_cast<ssize_t>(msg.size()))
            break;
        if (n >= 0 || (errno != EAGAIN && errno != EINTR) || elapsed_ms() >= timeout_ms)
            return false;
        ::usleep(1000);
    }
    while (!sync_file_holds(sync_path, token)) {
        if (elapsed_ms() >= timeout_ms)
            return false;
        ::usleep(1000);
    }
    return true;
}

std::vector<LogEntry> read_log(const std::string &sp)
{
    std::vector<LogEntry> out;
    std::vector<uint8_t> raw;
    if (!read_file(sp + "/log", raw))
        return out;
    std::string_view text(reinterpret_cast<const char *>(raw.data()), raw.size());
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        LogEntry e{0, 0, {}};
        if (const std::size_t space = line.find(' ');
            space != std::string_view::npos && line.substr(0, space).find('@') != std::string_view::npos) {
            JournalStamp stamp;
            const std::size_t name_end = line.find(' ', space + 1);
            if (!parse_stamp(line.substr(0, space), stamp) || name_end == std::string_view::npos)
                continue;
            e.pid = stamp.pid;
            e.wall_us = stamp.wall_us;
            e.name = std::string(line.substr(space + 1, name_end - space - 1));
            if (e.name == "-")
                e.name.clear();
            line.remove_prefix(name_end + 1);
        }
        if (!take_number(line, e.facility) || !take_number(line, e.severity))
            continue;
        e.message = unescape_log_message(line);
        out.push_back(std::move(e));
    }
    return out;
}

void clear_log(const std::string &sp) { ::unlink((sp + "/log").c_str()); }

}  // namespace arksim
