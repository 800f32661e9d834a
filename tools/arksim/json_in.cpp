// A recursive-descent JSON parser: whole documents of objects, arrays,
// strings (\u escapes below 0x100 as one byte, others as UTF-8), integers,
// true, false and null, nested at most 64 deep.
#include "json_in.h"

#include <cstdio>

namespace arkcli {
namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(std::string_view t) : t_(t) {}
    std::string error;

    bool document(JsonValue &out)
    {
        if (!value(out, 0))
            return false;
        space();
        return at_end() || fail("text after the document");
    }

private:
    std::string_view t_;
    std::size_t i_ = 0;

    bool at_end() const { return i_ >= t_.size(); }
    char peek() const { return at_end() ? '\0' : t_[i_]; }
    bool fail(const char *what)
    {
        if (error.empty()) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "at byte %zu: ", i_);
            error = buf;
            error += at_end() ? "the document ends early" : what;
        }
        return false;
    }
    void space()
    {
        while (!at_end() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\t' || t_[i_] == '\r'))
            ++i_;
    }
    bool word(std::string_view w)
    {
        if (t_.substr(i_, w.size()) != w)
            return fail("not a JSON value");
        i_ += w.size();
        return true;
    }

    bool value(JsonValue &out, int depth)
    {
        space();
        if (depth > kMaxDepth)
            return fail("nested too deep");
        switch (peek()) {
        case '{': return object(out, depth);
        case '[': return array(out, depth);
        case '"': out.type = JsonValue::String; return string(out.text);
        case 't': out.type = JsonValue::Bool, out.flag = true; return word("true");
        case 'f': out.type = JsonValue::Bool; return word("false");
        case 'n': out.type = JsonValue::Null; return word("null");
        default: return number(out);
        }
    }

    bool number(JsonValue &out)
    {
        bool negative = peek() == '-';
        if (negative)
            ++i_;
        if (peek() < '0' || peek() > '9')
            return fail("not a JSON value");
        unsigned long long v = 0;
        for (; peek() >= '0' && peek() <= '9'; ++i_) {
            v = v * 10 + static_cast<unsigned>(peek() - '0');
            if (v > (1ULL << 62))
                return fail("a number too large");
        }
        if (peek() == '.' || peek() == 'e' || peek() == 'E')
            return fail("a number that is not an integer");
        out.type = JsonValue::Number;
        out.number = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
        return true;
    }

    static int hex(char c)
    {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    }

    bool string(std::string &out)
    {
        ++i_;  // the opening quote
        out.clear();
        while (!at_end() && t_[i_] != '"') {
            char c = t_[i_++];
            if (static_cast<unsigned char>(c) < 0x20)
                return --i_, fail("a control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_end())
                return fail("an unfinished escape");
            c = t_[i_++];
            switch (c) {
            case '"':
            case '\\':
            case '/': out += c; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                for (int k = 0; k < 4; ++k, ++i_) {
                    const int d = at_end() ? -1 : hex(t_[i_]);
                    if (d < 0)
                        return fail("a bad \\u escape");
                    cp = cp << 4 | static_cast<unsigned>(d);
                }
                if (cp < 0x100) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | cp >> 6);
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | cp >> 12);
                    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                break;
            }
            default: return --i_, fail("a bad escape");
            }
        }
        if (at_end())
            return fail("an unfinished string");
        ++i_;
        return true;
    }

    bool array(JsonValue &out, int depth)
    {
        out.type = JsonValue::Array;
        ++i_;
        space();
        if (peek() == ']')
            return ++i_, true;
        for (;;) {
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1))
                return false;
            space();
            if (peek() == ']')
                return ++i_, true;
            if (peek() != ',')
                return fail("expected ',' or ']'");
            ++i_;
        }
    }

    bool object(JsonValue &out, int depth)
    {
        out.type = JsonValue::Object;
        ++i_;
        space();
        if (peek() == '}')
            return ++i_, true;
        for (;;) {
            space();
            if (peek() != '"')
                return fail("expected a member name");
            out.names.emplace_back();
            out.items.emplace_back();
            if (!string(out.names.back()))
                return false;
            space();
            if (peek() != ':')
                return fail("expected ':'");
            ++i_;
            if (!value(out.items.back(), depth + 1))
                return false;
            space();
            if (peek() == '}')
                return ++i_, true;
            if (peek() != ',')
                return fail("expected ',' or '}'");
            ++i_;
        }
    }
};

}  // namespace

const JsonValue *JsonValue::get(std::string_view key) const
{
    if (type != Object)
        return nullptr;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == key)
            return &items[i];
    return nullptr;
}

bool parse_json(std::string_view text, JsonValue &out, std::string &error)
{
    Parser p(text);
    out = {};
    if (p.document(out))
        return true;
    error = p.error;
    return false;
}

}  // namespace arkcli
