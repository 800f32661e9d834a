// The writer of the library's "<unit>::<function>::<line>:" log lines.
#include "logging.h"

#include <cstdarg>
#include <cstdio>

#include <array>

#include "arkblade.h"

namespace arkb {

// The same bound as arkb_output's own: a longer text is cut there anyway.
constexpr int kTextBufferSize = 512;

void log_line(int priority, LogSite site, const char *format, ...)
{
    std::array<char, kTextBufferSize> text{};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    arkb_output(priority, "%s::%s::%d:%s", site.unit, site.function, site.line, text.data());
}

}  // namespace arkb
