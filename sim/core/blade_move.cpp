// Moving blades between slots and chassis, and what the SP loses on the way.
#include "blade_move.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "call_settings.h"
#include "chassis.h"
#include "simstate.h"

namespace arksim {
namespace {

namespace fs = std::filesystem;

std::string real(const std::string &path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

const BladeInfo *find_blade(const std::vector<BladeInfo> &blades, const std::string &name)
{
    for (const BladeInfo &b : blades)
        if (b.name == name)
            return &b;
    return nullptr;
}

// Copies a folder tree; sockets and FIFOs (the log socket `arksim run`
// makes afresh each time) are left behind.
bool copy_tree(const std::string &from, const std::string &to, std::string &why)
{
    struct stat st {};
    std::error_code ec;
    if (::lstat(from.c_str(), &st) != 0) {
        why = from + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.c_str(), st.st_mode & 07777) != 0) {
            why = to + ": " + std::strerror(errno);
            return false;
        }
        for (const auto &entry : fs::directory_iterator(from, ec))
            if (!copy_tree(entry.path().string(), to + "/" + entry.path().filename().string(), why))
                return false;
    } else if (S_ISREG(st.st_mode)) {
        fs::copy_file(from, to, ec);
    } else if (S_ISLNK(st.st_mode)) {
        fs::copy_symlink(from, to, ec);
    }
    if (ec)
        why = to + ": " + ec.message();
    return !ec;
}

// The blade's folder to its new place; across file systems by copying.
bool relocate(const std::string &from, const std::string &to, std::string &why)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno != EXDEV) {
        why = std::strerror(errno);
        return false;
    }
    if (!copy_tree(from, to, why)) {
        remove_tree(to);
        return false;
    }
    if (!remove_tree(from))
        why = "copied, but the old folder " + from + " could not be removed";
    return why.empty();
}

bool clear_dir(const std::string &dir)
{
    bool ok = make_dirs(dir);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        ok = remove_tree(entry.path().string()) && ok;
    return ok && !ec;
}

MoveResult failed(std::string why) { return {std::move(why), {}}; }

}  // namespace

MoveResult move_to_slot(const std::string &chassis, const std::string &name, int slot)
{
    const auto blades = list_blades(chassis);
    const BladeInfo *b = find_blade(blades, name);
    if (b == nullptr)
        return failed("no blade " + name + " in " + chassis);
    for (const BladeInfo &other : blades)
        if (other.slot == slot && other.name != name)
            return failed("slot " + std::to_string(slot) + " holds blade " + other.name + " already");
    if (!set_slot(b->dir, slot))
        return failed("cannot write the slot of blade " + name);
    return {{}, b->dir};
}

MoveResult move_to_chassis(const std::string &from, const std::string &name, const std::string &to, int slot)
{
    const auto blades = list_blades(from);
    const BladeInfo *b = find_blade(blades, name);
    if (b == nullptr)
        return failed("no blade " + name + " in " + from);
    if (real(to) == real(from))
        return failed("blade " + name + " is in " + to + " already");
    if (slot < 0)
        slot = b->slot;
    for (const BladeInfo &other : list_blades(to)) {
        if (other.name == name)
            return failed(to + " holds a blade named " + name + " already");
        if (slot >= 0 && other.slot == slot)
            return failed("slot " + std::to_string(slot) + " of " + to + " holds blade " + other.name +
                          " already");
    }
    const std::string dest = blade_dir(to, name);
    std::string why;
    const ChangeNotice moved(b->dir);  // its programs leave the old folder's files
    if (!make_dirs(to + "/blades") || !relocate(b->dir, dest, why))
        return failed("cannot move blade " + name + " to " + dest + ": " + why);
    if ((slot >= 0 && !set_slot(dest, slot)) || !lose_power(dest))
        return {"blade " + name + " is in " + to + " now, but its slot or RAM could not be set", dest};
    return {{}, dest};
}

bool lose_power(const std::string &sp)
{
    bool ok = clear_dir(sp + "/memstore") && clear_dir(sp + "/fs/dev/shm");
    long long boot = 0;
    std::vector<uint8_t> clock;
    if (read_file(sp + "/uptime", clock) &&
        std::sscanf(std::string(clock.begin(), clock.end()).c_str(), "boot %lld", &boot) == 1)
        ok = write_text(sp + "/uptime", "boot " + std::to_string(std::time(nullptr)) + "\n") && ok;
    return ok;
}

}  // namespace arksim
