// Machine-readable output of arksim, written by the JSON library: strings
// are UTF-8 as JSON defines them (bytes that are no UTF-8 become U+FFFD, and
// everything beyond ASCII is escaped), so every JSON reader reads the same.
#ifndef ARKSIM_JSON_OUT_H
#define ARKSIM_JSON_OUT_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_build.h"

namespace arkcli {

using OrderedJson = nlohmann::ordered_json;

// A document as text, indented by `indent` spaces (-1: on one line); never
// fails, whatever bytes its strings hold.
std::string json_text(const OrderedJson &doc, int indent = 2);
std::string json_string(std::string_view raw);                    // one JSON string
std::string json_strings(const std::vector<std::string> &items);  // an array of strings
const char *json_bool(bool b);

// Builds one JSON document, objects and arrays opened and closed in order,
// members given a key inside objects and none inside arrays, and prints it
// (indented, with a newline) when it is destroyed.
class JsonWriter {
public:
    explicit JsonWriter(std::FILE *out = stdout) : out_(out) {}
    ~JsonWriter();
    JsonWriter(const JsonWriter &) = delete;
    JsonWriter &operator=(const JsonWriter &) = delete;

    JsonWriter &open_object(std::string_view key = {});
    JsonWriter &open_array(std::string_view key = {});
    JsonWriter &close();
    JsonWriter &string(std::string_view key, std::string_view value);
    JsonWriter &number(std::string_view key, long long value);
    JsonWriter &boolean(std::string_view key, bool value);
    JsonWriter &null(std::string_view key);

private:
    std::FILE *out_;
    JsonBuild<OrderedJson> doc_;
};

}  // namespace arkcli

#endif
