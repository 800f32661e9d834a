// arksim explore: a program run once cleanly on a copy of a blade, then
// once for every other answer each of its platform calls may give and for a
// power cut after each bus write, over several jobs, each run on a copy of
// its own and judged against the clean run.
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/simstate.h"
#include "explore.h"
#include "program_env.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

using namespace explore;
using Clock = std::chrono::steady_clock;

constexpr double kDefaultTimeout = 10;
constexpr int kInterrupted = 130;
constexpr long long kMaxJobs = 256;
constexpr long kProgressEveryNs = 250'000'000;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The private folder of the copies, removed with what is in it.
struct Scratch {
    std::string dir;
    ~Scratch()
    {
        if (!dir.empty())
            remove_copy(dir);
    }
};

std::string self_path()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "arksim";
}

// arkbctl beside an installed arksim, else in the build tree, else on PATH.
std::string find_arkbctl()
{
    const std::string dir = exe_dir();
    for (const std::string &p : {dir + "arkbctl", dir + "../arkbctl/arkbctl"})
        if (!dir.empty() && ::access(p.c_str(), X_OK) == 0)
            return p;
    return "arkbctl";
}

// The clean run, on a copy in <scratch>/clean, and with `second` the
// program run again there (what a cut's next run is judged against).
bool clean_run(const Setup &s, bool second, Clean &out)
{
    const std::string dir = s.scratch + "/clean";
    std::string error;
    const auto start = Clock::now();
    if (!copy_chassis(s.chassis, s.blade, dir, error))
        return fail("%s", error.c_str()), false;
    out.first = run_on(s, dir, s.argv);
    out.seconds = seconds_since(start);
    if (out.first.hung)
        return fail("the clean run did not end within %g s (see --timeout)", s.timeout), false;
    const bool not_started = out.first.output.rfind("arksim run: cannot run ", 0) == 0;
    if (out.first.status == arksim::kSetupFailed || out.first.status == arksim::kNoUserNamespaces ||
        not_started)
        return fail("the clean run could not be set up:\n%s", out.first.output.c_str()), false;
    out.calls = journal_calls(arksim::read_lines(blade_of(dir, s.blade) + "/journal"));
    if (second)
        out.second = run_on(s, dir, s.argv);
    return true;
}

void show_progress(std::size_t done, std::size_t total, double elapsed)
{
    const double left =
        done > 0 ? elapsed / static_cast<double>(done) * static_cast<double>(total - done) : 0;
    std::fprintf(stderr, "\rarksim explore: %zu of %zu runs, about %.0f s left \033[K", done, total, left);
}

// SIGINT, SIGTERM and SIGHUP, blocked in every thread and taken by run_all.
sigset_t stop_signals;

void block_stop_signals()
{
    sigemptyset(&stop_signals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stop_signals, sig);
    ::pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
}

// `output`: the program's output of a plan of one run.
std::vector<Result> run_all(const Setup &s, const Clean &clean, const std::vector<Planned> &plan, int jobs,
                            bool &interrupted, std::string *output = nullptr)
{
    std::vector<Result> results(plan.size());
    std::atomic<std::size_t> next{0}, done{0};
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j)
        workers.emplace_back([&, j] {
            const std::string dir = s.scratch + "/job" + std::to_string(j);
            for (std::size_t i = next++; i < plan.size(); i = next++) {
                results[i] = explore_one(s, clean, plan[i], dir, output);
                ++done;
            }
        });
    const bool tty = ::isatty(2) != 0;
    const auto start = Clock::now();
    const struct timespec every = {0, kProgressEveryNs};
    while (done.load() < plan.size() && !interrupted) {
        if (tty)
            show_progress(done.load(), plan.size(), seconds_since(start));
        // Interrupted (the runs are in process groups of their own, out of
        // reach of the terminal's ^C): every run ends with explore.
        if (::sigtimedwait(&stop_signals, nullptr, &every) > 0) {
            interrupted = true;
            next = plan.size();
            stop_all_runs();
        }
    }
    for (std::thread &w : workers)
        w.join();
    if (tty)
        std::fputs("\r\033[K", stderr);
    return results;
}

int rerun(const Setup &s, const std::vector<Planned> &plan, const std::string &id, const Clean &clean)
{
    for (const Planned &p : plan) {
        if (p.id != id)
            continue;
        std::string output;
        bool interrupted = false;
        const std::vector<Planned> one = {p};  // what the result points into
        const std::vector<Result> r = run_all(s, clean, one, 1, interrupted, &output);
        if (interrupted)
            return fail("interrupted: the run ended"), kInterrupted;
        std::fputs(output.c_str(), stdout);
        std::printf("%s %s: %s\n", p.id.c_str(), r[0].outcome.c_str(), p.rule.c_str());
        print_row(s, r[0]);
        return r[0].status;
    }
    return fail("no run %s: this program on this blade has runs 1.1 to %s", id.c_str(),
                plan.empty() ? "(none)" : plan.back().id.c_str());
}

