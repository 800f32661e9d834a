// The verdict of `arksim replay` (replay_summary.h).
#include "replay_summary.h"

#include <cstdio>
#include <map>
#include <set>

#include "arksim_cli.h"
#include "sandbox/sandbox.h"

namespace arkcli {
namespace {

struct Report {
    std::map<long, std::size_t> claims;  // live pid -> recorded process, from 0
    std::set<long> finished;             // "complete" or "ok"
    std::set<long> diverged;
    std::vector<std::vector<std::string>> blocks;  // each divergence's lines
    std::vector<std::string> errors;
};

Report read_report(const std::vector<std::string> &lines, std::size_t processes)
{
    Report r;
    for (const std::string &line : lines) {
        long pid = 0, n = 0;
        if (std::sscanf(line.c_str(), "claim %ld %ld", &pid, &n) == 2 && n >= 1 &&
            static_cast<std::size_t>(n) <= processes) {
            r.claims[pid] = static_cast<std::size_t>(n - 1);
        } else if (std::sscanf(line.c_str(), "complete %ld", &pid) == 1 ||
                   std::sscanf(line.c_str(), "ok %ld", &pid) == 1) {
            r.finished.insert(pid);
        } else if (std::sscanf(line.c_str(), "diverged %ld", &pid) == 1) {
            r.diverged.insert(pid);
            r.blocks.emplace_back();
        } else if (line.starts_with("error ")) {
            r.errors.push_back(line.substr(6));
        } else if (!r.blocks.empty()) {
            r.blocks.back().push_back(line);
        }
    }
    return r;
}

std::size_t thread_count(const trace &t)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < t.process_count; ++i)
        n += t.processes[i].thread_count;
    return n;
}

// "process 2 of 2 (recorded pid 812)", or "the recorded process" when the trace holds one.
std::string process_name(const trace &t, std::size_t i)
{
    if (t.process_count == 1)
        return "the recorded process";
    return "process " + std::to_string(i + 1) + " of " + std::to_string(t.process_count) + " (recorded pid " +
           std::to_string(t.processes[i].pid) + ")";
}

}  // namespace

int replay_summary(const trace &t, const std::vector<std::string> &lines, const std::string &program,
                   int status)
{
    const Report r = read_report(lines, t.process_count);
    if (!r.errors.empty())
        return fail("the trace library could not read the trace: %s", r.errors[0].c_str());
    if (r.claims.empty() && r.blocks.empty()) {
        if (t.count == 0 && status != arksim::kSetupFailed) {
            std::printf("replay: the trace holds no call and none came; %s ended with status %d\n",
                        program.c_str(), status);
            return 0;
        }
        return fail("%s made no platform call through libarkblade-trace.so.1 (status %d)", program.c_str(),
                    status);
    }
    for (const auto &block : r.blocks)
        for (std::size_t i = 0; i < block.size(); ++i)
            std::printf("%s%s\n", i == 0 ? "replay: " : "", block[i].c_str());
    bool bad = !r.blocks.empty();
    std::vector<bool> came(t.process_count, false);
    for (const auto &[pid, index] : r.claims) {
        came[index] = true;
        if (!r.finished.contains(pid) && !r.diverged.contains(pid)) {
            std::printf("replay: divergence in %s: its process ended before its recorded calls did, without "
                        "its exit handlers (killed, or ended with _exit)\n",
                        process_name(t, index).c_str());
            bad = true;
        }
    }
    for (std::size_t i = 0; i < t.process_count; ++i)
        if (!came[i]) {
            std::printf("replay: divergence: %s, of %zu calls, never came (no process made its calls)\n",
                        process_name(t, i).c_str(), t.processes[i].calls);
            bad = true;
        }
    if (bad)
        return 1;
    std::string of;
    if (t.process_count > 1 || thread_count(t) > 1) {
        of = " of " + std::to_string(t.process_count) + (t.process_count == 1 ? " process" : " processes");
        if (thread_count(t) > t.process_count)
            of += " (" + std::to_string(thread_count(t)) + " threads)";
    }
    std::printf("replay: the %zu recorded calls%s came, with the recorded arguments and bytes; %s ended with "
                "status %d\n",
                t.count, of.c_str(), program.c_str(), status);
    return 0;
}

}  // namespace arkcli
