// The report of an exploration: the runs grouped by outcome, then by call,
// each with its fault and the command that reproduces it; or one JSON
// document.
#include <cctype>
#include <cstdio>
#include <map>
#include <string_view>

#include "explore.h"
#include "json_out.h"

namespace arkcli::explore {
namespace {

// A word as a shell reads it back: quoted unless it is plain.
std::string shell_word(const std::string &w)
{
    bool plain = !w.empty();
    for (char c : w)
        if (!(std::isalnum(static_cast<unsigned char>(c)) ||
              std::string_view("-_./=:,+@%").find(c) != std::string_view::npos))
            plain = false;
    if (plain)
        return w;
    std::string out = "'";
    for (char c : w)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

const Call *call_of(const Clean &clean, int index)
{
    return index >= 1 && index <= static_cast<int>(clean.calls.size()) ? &clean.calls[index - 1] : nullptr;
}

std::string timeout_text(double t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", t);
    return buf;
}

}  // namespace

std::string rerun_command(const Setup &s, const std::string &id)
{
    // Piece by piece: GCC 12 at -O3 misreads a literal before a temporary
    // as an overlapping copy (-Wrestrict).
    std::string cmd = "arksim -C ";
    cmd += shell_word(s.chassis);
    cmd += " --blade ";
    cmd += shell_word(s.blade);
    cmd += " explore --timeout ";
    cmd += timeout_text(s.timeout);
    cmd += " --rerun ";
    cmd += id;
    cmd += " --";
    for (const std::string &a : s.argv) {
        cmd += ' ';
        cmd += shell_word(a);
    }
    return cmd;
}

void print_row(const Setup &s, const Result &r)
{
    std::string what = r.run->rule;
    if (r.run->cut) {
        what += "  (next run exit ";
        what += std::to_string(r.next_status);
        what += ", start-up exit ";
        what += std::to_string(r.boot_status);
        what += ')';
    }
    std::printf("    %-7s %-44s exit %-4d %s\n", r.run->id.c_str(), what.c_str(), r.status,
                r.differs.c_str());
    std::printf("            %s\n", rerun_command(s, r.run->id).c_str());
}

void print_table(const Setup &s, const Clean &clean, const std::vector<Result> &results, double seconds,
                 int jobs)
{
    std::map<std::string, std::vector<const Result *>> by_outcome;
    for (const Result &r : results)
        by_outcome[r.outcome].push_back(&r);
    std::printf("clean run: exit %d, %zu platform call%s, %.1f s\n", clean.first.status, clean.calls.size(),
                clean.calls.size() == 1 ? "" : "s", clean.seconds);
    if (clean.first.status != 0 && !clean.first.output.empty())
        std::printf("its output:\n%s%s", clean.first.output.c_str(),
                    clean.first.output.back() == '\n' ? "" : "\n");
    std::printf("%zu runs in %.1f s over %d jobs:", results.size(), seconds, jobs);
    for (const std::string &o : outcome_order())
        if (by_outcome.count(o) != 0)
            std::printf(" %zu %s", by_outcome[o].size(), o.c_str());
    std::printf("\n");
    for (const std::string &o : outcome_order()) {
        if (by_outcome.count(o) == 0)
            continue;
        std::printf("\n%s (%zu)\n", o.c_str(), by_outcome[o].size());
        int last_call = -1;
        for (const Result *r : by_outcome[o]) {
            if (r->run->call != last_call) {
                last_call = r->run->call;
                const Call *c = call_of(clean, last_call);
                std::printf("  call %d: %s\n", last_call, c != nullptr ? c->text.c_str() : "?");
            }
            print_row(s, *r);
        }
    }
}

void print_json(const Setup &s, const Clean &clean, const std::vector<Result> &results)
{
    OrderedJson doc;
    OrderedJson &c = doc["clean"];
    c["status"] = clean.first.status;
    c["output"] = clean.first.output;
    c["seconds"] = clean.seconds;
    c["chassis"] = s.chassis;
    c["blade"] = s.blade;
    c["program"] = s.argv;
    OrderedJson calls = OrderedJson::array();
    for (const Call &k : clean.calls)
        calls.push_back({{"call", k.index}, {"function", k.function}, {"text", k.text}});
    c["calls"] = calls;
    OrderedJson runs = OrderedJson::array();
    for (const Result &r : results) {
        OrderedJson j = {{"id", r.run->id},      {"call", r.run->call},  {"function", r.run->function},
                         {"fault", r.run->rule}, {"outcome", r.outcome}, {"status", r.status}};
        if (!r.differs.empty())
            j["differs"] = r.differs;
        if (r.run->cut) {
            j["next_status"] = r.next_status;
            j["boot_status"] = r.boot_status;
        }
        j["rerun"] = rerun_command(s, r.run->id);
        runs.push_back(j);
    }
    doc["runs"] = runs;
    std::fputs(json_text(doc).c_str(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace arkcli::explore
