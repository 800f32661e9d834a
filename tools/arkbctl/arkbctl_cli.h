// Command plumbing: the command table entry, subcommand dispatch, exit
// statuses and the command families (one source file each).
#ifndef ARKBCTL_CLI_H
#define ARKBCTL_CLI_H

#include <span>

#include "args.h"

namespace arkbctl {

// Exit statuses: 0 success, 1 the library reported failure, 2 bad usage.
constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;

using RunFn = int (*)(Args &a);

struct Command {
    const char *name;
    RunFn run;
    const char *summary;
    const char *usage;  // full help text
};

struct Sub {
    const char *name;
    RunFn run;
};

// The command being run, for error messages (set by main).
void set_command(const Command *c);

// Prints "arkbctl CMD: message" and a pointer to --help on stderr; returns kExitUsage.
int usage_error(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Takes the subcommand name off a and runs it; an empty a runs dflt (if any).
int run_sub(std::span<const Sub> subs, Args &a, const char *dflt = nullptr);

// 0 -> 0; anything else prints "result: N" on stderr and gives kExitFail.
int status(int r);

// Same for results that count bytes: r >= 0 succeeds.
int count_status(int r);

// Command families.
int cmd_init_mp(Args &a);
int cmd_init(Args &a);
int cmd_boot(Args &a);
int cmd_slot(Args &a);
int cmd_chassis_type(Args &a);
int cmd_device_type(Args &a);
int cmd_sas(Args &a);
int cmd_cmm_ready(Args &a);
int cmd_fru_read(Args &a);
int cmd_log(Args &a);
int cmd_mp(Args &a);
int cmd_platform(Args &a);
int cmd_thermal(Args &a);
int cmd_tcontrol(Args &a);
int cmd_power(Args &a);
int cmd_netconf(Args &a);
int cmd_instrec(Args &a);
int cmd_fru(Args &a);

}  // namespace arkbctl

#endif
