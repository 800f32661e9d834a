// Finding the chassis and the blade a subcommand works on.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "arksim_cli.h"
#include "core/call_settings.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

bool is_dir(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_empty_dir(const std::string &path)
{
    DIR *d = ::opendir(path.c_str());
    if (d == nullptr)
        return false;
    int n = 0;
    while (struct dirent *e = ::readdir(d))
        n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
    ::closedir(d);
    return n == 0;
}

std::string real(const std::string &path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

}  // namespace

bool is_chassis(const std::string &dir) { return is_dir(dir + "/registers") || is_dir(dir + "/blades"); }

bool need_chassis(const Context &ctx)
{
    if (is_chassis(ctx.chassis))
        return true;
    fail("no chassis in %s (make one with `arksim create`, or choose one with -C DIR)", ctx.chassis.c_str());
    return false;
}

bool blade_given(const Context &ctx) { return !ctx.blade.empty() || ctx.slot >= 0; }

int take_blade_argument(const Context &ctx, const Args &args, Context &c)
{
    c = ctx;
    if (args.pos.size() > 1)
        return usage_error("unexpected argument %s", args.pos[1].c_str());
    if (args.pos.size() == 1)
        c.blade = args.pos[0];
    return -1;
}

int pick_blade_argument(const Context &ctx, const Args &args, arksim::BladeInfo &b)
{
    Context c;
    if (int rc = take_blade_argument(ctx, args, c); rc >= 0)
        return rc;
    return pick_blade(c, b) ? -1 : 1;
}

bool pick_blade(const Context &ctx, arksim::BladeInfo &out)
{
    if (!need_chassis(ctx))
        return false;
    std::vector<arksim::BladeInfo> blades = arksim::list_blades(ctx.chassis);
    const char *env = std::getenv(arksim::kSpEnv);
    std::string env_sp = env != nullptr && env[0] != '\0' ? real(env) : "";
    const arksim::BladeInfo *pick = nullptr;
    for (const auto &b : blades) {
        bool match = !ctx.blade.empty() ? b.name == ctx.blade
                     : ctx.slot >= 0    ? b.slot == ctx.slot
                                        : real(b.dir) == env_sp;
        if (match && pick == nullptr)
            pick = &b;
    }
    // Several blades and none named: which one is meant is the caller's to say.
    if (pick == nullptr && !blade_given(ctx) && blades.size() > 1) {
        std::string names;
        for (const auto &b : blades)
            names += (names.empty() ? "" : ", ") + b.name +
                     (b.slot >= 0 ? " (slot " + std::to_string(b.slot) + ")" : std::string());
        fail("the chassis has %zu blades, %s: name one with --blade NAME or --slot N", blades.size(),
             names.c_str());
        return false;
    }
    if (pick == nullptr && !blade_given(ctx) && !blades.empty())
        pick = &blades.front();
    if (pick == nullptr) {
        if (!ctx.blade.empty())
            fail("no blade named %s in %s", ctx.blade.c_str(), ctx.chassis.c_str());
        else if (ctx.slot >= 0)
            fail("no blade in slot %d of %s", ctx.slot, ctx.chassis.c_str());
        else
            fail("the chassis %s has no blades (add one with `arksim add-blade`)", ctx.chassis.c_str());
        return false;
    }
    out = *pick;
    return true;
}

bool fresh_chassis(const std::string &dir, uint16_t type,
                   const std::vector<std::pair<std::string, int>> &blades)
{
    if (is_dir(dir) && !is_chassis(dir) && !is_empty_dir(dir)) {
        fail("%s is not empty and holds no chassis; not wiping it", dir.c_str());
        return false;
    }
    // Programs running on the old blades take up the new ones' files.
    const arksim::ChangeNotice replaced(dir);
    if (!arksim::remove_tree(dir) || !arksim::create_chassis(dir, type)) {
        fail("cannot create a chassis in %s", dir.c_str());
        return false;
    }
    for (const auto &[name, slot] : blades)
        if (!arksim::add_blade(dir, name, slot)) {
            fail("cannot add blade %s to %s", name.c_str(), dir.c_str());
            return false;
        }
    return true;
}

}  // namespace arkcli