int run(const Context &ctx, const Args &args)
{
    if (args.pos.empty())
        return usage_error("wants the program to explore: arksim explore -- PROGRAM ARGS...");
    long long jobs = std::thread::hardware_concurrency() > 0 ? std::thread::hardware_concurrency() : 1;
    if (const std::string *v = args.get("--jobs"); v != nullptr && !parse_number(*v, 1, kMaxJobs, jobs))
        return usage_error("--jobs wants a number of jobs from 1 to %lld, not %s", kMaxJobs, v->c_str());
    Setup s;
    s.timeout = kDefaultTimeout;
    if (const std::string *v = args.get("--timeout")) {
        char *end = nullptr;
        s.timeout = std::strtod(v->c_str(), &end);
        if (end == v->c_str() || *end != '\0' || !(s.timeout > 0 && s.timeout <= 86400))
            return usage_error("--timeout wants seconds above 0, not %s", v->c_str());
    }
    if (!need_chassis(ctx) || !namespaces_usable())
        return arksim::kSetupFailed;
    arksim::BladeInfo b;
    if (!pick_blade(ctx, b))
        return arksim::kSetupFailed;
    s.arksim = self_path();
    s.arkbctl = find_arkbctl();
    s.chassis = ctx.chassis;
    s.blade = b.name;
    s.argv = args.pos;
    const char *tmp = std::getenv("TMPDIR");
    Scratch scratch;
    scratch.dir = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/arksim-explore.XXXXXX";
    if (::mkdtemp(scratch.dir.data()) == nullptr) {
        scratch.dir.clear();
        return fail("cannot make a folder for the copies under %s", tmp != nullptr ? tmp : "/tmp");
    }
    s.scratch = scratch.dir;
    block_stop_signals();  // before the workers start: they inherit the mask
    Clean clean;
    const std::string *id = args.get("--rerun");
    if (!clean_run(s, true, clean))
        return 1;
    const std::vector<Planned> plan = plan_runs(clean.calls);
    if (id != nullptr)
        return rerun(s, plan, *id, clean);
    const auto start = Clock::now();
    bool interrupted = false;
    const std::vector<Result> results = run_all(s, clean, plan, static_cast<int>(jobs), interrupted);
    if (interrupted)
        return fail("interrupted: every run ended, nothing reported"), kInterrupted;
    if (args.has("--json"))
        print_json(s, clean, results);
    else
        print_table(s, clean, results, seconds_since(start), static_cast<int>(jobs));
    return 0;
}

constexpr Opt kOpts[] = {
    {"--jobs", "N", "runs at once (default: the cores)"},
    {"--timeout", "S", "a run still going after S seconds is ended: a hang (default 10)"},
    {"--json", "", "the report as one JSON document"},
    {"--rerun", "ID", "only run ID of the report, with the program's output"},
};

constexpr Command kCommands[] = {
    {"explore", "[--jobs N] [--timeout S] [--json] [--rerun ID] -- PROGRAM [ARGS...]",
     "run a program under every answer its platform calls may give",
     "First PROGRAM runs once as the blade's SP (as `arksim run` runs it) on a copy\n"
     "of the blade: the clean run.  Then once for each of the clean run's platform\n"
     "calls and each other result the call's contract allows (every failure, and\n"
     "every other success: `arksim fault FUNC N VALUE` and `done:VALUE`), and once\n"
     "for a power cut after each bus write (`cut`, and `cut-after:B` at each page\n"
     "boundary of a multi-page write).  Each run is on a copy of its own under\n"
     "$TMPDIR: the chassis with this blade alone, without its journal, fault rules,\n"
     "counters, log or CMM daemon.  The blade itself is never changed.\n\n"
     "Each run is judged against the clean run:\n"
     "  same           the same exit status, output and end state\n"
     "  reported       another exit status, output or system log\n"
     "  crash          ended by a signal (exit status 128 + N, as `arksim run` gives it)\n"
     "  hang           still going after the time-out; its process group is killed\n"
     "  silent-damage  the clean exit status, output and log, but the memstore, the EEPROM,\n"
     "                 the mailbox (tunnel memory) or /dev/shm end otherwise\n"
     "A cut run is followed by the program's next run on that blade and a start-up\n"
     "(`arkbctl boot`): unrecovered when either exits non-zero; else the next run is\n"
     "judged against the program's second clean run.\n\n"
     "The report groups the runs by outcome, then by call; each run has an id\n"
     "(CALL.N) and the command that reproduces it, `--rerun ID`.  The same program\n"
     "on the same blade gives the same runs and ids.\n\n"
     "Exit status: 0 once every run is judged (whatever the outcomes); with\n"
     "--rerun, the run's own; 1 when the clean run fails to run or hangs; 125 when\n"
     "the blade cannot be used; 130 when interrupted (every run it started ended).",
     kOpts, true, run},
};

}  // namespace

std::span<const Command> explore_commands() { return kCommands; }

}  // namespace arkcli
