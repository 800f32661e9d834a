// Accounting of outside calls: the call and bus counters in stats.bin, the
// journal of every call, and the fault rules (fault_rule.h) that make a call
// fail.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string_view>

#include "bus_time.h"
#include "fault_rule.h"
#include "journal_line.h"
#include "simstate.h"
#include "unique_fd.h"

namespace arksim {
namespace {

constexpr std::array<const char *, 30> kFunctions = {
    "memstore_get",
    "memstore_set",
    "memstore_haskey",
    "arkmp_read_slotid",
    "arkmp_read",
    "arkmp_write",
    "arkmp_writeread",
    "arkmp_tunneling_init",
    "arkmp_tnlblk_read",
    "arkmp_tnlblk_write",
    "arkmp_tnlblk_write_fromfile",
    "elm_i2c_blk_read_on_bus",
    "elm_i2c_blk_write_on_bus",
    "pca_read_i2c_blade_dt",
    "compute_crc8",
    "compute_checksum32",
    "get_tag_type",
    "get_tag_size",
    "get_payload_length",
    "ark_pwr_i2c_readpub_bl_budget",
    "ark_pwr_i2c_publish",
    "ark_pwr_i2c_test",
    "ssbcast_sensor_format",
    "sspoller_get_shared_sensor_reading",
    "uptime",
    "",
    "",
    "",
    "",
    "",
};
static_assert(kFunctions.size() <= Stats::kMaxFunctions);

constexpr std::array<const char *, static_cast<int>(Bus::Count)> kBusNames = {
    "memstore", "register", "tunnel", "eeprom", "power-i2c", "sensor"};

// The counters live in a shared mapping of <sp>/stats.bin, so every process
// of the simulated SP adds to the same figures.  The mapping is kept for the
// life of the process and redone when ARKSIM_SP names another folder or the
// file was replaced.  Threads share it under g_map_lock; a mapping that is
// given up stays mapped, since another thread may still be counting into it
// (it takes one page, and a file is replaced only by a new chassis).
struct StatsMap {
    std::string path;
    ino_t inode = 0;
    Stats *stats = nullptr;
};
StatsMap g_map;
std::mutex g_map_lock;

Stats *map_stats(const std::string &path, bool create)
{
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    const std::lock_guard<std::mutex> hold(g_map_lock);
    if (g_map.stats != nullptr && g_map.path == path && exists && st.st_ino == g_map.inode)
        return g_map.stats;
    g_map.stats = nullptr;
    if (!exists && !create)
        return nullptr;
    UniqueFd fd(::open(path.c_str(), O_RDWR | (create ? O_CREAT : 0) | O_CLOEXEC, 0644));
    if (!fd)
        return nullptr;
    if (::fstat(fd.get(), &st) != 0)
        return nullptr;
    if (static_cast<std::size_t>(st.st_size) < sizeof(Stats) && ::ftruncate(fd.get(), sizeof(Stats)) != 0)
        return nullptr;
    void *p = ::mmap(nullptr, sizeof(Stats), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (p == MAP_FAILED)
        return nullptr;
    g_map.path = path;
    g_map.inode = st.st_ino;
    g_map.stats = static_cast<Stats *>(p);
    return g_map.stats;
}

// The counters are stored big-endian, the SP's order, so that host tools
// read the figures that target programs run under an emulator wrote.
uint32_t bump(uint32_t &counter, uint32_t by)
{
    uint32_t old = __atomic_load_n(&counter, __ATOMIC_RELAXED), next = 0;
    do
        next = htonl(ntohl(old) + by);
    while (!__atomic_compare_exchange_n(&counter, &old, next, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED));
    return ntohl(next);
}

// The call that the bus transactions belong to, and the bus speed it runs at
// (read at its first timed transaction: `arksim bus` may change it between
// calls).  Each thread is in a call of its own.
struct CurrentCall {
    int function = -1;
    bool speed_known = false;
    unsigned khz = 0;
    uint64_t bus_ns = 0;   // modelled time of its transactions, on a timed bus
    std::string answered;  // " <mode: plain>" when the answer mode chose the result
    std::string fault;     // "1 -1": the rule that answered for it
    FaultRule cut_rule;    // a cut-after rule that applies to it
    std::string cut_note;  // " <cut after 96 of 1119 bytes>" once it cut
};
thread_local CurrentCall g_call;

}  // namespace

const char *bus_name(Bus b) { return kBusNames[static_cast<int>(b)]; }

int function_index(std::string_view name)
{
    for (std::size_t i = 0; i < kFunctions.size(); ++i)
        if (kFunctions[i][0] != '\0' && name == kFunctions[i])
            return static_cast<int>(i);
    return -1;
}

std::span<const char *const> function_names()
{
    std::size_t n = 0;
    while (n < kFunctions.size() && kFunctions[n][0] != '\0')
        ++n;
    return {kFunctions.data(), n};
}

Fault enter(const char *func)
{
    Fault f;
    std::string sp = sp_dir();
    int idx = function_index(func);
    g_call = CurrentCall{};
    g_call.function = idx;
    uint32_t nth = 0;
    if (Stats *s = map_stats(sp + "/stats.bin", true); s != nullptr && idx >= 0)
        nth = bump(s->calls[idx], 1);
    f.function = idx;
    f.nth = nth;
    struct stat st {};
    if (::stat((sp + "/faults").c_str(), &st) != 0)
        return f;
    for (const FaultRule &r : load_fault_rules(sp)) {
        if (r.func != func || r.spent)
            continue;
        bool hit = r.first == 0 || static_cast<long long>(nth) == r.first ||
                   (r.onward && static_cast<long long>(nth) > r.first);
        if (!hit)
            continue;
        if (r.cut) {
            f.cut = true;
            if (!r.every_process)
                spend_fault_rule(sp, r);
        } else if (r.cut_after >= 0) {
            f.cut_after = r.cut_after;
            g_call.cut_rule = r;
        } else {
            f.done = r.done;
            f.fail = !r.done;
            f.value = r.value;
        }
        g_call.fault = fault_rule_text(r);
        return f;
    }
    return f;
}

void leave(const Fault &f)
{
    if (f.cut)
        ::_exit(137);  // as SIGKILL would leave it: no flush, no atexit
}

unsigned cut_within(Fault &f, unsigned done, unsigned len, unsigned chunk)
{
    // A cut aimed past the call's last byte ends the process once all of
    // them reached the device, as `cut` would.
    const bool last = done + chunk >= len;
    if (f.cut_after < 0 || (static_cast<long long>(done) + chunk < f.cut_after && !last))
        return chunk;
    const auto reach =
        static_cast<unsigned>(std::min<long long>(chunk, f.cut_after - static_cast<long long>(done)));
    f.cut = true;
    f.cut_after = -1;
    g_call.cut_note = " <cut after ";  // piece by piece, for GCC 12's -Wrestrict
    g_call.cut_note += std::to_string(done + reach);
    g_call.cut_note += " of ";
    g_call.cut_note += std::to_string(len);
    g_call.cut_note += " bytes>";
    if (!g_call.cut_rule.every_process)
        spend_fault_rule(sp_dir(), g_call.cut_rule);
    return reach;
}

void count_bus(const Transaction &t)
{
    const std::string sp = sp_dir();
    const uint64_t bits = bit_times(t);
    const uint32_t cycles = write_cycles(t);
    if (Stats *s = map_stats(sp + "/stats.bin", true)) {
        const int b = static_cast<int>(t.bus);
        bump(s->transactions[b], 1);
        bump(s->bytes[b], t.data);
        bump(s->bus_bits[b], static_cast<uint32_t>(bits));
        bump(s->bus_cycles[b], cycles);
        if (g_call.function >= 0) {
            bump(s->call_bits[g_call.function], static_cast<uint32_t>(bits));
            bump(s->call_cycles[g_call.function], cycles);
        }
    }
    if (bits == 0)
        return;
    if (!g_call.speed_known) {
        g_call.khz = read_bus_khz(chassis_of(sp));
        g_call.speed_known = true;
    }
    const uint64_t ns = bus_ns(bits, cycles, uint64_t{g_call.khz} * 1000);
    g_call.bus_ns += ns;
    spend_bus_time(ns);
}

void count_write(const Transaction &t)
{
    count_bus(t);
    // Counted per process, over all its threads: a forked child starts again
    // from its first write.
    static std::atomic<pid_t> counted_for{0};
    static std::atomic<uint32_t> written{0};  // 32 bits: lock-free on every target
    if (pid_t self = ::getpid(), seen = counted_for.load();
        seen != self && counted_for.compare_exchange_strong(seen, self))
        written.store(0);
    const long long writes = ++written;
    const std::string sp = sp_dir();
    struct stat st {};
    if (::stat((sp + "/faults").c_str(), &st) != 0)
        return;
    for (const FaultRule &r : load_fault_rules(sp))
        if (r.func == kBusWrite && r.cut && !r.spent &&
            (r.first == 0 || writes == r.first || (r.onward && writes > r.first))) {
            if (!r.every_process)
                spend_fault_rule(sp, r);
            ::_exit(137);  // as SIGKILL would leave it: no flush, no atexit
        }
}

bool read_stats(const std::string &sp, Stats &out)
{
    std::vector<uint8_t> raw;
    std::memset(&out, 0, sizeof out);
    if (!read_file(sp + "/stats.bin", raw))
        return false;
    std::array<uint32_t, sizeof(Stats) / sizeof(uint32_t)> words{};
    std::memcpy(words.data(), raw.data(), raw.size() < sizeof out ? raw.size() : sizeof out);
    for (uint32_t &w : words)
        w = ntohl(w);
    std::memcpy(&out, words.data(), sizeof out);
    return true;
}

void reset_stats(const std::string &sp)
{
    if (Stats *s = map_stats(sp + "/stats.bin", true))
        std::memset(s, 0, sizeof *s);
}

std::string quoted(std::string_view s)
{
    // Appended piece by piece: gcc 12 misreads `"\"" + std::string(s)` as an
    // overlapping copy (-Wrestrict).
    std::string out;
    out.reserve(s.size() + 2);
    out.append(1, '"').append(s).append(1, '"');
    return out;
}

std::string hex_bytes(std::span<const uint8_t> data)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 3);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i != 0)
            out.push_back(' ');
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

