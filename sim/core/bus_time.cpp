// The bus speed setting of a chassis and the sleep of a timed transaction.
#include "bus_time.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

#include "call_settings.h"

namespace arksim {

unsigned read_bus_khz(const std::string &chassis)
{
    const auto v = read_number(chassis + "/bus_khz");
    return v && *v > 0 && *v <= kMaxBusKhz ? static_cast<unsigned>(*v) : 0;
}

bool write_bus_khz(const std::string &chassis, unsigned khz)
{
    if (khz > kMaxBusKhz)
        return false;
    const std::string path = chassis + "/bus_khz";
    const bool written = khz == 0 ? ::unlink(path.c_str()) == 0 || errno == ENOENT
                                  : write_text(path, std::to_string(khz) + "\n");
    note_change(chassis);
    return written;
}

void spend_bus_time(uint64_t ns)
{
    if (ns == 0)
        return;
    timespec left{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace arksim
