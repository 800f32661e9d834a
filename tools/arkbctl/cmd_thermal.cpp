// thermal (override flag) and tcontrol (control value).
#include <cstdint>
#include <cstdio>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

int thermal_show(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t v = 0;
    int r = arkb_get_thermovrd(&v);
    if (r == 0)
        std::printf("arkb_get_thermovrd: %d, override %u (%s)\n", r, v, v != 0 ? "on" : "off");
    else
        std::printf("arkb_get_thermovrd: %d\n", r);
    return status(r);
}

int thermal_set(Args &a)
{
    long long v = 0;
    if (!want(a, 1, 1) || !number_arg("value", a[0], 0, 1, &v))
        return kExitUsage;
    int r = arkb_set_thermovrd(static_cast<uint8_t>(v));
    std::printf("arkb_set_thermovrd: %d, override %lld\n", r, v);
    return status(r);
}

int tcontrol_show(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int32_t v = 0;
    int r = arkb_get_tcontrol(&v);
    if (r == 0)
        std::printf("arkb_get_tcontrol: %d, tcontrol %d\n", r, static_cast<int>(v));
    else
        std::printf("arkb_get_tcontrol: %d\n", r);
    return status(r);
}

int tcontrol_set(Args &a)
{
    int32_t v = 0;
    if (!want(a, 1, 1) || !num("N", a[0], &v))
        return kExitUsage;
    int r = arkb_set_tcontrol(v);
    std::printf("arkb_set_tcontrol: %d, tcontrol %d\n", r, static_cast<int>(v));
    return status(r);
}

}  // namespace

int cmd_thermal(Args &a)
{
    static const Sub kSubs[] = {{"show", thermal_show}, {"set", thermal_set}};
    return run_sub(kSubs, a, "show");
}

int cmd_tcontrol(Args &a)
{
    // `arkbctl tcontrol N` is short for `arkbctl tcontrol set N`.
    long long v = 0;
    if (a.size() == 1 && parse_number(a[0], INT32_MIN, INT32_MAX, &v))
        return tcontrol_set(a);
    static const Sub kSubs[] = {{"show", tcontrol_show}, {"set", tcontrol_set}};
    return run_sub(kSubs, a, "show");
}

}  // namespace arkbctl
