// arksim replay: a program run as a blade's SP whose platform answers, call
// by call, from a trace (libarkblade-trace.so.1 with ARKB_REPLAY) instead of
// from the blade's state.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/simstate.h"
#include "program_env.h"
#include "replay_summary.h"
#include "trace_read.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

constexpr const char *kTraceLib = "libarkblade-trace.so.1";

// --preload, else the installed one beside the installed library, else this
// build tree's.
std::string trace_library(const Args &args)
{
    if (const std::string *lib = args.get("--preload"))
        return absolute_path(*lib);
    std::string installed = exe_dir() + ARKSIM_INSTALLED_ARKBLADE_LIBDIR + "/arkblade/" + kTraceLib;
    if (::access(installed.c_str(), R_OK) == 0)
        return installed;
    return ARKSIM_BUILD_TRACE_LIB;
}

// A trace read whole and checked.
struct LoadedTrace {
    trace t{};
    LoadedTrace() = default;
    LoadedTrace(const LoadedTrace &) = delete;
    LoadedTrace &operator=(const LoadedTrace &) = delete;
    ~LoadedTrace() { trace_free(&t); }
};

// The replay's own folder in the blade's, for its report, gone at the end:
// replays at once on one blade keep their reports apart.
struct ReportDir {
    std::string dir;
    explicit ReportDir(const std::string &blade)
    {
        std::string name = blade + "/replay.XXXXXX";
        if (::mkdtemp(name.data()) != nullptr)
            dir = name;
    }
    ReportDir(const ReportDir &) = delete;
    ReportDir &operator=(const ReportDir &) = delete;
    ~ReportDir()
    {
        if (!dir.empty()) {
            ::unlink(report().c_str());
            ::rmdir(dir.c_str());
        }
    }
    std::string report() const { return dir + "/report"; }
};

int replay(const Context &ctx, const Args &args)
{
    // The words after TRACE are the program's, after an optional "--".
    const std::size_t cmd = args.pos.size() > 1 && args.pos[1] == "--" ? 2 : 1;
    if (args.pos.size() <= cmd)
        return usage_error("wants the trace and the program: arksim replay TRACE -- CMD ARGS...");
    const std::string path = absolute_path(args.pos[0]);
    // The whole trace is checked before anything runs.
    LoadedTrace trace;
    char err[TRACE_ERROR_SIZE];
    if (trace_load(path.c_str(), &trace.t, err, sizeof err) != 0)
        return fail("cannot replay %s", err);
    const std::string lib = trace_library(args);
    if (::access(lib.c_str(), R_OK) != 0)
        return fail("no %s at %s (give it with --preload)", kTraceLib, lib.c_str());
    if (!namespaces_usable())
        return arksim::kNoUserNamespaces;
    arksim::BladeInfo b;
    if (!prepare_sp(ctx, b))
        return arksim::kSetupFailed;
    const ReportDir report(b.dir);
    if (report.dir.empty())
        return fail("cannot make a folder for the report in %s: %s", b.dir.c_str(), std::strerror(errno));
    const std::vector<std::string> program(args.pos.begin() + static_cast<long>(cmd), args.pos.end());
    // A program under an emulator (qemu-user) gets the library in its own
    // environment; the emulator itself is no SP program.
    const std::string first = program[0].substr(program[0].rfind('/') + 1);
    if (first.starts_with("qemu-")) {
        ::setenv("QEMU_SET_ENV", ("LD_PRELOAD=" + lib).c_str(), 1);
    } else {
        const char *old = std::getenv("LD_PRELOAD");
        ::setenv("LD_PRELOAD", (old != nullptr && old[0] != '\0' ? lib + ":" + old : lib).c_str(), 1);
    }
    ::setenv("ARKB_REPLAY", path.c_str(), 1);
    ::setenv("ARKB_REPLAY_REPORT", report.report().c_str(), 1);
    ::unsetenv("ARKB_TRACE");
    const int status = arksim::run_in_sandbox(b.dir, program);
    return replay_summary(trace.t, arksim::read_lines(report.report()), program[0], status);
}

constexpr Opt kReplayOpts[] = {
    {"--preload", "LIB", "the trace library (default: the installed one, or this build's)"},
};

constexpr Command kCommands[] = {
    {"replay", "[--blade NAME | --slot N] [--preload LIB] TRACE -- CMD [ARGS...]",
     "run a program on a blade whose platform answers from a trace",
     "TRACE is a trace of a program's run (libarkblade-trace.so.1 with ARKB_TRACE,\n"
     "on a real SP or a simulated one) or a blade's journal; it is read whole and\n"
     "checked first, and a line that is not a whole trace line is refused with\n"
     "its number and what is wrong.  CMD is set up as with `arksim run`, with the\n"
     "trace library preloaded: each platform call is checked against the next\n"
     "recorded one (the function, its arguments and the bytes it writes) and\n"
     "answered with the recorded result and bytes; no call reaches the blade's\n"
     "state.  Each process replays a recorded process of its own and each thread\n"
     "a recorded thread, in the order of their first platform calls (a journal,\n"
     "or a trace of an older library, is one process of one thread).  At the\n"
     "first call that differs, or when a process ends before its recorded calls\n"
     "do, that process stops and the report names the call's position, what was\n"
     "recorded and what came; the verdict covers every process.\n\n"
     "Exit status: 0 when the programs made exactly the recorded calls (whatever\n"
     "CMD's own status, which is printed), 1 at a divergence, 125 when the SP could\n"
     "not be set up.",
     kReplayOpts, true, replay},
};

}  // namespace

std::span<const Command> replay_commands() { return kCommands; }

}  // namespace arkcli
