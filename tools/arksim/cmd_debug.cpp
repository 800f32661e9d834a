// arksim fault, journal, stats, log: what a blade's programs did, and the
// failures they are to meet.
#include <cstdio>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/bus_time.h"
#include "core/call_settings.h"
#include "core/fault_rule.h"
#include "core/sp_log.h"
#include "core/simstate.h"
#include "journal_view.h"
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

// A function name that rules and --function can name; a usage error otherwise.
bool known_function(const std::string &name, const char *what)
{
    if (arksim::function_index(name) >= 0)
        return true;
    std::string names;
    for (const char *n : arksim::function_names())
        names += std::string(" ") + n;
    usage_error("unknown function %s for %s; known:%s", name.c_str(), what, names.c_str());
    return false;
}

std::string calls_text(uint32_t n) { return std::to_string(n) + (n == 1 ? " call" : " calls"); }

// One rule a line: the rule, then whether it can still answer.
void list_rules(const std::string &sp)
{
    for (const arksim::FaultRuleState &r : arksim::fault_rules(sp)) {
        std::string state;
        const bool cut = r.rule.find(" cut") != std::string::npos;
        if (cut && r.spent)
            state = "spent: the cut fired";
        else if (r.per_process)
            state = std::string("live: after ") + (r.onward ? "each bus write from write " : "bus write ") +
                    std::to_string(r.first) + " of " +
                    (r.every_process ? "each process" : "the next process");
        else if (r.spent)
            state = "spent: call " + std::to_string(r.first) + " has been answered (" + calls_text(r.calls) +
                    " counted)";
        else if (r.first == 0)
            state = "live: every call (" + std::to_string(r.calls) + " so far)";
        else
            state = std::string("live: ") + (r.onward ? "from call " : "call ") + std::to_string(r.first) +
                    " (" + std::to_string(r.calls) + " so far)";
        if (cut && !r.spent)
            state += r.every_process ? "; stays live once it fires" : "; spent once it fires";
        std::printf("%-36s %-8s %s\n", r.function.c_str(), r.rule.c_str(), state.c_str());
    }
    // The platform passes over a line that is no rule (a file edited by
    // hand): say which, so that a rule that never fires is not a mystery.
    std::vector<uint8_t> raw;
    if (!arksim::read_file(sp + "/faults", raw))
        return;
    const std::string text(raw.begin(), raw.end());
    std::size_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        arksim::FaultRule r;
        if (line.find_first_not_of(" \t") == std::string::npos ||
            line[line.find_first_not_of(" \t")] == '#' || arksim::parse_fault_rule(line, r))
            continue;
        std::printf("%s/faults line %zu is no rule, passed over: %s\n", sp.c_str(), number,
                    arksim::escape_log_message(line.substr(0, 120)).c_str());
    }
}

int fault(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    bool list = args.has("--list"), clear = args.has("--clear");
    const bool every = args.has("--every-process");
    if ((list || clear) ? !args.pos.empty() || every : (!args.pos.empty() && args.pos.size() != 3))
        return usage_error("wants FUNC WHEN VALUE [--every-process], --list or --clear");
    if (!pick_blade(ctx, b))
        return 1;
    if (clear) {
        arksim::clear_faults(b.dir);
        return 0;
    }
    if (args.pos.empty()) {
        list_rules(b.dir);
        return 0;
    }
    if (args.pos[0] != arksim::kBusWrite && !known_function(args.pos[0], "a rule"))
        return 2;
    if (every && args.pos[2].rfind("cut", 0) != 0)
        return usage_error("--every-process is for cuts");
    if (!arksim::add_fault(b.dir, args.pos[0], args.pos[1], args.pos[2], every))
        return usage_error("WHEN is N, N+ or *; VALUE a number, done:V, \"cut\", or \"cut-after:B\" for "
                           "elm_i2c_blk_write_on_bus, arkmp_tnlblk_write and arkmp_tnlblk_write_fromfile");
    return 0;
}

int journal(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = blade_or_flag(ctx, args, b, "--clear",
                               [](const std::string &dir) {
                                   ::unlink((dir + "/journal").c_str());
                                   arksim::note_change(dir);  // its programs start a new one
                               });
        rc >= 0)
        return rc;
    const std::string *only = args.get("--function");
    if (only != nullptr && !known_function(*only, "--function"))
        return 2;
    const bool full = args.has("--full");
    for (const std::string &line : arksim::read_lines(b.dir + "/journal")) {
        arksim::JournalLine l;
        if (!arksim::parse_journal_line(line, l)) {
            if (only == nullptr)
                std::puts(line.c_str());
            continue;
        }
        if (only == nullptr || l.function() == *only)
            std::puts(journal_text(l, full).c_str());
    }
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
    std::printf("%-38s %8s %10s %7s %10s\n", "function", "calls", "bit-times", "writes", "bus ms");
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
        std::printf("%s\n", log_text(e).c_str());
    return 0;
}

constexpr Opt kFaultOpts[] = {
    {"--list", "", "show the rules (also without arguments)"},
    {"--every-process", "", "a cut stays live once it fired (default: spent)"},
    {"--clear", "", "remove every rule"},
};
constexpr Opt kClearOpts[] = {{"--clear", "", "empty it"}};
constexpr Opt kJournalOpts[] = {
    {"--clear", "", "empty it"},
    {"--function", "NAME", "only the calls of this platform function"},
    kFullBytesOpt,
};
constexpr Opt kStatsOpts[] = {
    {"--reset", "", "set every counter to 0"},
    {"--all", "", "list functions never called too"},
    {"--json", "", "machine-readable output (bus_ns: modelled nanoseconds)"},
};

