// The CMM's side of the network configuration mailbox (cmd_mailbox.cpp).
#ifndef ARKSIM_CMD_MAILBOX_H
#define ARKSIM_CMD_MAILBOX_H

#include "arksim_cli.h"

namespace arkcli {

std::span<const Command> mailbox_commands();  // mailbox

}  // namespace arkcli

#endif
