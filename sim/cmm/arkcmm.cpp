// arkcmm: the simulated chassis management module of one chassis.
//
//   arkcmm [--owner PID] [--ready-fd FD] CHASSIS
//
// Runs in the foreground (`arksim cmm start` makes it a daemon); the daemon
// itself is sim/cmm/cmm_daemon.h's.  --ready-fd is closed once it serves (or
// when it fails), for a starter waiting on a pipe; --owner PID ends it when
// that process does.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cmm/cmm_daemon.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: arkcmm [--owner PID] [--ready-fd FD] CHASSIS\n");
    return 2;
}

struct Options {
    std::string chassis;
    int owner = 0;
    int ready_fd = -1;
};

bool parse_args(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--owner" || a == "--ready-fd") && i + 1 < argc) {
            char *end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < 0 || v > INT_MAX)
                return false;
            (a == "--owner" ? o.owner : o.ready_fd) = static_cast<int>(v);
        } else if (o.chassis.empty() && !a.empty() && a[0] != '-') {
            char real[PATH_MAX];
            if (::realpath(a.c_str(), real) == nullptr)
                return false;
            o.chassis = real;
        } else {
            return false;
        }
    }
    return !o.chassis.empty();
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse_args(argc, argv, o))
        return usage();
    return arksim::cmm::run_daemon(o.chassis, o.owner, o.ready_fd);
}
