// arksim show --json: the whole chassis as one JSON document (its fields are
// described in man/arksim-show.1).
#ifndef ARKSIM_SHOW_JSON_H
#define ARKSIM_SHOW_JSON_H

#include <string>

namespace arkcli {

void print_chassis_json(const std::string &chassis);

}  // namespace arkcli

#endif
