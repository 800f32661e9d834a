// Blade state and log output: slot, chassis-type, device-type, sas,
// cmm-ready, fru-read, log.
#include <cstdio>
#include <cstring>
#include <string>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

int slot_get(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t slot = 0;
    int r = arkb_get_slotid(&slot);
    if (r == 0)
        std::printf("arkb_get_slotid: %d, slot %u\n", r, slot);
    else
        std::printf("arkb_get_slotid: %d\n", r);
    return status(r);
}

int slot_read(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t slot = 0;
    int r = arkb_read_slotid(&slot);
    if (r == 0)
        std::printf("arkb_read_slotid: %d, slot %u\n", r, slot);
    else
        std::printf("arkb_read_slotid: %d\n", r);
    return status(r);
}

int slot_store(Args &a)
{
    uint8_t slot = 0;
    if (!want(a, 1, 1) || !num("N", a[0], &slot))
        return kExitUsage;
    int r = arkb_store_slotid(slot);
    std::printf("arkb_store_slotid: %d, slot %u\n", r, slot);
    return status(r);
}

int sas_get(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint32_t caps = arkb_get_sas_cap();
    std::printf("arkb_get_sas_cap: %u (0x%08x)\n", caps, caps);
    return 0;
}

// memstore's own 1 means stored.
int sas_set(Args &a)
{
    uint32_t caps = 0;
    if (!want(a, 1, 1) || !num("WORD", a[0], &caps))
        return kExitUsage;
    int r = arkb_set_sas_cap(caps);
    std::printf("arkb_set_sas_cap: %d, caps 0x%08x%s\n", r, caps, r == 1 ? " (stored)" : "");
    return r == 1 ? 0 : status(r);
}

// A -1 from a getter needs no "(0x...)" decoration of the value.
void print_type(const char *fn, int r, uint32_t type)
{
    if (r == 0)
        std::printf("%s: %d, type %u (0x%08x)\n", fn, r, type, type);
    else
        std::printf("%s: %d\n", fn, r);
}

const char *priority_name(int p)
{
    static const char *const kNames[] = {"emerg",   "alert",  "crit", "err",
                                         "warning", "notice", "info", "debug"};
    return p >= 0 && p < 8 ? kNames[p] : "?";
}

bool parse_priority(const char *s, int *out)
{
    for (int p = 0; p < 8; ++p) {
        if (std::strcmp(s, priority_name(p)) == 0) {
            *out = p;
            return true;
        }
    }
    return num("priority", s, out);
}

}  // namespace

int cmd_slot(Args &a)
{
    static const Sub kSubs[] = {{"get", slot_get}, {"read", slot_read}, {"store", slot_store}};
    return run_sub(kSubs, a);
}

int cmd_chassis_type(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint32_t type = 0;
    int r = arkb_get_chassis_type(&type);
    print_type("arkb_get_chassis_type", r, type);
    return status(r);
}

int cmd_device_type(Args &a)
{
    bool read = take_flag(a, "--read");
    if (!want(a, 0, 0))
        return kExitUsage;
    if (read) {
        int r = arkb_read_device_type();
        std::printf("arkb_read_device_type: %d\n", r);
        return status(r);
    }
    uint32_t type = 0;
    int r = arkb_get_device_type(&type);
    print_type("arkb_get_device_type", r, type);
    return status(r);
}

int cmd_sas(Args &a)
{
    static const Sub kSubs[] = {{"get", sas_get}, {"set", sas_set}};
    return run_sub(kSubs, a);
}

int cmd_cmm_ready(Args &a)
{
    bool update = take_flag(a, "--update");
    if (!want(a, 0, 0))
        return kExitUsage;
    if (update) {
        arkb_update_cmm_ready();
        std::printf("arkb_update_cmm_ready: done\n");
    }
    int r = arkb_is_cmm_ready();
    std::printf("arkb_is_cmm_ready: %d (%s)\n", r, r == 1 ? "ready" : "not ready");
    return r == 1 ? 0 : kExitFail;
}

int cmd_fru_read(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_fru_read();
    std::printf("arkb_fru_read: %d\n", r);
    return status(r);
}

int cmd_log(Args &a)
{
    int priority = 0;
    if (!want(a, 2, static_cast<size_t>(-1)) || !parse_priority(a[0], &priority))
        return kExitUsage;
    std::string text = a[1];
    for (size_t i = 2; i < a.size(); ++i)
        text.append(" ").append(a[i]);
    arkb_output(priority, "%s", text.c_str());
    std::printf("arkb_output: priority %d (%s), %zu chars\n", priority, priority_name(priority), text.size());
    return 0;
}

}  // namespace arkbctl
