// The writer of every line the library logs: arkb_output's and the library's
// own "<unit>::<function>::<line>:" lines.
#include "logging.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include <array>
#include <span>

namespace arkb {
namespace {

constexpr int kLogFacility = 0x40;  // LOG_UUCP in the standard numbering

// A logged line holds at most 511 characters, prefix included; the rest is
// cut off.  One buffer for both kinds of line, so the bound is one number.
constexpr std::size_t kLineBufferSize = 512;
using Line = std::array<char, kLineBufferSize>;

// Formats into what is left of `line` after its first `used` characters (at
// most 511, so at least the NUL fits).
void format_into(Line &line, std::size_t used, const char *format, va_list args)
{
    const std::span<char> rest = std::span(line).subspan(used);
    std::vsnprintf(rest.data(), rest.size(), format, args);
}

void send(int priority, const Line &line) { syslog(priority | kLogFacility, "%s", line.data()); }

}  // namespace

void log_vformat(int priority, const char *format, va_list args)
{
    Line line{};
    format_into(line, 0, format, args);
    send(priority, line);
}

void log_line(int priority, LogSite site, const char *format, ...)
{
    Line line{};
    std::snprintf(line.data(), line.size(), "%s::%s::%d:", site.unit, site.function, site.line);
    va_list args;
    va_start(args, format);
    format_into(line, std::strlen(line.data()), format, args);
    va_end(args);
    send(priority, line);
}

}  // namespace arkb
