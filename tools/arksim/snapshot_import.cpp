// Writing a checked blade snapshot (snapshot_read.cpp) into a simulated
// chassis.  The callers write into a chassis or blade folder that is not yet
// in place (cmd_chassis.cpp), so a failure here loses nothing; it is named
// with its file and the system's reason.
#include "snapshot_import.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "core/chassis.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

namespace sf = arkb_snapshot;

// Keeps the first failure: "cannot write PATH: reason".
class Writes {
public:
    explicit Writes(std::string &error) : error_(error) {}

    // Runs one write; its errno is the reason when it fails.
    template <class Fn> bool operator()(const std::string &path, Fn &&write)
    {
        if (!error_.empty())
            return false;
        errno = 0;
        if (write())
            return true;
        error_ = "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "failed");
        return false;
    }
    bool bytes(const std::string &path, const Bytes &b)
    {
        return (*this)(path, [&] { return arksim::write_file_atomic(path, b); });
    }
    bool text(const std::string &path, const std::string &t)
    {
        return (*this)(path, [&] { return arksim::write_text(path, t); });
    }

private:
    std::string &error_;
};

std::string register_file(const std::string &chassis, uint8_t reg)
{
    char name[8];
    std::snprintf(name, sizeof name, "%02x", reg);
    return chassis + "/registers/" + name;
}

std::string tunnel_file(const std::string &chassis, uint8_t target)
{
    char name[8];
    std::snprintf(name, sizeof name, "%02x.bin", target);
    return chassis + "/tunnel/" + name;
}

}  // namespace

bool import_chassis(const std::string &chassis, const Snapshot &s, std::vector<std::string> &notes,
                    std::string &error)
{
    Writes w(error);
    for (int i = 0; i < sf::kRegisterCount; ++i)
        if (!w(register_file(chassis, sf::kRegisters[i]),
               [&] { return arksim::write_register(chassis, sf::kRegisters[i], s.registers[i]); }))
            return false;
    const auto thermal = static_cast<uint8_t>(s.thermal_register);
    if (s.thermal_register >= 0 && !w(register_file(chassis, thermal), [&] {
            return arksim::write_register(chassis, thermal, s.thermal_value);
        }))
        return false;
    if (s.chassis_fru && s.chassis_fru->bytes)
        return w(tunnel_file(chassis, sf::kChassisFruTarget), [&] {
            return arksim::write_tunnel_bytes(chassis, sf::kChassisFruTarget, s.chassis_fru->offset,
                                              *s.chassis_fru->bytes);
        });
    notes.push_back("the chassis FRU data was unreadable: the chassis keeps its default identity");
    return true;
}

bool import_blade(const std::string &sp, const Snapshot &s, std::vector<std::string> &notes,
                  std::string &error)
{
    Writes w(error);
    if (!w(sp + "/memstore", [&] { return arksim::make_dirs(sp + "/memstore"); }))
        return false;
    for (const auto &k : s.keys) {
        if (k.bytes && !w.bytes(sp + "/memstore/" + arksim::encode_key(k.name), *k.bytes))
            return false;
        if (!k.bytes && k.present)
            notes.push_back("memstore key " + k.name + " was present but unreadable at " +
                            std::to_string(k.length) + " bytes: left out");
    }
    for (const auto &[name, bytes] : s.files)
        if (bytes && !w.bytes(sp + "/fs/dev/shm/" + name, *bytes))
            return false;
    for (const auto &[path, there] : s.present) {
        const std::string file = sp + "/fs" + path;
        if (!there && ::unlink(file.c_str()) != 0 && errno != ENOENT)
            return w(file, [] { return false; });
        if (there && ::access(file.c_str(), F_OK) != 0 && !w.text(file, ""))
            return false;
    }
    Bytes image;
    if (!arksim::read_file(sp + "/eeprom.bin", image))
        image.clear();
    image.resize(arksim::kEepromSize, 0xFF);
    for (const auto &span : s.eeprom) {
        if (span.bytes)
            std::copy(span.bytes->begin(), span.bytes->end(), image.begin() + span.offset);
        else
            notes.push_back("EEPROM bytes " + std::to_string(span.offset) +
                            " on were unreadable: the new blade's are kept");
    }
    if (!w.bytes(sp + "/eeprom.bin", image))
        return false;
    // The uptime clock runs on from the recorded value.
    return s.uptime < 0 ||
           w.text(sp + "/uptime",
                  "boot " + std::to_string(static_cast<long long>(std::time(nullptr)) - s.uptime) + "\n");
}

bool import_slot(const std::string &chassis, int slot, const Snapshot &s, std::vector<std::string> &notes,
                 std::string &error)
{
    Writes w(error);
    const uint8_t target = sf::mailbox_target(slot);
    if (s.mailbox && s.mailbox->bytes) {
        if (!w(tunnel_file(chassis, target), [&] {
                return arksim::write_tunnel_bytes(chassis, target, s.mailbox->offset, *s.mailbox->bytes);
            }))
            return false;
    } else {
        notes.push_back("the mailbox was unreadable: the slot's tunnel memory is left as it was");
    }
    if (!s.budget)
        return true;
    const Bytes b{static_cast<uint8_t>(s.budget->first >> 8), static_cast<uint8_t>(s.budget->first),
                  static_cast<uint8_t>(s.budget->second >> 8), static_cast<uint8_t>(s.budget->second)};
    return w.bytes(chassis + "/power/slot" + std::to_string(slot), b);
}

}  // namespace arkcli
