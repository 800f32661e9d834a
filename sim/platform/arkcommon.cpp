// libarkcommon.so.1 stand-in: the blade's power I2C path.  The budget that a
// slot publishes lives in the chassis, <chassis>/power/slot<N>, as the 4-byte
// big-endian record (hardware-configuration power, permitted power).
#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "arkb_outside.h"

using namespace arksim;

namespace {

std::string budget_file(int handle) { return chassis_path("power/slot" + std::to_string(handle)); }

}  // namespace

extern "C" int ark_pwr_i2c_readpub_bl_budget(int handle, arkb_pwr_budget *budget)
{
    Fault f = enter("ark_pwr_i2c_readpub_bl_budget");
    int rc = -1;
    std::vector<uint8_t> raw;
    if (f.fail) {
        rc = f.value;
    } else if (budget != nullptr && read_file(budget_file(handle), raw) && raw.size() == 4) {
        budget->hwconfig_power = static_cast<uint16_t>(raw[0] << 8 | raw[1]);
        budget->permitted_power = static_cast<uint16_t>(raw[2] << 8 | raw[3]);
        rc = 0;
    }
    count_bus(power_read(rc == 0 ? 4 : 0));
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("ark_pwr_i2c_readpub_bl_budget(" + std::to_string(handle) + ")", out, raw);
    leave(f);
    return out;
}

extern "C" int ark_pwr_i2c_publish(int handle, int hwconfig_power)
{
    Fault f = enter("ark_pwr_i2c_publish");
    int rc = -1;
    if (f.fail) {
        rc = f.value;
    } else if (handle >= 0 && handle < 255) {
        std::vector<uint8_t> raw;
        if (!read_file(budget_file(handle), raw) || raw.size() != 4)
            raw.assign(4, 0);
        raw[0] = static_cast<uint8_t>(hwconfig_power >> 8);
        raw[1] = static_cast<uint8_t>(hwconfig_power);
        make_dirs(chassis_path("power"));
        rc = write_file_atomic(budget_file(handle), raw) ? 0 : -1;
    }
    count_write(power_write(2));
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("ark_pwr_i2c_publish(" + std::to_string(handle) + ", " + std::to_string(hwconfig_power) + ")",
            out);
    leave(f);
    return out;
}

extern "C" int ark_pwr_i2c_test(int handle)
{
    Fault f = enter("ark_pwr_i2c_test");
    int rc = f.fail ? f.value : (handle >= 0 && handle < 255 ? 0 : -1);
    count_bus(power_read(0));
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("ark_pwr_i2c_test(" + std::to_string(handle) + ")", out);
    leave(f);
    return out;
}
