// Whether this arksim can give its blades and CMM their namespaces.
#include "arksim_cli.h"
#include "userns/userns.h"

namespace arkcli {

bool namespaces_usable()
{
    std::string err;
    if (arksim::privileged() || arksim::userns_available(err))
        return true;
    fail("%s", err.c_str());
    return false;
}

}  // namespace arkcli
