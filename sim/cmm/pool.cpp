// The CMM's power pool: what is left of it, and the decision on a request.
#include "cmm_daemon.h"

namespace arksim::cmm {

long free_watts(const Daemon &d)
{
    long used = 0;
    for (int w : d.allot)
        used += w;
    return d.config.pool - used;
}

std::string decide(Daemon &d, int slot, int watts)
{
    int &mine = d.allot[static_cast<std::size_t>(slot)];
    // The blade's allotment is its latest grant: the request replaces it.
    long room = free_watts(d) + mine;
    std::string reply = "NO";
    mine = 0;
    if (watts == 0 || room >= watts) {
        mine = watts;
        reply = "OK " + std::to_string(watts);
    }
    if (!write_allotments(d.chassis, d.allot))
        note("cannot write %s", file(d.chassis, "allotments").c_str());
    return reply;
}

}  // namespace arksim::cmm
