// Reading JSON documents (blade snapshots): a small parser into a tree of
// values, with the byte position of the first error.  Numbers are integers.
#ifndef ARKSIM_JSON_IN_H
#define ARKSIM_JSON_IN_H

#include <string>
#include <string_view>
#include <vector>

namespace arkcli {

struct JsonValue {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool flag = false;
    long long number = 0;
    std::string text;
    std::vector<JsonValue> items;    // an array's; an object's member values
    std::vector<std::string> names;  // an object's member names, in order

    // The object's member `key`, nullptr when there is none (or this is no object).
    const JsonValue *get(std::string_view key) const;
};

// False with "at byte N: what was wrong" in `error`.
bool parse_json(std::string_view text, JsonValue &out, std::string &error);

}  // namespace arkcli

#endif
