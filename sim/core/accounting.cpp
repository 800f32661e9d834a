// Accounting of outside calls: the call and bus counters in stats.bin, the
// journal of every call, and the fault rules (fault_rule.h) that make a call
// fail, all through the settings a process keeps (call_settings.h).
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <string_view>

#include "answers.h"
#include "bus_time.h"
#include "call_settings.h"
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

// The call that the bus transactions belong to, and what its enter() found
// of the settings (call_settings.h): the counters, the bus speed and the
// answer mode.  Each thread is in a call of its own.
struct CurrentCall {
    int function = -1;
    bool entered = false;
    Stats *stats = nullptr;
    unsigned khz = 0;
    AnswerMode answers;
    uint64_t bus_ns = 0;   // modelled time of its transactions, on a timed bus
    std::string answered;  // " <mode: plain>" when the answer mode chose the result
    std::string fault;     // "1 -1": the rule that answered for it
    FaultRule cut_rule;    // a cut-after rule that applies to it
    std::string cut_note;  // " <cut after 96 of 1119 bytes>" once it cut
};
thread_local CurrentCall g_call;

// The rule of `rules` that answers the `nth` call of `func`, or nullptr.
const FaultRule *rule_for(const std::vector<FaultRule> &rules, std::string_view func, long long nth)
{
    for (const FaultRule &r : rules)
        if (r.func == func && !r.spent && (r.first == 0 || nth == r.first || (r.onward && nth > r.first)))
            return &r;
    return nullptr;
}

// Takes the settings for the call starting in this thread.
void take_up(const Settings &s)
{
    g_call.entered = true;
    g_call.stats = s.stats;
    g_call.khz = s.khz;
    g_call.answers = s.answers;
}

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

const AnswerMode &call_answer_mode() { return g_call.answers; }

Fault enter(const char *func)
{
    Fault f;
    const int idx = function_index(func);
    g_call = CurrentCall{};
    g_call.function = idx;
    f.function = idx;
    SettingsHold s;
    if (s->stats != nullptr && idx >= 0) {
        f.nth = bump(s->stats->calls[idx], 1);
        // A rule added since the settings were read may have restarted this
        // count: the command bumped the change counter first.
        s.recheck();
    }
    take_up(*s);
    const FaultRule *r = rule_for(s->rules, func, f.nth);
    if (r == nullptr)
        return f;
    if (r->cut) {
        f.cut = true;
        if (!r->every_process)
            spend_fault_rule(s->sp, *r);
    } else if (r->cut_after >= 0) {
        f.cut_after = r->cut_after;
        g_call.cut_rule = *r;
    } else {
        f.done = r->done;
        f.fail = !r->done;
        f.value = r->value;
    }
    g_call.fault = fault_rule_text(*r);
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
    if (!g_call.entered)  // outside a call: the settings as they are now
        take_up(*SettingsHold());
    const uint64_t bits = bit_times(t);
    const uint32_t cycles = write_cycles(t);
    if (Stats *s = g_call.stats) {
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
    if (pid_t self = static_cast<pid_t>(process_id()), seen = counted_for.load();
        seen != self && counted_for.compare_exchange_strong(seen, self))
        written.store(0);
    const long long writes = ++written;
    FaultRule cut;
    std::string sp;
    {
        SettingsHold s;
        const FaultRule *r = rule_for(s->rules, kBusWrite, writes);
        if (r == nullptr || !r->cut)
            return;
        cut = *r;
        sp = s->sp;
    }
    if (!cut.every_process)
        spend_fault_rule(sp, cut);
    ::_exit(137);  // as SIGKILL would leave it: no flush, no atexit
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
    // Every counter but the change counter, which moves on: a process that
    // read its settings before reads them again.
    if (Stats *s = map_stats(sp + "/stats.bin", true)) {
        std::memset(s, 0, offsetof(Stats, changes));
        bump(s->changes, 1);
    }
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
    std::string out;
    out.reserve(data.size() * 3);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i != 0)
            out.push_back(' ');
        append_hex(out, data[i]);
    }
    return out;
}

void journal(const std::string &call, long long result, std::span<const uint8_t> data)
{
    if (!g_call.entered)
        take_up(*SettingsHold());
    JournalStamp stamp;
    stamp.pid = process_id();
    if (const long tid = thread_id(); tid != stamp.pid)
        stamp.thread = tid;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp.wall_us = static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    // Every call on a timed bus carries its bus time, local ones (memstore,
    // sensors) their 0.
    if (g_call.khz != 0)
        stamp.bus_ns = g_call.bus_ns;
    stamp.fault = g_call.fault;
    std::string line = format_stamp(stamp);
    line += ' ';
    line += call;
    line += " = ";
    line += std::to_string(result);
    line += g_call.answered;
    line += g_call.cut_note;
    if (!data.empty()) {
        line += " : ";
        line += hex_bytes(data);
    }
    line.push_back('\n');
    // One write per line, so that lines of several processes never mix.
    SettingsHold s;
    if (const int fd = s.journal_fd(); fd >= 0)
        write_all(fd, std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(line.data()), line.size()));
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
    // The change counter before the call count restarts (see enter()).
    note_change(sp);
    Stats *s = bus_write ? nullptr : map_stats(sp + "/stats.bin", true);
    if (s != nullptr)
        __atomic_store_n(&s->calls[function_index(func)], 0, __ATOMIC_SEQ_CST);
    return true;
}

void clear_faults(const std::string &sp)
{
    ::unlink((sp + "/faults").c_str());
    note_change(sp);
}

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
