// arksim cmm, broadcast: the chassis management module's daemon (arkcmm), its
// power pool, misbehaviour for tests, and the sensor broadcast to blades.
// The daemon's lifecycle is sim/cmm/cmm_control.h's; this prints.
#include <climits>
#include <cstdio>

#include "arksim_cli.h"
#include "cmm/cmm_control.h"
#include "core/simstate.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

namespace cmm = arksim::cmm;

constexpr std::size_t kStatusRequests = 5;

// Prints why a start or stop failed; 1.
int report_failure(const cmm::Result &r)
{
    fail("%s", r.error.c_str());
    if (!r.log_tail.empty())
        std::fprintf(stderr, "%s\n", r.log_tail.c_str());
    return 1;
}

bool parse_watts(const std::string &text, int &watts)
{
    long long v = 0;
    if (!parse_number(text, 0, cmm::kMaxPool, v))
        return false;
    watts = static_cast<int>(v);
    return true;
}

std::string joined(const std::vector<std::string> &names, const char *none)
{
    std::string out;
    for (const std::string &n : names)
        out += (out.empty() ? "" : ",") + n;
    return out.empty() ? none : out;
}

int cmm_start(const Context &ctx, const Args &args)
{
    int watts = 0;
    const std::string *pool = args.get("--pool");
    if (pool != nullptr && !parse_watts(*pool, watts))
        return usage_error("--pool wants watts from 0 to %d", cmm::kMaxPool);
    long long owner = 0;
    const std::string *own = args.get("--owner");
    if (own != nullptr && !parse_number(*own, 1, INT_MAX, owner))
        return usage_error("--owner wants a process id");
    if (!namespaces_usable())
        return arksim::kNoUserNamespaces;
    cmm::Config c = cmm::read_config(ctx.chassis);
    if (pool != nullptr)
        c.pool = watts;
    if (!cmm::write_config(ctx.chassis, c))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    const cmm::Result r = cmm::start(ctx.chassis, static_cast<int>(owner));
    if (!r.ok())
        return report_failure(r);
    std::printf("the CMM %s (pid %d), pool %d W, on %s:%u\n",
                r.outcome == cmm::Outcome::WasRunning ? "ran already" : "runs", r.pid, c.pool, cmm::kAddress,
                cmm::kPort);
    return 0;
}

int cmm_stop(const Context &ctx)
{
    const cmm::Result r = cmm::stop(ctx.chassis);
    if (!r.ok())
        return report_failure(r);
    if (r.outcome == cmm::Outcome::NotRunning)
        std::puts("the CMM is not running");
    else
        std::printf("the CMM (pid %d) stopped\n", r.pid);
    return 0;
}

int cmm_status(const Context &ctx)
{
    const cmm::Status s = cmm::read_status(ctx.chassis, kStatusRequests);
    if (s.pid > 0)
        std::printf("CMM: running, pid %d, %s %s:%u\n", s.pid,
                    s.listening ? "listening on" : "not listening on", cmm::kAddress, cmm::kPort);
    else
        std::printf("CMM: %s\n", s.pid == 0 ? "starting" : "not running");
    std::printf("pool: %d W, allotted %ld W, free %ld W\n", s.config.pool, s.allotted,
                s.config.pool - s.allotted);
    std::printf("autostart: %s\nbroadcast: %s\n", s.config.autostart ? "yes (arksim run)" : "no",
                s.config.broadcast.empty() ? "none" : s.config.broadcast.c_str());
    std::printf("behaviour: %s\n", s.behaviour.empty() ? "normal" : s.behaviour.c_str());
    std::puts("allotments:");
    for (std::size_t i = 0; i < s.allotments.size(); ++i)
        if (s.allotments[i] != 0)
            std::printf("  slot %zu (%s, %s): %d W\n", i,
                        joined(cmm::blades_at(ctx.chassis, static_cast<int>(i)), "no blade").c_str(),
                        cmm::blade_address(static_cast<int>(i)).c_str(), s.allotments[i]);
    std::printf("last requests (time address slot request reply):\n");
    for (const std::string &line : s.last_requests)
        std::printf("  %s\n", line.c_str());
    return 0;
}

int cmm_behave(const Context &ctx, const std::vector<std::string> &words)
{
    std::string text, error;
    if (!cmm::set_behaviour(ctx.chassis, words, text, error))
        return error.rfind("wants ", 0) == 0 || error.rfind("bad escape", 0) == 0
                   ? usage_error("%s", error.c_str())
                   : fail("%s", error.c_str());
    std::printf("behaviour: %s\n", text.c_str());
    return 0;
}

int cmm_cmd(const Context &ctx, const Args &args)
{
    if (!need_chassis(ctx))
        return 1;
    if (args.pos.empty())
        return cmm_status(ctx);
    const std::string &sub = args.pos[0];
    std::vector<std::string> rest(args.pos.begin() + 1, args.pos.end());
    if (sub == "behave")
        return cmm_behave(ctx, rest);
    if (!rest.empty() && sub != "pool")
        return usage_error("unexpected argument %s", rest[0].c_str());
    if (sub == "start")
        return cmm_start(ctx, args);
    if (sub == "stop")
        return cmm_stop(ctx);
    if (sub == "status")
        return cmm_status(ctx);
    if (sub == "requests") {
        for (const char *log : {"requests.1", "requests"}) {  // the older part first
            std::string reqs = read_text(cmm::file(ctx.chassis, log));
            if (!reqs.empty())
                std::puts(reqs.c_str());
        }
        return 0;
    }
    int watts = 0;
    if (sub != "pool")
        return usage_error("unknown subcommand %s", sub.c_str());
    if (rest.size() != 1 || !parse_watts(rest[0], watts))
        return usage_error("pool wants watts from 0 to %d", cmm::kMaxPool);
    cmm::Config c = cmm::read_config(ctx.chassis);
    c.pool = watts;
    if (!cmm::write_config(ctx.chassis, c))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    std::printf("pool: %d W\n", watts);
    return 0;
}

