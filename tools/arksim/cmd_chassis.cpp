// arksim create, add-blade, move, reset: making and changing the chassis
// (create and add-blade themselves in cmd_create.cpp).
#include <cstdio>

#include "cmm/cmm_state.h"
#include "core/answers.h"
#include "core/blade_move.h"
#include "core/inspect.h"
#include "arksim_cli.h"
#include "core/bus_time.h"
#include "cmd_create.h"
#include "cmd_fru.h"
#include "core/simstate.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

void print_bus_speed(unsigned khz)
{
    if (khz == 0)
        std::puts("bus untimed");
    else
        std::printf("bus timed at %u kHz\n", khz);
}

int bus(const Context &ctx, const Args &args)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    if (!need_chassis(ctx))
        return 1;
    if (const std::string *k = args.get("--khz")) {
        long long khz = 0;
        if (!parse_number(*k, 0, arksim::kMaxBusKhz, khz))
            return usage_error("--khz wants 0 (untimed) to %u, not %s", arksim::kMaxBusKhz, k->c_str());
        if (!arksim::write_bus_khz(ctx.chassis, static_cast<unsigned>(khz)))
            return fail("cannot write %s/bus_khz", ctx.chassis.c_str());
    }
    print_bus_speed(arksim::read_bus_khz(ctx.chassis));
    return 0;
}

int answers(const Context &ctx, const Args &args)
{
    if (args.pos.size() > 1)
        return usage_error("unexpected argument %s", args.pos[1].c_str());
    if (!need_chassis(ctx))
        return 1;
    const std::string *seed = args.get("--seed");
    if (!args.pos.empty()) {
        std::string text = args.pos[0];
        if (text == "random")
            text += " " + (seed != nullptr ? *seed : std::string("0"));
        else if (seed != nullptr)
            return usage_error("--seed goes with random");
        arksim::AnswerMode m;
        if (!arksim::parse_answer_mode(text, m))
            return usage_error("wants plain, edge or random [--seed N], not %s", text.c_str());
        if (!arksim::write_answer_mode(ctx.chassis, m))
            return fail("cannot write %s/answers", ctx.chassis.c_str());
    } else if (seed != nullptr) {
        return usage_error("--seed goes with random");
    }
    std::printf("answers: %s\n", arksim::describe(arksim::read_answer_mode(ctx.chassis)).c_str());
    return 0;
}

int move(const Context &ctx, const Args &args)
{
    if (args.has("--to-chassis"))
        return move_to_chassis(ctx, args);
    Context c;
    if (int rc = take_blade_argument(ctx, args, c); rc >= 0)
        return rc;
    int slot = 0;
    const std::string *to = args.get("--to-slot");
    if (to == nullptr || !parse_slot(*to, slot))
        return usage_error("wants --to-slot N");
    arksim::BladeInfo b;
    if (!pick_blade(c, b))
        return 1;
    const arksim::MoveResult moved = arksim::move_to_slot(ctx.chassis, b.name, slot);
    if (!moved.ok())
        return fail("%s", moved.error.c_str());
    std::printf("blade %s now in slot %d\n", b.name.c_str(), slot);
    return 0;
}

int reset(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (int rc = pick_blade_argument(ctx, args, b); rc >= 0)
        return rc;
    if (!arksim::reset_blade(b.dir))
        return fail("cannot reset blade %s", b.name.c_str());
    std::printf("blade %s reset to a freshly inserted one (slot %d kept)\n", b.name.c_str(), b.slot);
    return 0;
}

constexpr Opt kCreateOpts[] = {
    {"--type", "CODE", "chassis type: 1302, 3096 (default), 3074, 3331, 3073"},
    {"--blade", "NAME:SLOT", "a blade to add (repeatable; default sp1:3)"},
    {"--force", "", "wipe and recreate an existing chassis"},
    {"--identity", "P:S:D",
     "the chassis's part number, serial number and dash level\n"
     "                         (default 5412345:CH0001:01; see `arksim identity`)"},
    {"--cmm", "", "the chassis has a CMM: `arksim run` starts it (see `arksim cmm`)"},
    {"--pool", "W", "with --cmm: the CMM's power pool in watts (default 1200)"},
    {"--bus-khz", "N", "time the blades' bus transactions at N kHz (0: untimed, the default)"},
    {"--from", "FILE", "the chassis and its blade sp1 from a blade's snapshot (`arkbctl snapshot`)"},
};
constexpr Opt kAddBladeOpts[] = {
    {"--from", "FILE", "the blade's state from its snapshot (`arkbctl snapshot`); SLOT defaults to its slot"},
};
constexpr Opt kBusOpts[] = {{"--khz", "N", "the new speed; 0 makes the bus untimed"}};
constexpr Opt kAnswersOpts[] = {
    {"--seed", "N", "with random: the seed (default 0); the same seed, the same answers"}};
