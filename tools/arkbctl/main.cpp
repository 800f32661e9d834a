// arkbctl: the SP engineer's command-line front to libarkblade.
#include <cstdio>
#include <cstring>

#include "arkbctl_cli.h"

namespace arkbctl {
namespace {

void print_main_usage(FILE *out)
{
    std::fprintf(out, "usage: arkbctl COMMAND [ARGS...]\n"
                      "       arkbctl COMMAND --help\n"
                      "Runs libarkblade calls and prints each call's raw result.\n"
                      "Exit status: 0 success, 1 the library reported failure, 2 bad usage,\n"
                      "3 libarkblade.so.1 or the SP's platform libraries could not be loaded\n"
                      "(off the SP, run it under `arksim run`).\n\n"
                      "commands:\n");
    for (const Family &f : families())
        std::fprintf(out, "  %-14s %s\n", f.name, f.summary);
}

const Family *find_command(const char *name)
{
    for (const Family &f : families()) {
        if (std::strcmp(f.name, name) == 0)
            return &f;
    }
    return nullptr;
}

bool is_help(const char *s) { return std::strcmp(s, "--help") == 0 || std::strcmp(s, "-h") == 0; }

int run(int argc, char **argv)
{
    if (argc < 2) {
        print_main_usage(stderr);
        return kExitUsage;
    }
    if (is_help(argv[1]) || std::strcmp(argv[1], "help") == 0) {
        const Family *c = argc > 2 ? find_command(argv[2]) : nullptr;
        if (c != nullptr)
            print_usage(*c, stdout);
        else
            print_main_usage(stdout);
        return 0;
    }
    const Family *c = find_command(argv[1]);
    if (c == nullptr)
        return usage_error("unknown command '%s'", argv[1]);
    set_command(c);
    Args args(argv + 2, argv + argc);
    for (const char *s : args) {
        if (is_help(s)) {
            print_usage(*c, stdout);
            return 0;
        }
    }
    return run_family(*c, args);
}

}  // namespace
}  // namespace arkbctl

int main(int argc, char **argv) { return arkbctl::run(argc, argv); }