int broadcast_cmd(const Context &ctx, const Args &args)
{
    bool all = args.has("--all");
    if (args.pos.empty() || (args.pos[0] != "start" && args.pos[0] != "stop") || args.pos.size() > 2 ||
        (all && args.pos.size() > 1))
        return usage_error("wants start|stop [BLADE | --all]");
    bool start = args.pos[0] == "start";
    Context c = ctx;
    if (args.pos.size() == 2)
        c.blade = args.pos[1];
    arksim::BladeInfo b;
    if (!all && !pick_blade(c, b))
        return 1;
    cmm::Config conf = cmm::read_config(ctx.chassis);
    conf.broadcast = cmm::broadcast_setting(ctx.chassis, conf, b.name, start, all);
    if (!cmm::write_config(ctx.chassis, conf))
        return fail("cannot write %s", cmm::file(ctx.chassis, "config").c_str());
    std::printf("broadcast: %s\n", conf.broadcast.empty() ? "none" : conf.broadcast.c_str());
    if (cmm::running_pid(ctx.chassis) <= 0) {
        std::puts("(the CMM is not running: the broadcast starts with it)");
        return 0;
    }
    // Back once the broadcast is visible: a blade's next look finds its keys.
    if (!start)
        return 0;
    std::vector<arksim::BladeInfo> reached;
    if (all)
        reached = arksim::list_blades(ctx.chassis);
    else
        reached.push_back(b);
    for (const auto &blade : reached)
        if (!cmm::await_broadcast(blade.dir))
            return fail("no broadcast reached blade %s", blade.name.c_str());
    return 0;
}

constexpr Opt kCmmOpts[] = {
    {"--pool", "W", "start: the power pool in watts (default: as configured, else 1200)"},
    {"--owner", "PID", "start: the CMM ends when process PID does (for test scripts)"},
};
constexpr Opt kBroadcastOpts[] = {{"--all", "", "every blade of the chassis"}};

constexpr Command kCommands[] = {
    {"cmm", "[start [--pool W] [--owner PID] | stop | status | requests | pool W | behave MODE]",
     "the chassis management module: power pool and requests",
     "start     starts the CMM daemon (arkcmm) of the chassis and its chassis network;\n"
     "          blades run afterwards join that network with their slot's own address (slot 3: "
     "169.254.10.103)\n"
     "stop      stops it; nothing of it keeps running\n"
     "status    pool, allotment per slot, free watts, behaviour, last requests (default)\n"
     "requests  every request: time, peer address, slot, request bytes, reply bytes\n"
     "pool W    sets the power pool (a running CMM takes it at its next request)\n"
     "behave    how the CMM answers from the next connection on:\n"
     "            reply TEXT  always TEXT (escapes \\n \\0 \\xHH...) and its NUL\n"
     "            close       read the request, answer nothing\n"
     "            split       the reply in two segments, 50 ms apart\n"
     "            delay MS    wait MS milliseconds before answering\n"
     "            nolisten    no listener on 169.254.10.1:880\n"
     "            normal      answer by the pool\n\n"
     "The CMM grants a request when the pool minus the other blades' allotments\n"
     "holds it and answers \"OK <watts>\"; else \"NO\" and the blade's allotment is 0.\n"
     "A blade's allotment is its latest grant; 0 watts releases it.  State and\n"
     "the daemon's log are in <chassis>/cmm/.",
     kCmmOpts, false, cmm_cmd},
    {"broadcast", "start|stop [BLADE | --all]", "the CMM's sensor broadcast to a blade",
     "While on, the CMM writes the blade's memstore keys SSBCAST/CH/8300 (00 00 00 01:\n"
     "may power on while the pool has watts left, else 00 00 00 02) and then\n"
     "SSBCAST/CH/TIMESTAMP (unix time) every second.  Stopping removes nothing: the\n"
     "keys stay and the timestamp no longer moves.  BLADE defaults to the blade of\n"
     "--blade/--slot.  With the CMM running, start returns once the first broadcast\n"
     "has reached each blade it names: `arkbctl cmm-ready --update` right after it\n"
     "finds the CMM ready.",
     kBroadcastOpts, false, broadcast_cmd},
};

}  // namespace

std::span<const Command> cmm_commands() { return kCommands; }

bool start_configured_cmm(const std::string &chassis)
{
    const cmm::Result r = cmm::start_configured(chassis);
    return r.ok() || report_failure(r) == 0;
}

bool stop_cmm(const std::string &chassis)
{
    const cmm::Result r = cmm::stop(chassis);
    return r.ok() || report_failure(r) == 0;
}

}  // namespace arkcli
