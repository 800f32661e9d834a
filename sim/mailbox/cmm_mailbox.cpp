// The CMM's side of a blade's network configuration mailbox (see cmm_mailbox.h).
#include "cmm_mailbox.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/fru.h"
#include "core/simstate.h"
#include "core/unique_fd.h"

namespace arksim::mbox {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);
// The header, the signature and the record of a segment anywhere the
// header's one-byte segment offset can point.
constexpr std::size_t kSpanRead = 256 + kSignature.size() + kRecordSize;

using Clock = std::chrono::steady_clock;

// Holds the tunnel file's lock for one transaction.
class Locked {
public:
    Locked(int fd, int how) : fd_(fd), ok_(fd >= 0 && ::flock(fd, how) == 0) {}
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;
    ~Locked()
    {
        if (ok_)
            ::flock(fd_, LOCK_UN);
    }
    bool ok() const { return ok_; }

private:
    int fd_;
    bool ok_;
};

bool in_memory(uint32_t offset, std::size_t len)
{
    return offset <= kTunnelSize && len <= kTunnelSize - offset;
}

std::string stamp()
{
    auto now = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(now);
    long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    struct tm tm {};
    ::localtime_r(&secs, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld ", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

void say(Report report, const std::string &line) { report(stamp() + line); }

std::string bytes_text(std::span<const uint8_t> b) { return hex_bytes(b); }

std::string settings_text(const Settings &s)
{
    return ipv4_text(s.addr) + " " + discovery_text(s.discovery) + " " + ipv4_text(s.gateway) + " " +
           ipv4_text(s.netmask);
}

bool write_byte(const Tunnel &t, uint32_t at, uint8_t value)
{
    return write_bytes(t, at, std::span<const uint8_t>(&value, 1));
}

// Waits up to the deadline for the mailbox that the SP creates at start-up.
Outcome wait_mailbox(const Tunnel &t, View &v, Clock::time_point deadline, Report report)
{
    for (bool said = false;; said = true) {
        if (!inspect(t, v)) {
            say(report, "error: cannot read the tunnel memory " + t.path);
            return Outcome::Failed;
        }
        if (v.state != State::Absent)
            return Outcome::Done;
        if (Clock::now() >= deadline) {
            say(report, "time-out: there is no mailbox");
            return Outcome::TimedOut;
        }
        if (!said)
            say(report, "no mailbox yet, waiting for the SP to create it");
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool read_record(const Tunnel &t, const View &v, Record &rec) { return read_bytes(t, v.record_at, rec); }

}  // namespace

uint8_t slot_target(int slot) { return static_cast<uint8_t>(0x80 | ((slot * 2) & 0xFE)); }

Tunnel tunnel_of(const std::string &chassis, uint8_t target)
{
    char name[32];
    std::snprintf(name, sizeof name, "/tunnel/%02x.bin", target);
    return {chassis + name};
}

bool read_bytes(const Tunnel &t, uint32_t offset, std::span<uint8_t> out)
{
    if (!in_memory(offset, out.size()))
        return false;
    std::fill(out.begin(), out.end(), 0);
    UniqueFd fd(::open(t.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT;  // never written: all zeros
    Locked lock(fd.get(), LOCK_SH);
    if (!lock.ok())
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n =
            ::pread(fd.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;  // past the end of the file: zeros
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool write_bytes(const Tunnel &t, uint32_t offset, std::span<const uint8_t> bytes)
{
    if (!in_memory(offset, bytes.size()))
        return false;
    std::string dir = t.path.substr(0, t.path.rfind('/'));
    make_dirs(dir);
    UniqueFd fd(::open(t.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd)
        return false;
    Locked lock(fd.get(), LOCK_EX);
    if (!lock.ok())
        return false;
    return pwrite_all(fd.get(), bytes, offset);
}

const char *state_name(State s)
{
    switch (s) {
    case State::Absent: return "absent or foreign";
    case State::Initialized: return "initialized, not formatted";
    case State::Formatted: return "formatted";
    }
    return "?";
}

bool inspect(const Tunnel &t, View &v)
{
    // One transaction, so header, signature and record belong together.
    std::array<uint8_t, kSpanRead> raw{};
    if (!read_bytes(t, 0, raw))
        return false;
    v = View{};
    std::copy_n(raw.begin(), kHeaderSize, v.header.begin());
    const std::size_t seg = v.header[kHdrSegOffset];
    std::copy_n(raw.begin() + static_cast<long>(seg), v.signature.size(), v.signature.begin());
    v.located = v.header[kHdrName] == kSegmentName;
    v.record_at = static_cast<uint32_t>(seg + kSignature.size());
    if (v.located)
        std::copy_n(raw.begin() + v.record_at, kRecordSize, v.record.begin());
    if (!v.located || v.signature != kSignature)
        v.state = State::Absent;
    else
        v.state = v.record[kMarker] == kRecordMarker ? State::Formatted : State::Initialized;
    return true;
}

bool ensure_formatted(const Tunnel &t, View &v, Report report)
{
    if (!inspect(t, v)) {
        say(report, "error: cannot read the tunnel memory " + t.path);
        return false;
    }
    if (v.state == State::Absent) {
        std::array<uint8_t, kHeaderSize> hdr = kHeaderTemplate;
        hdr[kHdrCrc] = crc8(hdr);
        if (!write_bytes(t, 0, hdr) || !write_bytes(t, hdr[kHdrSegOffset], kSignature)) {
            say(report, "error: cannot write the mailbox header");
            return false;
        }
        say(report, "created the mailbox: header " + bytes_text(hdr) + ", signature c0 55 at " +
                        std::to_string(hdr[kHdrSegOffset]));
    } else if (v.state == State::Formatted) {
        return true;
    }
    if (!inspect(t, v)) {
        say(report, "error: cannot read the tunnel memory " + t.path);
        return false;
    }
    Record fresh{};
    fresh[kDiscovery] = kStatic;
    fresh[kMarker] = kRecordMarker;
    if (!write_bytes(t, v.record_at, fresh) || !inspect(t, v)) {
        say(report, "error: cannot write the net_info record");
        return false;
    }
    say(report, "formatted the net_info record at " + std::to_string(v.record_at));
    return true;
}

uint8_t check_byte(std::span<const uint8_t, kIpSectSize> sect)
{
    unsigned sum = 0;
    for (uint8_t b : sect)
        sum += b;
    uint8_t check = static_cast<uint8_t>(sum);
    return check == 0 ? 0xFF : check;
}

IpSection ip_section(const Settings &s)
{
    IpSection sect{};
    std::copy(s.addr.begin(), s.addr.end(), sect.begin() + (kIpAddr - kIpSect));
    sect[kDiscovery - kIpSect] = s.discovery;
    std::copy(s.gateway.begin(), s.gateway.end(), sect.begin() + (kGateway - kIpSect));
    std::copy(s.netmask.begin(), s.netmask.end(), sect.begin() + (kNetmask - kIpSect));
    return sect;
}

bool preset(const Tunnel &t, const Settings &s, bool bad_check, Report report)
{
    View v;
    if (!ensure_formatted(t, v, report))
        return false;
    const IpSection sect = ip_section(s);
    const uint8_t good = check_byte(sect);
    // Never 0 and never the right value: a valid check byte is never 0.
    const uint8_t check = bad_check ? static_cast<uint8_t>(good + 1) : good;
    if (!write_bytes(t, v.record_at + kIpSect, sect) || !write_byte(t, v.record_at + kGrant, check) ||
        !write_byte(t, v.record_at + kReq, kRequestStartUp)) {
        say(report, "error: cannot write the start-up settings");
        return false;
    }
    char line[96];
    std::snprintf(line, sizeof line, "check byte 0x%02x%s, request byte 2", check,
                  bad_check ? " (wrong on purpose)" : "");
    say(report, "start-up settings " + settings_text(s) + ": ip section " + bytes_text(sect) + ", " + line);
    return true;
}

namespace {

// Polls the record until `done` holds for it or the deadline passes.
template <typename Pred>
bool poll_until(const Tunnel &t, const View &v, Clock::time_point deadline, Record &rec, Pred done)
{
    for (;;) {
        if (read_record(t, v, rec) && done(rec))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::string handshake_bytes(const Record &rec) { return bytes_text(std::span<const uint8_t>(rec.data(), 2)); }

// After the grant: the new settings, then the bytes as `how` asks.
Outcome answer(const Tunnel &t, const View &v, const Settings &s, Misbehave how, long timeout_ms,
               Report report)
{
    if (how == Misbehave::NeverAnswer) {
        say(report, "not answering the grant (never-answer)");
        Record rec{};
        auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        if (!poll_until(t, v, deadline, rec,
                        [](const Record &r) { return r[kReq] == 0 && r[kGrant] == 0; })) {
            say(report, "time-out: the SP left the bytes at " + handshake_bytes(rec));
            return Outcome::TimedOut;
        }
        say(report, "the SP withdrew the request: bytes 00 00");
        return Outcome::Done;
    }
    const IpSection sect = ip_section(s);
    if (!write_bytes(t, v.record_at + kIpSect, sect)) {
        say(report, "error: cannot write the ip section");
        return Outcome::Failed;
    }
    say(report, "wrote the ip section " + bytes_text(sect) + " (" + settings_text(s) + ")");
    bool ok = true;
    if (how == Misbehave::LowerRequestOnly) {
        ok = write_byte(t, v.record_at + kReq, 0);
        say(report, "lowered the request byte only (lower-request-only)");
    } else if (how == Misbehave::LowerGrantOnly) {
        ok = write_byte(t, v.record_at + kGrant, 0);
        say(report, "lowered the grant byte only (lower-grant-only)");
    } else {
        const std::array<uint8_t, 2> idle = {0, 0};
        ok = write_bytes(t, v.record_at + kReq, idle);
        say(report, "lowered both bytes: 00 00, handshake complete");
    }
    if (!ok) {
        say(report, "error: cannot write the handshake bytes");
        return Outcome::Failed;
    }
    return Outcome::Done;
}

}  // namespace

Outcome request(const Tunnel &t, const Settings &s, long timeout_ms, Misbehave how, Report report)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    View v;
    if (Outcome found = wait_mailbox(t, v, deadline, report); found != Outcome::Done)
        return found;
    // The grant byte first: the SP must never see the new request next to
    // a grant left over from an earlier one.
    if (!write_byte(t, v.record_at + kGrant, 0) || !write_byte(t, v.record_at + kReq, kRequestRunTime)) {
        say(report, "error: cannot raise the request");
        return Outcome::Failed;
    }
    say(report,
        "raised the request: bytes 01 00 at " + std::to_string(v.record_at) + ", waiting for the grant");
    Record rec{};
    bool granted = poll_until(t, v, deadline, rec, [](const Record &r) {
        return r[kGrant] == kGranted || r[kReq] != kRequestRunTime;
    });
    if (granted && !(rec[kReq] == kRequestRunTime && rec[kGrant] == kGranted)) {
        say(report, "error: the request was cleared without a grant: bytes " + handshake_bytes(rec));
        return Outcome::Failed;
    }
    if (!granted) {
        if (how == Misbehave::NeverAnswer) {
            say(report, "time-out: no grant, the request stays raised");
        } else {
            const std::array<uint8_t, 2> idle = {0, 0};
            write_bytes(t, v.record_at + kReq, idle);
            say(report, "time-out: no grant, request withdrawn (bytes 00 00)");
        }
        return Outcome::TimedOut;
    }
    say(report, "granted: bytes " + handshake_bytes(rec));
    return answer(t, v, s, how, timeout_ms, report);
}

}  // namespace arksim::mbox
