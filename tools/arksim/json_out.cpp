// Machine-readable output of arksim.
#include "json_out.h"

namespace arkcli {

std::string json_text(const OrderedJson &doc, int indent)
{
    return doc.dump(indent, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string json_string(std::string_view raw) { return json_text(OrderedJson(std::string(raw)), -1); }

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
    const std::string text = json_text(doc_.root) + "\n";
    std::fwrite(text.data(), 1, text.size(), out_);
}

JsonWriter &JsonWriter::open_object(std::string_view key)
{
    doc_.open_container(key, OrderedJson::object());
    return *this;
}

JsonWriter &JsonWriter::open_array(std::string_view key)
{
    doc_.open_container(key, OrderedJson::array());
    return *this;
}

JsonWriter &JsonWriter::close()
{
    doc_.close();
    return *this;
}

JsonWriter &JsonWriter::string(std::string_view key, std::string_view value)
{
    return doc_.place(key, OrderedJson(std::string(value))), *this;
}

JsonWriter &JsonWriter::number(std::string_view key, long long value)
{
    return doc_.place(key, OrderedJson(value)), *this;
}

JsonWriter &JsonWriter::boolean(std::string_view key, bool value)
{
    return doc_.place(key, OrderedJson(value)), *this;
}

JsonWriter &JsonWriter::null(std::string_view key) { return doc_.place(key, OrderedJson(nullptr)), *this; }

}  // namespace arkcli
