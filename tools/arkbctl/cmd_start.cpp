// init-mp, init, boot: the two start-up calls.
#include <cstdio>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

int cmd_init_mp(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_initialize_mp();
    std::printf("arkb_initialize_mp: %d\n", r);
    return status(r);
}

int cmd_init(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_initialize();
    std::printf("arkb_initialize: %d\n", r);
    return status(r);
}

int cmd_boot(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_initialize_mp();
    std::printf("arkb_initialize_mp: %d\n", r);
    if (r != 0) {
        std::printf("arkb_initialize: not called\n");
        return status(r);
    }
    r = arkb_initialize();
    std::printf("arkb_initialize: %d\n", r);
    return status(r);
}

}  // namespace arkbctl
