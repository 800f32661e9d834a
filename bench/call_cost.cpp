// arkcallcost: what one simulated platform call costs the program that makes
// it.  arkb_get_slotid (one memstore read through the stand-in, with its
// journal line) is timed over CALLS calls; the figure is the median of RUNS
// runs, first untraced, then in a copy of this program that preloads the
// trace library (ARKB_TRACE set), so the tracing's share shows too.
//
//   arksim run --new-chassis DIR -- arkcallcost [RUNS [CALLS]]
//
// scripts/bench runs it.  The journal and the trace are emptied before each
// run, so that a run's figures do not depend on the files' earlier size.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arkb_outside.h"
#include "arkblade.h"

extern char **environ;

namespace {

constexpr int kRuns = 7;
constexpr long kCalls = 20000;
constexpr long kWarmUpCalls = 1000;
constexpr uint8_t kSlot = 3;
constexpr const char *kChildEnv = "ARKCALLCOST_TRACED";
constexpr const char *kTraceLibEnv = "ARKB_TRACE_LIB";  // overrides the build's own trace library

std::string sp_file(const char *name)
{
    const char *sp = std::getenv("ARKSIM_SP");
    std::string path = sp != nullptr ? sp : ".";
    path += '/';
    path += name;
    return path;
}

// Empties the file if it is there.
void empty(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

void empty_files()
{
    empty(sp_file("journal"));
    if (const char *trace = std::getenv("ARKB_TRACE"))
        empty(trace);
}

long lines_of(const std::string &path)
{
    long lines = 0;
    if (std::FILE *f = std::fopen(path.c_str(), "re")) {
        for (int c = 0; (c = std::getc(f)) != EOF;)
            lines += c == '\n';
        std::fclose(f);
    }
    return lines;
}

// Microseconds per call of one run; negative when a call failed.
double run_once(long calls)
{
    empty_files();
    uint8_t slot = 0;
    long failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < calls; ++i)
        failed += arkb_get_slotid(&slot) != 0 || slot != kSlot;
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return failed != 0 ? -1.0 : took.count() / static_cast<double>(calls);
}

// The median of `runs` runs, or a negative figure when a call failed or a
// line is missing.
double median_cost(int runs, long calls)
{
    if (memstore_set("slotid", &kSlot, 1) != 1)
        return -1.0;
    (void)run_once(kWarmUpCalls);
    std::vector<double> costs;
    for (int r = 0; r < runs; ++r) {
        const double c = run_once(calls);
        if (c < 0)
            return c;
        costs.push_back(c);
    }
    // The last run's journal (and trace) hold one line per call.
    const char *trace = std::getenv("ARKB_TRACE");
    if (lines_of(sp_file("journal")) != calls || (trace != nullptr && lines_of(trace) != calls))
        return -1.0;
    std::sort(costs.begin(), costs.end());
    const std::size_t mid = costs.size() / 2;
    return costs.size() % 2 != 0 ? costs[mid] : (costs[mid - 1] + costs[mid]) / 2;
}

// The same measure in a copy of this program under the trace library.
double traced_cost(const char *self, int runs, long calls)
{
    const char *lib = std::getenv(kTraceLibEnv);
    const std::string trace = sp_file("call_cost.trace");
    const std::string runs_arg = std::to_string(runs), calls_arg = std::to_string(calls);
    int out[2];
    if (::pipe(out) != 0)
        return -1.0;
    ::setenv("LD_PRELOAD", lib != nullptr ? lib : ARKCALLCOST_TRACE_LIB, 1);
    ::setenv("ARKB_TRACE", trace.c_str(), 1);
    ::setenv(kChildEnv, "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char *argv[] = {const_cast<char *>(self), const_cast<char *>(runs_arg.c_str()),
                    const_cast<char *>(calls_arg.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::unsetenv("LD_PRELOAD");
    ::unsetenv("ARKB_TRACE");
    ::unsetenv(kChildEnv);
    ::close(out[1]);
    char text[64] = {};
    const ssize_t n = spawned == 0 ? ::read(out[0], text, sizeof text - 1) : -1;
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        n <= 0)
        return -1.0;
    ::unlink(trace.c_str());
    return std::strtod(text, nullptr);
}

}  // namespace

int main(int argc, char **argv)
{
    if (std::getenv("ARKSIM_SP") == nullptr) {
        std::fprintf(stderr, "run me as a simulated SP: arksim run --new-chassis DIR -- %s [RUNS [CALLS]]\n",
                     argv[0]);
        return 2;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : kRuns;
    const long calls = argc > 2 ? std::atol(argv[2]) : kCalls;
    if (argc > 3 || runs < 1 || runs > 101 || calls < 1) {
        std::fprintf(stderr, "usage: %s [RUNS (1-101) [CALLS]]\n", argv[0]);
        return 2;
    }
    const double untraced = median_cost(runs, calls);
    if (std::getenv(kChildEnv) != nullptr) {  // the traced copy: its figure alone
        std::printf("%.3f\n", untraced);
        return untraced < 0 ? 1 : 0;
    }
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return 1;
    const double traced = untraced < 0 ? -1.0 : traced_cost(self, runs, calls);
    std::printf("Cost of one simulated call: arkb_get_slotid (a memstore read and its journal line),\n"
                "median of %d runs of %ld calls\n\n",
                runs, calls);
    if (untraced < 0 || traced < 0) {
        std::printf("%s run failed: a call failed or the journal or trace lacks a line\n",
                    untraced < 0 ? "an untraced" : "a traced");
        return 1;
    }
    std::printf("%-30s %8.2f us\n", "untraced", untraced);
    std::printf("%-30s %8.2f us  %+.0f %%\n", "traced (trace library)", traced,
                (traced - untraced) / untraced * 100);
    return 0;
}
