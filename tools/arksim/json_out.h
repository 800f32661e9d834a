// Machine-readable output of arksim: JSON strings escaped for any bytes, and
// a writer that prints one document member by member, indented.
#ifndef ARKSIM_JSON_OUT_H
#define ARKSIM_JSON_OUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace arkcli {

// A JSON string.  Quote, backslash and control characters are escaped, and
// bytes outside printable ASCII become \u00NN (their Latin-1 reading), so the
// output is valid UTF-8 whatever the simulated state holds.
std::string json_string(std::string_view raw);
std::string json_strings(const std::vector<std::string> &items);  // an array of strings
const char *json_bool(bool b);

// Prints one JSON document: objects and arrays opened and closed in order,
// members given a key inside objects and none inside arrays.
class JsonWriter {
public:
    explicit JsonWriter(std::FILE *out = stdout) : out_(out) {}
    ~JsonWriter();  // ends the document with a newline

    JsonWriter &open_object(std::string_view key = {});
    JsonWriter &open_array(std::string_view key = {});
    JsonWriter &close();
    JsonWriter &string(std::string_view key, std::string_view value);
    JsonWriter &number(std::string_view key, long long value);
    JsonWriter &boolean(std::string_view key, bool value);
    JsonWriter &null(std::string_view key);
    // A value already in JSON (e.g. json_strings()).
    JsonWriter &raw(std::string_view key, std::string_view json);

private:
    void member(std::string_view key);
    JsonWriter &open(std::string_view key, char opener, char closer);
    std::FILE *out_;
    std::vector<bool> first_;  // per open level: no member yet
    std::vector<char> closer_;
};

}  // namespace arkcli

#endif
