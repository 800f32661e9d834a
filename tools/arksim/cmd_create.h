// arksim create and add-blade (cmd_create.cpp), in the table of cmd_chassis.cpp.
#ifndef ARKSIM_CMD_CREATE_H
#define ARKSIM_CMD_CREATE_H

#include <string>

#include "arksim_cli.h"

namespace arkcli {

int create(const Context &ctx, const Args &args);
int add_blade(const Context &ctx, const Args &args);
// A slot byte, 0..255.
bool parse_slot(const std::string &text, int &slot);

}  // namespace arkcli

#endif
