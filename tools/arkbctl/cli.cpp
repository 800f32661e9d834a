#include "arkbctl_cli.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace arkbctl {

namespace {
const Command *g_command = nullptr;
}

void set_command(const Command *c) { g_command = c; }

int usage_error(const char *fmt, ...)
{
    const char *name = g_command != nullptr ? g_command->name : nullptr;
    std::fprintf(stderr, name != nullptr ? "arkbctl %s: " : "arkbctl: ", name);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    if (name != nullptr)
        std::fprintf(stderr, "\nTry 'arkbctl %s --help'.\n", name);
    else
        std::fprintf(stderr, "\nTry 'arkbctl --help'.\n");
    return kExitUsage;
}

int run_sub(std::span<const Sub> subs, Args &a, const char *dflt)
{
    const char *name = dflt;
    if (!a.empty()) {
        name = a.front();
        a.erase(a.begin());
    }
    if (name == nullptr)
        return usage_error("missing subcommand");
    for (const Sub &s : subs) {
        if (std::strcmp(s.name, name) == 0)
            return s.run(a);
    }
    return usage_error("unknown subcommand '%s'", name);
}

int status(int r)
{
    if (r == 0)
        return 0;
    std::fprintf(stderr, "result: %d\n", r);
    return kExitFail;
}

int count_status(int r) { return r >= 0 ? 0 : status(r); }

}  // namespace arkbctl
