// The set-up of a program run as a blade's SP, one for `arksim run` and
// `arksim replay` alike.
#ifndef ARKSIM_PROGRAM_ENV_H
#define ARKSIM_PROGRAM_ENV_H

#include <string>

#include "arksim_cli.h"

namespace arkcli {

// arksim's own folder, with its trailing '/'; empty when it cannot be told.
std::string exe_dir();

// Picks the blade (--blade/--slot, as pick_blade), starts the chassis's CMM
// when it is configured to have one, and gives the program what it needs to
// find beside what it was built with (see program_env.cpp).  False, with the
// error printed, when the SP cannot be set up.
bool prepare_sp(const Context &ctx, arksim::BladeInfo &b);

}  // namespace arkcli

#endif
