// libssbcast.so.1 and libsspollerapi.so.1 stand-ins (one source, two libraries):
// the chassis sensor broadcast's key names and the sensor poller's readings.
// A broadcast sensor's key is "<prefix>/<id0><id1>" in upper-case hex, so the
// P_OVER_WARN sensor (131, 0) is "SSBCAST/CH/8300"; poller readings live in
// <sp>/sensors/<number> as decimal text.
#include <cstdio>

#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "arkb_outside.h"

using namespace arksim;

#ifdef ARKSIM_SSBCAST
extern "C" int ssbcast_sensor_format(const uint8_t *id, char *key, int size, const char *prefix)
{
    Fault f = enter("ssbcast_sensor_format");
    int rc = -1;
    if (f.fail) {
        rc = f.value;
    } else if (id != nullptr && key != nullptr && prefix != nullptr && size > 0) {
        int n = std::snprintf(key, static_cast<std::size_t>(size), "%s/%02X%02X", prefix, id[0], id[1]);
        rc = n > 0 && n < size ? 0 : -1;
    }
    const int out = answer(f, Contract::ZeroSucceeds, rc);
    journal(std::string("ssbcast_sensor_format([") + (id ? hex_bytes({id, 2}) : std::string()) + "], " +
                std::to_string(size) + ", " + quoted(prefix ? prefix : "(null)") + ")",
            out);
    leave(f);
    return out;
}
#endif

#ifdef ARKSIM_SSPOLLER
extern "C" int sspoller_get_shared_sensor_reading(int sensor, int arg, int32_t *reading)
{
    Fault f = enter("sspoller_get_shared_sensor_reading");
    int rc = -1;
    if (f.fail) {
        rc = f.value;
    } else if (reading != nullptr) {
        if (auto v = read_number(sp_path("sensors/" + std::to_string(sensor)))) {
            *reading = static_cast<int32_t>(*v);
            rc = 0;
        }
    }
    count_bus(local(Bus::Sensor, rc == 0 ? 4 : 0));
    const int out = answer(f, Contract::ZeroSucceeds, rc);
    journal("sspoller_get_shared_sensor_reading(" + std::to_string(sensor) + ", " + std::to_string(arg) +
                ")" + (rc == 0 ? " -> " + std::to_string(*reading) : ""),
            out);
    leave(f);
    return out;
}
#endif
