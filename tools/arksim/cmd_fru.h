// The FRU side of arksim (cmd_fru.cpp): the chassis identity, the blade's
// EEPROM section decoded, and moving a blade into another chassis.
#ifndef ARKSIM_CMD_FRU_H
#define ARKSIM_CMD_FRU_H

#include "arksim_cli.h"

namespace arkcli {

std::span<const Command> fru_commands();  // identity fru

// `create --identity PART:SERIAL:DASH`.  Checked before the chassis is made
// (false, with the usage error printed, when malformed), written after.
bool check_identity_option(const Args &args);
bool apply_identity_option(const Context &ctx, const Args &args);

// `move [BLADE] --to-chassis DIR [--to-slot N]`: the blade leaves ctx.chassis.
int move_to_chassis(const Context &ctx, const Args &args);

}  // namespace arkcli

#endif
