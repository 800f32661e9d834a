// arksim fault, journal, stats, log: what a blade's programs did, and the
// failures they are to meet.
#include <cstdio>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/bus_time.h"
#include "core/sp_log.h"
#include "core/simstate.h"
#include "json_out.h"

namespace arkcli {
namespace {

// Picks the blade of a command that takes no arguments and, when `flag` is
// given, runs `act` on the blade's folder instead of the command.  -1: go on
// with b; anything else is the exit status.
template <class Act>
int blade_or_flag(const Context &ctx, const Args &args, arksim::BladeInfo &b, const char *flag, Act act)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    if (!pick_blade(ctx, b))
        return 1;
    if (!args.has(flag))
        return -1;
    act(b.dir);
    return 0;
}

int fault(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    bool list = args.has("--list"), clear = args.has("--clear");
    if ((list || clear) ? !args.pos.empty() : (!args.pos.empty() && args.pos.size() != 3))
        return usage_error("wants FUNC WHEN VALUE, --list or --clear");
    if (!pick_blade(ctx, b))
        return 1;
    if (clear) {
        arksim::clear_faults(b.dir);
        return 0;
    }
    if (args.pos.empty()) {
        std::string rules = read_text(b.dir + "/faults");
        if (!rules.empty())
            std::puts(rules.c_str());
        return 0;
    }
    if (arksim::function_index(args.pos[0]) < 0) {
        std::string names;
        for (const char *n : arksim::function_names())
            names += std::string(" ") + n;
        return usage_error("unknown function %s; known:%s", args.pos[0].c_str(), names.c_str());
    }
    if (!arksim::add_fault(b.dir, args.pos[0], args.pos[1], args.pos[2]))
        return usage_error("WHEN is N, N+ or *, VALUE a number or \"cut\"");
    return 0;
}

int journal(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = blade_or_flag(ctx, args, b, "--clear",
                               [](const std::string &dir) { ::unlink((dir + "/journal").c_str()); });
        rc >= 0)
        return rc;
    std::vector<uint8_t> raw;
    if (arksim::read_file(b.dir + "/journal", raw))
        std::fwrite(raw.data(), 1, raw.size(), stdout);
    return 0;
}

void timed_members(JsonWriter &j, uint32_t bits, uint32_t cycles, uint64_t hz)
{
    j.number("bit_times", bits).number("write_cycles", cycles);
    j.number("bus_ns", static_cast<long long>(arksim::bus_ns(bits, cycles, hz)));
}

void print_stats_json(const arksim::Stats &s, unsigned khz, uint64_t hz, bool all)
{
    JsonWriter j;
    j.open_object().number("bus_khz", khz).number("model_khz", static_cast<long long>(hz / 1000));
    j.open_array("calls");
    auto names = arksim::function_names();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (all || s.calls[i] != 0) {
            j.open_object().string("function", names[i]).number("calls", s.calls[i]);
            timed_members(j, s.call_bits[i], s.call_cycles[i], hz);
            j.close();
        }
    j.close().open_array("buses");
    uint32_t bits = 0, cycles = 0;
    for (int i = 0; i < arksim::Stats::kBuses; ++i) {
        j.open_object().string("bus", arksim::bus_name(static_cast<arksim::Bus>(i)));
        j.number("transactions", s.transactions[i]).number("bytes", s.bytes[i]);
        timed_members(j, s.bus_bits[i], s.bus_cycles[i], hz);
        j.close();
        bits += s.bus_bits[i];
        cycles += s.bus_cycles[i];
    }
    j.close().open_object("total");
    timed_members(j, bits, cycles, hz);
    j.close().close();
}

// Milliseconds with two decimals.
std::string ms_text(uint64_t ns)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(ns) / 1e6);
    return buf;
}

