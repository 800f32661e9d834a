/*
 * Answers at the edges of the platform's contracts.  A real SP's library may
 * answer any result its contract allows (a tunnel read may succeed with 0 or
 * with the length, a memstore failure may be 0, 2 or -1), so the stand-ins can
 * be asked to answer each of them instead of one favourite value:
 *
 *   plain          the natural result (the default)
 *   edge           every allowed result in turn, the unusual ones first, per
 *                  function (the n-th call of a function takes the n-th)
 *   random SEED    one allowed result at random, the same for the same seed
 *
 * The setting is the chassis's (<chassis>/answers: "edge", "random 42"; absent
 * means plain), for every blade.  A result that a fault rule injected is
 * answered as the rule says; a result the mode chose is marked in the journal
 * with the plain one ("= 0 <edge: 16>").
 */
#ifndef ARKSIM_ANSWERS_H
#define ARKSIM_ANSWERS_H

#include <cstdint>
#include <string>
#include <string_view>

#include "simstate.h"

namespace arksim {

struct AnswerMode {
    enum Kind { Plain, Edge, Random } kind = Plain;
    uint64_t seed = 0;
};

// "plain", "edge", "random 42".
std::string describe(const AnswerMode &m);
bool parse_answer_mode(std::string_view text, AnswerMode &out);
AnswerMode read_answer_mode(const std::string &chassis);
bool write_answer_mode(const std::string &chassis, const AnswerMode &m);

// What the caller may rely on, per outside function.
enum class Contract {
    NegativeFails,     // < 0 fails; any other result succeeds (0, the length, ...)
    MinusOneFails,     // arkmp_read: only exactly -1 fails
    PositiveSucceeds,  // arkmp_write: > 0 succeeds; 0 and negative fail
    OneSucceeds,       // memstore_get, memstore_set: exactly 1 succeeds
    NonzeroIsTrue,     // memstore_haskey: nonzero when the key is present
    ZeroSucceeds,      // ssbcast_sensor_format, sspoller_get_shared_sensor_reading
};

// What the call moved: its length (1 for calls that move nothing countable)
// and, for a register read, the byte it read.
struct Moved {
    int length = 1;
    int byte = 0;
};

// The result to answer for a call whose natural result is `rc`, under the
// chassis's answer mode.  `f` is the call's enter(); an injected result is
// kept.
int answer(const Fault &f, Contract c, int rc, Moved moved = {});
// The answer mode that the current call's enter() found.
const AnswerMode &call_answer_mode();

}  // namespace arksim

#endif
