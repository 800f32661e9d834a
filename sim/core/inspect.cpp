// Reading back what a simulated chassis looks like to a blade.
#include "inspect.h"

#include "chassis.h"

namespace arksim {

uint16_t probe_chassis_type(const std::string &chassis)
{
    if (int v = read_register(chassis, 0x9C); v >= 0)
        return v == 0x10 ? 1302 : 3096;
    if (read_register(chassis, 0x4C) >= 0)
        return 3074;
    if (read_register(chassis, 0x7E) >= 0)
        return 3331;
    return 3073;
}

}  // namespace arksim
