// libi2c.so.1 stand-in: the motherboard FRU EEPROM, a 24C128 on bus 4 at
// 0xA0 (8-bit form), kept in <sp>/eeprom.bin.  Reads go out in transfers of
// at most `unit` bytes; writes also stop at every 64-byte page boundary, as
// the real part's page buffer wraps there.
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "core/unique_fd.h"
#include "arkb_outside.h"

using namespace arksim;

namespace {

constexpr int kFruBus = 4;
constexpr int kFruAddress = 0xA0;
constexpr unsigned kPageSize = 64;

bool device_ok(int bus, int addr, int width, int unit, unsigned len, unsigned offset)
{
    return bus == kFruBus && addr == kFruAddress && width == 16 && unit > 0 && offset <= kEepromSize &&
           len <= kEepromSize - offset;
}

std::string call(const char *name, int bus, int s1, int s2, int addr, unsigned len, unsigned off, int width,
                 int unit)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s(%d, %d, %d, 0x%02x, %u, %u, %d, %d)", name, bus, s1, s2, addr, len,
                  off, width, unit);
    return buf;
}

}  // namespace

extern "C" int elm_i2c_blk_read_on_bus(int bus, int sel1, int sel2, int addr, uint8_t *buf, unsigned len,
                                       unsigned offset, int width, int unit)
{
    Fault f = enter("elm_i2c_blk_read_on_bus");
    int rc = -1;
    if (f.fail) {
        rc = f.value;
    } else if (buf != nullptr && device_ok(bus, addr, width, unit, len, offset)) {
        UniqueFd fd(::open(sp_path("eeprom.bin").c_str(), O_RDONLY | O_CLOEXEC));
        rc = static_cast<int>(len);
        for (unsigned done = 0; done < len && rc >= 0;) {
            unsigned chunk = std::min<unsigned>(static_cast<unsigned>(unit), len - done);
            ssize_t n = fd ? ::pread(fd.get(), buf + done, chunk, offset + done) : 0;
            if (n < 0)
                rc = -1;
            else
                std::fill(buf + done + n, buf + done + chunk, 0xFF);  // blank past the file
            count_bus(eeprom_read(chunk));
            done += chunk;
        }
    }
    const int out = answer(f, Contract::NegativeFails, rc, {static_cast<int>(len)});
    journal(call("elm_i2c_blk_read_on_bus", bus, sel1, sel2, addr, len, offset, width, unit), out,
            rc >= 0 ? std::span<const uint8_t>(buf, len) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int elm_i2c_blk_write_on_bus(int bus, int sel1, int sel2, int addr, const uint8_t *buf,
                                        unsigned len, unsigned offset, int width, int unit)
{
    Fault f = enter("elm_i2c_blk_write_on_bus");
    int rc = -1;
    if (f.fail) {
        rc = f.value;
    } else if ((buf != nullptr || len == 0) && device_ok(bus, addr, width, unit, len, offset)) {
        UniqueFd fd(::open(sp_path("eeprom.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        rc = fd ? static_cast<int>(len) : -1;
        for (unsigned done = 0; done < len && rc >= 0;) {
            unsigned at = offset + done;
            unsigned room = kPageSize - at % kPageSize;
            unsigned chunk =
                cut_within(f, done, len, std::min({static_cast<unsigned>(unit), len - done, room}));
            if (chunk > 0 && ::pwrite(fd.get(), buf + done, chunk, at) != static_cast<ssize_t>(chunk))
                rc = -1;
            if (chunk > 0)
                count_write(eeprom_write(chunk));
            done += chunk;
            if (f.cut)
                break;  // the power is gone: nothing more reaches the device
        }
    }
    const int out = answer(f, Contract::NegativeFails, rc, {static_cast<int>(len)});
    journal(call("elm_i2c_blk_write_on_bus", bus, sel1, sel2, addr, len, offset, width, unit), out,
            buf != nullptr ? std::span<const uint8_t>(buf, len) : std::span<const uint8_t>{});
    leave(f);
    return out;
}
