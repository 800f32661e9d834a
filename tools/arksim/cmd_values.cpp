// arksim uptime, sensor, dt, slot-byte: single values a blade's platform
// answers.
#include <cstdio>
#include <ctime>

#include "arksim_cli.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

bool write_or_fail(const std::string &path, const std::string &text)
{
    if (arksim::write_text(path, text + "\n"))
        return true;
    fail("cannot write %s", path.c_str());
    return false;
}

long long now() { return static_cast<long long>(std::time(nullptr)); }

int uptime(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (args.pos.size() > 1 || (args.pos.size() == 1 && args.has("--running")))
        return usage_error("wants SECONDS or --running");
    if (!pick_blade(ctx, b))
        return 1;
    std::string path = b.dir + "/uptime", text = read_text(path);
    long long v = 0, secs = 0;
    bool running = std::sscanf(text.c_str(), "boot %lld", &v) == 1;
    if (running)
        secs = now() - v;
    else if (std::sscanf(text.c_str(), "%lld", &v) == 1)
        secs = v;
    if (args.has("--running"))  // keeps counting from where it stands
        return write_or_fail(path, "boot " + std::to_string(now() - secs)) ? 0 : 1;
    if (args.pos.empty()) {
        std::printf("%lld s (%s)\n", secs, running ? "running" : "frozen");
        return 0;
    }
    if (!parse_number(args.pos[0], 0, 1LL << 40, v))
        return usage_error("SECONDS must be a number, not %s", args.pos[0].c_str());
    return write_or_fail(path, std::to_string(v)) ? 0 : 1;
}

int sensor(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    long long n = 0, v = 0;
    if (args.pos.size() > 2 || (!args.pos.empty() && !parse_number(args.pos[0], 0, 1 << 20, n)))
        return usage_error("wants [N [VALUE]]");
    if (!pick_blade(ctx, b))
        return 1;
    std::string dir = b.dir + "/sensors/";
    if (args.pos.empty()) {
        for (const std::string &name : numbered_entries(dir))
            std::printf("%-6s %s\n", name.c_str(), read_text(dir + name).c_str());
        return 0;
    }
    std::string path = dir + std::to_string(n);
    if (args.pos.size() == 1) {
        auto value = arksim::read_number(path);
        if (!value)
            return fail("sensor %lld has no reading", n);
        std::printf("%lld\n", *value);
        return 0;
    }
    if (!parse_number(args.pos[1], -(1LL << 31), (1LL << 32) - 1, v))
        return usage_error("VALUE must be a number, not %s", args.pos[1].c_str());
    return arksim::make_dirs(dir) && write_or_fail(path, std::to_string(v)) ? 0 : 1;
}

int dt(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    long long v = 0;
    if (args.pos.size() > 1 || (args.pos.size() == 1 && !parse_number(args.pos[0], 0, 0xFFFFFFFF, v)))
        return usage_error("wants [VALUE], a number");
    if (!pick_blade(ctx, b))
        return 1;
    if (args.pos.empty()) {
        std::printf("%lld\n", arksim::read_number(b.dir + "/pca9501_dt").value_or(0));
        return 0;
    }
    return write_or_fail(b.dir + "/pca9501_dt", std::to_string(v)) ? 0 : 1;
}

int slot_byte(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    long long v = -1;
    if (args.pos.size() > 1 ||
        (args.pos.size() == 1 && args.pos[0] != "none" && !parse_number(args.pos[0], 0, 255, v)))
        return usage_error("wants [N|none], N a byte such as 0x13");
    if (!pick_blade(ctx, b))
        return 1;
    if (args.pos.empty()) {
        if (b.slot < 0)
            std::puts("none");
        else
            std::printf("0x%02x (%d)\n", b.slot, b.slot);
        return 0;
    }
    if (!arksim::set_slot(b.dir, static_cast<int>(v)) && v >= 0)
        return fail("cannot write %s/slot", b.dir.c_str());
    return 0;
}

constexpr Opt kUptimeOpts[] = {{"--running", "", "let the clock run on from its value"}};

constexpr Command kCommands[] = {
    {"uptime", "[SECONDS | --running]", "show or set the blade's uptime clock",
     "SECONDS freezes the clock at that value; --running lets it count on.", kUptimeOpts, false, uptime},
    {"sensor", "[N [VALUE]]", "list, get or set sensor readings", "", {}, false, sensor},
    {"dt", "[VALUE]", "show or set the DT value of the blade's PCA9501", "", {}, false, dt},
    {"slot-byte",
     "[N | none]",
     "show or set the raw slot byte the midplane reports",
     "Unlike `move`, any byte is taken (e.g. 0x13), and `none` makes the read fail.",
     {},
     false,
     slot_byte},
};

}  // namespace

std::span<const Command> value_commands() { return kCommands; }

}  // namespace arkcli