int stats(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = blade_or_flag(ctx, args, b, "--reset", arksim::reset_stats); rc >= 0)
        return rc;
    arksim::Stats s;
    arksim::read_stats(b.dir, s);
    const unsigned khz = arksim::read_bus_khz(ctx.chassis);
    // On an untimed bus the modelled time is shown at the usual 100 kHz.
    const uint64_t hz = uint64_t{khz != 0 ? khz : 100} * 1000;
    auto ms = [hz](uint32_t bits, uint32_t cycles) { return ms_text(arksim::bus_ns(bits, cycles, hz)); };
    if (args.has("--json")) {
        print_stats_json(s, khz, hz, args.has("--all"));
        return 0;
    }
    if (khz != 0)
        std::printf("bus timed at %u kHz; modelled bus time in ms\n", khz);
    else
        std::puts("bus untimed; modelled bus time in ms at 100 kHz");
    bool all = args.has("--all"), any = false;
    std::printf("%-38s %8s %10s %7s %10s\n", "calls", "", "bit-times", "writes", "bus ms");
    auto names = arksim::function_names();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (all || s.calls[i] != 0) {
            std::printf("  %-36s %8u %10u %7u %10s\n", names[i], s.calls[i], s.call_bits[i], s.call_cycles[i],
                        ms(s.call_bits[i], s.call_cycles[i]).c_str());
            any = true;
        }
    if (!any)
        std::puts("  (none)");
    std::printf("%-12s %12s %12s %10s %7s %10s\n", "bus", "transactions", "bytes", "bit-times", "writes",
                "bus ms");
    uint32_t bits = 0, cycles = 0;
    for (int i = 0; i < arksim::Stats::kBuses; ++i) {
        std::printf("  %-10s %12u %12u %10u %7u %10s\n", arksim::bus_name(static_cast<arksim::Bus>(i)),
                    s.transactions[i], s.bytes[i], s.bus_bits[i], s.bus_cycles[i],
                    ms(s.bus_bits[i], s.bus_cycles[i]).c_str());
        bits += s.bus_bits[i];
        cycles += s.bus_cycles[i];
    }
    std::printf("  %-10s %12s %12s %10u %7u %10s\n", "total", "", "", bits, cycles, ms(bits, cycles).c_str());
    return 0;
}

int log(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = blade_or_flag(ctx, args, b, "--clear", arksim::clear_log); rc >= 0)
        return rc;
    for (const arksim::LogEntry &e : arksim::read_log(b.dir))
        std::printf("%-7s %-8s %s\n", arksim::severity_name(e.severity), arksim::facility_name(e.facility),
                    arksim::escape_log_message(e.message).c_str());
    return 0;
}

constexpr Opt kFaultOpts[] = {
    {"--list", "", "show the rules (also without arguments)"},
    {"--clear", "", "remove every rule"},
};
constexpr Opt kClearOpts[] = {{"--clear", "", "empty it"}};
constexpr Opt kStatsOpts[] = {
    {"--reset", "", "set every counter to 0"},
    {"--all", "", "list functions never called too"},
    {"--json", "", "machine-readable output (bus_ns: modelled nanoseconds)"},
};

constexpr Command kCommands[] = {
    {"fault", "FUNC WHEN VALUE | --list | --clear", "make a platform function fail",
     "WHEN: N (the N-th call from now), N+ (the N-th call on) or * (every call).\n"
     "VALUE: the result the call answers instead of doing its work, or `cut`:\n"
     "the call does its work, then the process ends as if the power were cut.\n"
     "e.g. `arksim fault memstore_set 2 -1`.",
     kFaultOpts, false, fault},
    {"journal", "[--clear]", "show every platform call the blade's programs made", "", kClearOpts, false,
     journal},
    {"stats", "[--reset] [--all] [--json]", "show call counts, bus traffic and modelled bus time", "",
     kStatsOpts, false, stats},
    {"log", "[--clear]", "show the SP's system log", "One entry a line: severity, facility, message.",
     kClearOpts, false, log},
};

}  // namespace

std::span<const Command> debug_commands() { return kCommands; }

}  // namespace arkcli
