// arksim run: a program run as a blade's SP.
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "arksim_cli.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

// What the program run needs to find, beside what it was built with:
//   - the stand-in platform libraries.  An installed arksim keeps them in a
//     folder of their own (ARKSIM_INSTALLED_LIBDIR, relative to arksim's
//     folder) so that they never shadow a real SP's; they go first in
//     LD_LIBRARY_PATH.  A build tree has no such folder: its programs carry
//     the run path to build/sim/lib.
//   - the installed libarkblade.so.1 (ARKSIM_INSTALLED_ARKBLADE_LIBDIR), for a
//     program linked the documented way against a prefix outside the system
//     folders, with no run path; after what LD_LIBRARY_PATH held, so that a
//     caller's own choice wins.
//   - the arkbctl installed beside arksim: its folder goes first in PATH.
std::string exe_dir()
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    std::string exe(self, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

bool has_file(const std::string &dir, const char *name)
{
    return ::access((dir + "/" + name).c_str(), R_OK) == 0;
}

// `var` with `first` before and `last` after what it holds (either may be empty).
void extend_path_var(const char *var, const std::string &first, const std::string &last)
{
    const char *old = std::getenv(var);
    std::string value = old != nullptr ? old : "";
    if (!first.empty())
        value = value.empty() ? first : first + ":" + value;
    if (!last.empty())
        value = value.empty() ? last : value + ":" + last;
    if (!value.empty())
        ::setenv(var, value.c_str(), 1);
}

void reach_installed_tree()
{
    const std::string dir = exe_dir();
    if (dir.empty())
        return;
    const std::string platform = dir + ARKSIM_INSTALLED_LIBDIR;
    if (!has_file(platform, "libmemstore.so.1"))
        return;
    const std::string library = dir + ARKSIM_INSTALLED_ARKBLADE_LIBDIR;
    extend_path_var("LD_LIBRARY_PATH", platform, has_file(library, "libarkblade.so.1") ? library : "");
    if (has_file(dir, "arkbctl"))
        extend_path_var("PATH", dir.substr(0, dir.size() - 1), "");
}

int run(const Context &ctx, const Args &args)
{
    if (args.pos.empty())
        return usage_error("wants the program to run: arksim run -- CMD ARGS...");
    if (!namespaces_usable())
        return arksim::kNoUserNamespaces;
    Context c = ctx;
    if (const std::string *dir = args.get("--new-chassis")) {
        c.chassis = absolute_path(*dir);
        if (!stop_cmm(c.chassis) || !fresh_chassis(c.chassis, 3096, {{"sp1", 3}}))
            return arksim::kSetupFailed;
    }
    arksim::BladeInfo b;
    if (!pick_blade(c, b) || !start_configured_cmm(c.chassis))
        return arksim::kSetupFailed;
    reach_installed_tree();
    return arksim::run_in_sandbox(b.dir, args.pos);
}

constexpr Opt kRunOpts[] = {
    {"--new-chassis", "DIR",
     "first wipe DIR and make a fresh chassis there (type 3096,\n"
     "                         blade sp1 in slot 3), and use it"},
};

constexpr Command kCommands[] = {
    {"run", "[--blade NAME | --slot N] [--new-chassis DIR] -- CMD [ARGS...]", "run a program as a blade's SP",
     "The program sees the blade's /conf, /persist, /dev/shm and /usr/local/bin, its\n"
     "/dev/log goes to the blade's log (`arksim log`), and its network is the\n"
     "chassis network: with the CMM running (`arksim cmm`, started here when the\n"
     "chassis was created with --cmm) its own interface eth0 on the CMM's bridge,\n"
     "with its slot's address (slot 3: 169.254.10.103); without it, loopback alone,\n"
     "also answering 169.254.10.1.\n"
     "ARKSIM_SP names the blade's folder, ARKSIM_SANDBOX is 1.  An installed arksim\n"
     "puts its stand-in platform libraries first in LD_LIBRARY_PATH and the\n"
     "installed libarkblade.so.1's folder last, and its own folder (arkbctl's)\n"
     "first in PATH: a program built with `pkg-config --cflags --libs arkblade`\n"
     "runs as it is, and `arksim run -- arkbctl boot` finds arkbctl.  The rest of\n"
     "the host's files are the same as outside.\n\n"
     "Without root's privileges, all of it happens in a user namespace where the\n"
     "program is root (uid and gid 0) and its files are the caller's outside.\n\n"
     "Exit status: the program's (128 + N when killed by signal N); 125 when the\n"
     "SP could not be set up; 126/127 when CMD could not be started; 123 when\n"
     "user namespaces, needed without root, are not available.",
     kRunOpts, true, run},
};

}  // namespace

std::span<const Command> run_commands() { return kCommands; }

}  // namespace arkcli
