// A JSON document built in document order, by the SAX reader and by the
// writer alike: the first value is the root, each later one goes at the end
// of the innermost open array or under its key in the innermost open object.
#ifndef ARKSIM_JSON_BUILD_H
#define ARKSIM_JSON_BUILD_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace arkcli {

template <class J> struct JsonBuild {
    J root;
    std::vector<J *> open;  // the arrays and objects not yet closed, innermost last

    // Where `v` now stands in the document.
    J *place(std::string_view key, J v)
    {
        if (open.empty())
            return &(root = std::move(v));
        J &top = *open.back();
        if (top.is_array()) {
            top.push_back(std::move(v));
            return &top.back();
        }
        return &(top[std::string(key)] = std::move(v));
    }
    void open_container(std::string_view key, J v) { open.push_back(place(key, std::move(v))); }
    void close()
    {
        if (!open.empty())
            open.pop_back();
    }
};

}  // namespace arkcli

#endif
