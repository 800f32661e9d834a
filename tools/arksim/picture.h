// The chassis drawn for a terminal: one column per blade with what the blade
// knows about itself, and the CMM's power pool.
#ifndef ARKSIM_PICTURE_H
#define ARKSIM_PICTURE_H

#include <string>

namespace arkcli {

void draw_chassis(const std::string &chassis);

}  // namespace arkcli

#endif