constexpr Opt kMoveOpts[] = {
    {"--to-slot", "N", "the new slot"},
    {"--to-chassis", "DIR", "into this (existing) chassis; the slot is kept without --to-slot"},
};

constexpr Command kCommands[] = {
    {"create",
     "[--type CODE] [--blade NAME:SLOT]... [--cmm [--pool W]] [--identity P:S:D] [--bus-khz N] [--force]\n"
     "       arksim create --from FILE [--cmm [--pool W]] [--bus-khz N] [--force]",
     "create a chassis folder with its blades",
     "The registers are set so that the blade's probe finds the chassis type;\n"
     "every slot's thermal override is off (0x7f).\n\n"
     "With --from, a field blade's snapshot (`arkbctl snapshot -o FILE` on its SP)\n"
     "gives the chassis its type registers, the slot's thermal override register\n"
     "and its FRU data, and the blade sp1, in the snapshot's slot, its memstore\n"
     "keys, /dev/shm files, switch files, FRU EEPROM spans, uptime clock (running\n"
     "on from the recorded value), mailbox and published budget.  A snapshot of a\n"
     "newer format version, or one that is damaged, is refused and nothing is made;\n"
     "with --force the old chassis goes only once the new one is complete.  With\n"
     "--cmm the blade's allotment is the CMM's grant to its slot; the pool and the\n"
     "other blades' grants are not in a snapshot (--pool, add-blade).",
     kCreateOpts, false, create},
    {"bus", "[--khz N]", "show or set the speed of the blades' timed bus",
     "On a timed bus every platform call that reaches the midplane, the tunnel,\n"
     "the FRU EEPROM or the power I2C path sleeps, in the calling SP process,\n"
     "the time its transfers would take at that speed (9 bit-times a byte, start,\n"
     "stop and repeated start, address and offset bytes) and 5 ms per EEPROM page\n"
     "write.  Memstore and sensor readings are local and take no time.  Running\n"
     "programs see a new speed from their next call.",
     kBusOpts, false, bus},
    {"answers", "[plain | edge | random [--seed N]]",
     "show or set which allowed results the platform answers",
     "A real SP's platform libraries may answer any result their contracts allow;\n"
     "the stand-ins answer the natural one (plain), or each allowed one in turn,\n"
     "the unusual ones first (edge: a tunnel or EEPROM transfer succeeds with 0\n"
     "and with its length, arkmp_read with 0, the byte, -2 and the length,\n"
     "arkmp_write with 2147483647, 1 and the length and fails with 0 and -1,\n"
     "memstore fails with 0, 2 and -1, memstore_haskey finds a key with 2, -1\n"
     "and 1, a negative failure is -5, INT_MIN or -1, the sensor calls fail\n"
     "with 1 and -1), or one at random (random, the same for the same seed).\n"
     "Results that fault rules inject are kept; the journal marks a result the\n"
     "mode chose with the natural one: \"= 0 <edge: 32>\".  For every blade.",
     kAnswersOpts, false, answers},
    {"add-blade", "NAME SLOT | NAME [SLOT] --from FILE", "add a freshly inserted blade",
     "With --from, the blade takes its state from a field blade's snapshot, as\n"
     "`create --from` gives it (its mailbox and published budget go to its slot\n"
     "here); the chassis keeps its own type and FRU data.",
     kAddBladeOpts, false, add_blade},
    {"move", "[BLADE] [--to-chassis DIR] [--to-slot N]", "move a blade to another slot or chassis",
     "The blade is BLADE, or the one chosen by --blade/--slot.  Into another chassis\n"
     "its folder moves to DIR/blades/ with its EEPROM, /conf, /persist and\n"
     "/usr/local/bin; its memstore and /dev/shm (the SP's RAM) are cleared and a\n"
     "running uptime clock starts over, as pulling and reinserting it would.",
     kMoveOpts, false, move},
    {"reset",
     "[BLADE]",
     "make a blade freshly inserted again",
     "Clears its memstore, EEPROM, SP folders, log, journal, faults and counters;\n"
     "keeps its slot.",
     {},
     false,
     reset},
};

}  // namespace

std::span<const Command> chassis_commands() { return kCommands; }

}  // namespace arkcli
