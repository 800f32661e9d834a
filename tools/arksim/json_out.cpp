// Machine-readable output of arksim.
#include "json_out.h"

namespace arkcli {

std::string json_string(std::string_view raw)
{
    std::string out = "\"";
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= ' ' && c < 0x7F) {
            out.push_back(ch);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        }
    }
    return out + "\"";
}

std::string json_strings(const std::vector<std::string> &items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i != 0 ? ", " : "") + json_string(items[i]);
    return out + "]";
}

const char *json_bool(bool b) { return b ? "true" : "false"; }

JsonWriter::~JsonWriter()
{
    while (!closer_.empty())
        close();
    std::fputc('\n', out_);
}

void JsonWriter::member(std::string_view key)
{
    if (!first_.empty()) {
        std::fputs(first_.back() ? "\n" : ",\n", out_);
        first_.back() = false;
        for (std::size_t i = 0; i < first_.size(); ++i)
            std::fputs("  ", out_);
    }
    if (!closer_.empty() && closer_.back() == '}')
        std::fprintf(out_, "%s: ", json_string(key).c_str());
}

JsonWriter &JsonWriter::open(std::string_view key, char opener, char closer)
{
    member(key);
    std::fputc(opener, out_);
    first_.push_back(true);
    closer_.push_back(closer);
    return *this;
}

JsonWriter &JsonWriter::open_object(std::string_view key) { return open(key, '{', '}'); }

JsonWriter &JsonWriter::open_array(std::string_view key) { return open(key, '[', ']'); }

JsonWriter &JsonWriter::close()
{
    if (closer_.empty())
        return *this;
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) {
        std::fputc('\n', out_);
        for (std::size_t i = 0; i < first_.size(); ++i)
            std::fputs("  ", out_);
    }
    std::fputc(closer_.back(), out_);
    closer_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::string(std::string_view key, std::string_view value)
{
    return raw(key, json_string(value));
}

JsonWriter &JsonWriter::number(std::string_view key, long long value)
{
    return raw(key, std::to_string(value));
}

JsonWriter &JsonWriter::boolean(std::string_view key, bool value) { return raw(key, json_bool(value)); }

JsonWriter &JsonWriter::null(std::string_view key) { return raw(key, "null"); }

JsonWriter &JsonWriter::raw(std::string_view key, std::string_view json)
{
    member(key);
    std::fwrite(json.data(), 1, json.size(), out_);
    return *this;
}

}  // namespace arkcli
