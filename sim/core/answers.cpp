// The answer modes of the stand-ins: which of the results a contract allows
// each call answers.
#include "answers.h"

#include <array>
#include <climits>
#include <span>

#include "call_settings.h"

namespace arksim {
namespace {

constexpr const char *kAnswersFile = "/answers";
constexpr std::size_t kMaxAllowed = 4;

// The results a call may answer, the unusual ones first.
struct Allowed {
    std::array<int, kMaxAllowed> values{};
    std::size_t count = 0;
    void add(int v)
    {
        for (std::size_t i = 0; i < count; ++i)
            if (values[i] == v)
                return;
        if (count < kMaxAllowed)
            values[count++] = v;
    }
};

bool succeeded(Contract c, int rc)
{
    switch (c) {
    case Contract::NegativeFails: return rc >= 0;
    case Contract::MinusOneFails: return rc != -1;
    case Contract::PositiveSucceeds: return rc > 0;
    case Contract::OneSucceeds: return rc == 1;
    case Contract::NonzeroIsTrue: return rc != 0;
    case Contract::ZeroSucceeds: return rc == 0;
    }
    return false;
}

// The results equivalent to `rc` for a caller that keeps to the contract.
Allowed allowed(Contract c, bool ok, int rc, Moved m)
{
    Allowed a;
    const int length = m.length > 0 ? m.length : 1;
    switch (c) {
    case Contract::NegativeFails:
        if (ok) {
            a.add(0);
            a.add(length);
        } else {
            a.add(-5);
            a.add(INT_MIN);
        }
        break;
    case Contract::MinusOneFails:
        if (ok) {
            a.add(0);
            a.add(m.byte);
            a.add(-2);
            a.add(length);
        }
        break;
    case Contract::PositiveSucceeds:
        if (ok) {
            a.add(INT_MAX);
            a.add(1);
            a.add(length);
        } else {
            a.add(0);
            a.add(-1);
        }
        break;
    case Contract::OneSucceeds:
        if (!ok) {
            a.add(0);
            a.add(2);
            a.add(-1);
        }
        break;
    case Contract::NonzeroIsTrue:
        if (ok) {
            a.add(2);
            a.add(-1);
            a.add(1);
        }
        break;
    case Contract::ZeroSucceeds:
        if (!ok) {
            a.add(1);
            a.add(-1);
        }
        break;
    }
    a.add(rc);
    return a;
}

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

std::string describe(const AnswerMode &m)
{
    switch (m.kind) {
    case AnswerMode::Edge: return "edge";
    case AnswerMode::Random: return "random " + std::to_string(m.seed);
    case AnswerMode::Plain: break;
    }
    return "plain";
}

bool parse_answer_mode(std::string_view text, AnswerMode &out)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    if (text == "plain" || text.empty()) {
        out = {};
        return true;
    }
    if (text == "edge") {
        out = {AnswerMode::Edge, 0};
        return true;
    }
    if (!text.starts_with("random ") || text.size() == 7)
        return false;
    uint64_t seed = 0;
    for (char ch : text.substr(7)) {
        if (ch < '0' || ch > '9' || seed > (UINT64_MAX - 9) / 10)
            return false;
        seed = seed * 10 + static_cast<uint64_t>(ch - '0');
    }
    out = {AnswerMode::Random, seed};
    return true;
}

AnswerMode read_answer_mode(const std::string &chassis)
{
    std::vector<uint8_t> raw;
    AnswerMode m;
    if (read_file(chassis + kAnswersFile, raw) &&
        !parse_answer_mode(std::string_view(reinterpret_cast<const char *>(raw.data()), raw.size()), m))
        m = {};  // an unreadable setting answers plainly
    return m;
}

bool write_answer_mode(const std::string &chassis, const AnswerMode &m)
{
    const bool written = write_text(chassis + kAnswersFile, describe(m) + "\n");
    note_change(chassis);
    return written;
}

int answer(const Fault &f, Contract c, int rc, Moved moved)
{
    if (f.fail)
        return rc;
    if (f.done)
        return f.value;
    const AnswerMode &m = call_answer_mode();
    if (m.kind == AnswerMode::Plain)
        return rc;
    const Allowed a = allowed(c, succeeded(c, rc), rc, moved);
    const uint64_t n = f.nth > 0 ? f.nth - 1 : 0;
    const uint64_t pick =
        m.kind == AnswerMode::Edge ? n : mix(m.seed ^ (static_cast<uint64_t>(f.function + 1) << 40) ^ n);
    const int out = a.values[pick % a.count];
    if (out != rc)
        note_answer(describe(m), rc);
    return out;
}

}  // namespace arksim
