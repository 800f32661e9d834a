// arksim run: a program run as a blade's SP.
#include "arksim_cli.h"
#include "program_env.h"
#include "sandbox/sandbox.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

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
    if (!prepare_sp(c, b))
        return arksim::kSetupFailed;
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
