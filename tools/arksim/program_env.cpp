// What a program run as a blade's SP needs to find, beside what it was
// built with:
//   - the stand-in platform libraries.  An installed arksim keeps them in a
//     folder of their own (ARKSIM_INSTALLED_LIBDIR, relative to arksim's
//     folder) so that they never shadow a real SP's; they go first in
//     LD_LIBRARY_PATH.  A build tree has no such folder: its programs carry
//     the run path to build/sim/lib.
//   - the installed libarkblade.so.1 (ARKSIM_INSTALLED_ARKBLADE_LIBDIR), for a
//     program linked the documented way against a prefix outside the system
//     folders, with no run path; after what LD_LIBRARY_PATH held, so that a
//     caller's own choice wins.
//   - the arkbctl installed beside arksim: its folder goes first in PATH.
#include "program_env.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace arkcli {
namespace {

bool has_file(const std::string &dir, const char *name)
{
    return ::access((dir + "/" + name).c_str(), R_OK) == 0;
}

// `var` with `first` before and `last` after what it holds (either may be empty).
void extend_path_var(const char *var, const std::string &first, const std::string &last)
{
    const char *old = std::getenv(var);
    std::string value = old != nullptr ? old : "";
    if (!first.empty())
        value = value.empty() ? first : first + ":" + value;
    if (!last.empty())
        value = value.empty() ? last : value + ":" + last;
    if (!value.empty())
        ::setenv(var, value.c_str(), 1);
}

void reach_installed_tree()
{
    const std::string dir = exe_dir();
    if (dir.empty())
        return;
    const std::string platform = dir + ARKSIM_INSTALLED_LIBDIR;
    if (!has_file(platform, "libmemstore.so.1"))
        return;
    const std::string library = dir + ARKSIM_INSTALLED_ARKBLADE_LIBDIR;
    extend_path_var("LD_LIBRARY_PATH", platform, has_file(library, "libarkblade.so.1") ? library : "");
    if (has_file(dir, "arkbctl"))
        extend_path_var("PATH", dir.substr(0, dir.size() - 1), "");
}

}  // namespace

std::string exe_dir()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    const std::string exe(self, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

bool prepare_sp(const Context &ctx, arksim::BladeInfo &b)
{
    if (!pick_blade(ctx, b) || !start_configured_cmm(ctx.chassis))
        return false;
    reach_installed_tree();
    return true;
}

}  // namespace arkcli
