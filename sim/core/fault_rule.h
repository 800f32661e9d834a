// One fault rule of `arksim fault`: which calls of a function it answers
// (WHEN: N, N+ or *) and how (VALUE: a result, done:V after the work, or cut).
#ifndef ARKSIM_FAULT_RULE_H
#define ARKSIM_FAULT_RULE_H

#include <string>
#include <vector>

namespace arksim {

struct FaultRule {
    std::string func;
    long long first = 0;  // 0: every call
    bool onward = false;
    bool cut = false;
    bool done = false;  // "done:V": the work, then the answer V
    int value = 0;
    // "cut-after:N": the process ends once N bytes of the call's writes
    // reached the device (-1: not such a rule).
    long long cut_after = -1;
    bool every_process = false;  // a cut that stays live once it fired
    bool spent = false;          // a cut that fired already
    std::string line;            // the rule's line in <sp>/faults
};

// Reads "FUNC WHEN VALUE [every-process] [spent]"; false for a comment or a
// malformed line.
bool parse_fault_rule(const std::string &line, FaultRule &r);
// "1 -1", "2+ cut", "* 0": the rule's WHEN and VALUE as written.
std::string fault_rule_text(const FaultRule &r);
// The well-formed rules of <sp>/faults, in order.
std::vector<FaultRule> load_fault_rules(const std::string &sp);
// Marks the rule spent in <sp>/faults (a cut fires once unless it is to stay
// live in every process).
void spend_fault_rule(const std::string &sp, const FaultRule &r);

}  // namespace arksim

#endif