void journal(const std::string &call, long long result, std::span<const uint8_t> data)
{
    JournalStamp stamp;
    stamp.pid = ::getpid();
    if (const long tid = thread_id(); tid != stamp.pid)
        stamp.thread = tid;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp.wall_us = static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    // Every call on a timed bus carries its bus time, local ones (memstore,
    // sensors) their 0.
    if (!g_call.speed_known) {
        g_call.khz = read_bus_khz(chassis_of(sp_dir()));
        g_call.speed_known = true;
    }
    if (g_call.khz != 0)
        stamp.bus_ns = g_call.bus_ns;
    stamp.fault = g_call.fault;
    std::string line =
        format_stamp(stamp) + " " + call + " = " + std::to_string(result) + g_call.answered + g_call.cut_note;
    if (!data.empty())
        line += " : " + hex_bytes(data);
    line.push_back('\n');
    UniqueFd fd(::open(sp_path("journal").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd)
        write_all(fd.get(),
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(line.data()), line.size()));
}

void note_answer(const std::string &mode, long long plain)
{
    g_call.answered = " <" + mode + ": " + std::to_string(plain) + ">";
}

bool add_fault(const std::string &sp, std::string_view func, std::string_view when, std::string_view value,
               bool every_process)
{
    FaultRule probe;
    std::string line = std::string(func) + " " + std::string(when) + " " + std::string(value);
    if (every_process)
        line += " every-process";
    const bool bus_write = func == kBusWrite;
    const bool writes_pages = func == "elm_i2c_blk_write_on_bus" || func == "arkmp_tnlblk_write" ||
                              func == "arkmp_tnlblk_write_fromfile";
    if ((function_index(func) < 0 && !bus_write) || !parse_fault_rule(line, probe) ||
        (bus_write && !probe.cut) || (probe.cut_after >= 0 && !writes_pages))
        return false;
    line.push_back('\n');
    UniqueFd fd(::open((sp + "/faults").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd || !write_all(fd.get(), std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(line.data()),
                                                             line.size())))
        return false;
    Stats *s = bus_write ? nullptr : map_stats(sp + "/stats.bin", true);
    if (s != nullptr)
        __atomic_store_n(&s->calls[function_index(func)], 0, __ATOMIC_RELAXED);
    return true;
}

void clear_faults(const std::string &sp) { ::unlink((sp + "/faults").c_str()); }

std::vector<FaultRuleState> fault_rules(const std::string &sp)
{
    Stats s;
    read_stats(sp, s);
    std::vector<FaultRuleState> out;
    for (const FaultRule &r : load_fault_rules(sp)) {
        FaultRuleState st;
        st.function = r.func;
        st.rule = fault_rule_text(r);
        st.first = static_cast<uint32_t>(r.first);
        st.onward = r.onward;
        st.per_process = r.func == kBusWrite;
        const int idx = function_index(r.func);
        st.calls = idx >= 0 ? s.calls[idx] : 0;
        st.spent = r.spent || (!st.per_process && r.first > 0 && !r.onward && st.calls >= r.first);
        st.every_process = r.every_process;
        out.push_back(st);
    }
    return out;
}

}  // namespace arksim
