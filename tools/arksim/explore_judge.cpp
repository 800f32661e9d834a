// Judging one run against the clean run: same, reported (another exit
// status, output or system log), crash (a signal), hang (past the time-out)
// or silent damage (the clean status, output and log, another end state);
// and for a power cut, whether the program's next run and a start-up recover.
#include <cstdio>
#include <unistd.h>

#include "core/simstate.h"
#include "explore.h"
#include "sandbox/sandbox.h"

namespace arkcli::explore {
namespace {

constexpr int kCutStatus = 137;  // how the stand-ins end a process at a power cut

// "memstore slotid", "eeprom.bin from byte 0xc70", "/dev/shm/slotid".
std::string place(const std::string &file, const std::string &a, const std::string &b)
{
    std::string where = file;
    const std::string memstore = "memstore/", shm = "fs/dev/shm/";
    if (file.rfind(memstore, 0) == 0)
        where = "memstore " + arksim::decode_key(file.substr(memstore.size()));
    else if (file.rfind(shm, 0) == 0)
        where = "/dev/shm/" + file.substr(shm.size());
    if (a.empty() || b.empty())
        return where + (a.empty() ? " made" : " gone");
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    if (file == "eeprom.bin" || file.rfind("tunnel/", 0) == 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " from byte 0x%zx", at);
        where += buf;
    }
    return where;
}

std::string state_differences(const EndState &run, const EndState &clean)
{
    std::string out;
    auto note = [&](const std::string &what) { out += (out.empty() ? "" : ", ") + what; };
    for (const auto &[file, bytes] : run) {
        auto it = clean.find(file);
        if (it == clean.end())
            note(place(file, "", bytes));
        else if (it->second != bytes)
            note(place(file, it->second, bytes));
    }
    for (const auto &[file, bytes] : clean)
        if (run.find(file) == run.end())
            note(place(file, bytes, ""));
    return out;
}

void judge(const Ending &e, const Ending &clean, Result &r)
{
    if (e.hung) {
        r.outcome = "hang";
    } else if (killed_by_signal(e)) {
        r.outcome = "crash";
        r.differs = "signal " + std::to_string(e.status - 128);
    } else if (e.status != clean.status) {
        r.outcome = "reported";
        r.differs = "exit " + std::to_string(e.status);
    } else if (e.output != clean.output) {
        r.outcome = "reported";
        r.differs = "output";
    } else if (e.log != clean.log) {
        r.outcome = "reported";
        r.differs = "log";
    } else if (std::string d = state_differences(e.state, clean.state); !d.empty()) {
        r.outcome = "silent-damage";
        r.differs = d;
    } else {
        r.outcome = "same";
    }
}

}  // namespace

const std::vector<std::string> &outcome_order()
{
    static const std::vector<std::string> order = {"crash",    "hang", "silent-damage", "unrecovered",
                                                   "reported", "same", "error"};
    return order;
}

Result explore_one(const Setup &s, const Clean &clean, const Planned &p, const std::string &dir,
                   std::string *output)
{
    Result r;
    r.run = &p;
    std::string error;
    if (!copy_chassis(s.chassis, s.blade, dir, error) ||
        !arksim::write_text(blade_of(dir, s.blade) + "/faults", p.rule + "\n")) {
        r.outcome = "error";  // the copy could not be made: nothing was run
        r.differs = error.empty() ? "cannot write the fault rule" : error;
        r.status = arksim::kSetupFailed;
        return r;
    }
    const Ending e = run_on(s, dir, s.argv);
    if (output != nullptr)
        *output = e.output;
    r.status = e.status;
    if (!p.cut || e.hung || e.status != kCutStatus) {
        judge(e, clean.first, r);
    } else {
        // The power came back: the program again, then a start-up.
        ::unlink((blade_of(dir, s.blade) + "/faults").c_str());
        const Ending next = run_on(s, dir, s.argv);
        const Ending boot = run_on(s, dir, {s.arkbctl, "boot"}, false);
        r.next_status = next.status;
        r.boot_status = boot.status;
        if (next.hung || boot.hung) {
            r.outcome = "hang";
            r.differs = next.hung ? "next run" : "start-up";
        } else if (killed_by_signal(next) || killed_by_signal(boot)) {
            r.outcome = "crash";
            r.differs = killed_by_signal(next) ? "next run" : "start-up";
        } else if (next.status != 0 || boot.status != 0) {
            r.outcome = "unrecovered";
            r.differs = next.status != 0 ? "next run exit " + std::to_string(next.status)
                                         : "start-up exit " + std::to_string(boot.status);
        } else {
            judge(next, clean.second, r);
            if (!r.differs.empty())
                r.differs = "next run: " + r.differs;
        }
    }
    remove_copy(dir);
    return r;
}

}  // namespace arkcli::explore
