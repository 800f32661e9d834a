// arksim create and add-blade: a new chassis, or a new blade in one, made
// whole in a folder beside its place and renamed into it (staging.h), after
// every option and the snapshot of --from have been checked.  A refusal or a
// failure on the way leaves the old chassis or the chassis's blades as they
// were; with --force the old chassis goes only once the new one is complete.
#include "cmd_create.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "cmd_fru.h"
#include "cmm/cmm_state.h"
#include "core/bus_time.h"
#include "core/inspect.h"
#include "core/simstate.h"
#include "snapshot_import.h"
#include "staging.h"
#include "userns/userns.h"

namespace arkcli {
namespace {

bool valid_name(const std::string &name)
{
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

// Reads the snapshot of --from; false with the reason printed.
bool load_snapshot(const std::string &path, Snapshot &s)
{
    std::string error;
    if (!read_snapshot(path, s, error))
        return fail("%s", error.c_str()), false;
    return true;
}

void print_import(const std::string &path, const Snapshot &s, const std::vector<std::string> &notes)
{
    std::printf("  from %s (taken by %s", path.c_str(), s.taken_by.c_str());
    if (s.uptime >= 0)
        std::printf(" at uptime %lld s", s.uptime);
    std::puts(")");
    for (const std::string &n : notes)
        std::printf("  note: %s\n", n.c_str());
}

// errno's reason after a failed call of the simulator's.
std::string reason() { return errno != 0 ? std::strerror(errno) : "failed"; }

// The options of create, all checked before anything is read or written.
struct CreatePlan {
    long long type = 3096;
    std::vector<std::pair<std::string, int>> blades;
    long long khz = 0;
    arksim::cmm::Config cmm;
    const std::string *from = nullptr;
};

int plan_create(const Args &args, CreatePlan &p)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    if (const std::string *t = args.get("--type")) {
        bool known = false;
        for (uint16_t code : arksim::kChassisTypes)
            known = known || (parse_number(*t, 0, 65535, p.type) && p.type == code);
        if (!known)
            return usage_error("unknown chassis type %s (1302, 3096, 3074, 3331 or 3073)", t->c_str());
    }
    for (const std::string &blade_arg : args.all("--blade")) {
        auto colon = blade_arg.rfind(':');
        int slot = 0;
        std::string name = blade_arg.substr(0, colon);
        if (colon == std::string::npos || !valid_name(name) || !parse_slot(blade_arg.substr(colon + 1), slot))
            return usage_error("--blade wants NAME:SLOT, not %s", blade_arg.c_str());
        for (const auto &b : p.blades)
            if (b.first == name || b.second == slot)
                return usage_error("two blades named %s or in slot %d", name.c_str(), slot);
        p.blades.emplace_back(name, slot);
    }
    p.from = args.get("--from");
    if (p.from != nullptr && (args.has("--type") || args.has("--blade") || args.has("--identity")))
        return usage_error("--from takes the chassis type, identity and blade from the snapshot");
    if (const std::string *k = args.get("--bus-khz");
        k != nullptr && !parse_number(*k, 0, arksim::kMaxBusKhz, p.khz))
        return usage_error("--bus-khz wants 0 (untimed) to %u, not %s", arksim::kMaxBusKhz, k->c_str());
    if (!check_identity_option(args))
        return 2;
    p.cmm.autostart = args.has("--cmm");
    if (const std::string *pool = args.get("--pool")) {
        long long watts = 0;
        if (!p.cmm.autostart || !parse_number(*pool, 0, arksim::cmm::kMaxPool, watts))
            return usage_error("--pool wants --cmm and watts from 0 to %d", arksim::cmm::kMaxPool);
        p.cmm.pool = static_cast<int>(watts);
    }
    return 0;
}

// Where the new chassis goes: nowhere yet, an empty folder, or (with
// --force) an old chassis; anything else is refused.
bool check_target(const std::string &dir, bool force)
{
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return errno == ENOENT || (fail("cannot look at %s: %s", dir.c_str(), std::strerror(errno)), false);
    if (!S_ISDIR(st.st_mode))
        return fail("%s is no folder; not replacing it", dir.c_str()), false;
    if (is_chassis(dir) && !force)
        return fail("%s already holds a chassis (--force wipes and recreates it)", dir.c_str()), false;
    if (!is_chassis(dir) && !dir_entries(dir).empty())
        return fail("%s is not empty and holds no chassis; not wiping it", dir.c_str()), false;
    return true;
}

// The whole new chassis, in the staging folder `dir`.
bool build_chassis(const Context &ctx, const Args &args, const CreatePlan &p, const Snapshot &snap,
                   std::vector<std::string> &notes)
{
    errno = 0;
    if (!arksim::create_chassis(ctx.chassis, static_cast<uint16_t>(p.type)))
        return fail("cannot create a chassis in %s: %s", ctx.chassis.c_str(), reason().c_str()), false;
    for (const auto &[name, slot] : p.blades)
        if (errno = 0; !arksim::add_blade(ctx.chassis, name, slot))
            return fail("cannot add blade %s to %s: %s", name.c_str(), ctx.chassis.c_str(), reason().c_str()),
                   false;
    if (!apply_identity_option(ctx, args))
        return false;
    if (errno = 0; !arksim::write_bus_khz(ctx.chassis, static_cast<unsigned>(p.khz)))
        return fail("cannot write %s/bus_khz: %s", ctx.chassis.c_str(), reason().c_str()), false;
    std::string error;
    if (p.from != nullptr && (!import_chassis(ctx.chassis, snap, notes, error) ||
                              !import_blade(arksim::blade_dir(ctx.chassis, "sp1"), snap, notes, error) ||
                              !import_slot(ctx.chassis, snap.slot, snap, notes, error)))
        return fail("%s", error.c_str()), false;
    if (!p.cmm.autostart)
        return true;
    if (errno = 0; !arksim::cmm::write_config(ctx.chassis, p.cmm))
        return fail("cannot write %s: %s", arksim::cmm::file(ctx.chassis, "config").c_str(),
                    reason().c_str()),
               false;
    // The imported blade's allotment is the new CMM's grant to its slot.
    const auto watts = p.from != nullptr ? snapshot_allotment(snap) : std::nullopt;
    arksim::cmm::Allotments grants{};
    if (watts && *watts > 0) {
        grants[static_cast<std::size_t>(snap.slot)] = static_cast<int>(*watts);
        if (errno = 0; !arksim::cmm::write_allotments(ctx.chassis, grants))
            return fail("cannot write %s: %s", arksim::cmm::file(ctx.chassis, "allotments").c_str(),
                        reason().c_str()),
                   false;
    }
    return true;
}

}  // namespace

bool parse_slot(const std::string &text, int &slot)
{
    long long v = 0;
    if (!parse_number(text, 0, 255, v))
        return false;
    slot = static_cast<int>(v);
    return true;
}

int create(const Context &ctx, const Args &args)
{
    CreatePlan p;
    if (const int rc = plan_create(args, p); rc != 0)
        return rc;
    Snapshot snap;
    if (p.from != nullptr) {
        if (!load_snapshot(*p.from, snap))
            return 1;
        if (snap.slot < 0)
            return fail(
                "%s holds no slot byte (unreadable on the SP): add the blade with add-blade NAME SLOT "
                "--from",
                p.from->c_str());
        p.blades.emplace_back("sp1", snap.slot);
        const auto watts = snapshot_allotment(snap);
        if (p.cmm.autostart && watts && *watts > p.cmm.pool)
            return fail("%s: the blade's allotment of %lld W is more than the CMM's pool of %d W (--pool)",
                        p.from->c_str(), *watts, p.cmm.pool);
    }
    if (p.blades.empty())
        p.blades.emplace_back("sp1", 3);
    if (!check_target(ctx.chassis, args.has("--force")))
        return 1;
    if (!namespaces_usable())
        return arksim::kNoUserNamespaces;
    Staging staged;
    std::string error, left;
    if (!staged.begin(ctx.chassis, error))
        return fail("%s", error.c_str());
    Context in_staging = ctx;
    in_staging.chassis = staged.dir();
    std::vector<std::string> notes;
    if (!build_chassis(in_staging, args, p, snap, notes))
        return 1;
    // A CMM serving the old chassis would outlive its folder.
    if (is_chassis(ctx.chassis) && !stop_cmm(ctx.chassis))
        return 1;
    if (!staged.commit(error, left))
        return fail("%s", error.c_str());
    std::printf("chassis %s, type %d\n", ctx.chassis.c_str(), arksim::probe_chassis_type(ctx.chassis));
    for (const auto &[name, slot] : p.blades)
        std::printf("  blade %s in slot %d\n", name.c_str(), slot);
    if (p.from != nullptr)
        print_import(*p.from, snap, notes);
    if (p.cmm.autostart)
        std::printf("  CMM with a pool of %d W, started by `arksim run`\n", p.cmm.pool);
    if (p.khz != 0)
        std::printf("  bus timed at %lld kHz\n", p.khz);
    if (!left.empty())
        std::printf("  note: the old chassis could not be removed whole: %s is left\n", left.c_str());
    return 0;
}

int add_blade(const Context &ctx, const Args &args)
{
    int slot = 0;
    const std::string *from = args.get("--from");
    if (args.pos.size() != 2 && !(from != nullptr && args.pos.size() == 1))
        return usage_error("wants NAME SLOT, or NAME [SLOT] --from FILE");
    const std::string &name = args.pos[0];
    if (!valid_name(name) || (args.pos.size() == 2 && !parse_slot(args.pos[1], slot)))
        return usage_error("bad blade name %s or slot %s", name.c_str(),
                           args.pos.size() == 2 ? args.pos[1].c_str() : "");
    if (!need_chassis(ctx))
        return 1;
    Snapshot snap;
    if (from != nullptr) {
        if (!load_snapshot(*from, snap))
            return 1;
        if (args.pos.size() == 1 && (slot = snap.slot) < 0)
            return fail("%s holds no slot byte (unreadable on the SP): give the SLOT", from->c_str());
    }
    for (const auto &b : arksim::list_blades(ctx.chassis)) {
        if (b.name == name)
            return fail("there is a blade %s already", b.name.c_str());
        if (b.slot == slot)
            return fail("slot %d holds blade %s already", slot, b.name.c_str());
    }
    const std::string dir = arksim::blade_dir(ctx.chassis, name);
    Staging staged;
    std::string error, left;
    std::vector<std::string> notes;
    if (!staged.begin(dir, error))
        return fail("%s", error.c_str());
    errno = 0;
    if (::chmod(staged.dir().c_str(), 0755) != 0 || !arksim::reset_blade(staged.dir()) ||
        !arksim::set_slot(staged.dir(), slot))
        return fail("cannot add blade %s in %s: %s", name.c_str(), staged.dir().c_str(), reason().c_str());
    if (from != nullptr && (!import_blade(staged.dir(), snap, notes, error) ||
                            !import_slot(ctx.chassis, slot, snap, notes, error)))
        return fail("%s", error.c_str());
    if (!staged.commit(error, left))
        return fail("%s", error.c_str());
    std::printf("blade %s in slot %d: %s\n", name.c_str(), slot, dir.c_str());
    if (from != nullptr)
        print_import(*from, snap, notes);
    return 0;
}

}  // namespace arkcli
