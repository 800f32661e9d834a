// arksim run: a program run as a blade's SP.
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "arksim_cli.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

// An installed arksim keeps the stand-in platform libraries in a folder of
// their own (ARKSIM_INSTALLED_LIBDIR, relative to arksim's folder) so that they
// never shadow a real SP's; the programs it runs find them there.  A build
// tree has no such folder: its programs carry the run path to build/sim/lib.
void use_installed_platform_libs()
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    std::string exe(self, static_cast<std::size_t>(n));
    std::string dir = exe.substr(0, exe.rfind('/') + 1) + ARKSIM_INSTALLED_LIBDIR;
    if (::access((dir + "/libmemstore.so.1").c_str(), R_OK) != 0)
        return;
    const char *old = std::getenv("LD_LIBRARY_PATH");
    std::string path = old != nullptr && *old != '\0' ? dir + ":" + old : dir;
    ::setenv("LD_LIBRARY_PATH", path.c_str(), 1);
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
    use_installed_platform_libs();
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
     "chassis was created with --cmm) its own interface eth0 with the address\n"
     "its slot's own address (slot 3: 169.254.10.103) on the CMM's bridge; without it, loopback\n"
     "alone, also answering 169.254.10.1.\n"
     "ARKSIM_SP names the blade's folder, ARKSIM_SANDBOX is 1; an installed arksim\n"
     "puts its stand-in platform libraries first in LD_LIBRARY_PATH.  The rest of\n"
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
