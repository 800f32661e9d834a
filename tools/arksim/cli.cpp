// Option values, small file reads and error reporting of the arksim command line.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

#include <algorithm>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

const char *g_command = nullptr;

void vreport(const char *fmt, va_list ap)
{
    std::fprintf(stderr, g_command != nullptr ? "arksim %s: " : "arksim: ", g_command);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
}

}  // namespace

bool Args::has(std::string_view name) const
{
    for (const auto &o : opts)
        if (o.first == name)
            return true;
    return false;
}

const std::string *Args::get(std::string_view name) const
{
    const std::string *v = nullptr;
    for (const auto &o : opts)
        if (o.first == name)
            v = &o.second;
    return v;
}

std::vector<std::string> Args::all(std::string_view name) const
{
    std::vector<std::string> out;
    for (const auto &o : opts)
        if (o.first == name)
            out.push_back(o.second);
    return out;
}

void set_command_name(const char *name) { g_command = name; }

int fail(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vreport(fmt, ap);
    va_end(ap);
    return 1;
}

int usage_error(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vreport(fmt, ap);
    va_end(ap);
    if (g_command != nullptr)
        std::fprintf(stderr, "(see arksim %s --help)\n", g_command);
    return 2;
}

bool parse_number(std::string_view s, long long lo, long long hi, long long &out)
{
    std::string text(s);
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool parse_hex_bytes(std::span<const std::string> words, std::vector<uint8_t> &out)
{
    out.clear();
    for (const std::string &w : words) {
        std::size_t i = 0;
        while (i < w.size()) {
            char c = w[i];
            if (c == ' ' || c == ':' || c == ',' || c == '\t') {
                ++i;
                continue;
            }
            if (c == '0' && i + 1 < w.size() && (w[i + 1] == 'x' || w[i + 1] == 'X'))
                i += 2;
            std::size_t start = i;
            while (i < w.size() && arksim::hex_digit(w[i]) >= 0)
                ++i;
            if (i == start || (i - start) % 2 != 0)
                return false;
            for (std::size_t j = start; j < i; j += 2)
                out.push_back(
                    static_cast<uint8_t>(arksim::hex_digit(w[j]) * 16 + arksim::hex_digit(w[j + 1])));
        }
    }
    return true;
}

std::string absolute_path(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

std::vector<std::string> dir_entries(const std::string &dir)
{
    std::vector<std::string> out;
    DIR *d = ::opendir(dir.c_str());
    if (d == nullptr)
        return out;
    while (struct dirent *e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            out.push_back(e->d_name);
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> numbered_entries(const std::string &dir)
{
    std::vector<std::string> out = dir_entries(dir);
    std::stable_sort(out.begin(), out.end(), [](const std::string &a, const std::string &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return out;
}

std::string read_text(const std::string &path)
{
    std::vector<uint8_t> raw;
    if (!arksim::read_file(path, raw))
        return "";
    std::string text(raw.begin(), raw.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

}  // namespace arkcli
