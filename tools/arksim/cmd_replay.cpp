// arksim replay: a program run as a blade's SP whose platform answers, call
// by call, from a trace (libarkblade-trace.so.1 with ARKB_REPLAY) instead of
// from the blade's state.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/journal_line.h"
#include "core/simstate.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

constexpr const char *kTraceLib = "libarkblade-trace.so.1";

std::string own_dir()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/') + 1);
}

// --preload, else the installed one beside the installed library, else this
// build tree's.
std::string trace_library(const Args &args)
{
    if (const std::string *lib = args.get("--preload"))
        return absolute_path(*lib);
    std::string installed = own_dir() + ARKSIM_INSTALLED_ARKBLADE_LIBDIR + "/arkblade/" + kTraceLib;
    if (::access(installed.c_str(), R_OK) == 0)
        return installed;
    return ARKSIM_BUILD_TRACE_LIB;
}

std::size_t recorded_calls(const std::string &trace)
{
    std::size_t n = 0;
    arksim::JournalLine line;
    for (const std::string &text : arksim::read_lines(trace))
        n += arksim::parse_journal_line(text, line) ? 1 : 0;
    return n;
}

int replay(const Context &ctx, const Args &args)
{
    // The words after TRACE are the program's, after an optional "--".
    const std::size_t cmd = args.pos.size() > 1 && args.pos[1] == "--" ? 2 : 1;
    if (args.pos.size() <= cmd)
        return usage_error("wants the trace and the program: arksim replay TRACE -- CMD ARGS...");
    const std::string trace = absolute_path(args.pos[0]);
    if (::access(trace.c_str(), R_OK) != 0)
        return fail("cannot read the trace %s", trace.c_str());
    const std::string lib = trace_library(args);
    if (::access(lib.c_str(), R_OK) != 0)
        return fail("no %s at %s (give it with --preload)", kTraceLib, lib.c_str());
    if (!namespaces_usable())
        return arksim::kNoUserNamespaces;
    arksim::BladeInfo b;
    if (!pick_blade(ctx, b))
        return arksim::kSetupFailed;
    const std::vector<std::string> program(args.pos.begin() + static_cast<long>(cmd), args.pos.end());
    const std::string report = b.dir + "/replay.report";
    ::unlink(report.c_str());
    // A program under an emulator (qemu-user) gets the library in its own
    // environment; the emulator itself is no SP program.
    const std::string first = program[0].substr(program[0].rfind('/') + 1);
    if (first.starts_with("qemu-")) {
        ::setenv("QEMU_SET_ENV", ("LD_PRELOAD=" + lib).c_str(), 1);
    } else {
        const char *old = std::getenv("LD_PRELOAD");
        ::setenv("LD_PRELOAD", (old != nullptr && old[0] != '\0' ? lib + ":" + old : lib).c_str(), 1);
    }
    ::setenv("ARKB_REPLAY", trace.c_str(), 1);
    ::setenv("ARKB_REPLAY_REPORT", report.c_str(), 1);
    ::unsetenv("ARKB_TRACE");
    const int status = arksim::run_in_sandbox(b.dir, program);
    const std::vector<std::string> lines = arksim::read_lines(report);
    ::unlink(report.c_str());
    if (lines.empty()) {
        if (recorded_calls(trace) == 0 && status != arksim::kSetupFailed) {
            std::printf("replay: the trace holds no call and none came; %s ended with status %d\n",
                        program[0].c_str(), status);
            return 0;
        }
        return fail("%s made no platform call through %s (status %d)", program[0].c_str(), kTraceLib, status);
    }
    if (lines[0].starts_with("ok ")) {
        std::printf("replay: the %s recorded calls came, with the recorded arguments and bytes; %s ended "
                    "with status %d\n",
                    lines[0].substr(3).c_str(), program[0].c_str(), status);
        return 0;
    }
    std::printf("replay: %s\n", lines[0].c_str());
    for (std::size_t i = 1; i < lines.size(); ++i)
        std::printf("%s\n", lines[i].c_str());
    return 1;
}

constexpr Opt kReplayOpts[] = {
    {"--preload", "LIB", "the trace library (default: the installed one, or this build's)"},
};

constexpr Command kCommands[] = {
    {"replay", "[--blade NAME | --slot N] [--preload LIB] TRACE -- CMD [ARGS...]",
     "run a program on a blade whose platform answers from a trace",
     "TRACE is a trace of one program's run (libarkblade-trace.so.1 with ARKB_TRACE,\n"
     "on a real SP or a simulated one) or a blade's journal.  CMD runs as with\n"
     "`arksim run`, with the trace library preloaded: each platform call is\n"
     "checked against the next recorded one (the function, its arguments and the\n"
     "bytes it writes) and answered with the recorded result and bytes; no call\n"
     "reaches the blade's state.  At the first call that differs, or when the\n"
     "program ends before the trace does, the program stops and the report names\n"
     "the call's position, what was recorded and what came.\n\n"
     "Exit status: 0 when the program made exactly the recorded calls (whatever\n"
     "its own status, which is printed), 1 at a divergence, 125 when the SP could\n"
     "not be set up.",
     kReplayOpts, true, replay},
};

}  // namespace

std::span<const Command> replay_commands() { return kCommands; }

}  // namespace arkcli
