// The JSON library's SAX parser, building the document itself so that a
// member named twice is refused (the library's own tree keeps the last) and
// numbers beyond 64 bits, which the library would read as floating point,
// are refused instead of rounded.
#include "json_in.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

#include "core/unique_fd.h"
#include "json_build.h"

namespace arkcli {
namespace {

class Builder {
public:
    explicit Builder(std::size_t text_size) : size(text_size) {}
    const std::size_t size;
    JsonBuild<Json> doc;
    FirstProblem error;

    bool null() { return put(Json(nullptr)); }
    bool boolean(bool b) { return put(Json(b)); }
    bool number_integer(Json::number_integer_t v) { return put(Json(v)); }
    bool number_unsigned(Json::number_unsigned_t v) { return put(Json(v)); }
    bool number_float(Json::number_float_t, const Json::string_t &text)
    {
        return fail("the number " + text.substr(0, 40) + " is no integer of at most 64 bits");
    }
    bool string(Json::string_t &s) { return put(Json(std::move(s))); }
    bool binary(Json::binary_t &) { return fail("binary data"); }
    bool start_object(std::size_t) { return open(Json::object()); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_object() { return doc.close(), true; }
    bool end_array() { return doc.close(), true; }
    bool key(Json::string_t &k)
    {
        if (k.find('\0') != std::string::npos)
            return fail("a member name holding \\u0000");
        if (doc.open.back()->contains(k))
            return fail("the member \"" + k.substr(0, 64) + "\" given twice");
        key_ = std::move(k);
        return true;
    }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &e)
    {
        // "[json.exception.parse_error.101] parse error at line 1, column 5: syntax error ...;
        // last read: '...'": the text between the library's place and what it last read.
        std::string what = e.what();
        const auto colon = what.find(": ");
        if (colon != std::string::npos)
            what.erase(0, colon + 2);
        const auto last = what.find("; last read:");
        if (last != std::string::npos)
            what.erase(last);
        // The library counts the end of the text as one more byte.
        return error.keep("at byte " + std::to_string(std::min(position, size)) + ": " + what);
    }

private:
    std::string key_;

    bool fail(const std::string &what) { return error.keep(what); }
    bool put(Json v) { return doc.place(key_, std::move(v)), true; }
    bool open(Json v)
    {
        if (doc.open.size() >= static_cast<std::size_t>(kMaxJsonDepth))
            return fail("nested more than " + std::to_string(kMaxJsonDepth) + " deep");
        doc.open_container(key_, std::move(v));
        return true;
    }
};

std::string reason(const std::string &path, const char *what)
{
    return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

bool parse_json(std::string_view text, Json &out, std::string &error)
{
    Builder b(text.size());
    const bool ok =
        Json::sax_parse(text.begin(), text.end(), &b, nlohmann::detail::input_format_t::json, true);
    if (!ok) {
        error = b.error.text.empty() ? "not a JSON document" : b.error.text;
        return false;
    }
    out = std::move(b.doc.root);
    return true;
}

bool read_document(const std::string &path, std::string &out, std::string &error)
{
    // Non-blocking: a FIFO opens at once, and is refused below.
    arksim::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd)
        return error = reason(path, "cannot open"), false;
    if (::fstat(fd.get(), &st) != 0)
        return error = reason(path, "cannot read its status"), false;
    if (!S_ISREG(st.st_mode))
        return error = path + ": is no regular file", false;
    const std::string too_large = path + ": is larger than " + std::to_string(kMaxJsonDocument) + " bytes";
    if (st.st_size > static_cast<off_t>(kMaxJsonDocument))
        return error = too_large, false;
    out.clear();
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return error = reason(path, "cannot read"), false;
        if (n == 0)
            return true;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > kMaxJsonDocument)  // grew while read
            return error = too_large, false;
    }
}

}  // namespace arkcli
