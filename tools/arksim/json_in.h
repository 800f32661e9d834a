// Reading JSON documents from outside (blade snapshots) with the JSON
// library's parser, stricter than the format: duplicate member names, numbers
// that are not integers or do not fit 64 bits, and documents nested too deep
// are refused, and a file must be a regular one of at most kMaxJsonDocument
// bytes.  Strings are UTF-8 as JSON defines them (the parser checks).
#ifndef ARKSIM_JSON_IN_H
#define ARKSIM_JSON_IN_H

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace arkcli {

// The first problem a reader meets, kept; later ones are dropped.  `keep`
// answers false, so that a reader's check can return it.
struct FirstProblem {
    std::string text;
    bool keep(const std::string &what)
    {
        if (text.empty())
            text = what;
        return false;
    }
};

using Json = nlohmann::json;

inline constexpr std::size_t kMaxJsonDocument = 1 << 20;  // 1 MiB
inline constexpr int kMaxJsonDepth = 64;

// False with "at byte N: what was wrong" (or the member named twice) in `error`.
bool parse_json(std::string_view text, Json &out, std::string &error);

// Reads `path` whole; false with "PATH: why" in `error` (errno's text where a
// call failed, a file that is no regular one or is too large).
bool read_document(const std::string &path, std::string &out, std::string &error);

}  // namespace arkcli

#endif