constexpr Command kCommands[] = {
    {"fault", "FUNC WHEN VALUE [--every-process] | --list | --clear", "make a platform function fail",
     "WHEN: N (the N-th call from now), N+ (the N-th call on) or * (every call).\n"
     "VALUE: the result the call answers instead of doing its work; done:V, the\n"
     "call does its work and then answers V (an EEPROM write that wrote its bytes\n"
     "and answers 0); `cut`: the call does its work, then the process ends as\n"
     "if the power were cut; or `cut-after:B` (EEPROM and tunnel writes): the\n"
     "process ends once B bytes of the call's writes reached the device, page by\n"
     "page as the device takes them, and the journal line says where it stopped\n"
     "(`<cut after 96 of 1119 bytes>`; a call of B bytes or fewer is cut after\n"
     "its last).  A cut fires once and is then spent;\n"
     "--every-process keeps it live for every later process.\n"
     "e.g. `arksim fault memstore_set 1 -1`: the next memstore write fails.\n"
     "The journal marks each result a rule injected (`<fault: 1 -1>`); --list\n"
     "tells the rules still live from the spent one-shot ones.\n\n"
     "FUNC, what it does on the SP, and the results that mean success / failure:\n"
     "  memstore_get          read a memstore key             1 / 0, -1 (0: no key)\n"
     "  memstore_set          write a memstore key            1 / 0, -1\n"
     "  memstore_haskey       is a memstore key there         nonzero: yes / 0: no\n"
     "  arkmp_read_slotid     the slot byte of the midplane   0 / negative\n"
     "  arkmp_read            read a midplane register        1 (bytes) / only -1\n"
     "                        (chassis type probe 0x9c, 0x4c, 0x7e)\n"
     "  arkmp_write           write a midplane register       1 (bytes) / 0, negative\n"
     "                        (the thermal override)\n"
     "  arkmp_writeread       one byte through a slot's tunnel\n"
     "                        (the PCA9501 defaults)          1 (bytes) / negative\n"
     "  arkmp_tunneling_init  switch midplane tunnel access   0 / negative\n"
     "  arkmp_tnlblk_read     read tunnel block memory        bytes / negative\n"
     "                        (the netconf mailbox, the chassis FRU data)\n"
     "  arkmp_tnlblk_write    write tunnel block memory       bytes / negative\n"
     "  arkmp_tnlblk_write_fromfile  a file into tunnel memory  bytes / negative\n"
     "  elm_i2c_blk_read_on_bus   the FRU EEPROM read         bytes / negative\n"
     "  elm_i2c_blk_write_on_bus  the FRU EEPROM write        bytes / negative\n"
     "  pca_read_i2c_blade_dt the PCA9501's DT value          0 / negative\n"
     "  compute_crc8          CRC-8 of the FRU section header  VALUE is the CRC\n"
     "  compute_checksum32    CRC-32 of the installation records  VALUE is the CRC\n"
     "  get_tag_type          a FRU tag's type                VALUE is the type, -1 bad\n"
     "  get_tag_size          a tag type's header size        VALUE is the size, -1 bad\n"
     "  get_payload_length    a FRU tag's payload length      VALUE is the length, -1 bad\n"
     "  ark_pwr_i2c_readpub_bl_budget  read the slot's published power budget  0 / negative\n"
     "  ark_pwr_i2c_publish   publish the hardware-configuration power  0 / negative\n"
     "  ark_pwr_i2c_test      the power I2C path's self-test  0 / negative\n"
     "  ssbcast_sensor_format the broadcast sensor's memstore key name  0 / nonzero\n"
     "  sspoller_get_shared_sensor_reading  a sensor reading  0 / nonzero\n"
     "  uptime                the SP's uptime in seconds      VALUE is the uptime\n"
     "  bus_write             not a function: VALUE `cut` only, the power fails\n"
     "                        after the N-th bus write of a process (the next one\n"
     "                        that gets so far; each with --every-process)\n"
     "A rule makes the call answer VALUE whatever it is: a success value makes the\n"
     "call succeed without its work (a read then returns nothing new).",
     kFaultOpts, false, fault},
    {"journal", "[--function NAME] [--full] | --clear", "show every platform call the blade's programs made",
     "One call a line: the time it returned (local, to the millisecond), on a timed\n"
     "bus the modelled bus time it took, the process id (pid/tid for a call from\n"
     "another thread than the main one), the call with its\n"
     "arguments, its result and the bytes it moved.  A run of more than 32 bytes\n"
     "shows its first 16, its length and its last 8 (--full: all of them).\n"
     "\"<edge: 16>\" marks a result the answer mode chose (16 the plain one),\n"
     "\"<fault: 1 -1>\" one that a fault rule injected (WHEN and VALUE of the rule).",
     kJournalOpts, false, journal},
    {"stats", "[--reset] [--all] [--json]", "show call counts, bus traffic and modelled bus time", "",
     kStatsOpts, false, stats},
    {"log", "[--clear]", "show the SP's system log",
     "One entry a line: the time it arrived (local, to the millisecond, the\n"
     "journal's clock), the sending process's id and name, severity, facility and\n"
     "the message (escaped; its final newline not shown).",
     kClearOpts, false, log},
};

}  // namespace

std::span<const Command> debug_commands() { return kCommands; }

}  // namespace arkcli
