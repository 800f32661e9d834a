// Creating and changing a simulated chassis and its blades.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "chassis.h"
#include "fru.h"
#include "simstate.h"
#include "unique_fd.h"

namespace arksim {
namespace {

constexpr const char *kSpFolders[] = {"fs/dev/shm", "fs/conf", "fs/persist", "fs/usr/local/bin"};
constexpr uint8_t kProbeRegisters[] = {0x9C, 0x4C, 0x7E};
constexpr int kSlots = 32;  // thermal registers (slot * 2) & 0xFE for every slot

// A blade's own manufacturing identity: serial number from its folder name,
// so blades of one chassis differ.
Identity blade_identity(const std::string &sp)
{
    uint32_t h = 2166136261u;
    for (char c : sp.substr(sp.rfind('/') + 1))
        h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    char serial[8];
    std::snprintf(serial, sizeof serial, "BL%04u", h % 10000);
    return {"7054321", serial, "01"};
}

std::string register_path(const std::string &chassis, uint8_t reg)
{
    char name[16];
    std::snprintf(name, sizeof name, "registers/%02x", reg);
    return chassis + "/" + name;
}

bool clear_folder(const std::string &dir)
{
    DIR *d = ::opendir(dir.c_str());
    if (d == nullptr)
        return make_dirs(dir);
    bool ok = true;
    while (struct dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            ok = remove_tree(dir + "/" + e->d_name) && ok;
    }
    ::closedir(d);
    return ok;
}

}  // namespace

std::string blade_dir(const std::string &chassis, const std::string &name)
{
    return chassis + "/blades/" + name;
}

bool set_chassis_type(const std::string &chassis, uint16_t code)
{
    // 0x9C answers first (0x10 -> 1302, other -> 3096); else 0x4C (3074);
    // else 0x7E (3331); none of them -> 3073.
    int values[3] = {-1, -1, -1};
    switch (code) {
    case 1302: values[0] = 0x10; break;
    case 3096: values[0] = 0x18; break;
    case 3074: values[1] = 0x00; break;
    case 3331: values[2] = 0x00; break;
    case 3073: break;
    default: return false;
    }
    for (int i = 0; i < 3; ++i)
        if (!write_register(chassis, kProbeRegisters[i], values[i]))
            return false;
    return true;
}

bool create_chassis(const std::string &chassis, uint16_t type_code)
{
    // The chassis is its maker's alone: no other user enters or changes it.
    if (!make_dirs(chassis + "/registers") || ::chmod(chassis.c_str(), 0700) != 0 ||
        !make_dirs(chassis + "/tunnel") || !make_dirs(chassis + "/power") || !make_dirs(chassis + "/blades"))
        return false;
    for (int slot = 0; slot < kSlots; ++slot)
        if (!write_register(chassis, static_cast<uint8_t>((slot * 2) & 0xFE), 0x7F))
            return false;
    return set_chassis_type(chassis, type_code) && write_chassis_fru(chassis, kDefaultChassisIdentity);
}

// The SP's frutool: a recorder that notes each call in <sp>/frutool.log, so
// the PCA9501 path of start-up can be seen when it runs.
constexpr const char *kFrutoolRecorder =
    "#!/bin/sh\n"
    "# frutool of the simulated SP: records its arguments, changes nothing.\n"
    "echo \"$(date +%s) frutool $*\" >> \"${ARKSIM_SP:-/tmp}/frutool.log\"\n";

static bool install_frutool(const std::string &sp)
{
    const std::string path = sp + "/fs/usr/local/bin/frutool";
    return write_text(path, kFrutoolRecorder) && ::chmod(path.c_str(), 0755) == 0;
}

bool reset_blade(const std::string &sp)
{
    // Goes on past a failure; errno is the first failure's when it returns false.
    int first = 0;
    const auto kept = [&first](bool done) {
        if (!done && first == 0)
            first = errno != 0 ? errno : EIO;
        return done;
    };
    bool ok = kept(clear_folder(sp + "/memstore")) && kept(clear_folder(sp + "/sensors"));
    for (const char *f : kSpFolders)
        ok = kept(clear_folder(sp + "/" + f)) && ok;
    ok = kept(write_file_atomic(sp + "/eeprom.bin", new_blade_eeprom(blade_identity(sp)))) && ok;
    ok = kept(write_text(sp + "/uptime", "boot " + std::to_string(std::time(nullptr)) + "\n")) && ok;
    ok = kept(install_frutool(sp)) && ok;
    for (const char *f : {"journal", "log", "faults", "pca9501_dt", "frutool.log"})
        ::unlink((sp + "/" + f).c_str());
    reset_stats(sp);
    errno = first;
    return ok;
}

bool set_slot(const std::string &sp, int slot)
{
    if (slot < 0)
        return ::unlink((sp + "/slot").c_str()) == 0;
    return write_text(sp + "/slot", std::to_string(slot) + "\n");
}

bool add_blade(const std::string &chassis, const std::string &name, int slot)
{
    std::string sp = blade_dir(chassis, name);
    return make_dirs(sp) && reset_blade(sp) && set_slot(sp, slot);
}

std::vector<BladeInfo> list_blades(const std::string &chassis)
{
    std::vector<BladeInfo> out;
    DIR *d = ::opendir((chassis + "/blades").c_str());
    if (d == nullptr)
        return out;
    while (struct dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        BladeInfo b;
        b.name = e->d_name;
        b.dir = blade_dir(chassis, b.name);
        auto slot = read_number(b.dir + "/slot");
        b.slot = slot ? static_cast<int>(*slot) : -1;
        out.push_back(b);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(), [](const BladeInfo &a, const BladeInfo &b) { return a.slot < b.slot; });
    return out;
}

int read_register(const std::string &chassis, uint8_t reg)
{
    auto v = read_number(register_path(chassis, reg));
    if (!v || *v < 0 || *v > 255)
        return -1;
    return static_cast<int>(*v);
}

bool write_register(const std::string &chassis, uint8_t reg, int value)
{
    if (value < 0)
        return write_text(register_path(chassis, reg), "unreadable\n");
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x\n", value & 0xFF);
    return write_text(register_path(chassis, reg), text);
}

bool read_tunnel(const std::string &chassis, uint8_t target, std::vector<uint8_t> &out)
{
    char name[32];
    std::snprintf(name, sizeof name, "/tunnel/%02x.bin", target);
    if (!read_file(chassis + name, out))
        out.clear();
    out.resize(kTunnelSize, 0);
    return true;
}

bool write_tunnel_bytes(const std::string &chassis, uint8_t target, uint32_t offset,
                        const std::vector<uint8_t> &bytes)
{
    if (offset > kTunnelSize || bytes.size() > kTunnelSize - offset)
        return false;
    char name[32];
    std::snprintf(name, sizeof name, "/tunnel/%02x.bin", target);
    make_dirs(chassis + "/tunnel");
    UniqueFd fd(::open((chassis + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd || ::flock(fd.get(), LOCK_EX) != 0)
        return false;
    return pwrite_all(fd.get(), bytes, offset);
}

}  // namespace arksim
