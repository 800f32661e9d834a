// libsysutil.so.1 stand-in: the SP's uptime clock and the PCA9501 DT read.
// <sp>/uptime holds "<n>" (frozen at n seconds, for tests) or "boot <epoch>"
// (running since that host time).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "arkb_outside.h"

using namespace arksim;

extern "C" int32_t uptime(void)
{
    Fault f = enter("uptime");
    long long secs = 0;
    std::vector<uint8_t> raw;
    if (f.fail || f.done) {
        secs = f.value;
    } else if (read_file(sp_path("uptime"), raw)) {
        std::string text(raw.begin(), raw.end());
        long long v = 0;
        if (std::sscanf(text.c_str(), "boot %lld", &v) == 1)
            secs = static_cast<long long>(std::time(nullptr)) - v;
        else if (std::sscanf(text.c_str(), "%lld", &v) == 1)
            secs = v;
    }
    if (secs < 0)
        secs = 0;
    if (secs > INT32_MAX)
        secs = INT32_MAX;
    journal("uptime()", secs);
    leave(f);
    return static_cast<int32_t>(secs);
}

extern "C" int pca_read_i2c_blade_dt(int slot, uint32_t *dt)
{
    Fault f = enter("pca_read_i2c_blade_dt");
    int rc = 0;
    if (f.fail)
        rc = f.value;
    else if (dt == nullptr)
        rc = -1;
    else
        *dt = static_cast<uint32_t>(read_number(sp_path("pca9501_dt")).value_or(0));
    count_bus(dt_read(rc >= 0 ? 4 : 0));
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("pca_read_i2c_blade_dt(" + std::to_string(slot) + ")" +
                (rc >= 0 && dt != nullptr ? " -> " + std::to_string(*dt) : ""),
            out);
    leave(f);
    return out;
}
