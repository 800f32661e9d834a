// The CMM's state files, the liveness of its daemon and the chassis network
// namespace it publishes.
#include "cmm_state.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "core/chassis.h"
#include "core/simstate.h"

namespace arksim::cmm {
namespace {

std::string trimmed(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t'))
        s.pop_back();
    std::size_t start = s.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : s.substr(start);
}

std::vector<std::string> lines_of(const std::string &path)
{
    std::vector<uint8_t> raw;
    std::vector<std::string> out;
    if (!read_file(path, raw))
        return out;
    std::string cur;
    for (uint8_t b : raw) {
        if (b == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(b));
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

bool parse_int(const std::string &s, long lo, long hi, int &out)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

std::string proc_comm(int pid) { return read_text("/proc/" + std::to_string(pid) + "/comm"); }

}  // namespace

std::string dir(const std::string &chassis) { return chassis + "/cmm"; }

std::string file(const std::string &chassis, const char *name) { return dir(chassis) + "/" + name; }

Config read_config(const std::string &chassis)
{
    Config c;
    for (const std::string &line : lines_of(file(chassis, "config"))) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = trimmed(line.substr(0, eq)), value = trimmed(line.substr(eq + 1));
        int n = 0;
        if (key == "pool" && parse_int(value, 0, kMaxPool, n))
            c.pool = n;
        else if (key == "broadcast")
            c.broadcast = value;
        else if (key == "autostart")
            c.autostart = value == "1" || value == "yes";
    }
    return c;
}

bool write_config(const std::string &chassis, const Config &c)
{
    std::string text = "pool=" + std::to_string(c.pool) + "\nbroadcast=" + c.broadcast + "\n";
    if (c.autostart)
        text += "autostart=1\n";
    return make_dirs(dir(chassis)) && write_text(file(chassis, "config"), text);
}

std::vector<std::string> broadcast_blades(const std::string &chassis, const Config &c)
{
    std::vector<std::string> out;
    if (c.broadcast == "all") {
        for (const BladeInfo &b : list_blades(chassis))
            out.push_back(b.name);
        return out;
    }
    std::size_t start = 0;
    while (start <= c.broadcast.size()) {
        std::size_t comma = c.broadcast.find(',', start);
        if (comma == std::string::npos)
            comma = c.broadcast.size();
        std::string name = trimmed(c.broadcast.substr(start, comma - start));
        if (!name.empty())
            out.push_back(name);
        start = comma + 1;
    }
    return out;
}

Allotments read_allotments(const std::string &chassis)
{
    Allotments a{};
    for (const std::string &line : lines_of(file(chassis, "allotments"))) {
        auto sp = line.find(' ');
        int slot = 0, watts = 0;
        if (sp != std::string::npos && parse_int(line.substr(0, sp), 0, kSlots - 1, slot) &&
            parse_int(trimmed(line.substr(sp + 1)), 0, INT_MAX, watts))
            a[static_cast<std::size_t>(slot)] = watts;
    }
    return a;
}

bool write_allotments(const std::string &chassis, const Allotments &a)
{
    std::string text;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != 0)
            text += std::to_string(i) + " " + std::to_string(a[i]) + "\n";
    return write_text(file(chassis, "allotments"), text);
}

int running_pid(const std::string &chassis)
{
    UniqueFd lock(::open(file(chassis, "lock").c_str(), O_RDONLY | O_CLOEXEC));
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    // Tests the lock without taking it, so a starting daemon never loses it to us.
    if (!lock || ::fcntl(lock.get(), F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK)
        return -1;
    auto pid = read_number(file(chassis, "pid"));
    return pid && *pid > 0 && *pid <= INT_MAX ? static_cast<int>(*pid) : 0;
}

bool is_listening(int pid)
{
    // /proc/<pid>/net/tcp lists the sockets of that process's network namespace.
    char want[32];
    std::snprintf(want, sizeof want, "%08X:%04X", static_cast<unsigned>(::inet_addr(kAddress)), kPort);
    for (const std::string &line : lines_of("/proc/" + std::to_string(pid) + "/net/tcp")) {
        char local[64], remote[64], state[8];
        if (std::sscanf(line.c_str(), " %*[0-9]: %63s %63s %7s", local, remote, state) == 3 &&
            std::strcmp(local, want) == 0 && std::strcmp(state, "0A") == 0)
            return true;
    }
    return false;
}

UniqueFd open_chassis_netns(const std::string &chassis, int &pid)
{
    char target[PATH_MAX];
    std::string link = chassis + "/netns";
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return UniqueFd();
    target[n] = '\0';
    int p = 0;
    char tail[16];
    if (std::sscanf(target, "/proc/%d/ns/%15s", &p, tail) != 2 || std::strcmp(tail, "net") != 0 || p <= 0 ||
        proc_comm(p) != kDaemonName || running_pid(chassis) != p)
        return UniqueFd();
    UniqueFd ns(::open(target, O_RDONLY | O_CLOEXEC));
    struct statfs fs {};
    if (!ns || ::fstatfs(ns.get(), &fs) != 0 || fs.f_type != NSFS_MAGIC)
        return UniqueFd();
    pid = p;
    return ns;
}

std::string blade_address(int slot)
{
    const uint32_t host = kNetworkBase + static_cast<uint32_t>(kFirstBladeHost + (slot & 0xFF));
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

int slot_of_address(uint32_t host)
{
    const uint32_t first = kNetworkBase + kFirstBladeHost;
    return host >= first && host < first + kSlots ? static_cast<int>(host - first) : -1;
}

std::string veth_name(int slot, int pid)
{
    return "bl" + std::to_string(slot) + "-" + std::to_string(pid);  // at most 13 characters
}

std::string escape(std::span<const uint8_t> bytes)
{
    std::string out;
    for (uint8_t b : bytes) {
        switch (b) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case 0: out += "\\0"; break;
        default:
            if (b >= 0x20 && b < 0x7F) {
                out.push_back(static_cast<char>(b));
            } else {
                out += "\\x";
                append_hex(out, b);
            }
        }
    }
    return out;
}

bool unescape(const std::string &text, std::string &out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\': out.push_back('\\'); break;
        case '"': out.push_back('"'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case '0': out.push_back('\0'); break;
        case 'x': {
            if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
                return false;
            char hex[3] = {text[i + 1], text[i + 2], '\0'};
            out.push_back(static_cast<char>(std::strtol(hex, nullptr, 16)));
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

}  // namespace arksim::cmm
