// The one runner of every arkbctl command: picks the table entry, parses its
// arguments, makes the call, prints its result once and gives the exit status.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "arkbctl_cli.h"
#include "library.h"

namespace arkbctl {

namespace {

const Family *g_command = nullptr;

bool is_flag_sub(const Entry &e) { return e.sub[0] == '-'; }

// `arkbctl tcontrol N` is short for `arkbctl tcontrol set N`.
bool is_tcontrol_shortcut(const Family &f, const Args &a)
{
    long long v = 0;
    return std::strcmp(f.name, "tcontrol") == 0 && a.size() == 1 &&
           parse_number(a[0], INT32_MIN, INT32_MAX, &v);
}

const Entry *find_entry(const Family &f, const char *sub)
{
    for (const Entry &e : entries()) {
        if (std::strcmp(e.command, f.name) == 0 && std::strcmp(e.sub, sub) == 0)
            return &e;
    }
    return nullptr;
}

// The entry that a's first words (or flags) name; nullptr after a usage error.
const Entry *pick_entry(const Family &f, Args &a)
{
    bool has_subs = false;
    for (const Entry &e : entries()) {
        if (std::strcmp(e.command, f.name) != 0)
            continue;
        if (is_flag_sub(e) && take_flag(a, e.sub))
            return &e;
        has_subs = has_subs || (e.sub[0] != '\0' && !is_flag_sub(e));
    }
    if (!has_subs)
        return find_entry(f, "");
    if (is_tcontrol_shortcut(f, a))
        return find_entry(f, "set");
    const char *name = f.dflt;
    if (!a.empty()) {
        name = a.front();
        a.erase(a.begin());
    }
    if (name == nullptr) {
        usage_error("missing subcommand");
        return nullptr;
    }
    const Entry *e = find_entry(f, name);
    if (e == nullptr)
        usage_error("unknown subcommand '%s'", name);
    return e;
}

bool succeeded(Ok ok, int r)
{
    switch (ok) {
    case Ok::Zero: return r == 0;
    case Ok::NotNegative: return r >= 0;
    case Ok::One: return r == 1;
    case Ok::ZeroOrOne: return r == 0 || r == 1;
    case Ok::Always: return true;
    }
    return false;
}

}  // namespace

void set_command(const Family *f) { g_command = f; }

int usage_error(const char *format, ...)
{
    const char *name = g_command != nullptr ? g_command->name : nullptr;
    std::fprintf(stderr, name != nullptr ? "arkbctl %s: " : "arkbctl: ", name);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    if (name != nullptr)
        std::fprintf(stderr, "\nTry 'arkbctl %s --help'.\n", name);
    else
        std::fprintf(stderr, "\nTry 'arkbctl --help'.\n");
    return kExitUsage;
}

std::string fmt(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(s.data(), s.size() + 1, format, again);
    va_end(again);
    return s;
}

void print_usage(const Family &f, FILE *out)
{
    const char *lead = "usage: arkbctl ";
    for (const Entry &e : entries()) {
        if (std::strcmp(e.command, f.name) != 0 || e.usage == nullptr)
            continue;
        std::fprintf(out, "%s%s\n", lead, e.usage);
        lead = "       arkbctl ";
    }
    std::fputs(f.notes, out);
}

int run_family(const Family &f, Args &a)
{
    const Entry *e = pick_entry(f, a);
    Values v;
    if (e == nullptr || !parse_params(e->params, a, v))
        return kExitUsage;
    std::string why;
    if (!load_library(why)) {
        // One line: a development host has no SP platform libraries outside
        // the simulator.
        std::fprintf(
            stderr,
            "arkbctl: cannot load %s (%s); off the SP, run it as a simulated SP: arksim run -- arkbctl "
            "%s ...\n",
            kLibraryName, why.c_str(), f.name);
        return kExitNoLibrary;
    }
    // The diagnostic calls print on this same standard output.
    std::fflush(stdout);
    Outcome o = e->call(v);
    if (!o.own_lines)
        std::printf("%s: %d%s\n", o.function != nullptr ? o.function : e->function, o.result,
                    o.detail.c_str());
    std::fputs(o.more.c_str(), stdout);
    return succeeded(e->ok, o.result) ? 0 : kExitFail;
}

}  // namespace arkbctl
