// arksim show: the chassis at a glance, or one blade in detail.
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

#include <algorithm>

#include "arksim_cli.h"
#include "core/inspect.h"
#include "core/sp_log.h"
#include "picture.h"
#include "show_json.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

std::string reg_text(int v)
{
    char buf[16];
    if (v < 0)
        return "unreadable";
    std::snprintf(buf, sizeof buf, "0x%02x", v);
    return buf;
}

std::string bytes_text(std::span<const uint8_t> v, bool full)
{
    if (v.empty())
        return "(empty)";
    if (full || v.size() <= 16)
        return arksim::hex_bytes(v);
    return arksim::hex_bytes(v.first(16)) + " ... (" + std::to_string(v.size()) + " bytes)";
}

std::size_t count_lines(const std::string &path)
{
    std::vector<uint8_t> raw;
    std::size_t n = 0;
    if (arksim::read_file(path, raw))
        for (uint8_t c : raw)
            n += c == '\n';
    return n;
}

void show_thermal(const std::string &chassis, int slot)
{
    if (slot < 0) {
        std::puts("  thermal   (no slot)");
        return;
    }
    uint8_t reg = arksim::thermal_register(slot);
    int v = arksim::read_register(chassis, reg);
    const char *meaning = v == arksim::kThermalOverrideOff  ? " (override off)"
                          : v == arksim::kThermalOverrideOn ? " (override on)"
                                                            : "";
    std::printf("  thermal   register 0x%02x = %s%s\n", reg, reg_text(v).c_str(), meaning);
}

void show_memstore(const std::string &sp, bool full)
{
    auto names = dir_entries(sp + "/memstore");
    std::puts(names.empty() ? "  memstore  (no keys)" : "  memstore");
    for (const std::string &name : names) {
        std::string key = arksim::decode_key(name);
        std::vector<uint8_t> v;
        arksim::read_file(sp + "/memstore/" + name, v);
        std::string decoded = decode_value(key, v);
        std::printf("    %-28s %s%s%s\n", key.c_str(), bytes_text(v, full).c_str(),
                    decoded.empty() ? "" : "  = ", decoded.c_str());
    }
}

void show_files(const std::string &dir, const char *label, bool contents)
{
    auto names = dir_entries(dir);
    std::printf(names.empty() ? "  %-9s (empty)\n" : "  %s\n", label);
    for (const std::string &name : names) {
        struct stat st {};
        ::lstat((dir + "/" + name).c_str(), &st);
        std::vector<uint8_t> v;
        if (S_ISDIR(st.st_mode))
            std::printf("    %s/\n", name.c_str());
        else if (contents && arksim::read_file(dir + "/" + name, v))
            std::printf("    %-28s %s\n", name.c_str(), bytes_text(v, false).c_str());
        else
            std::printf("    %-28s %lld bytes\n", name.c_str(), static_cast<long long>(st.st_size));
    }
}

void show_uptime(const std::string &sp)
{
    std::string text = read_text(sp + "/uptime");
    long long v = 0;
    if (std::sscanf(text.c_str(), "boot %lld", &v) == 1)
        std::printf("  uptime    running, %lld s\n", static_cast<long long>(std::time(nullptr)) - v);
    else if (std::sscanf(text.c_str(), "%lld", &v) == 1)
        std::printf("  uptime    frozen at %lld s\n", v);
    else
        std::puts("  uptime    0 s (no uptime file)");
}

void show_details(const std::string &chassis, const arksim::BladeInfo &b)
{
    show_uptime(b.dir);
    std::printf("  dt        %lld\n", arksim::read_number(b.dir + "/pca9501_dt").value_or(0));
    std::string sensors;
    for (const std::string &n : numbered_entries(b.dir + "/sensors"))
        sensors += " " + n + "=" + read_text(b.dir + "/sensors/" + n);
    std::printf("  sensors  %s\n", sensors.empty() ? " (none)" : sensors.c_str());
    std::vector<uint8_t> v;
    if (b.slot >= 0 && arksim::read_file(chassis + "/power/slot" + std::to_string(b.slot), v))
        std::printf("  power     published budget %s\n", bytes_text(v, true).c_str());
    std::size_t written = 0;
    if (arksim::read_file(b.dir + "/eeprom.bin", v))
        for (uint8_t c : v)
            written += c != 0xFF;
    std::printf("  eeprom    %zu of %zu bytes not blank\n", written, v.size());
    show_files(b.dir + "/fs/conf", "/conf", false);
    show_files(b.dir + "/fs/persist", "/persist", false);
    show_files(b.dir + "/fs/usr/local/bin", "/usr/local/bin", false);
    std::string faults = read_text(b.dir + "/faults");
    std::puts(faults.empty() ? "  faults    (none)" : "  faults");
    for (std::size_t at = 0; at < faults.size();) {
        std::size_t end = std::min(faults.find('\n', at), faults.size());
        std::printf("    %s\n", faults.substr(at, end - at).c_str());
        at = end + 1;
    }
    std::printf("  journal   %zu calls\n", count_lines(b.dir + "/journal"));
    std::printf("  log       %zu entries\n", arksim::read_log(b.dir).size());
}

void show_blade(const std::string &chassis, const arksim::BladeInfo &b, bool detail)
{
    std::printf("\nblade %s, %s  (%s)\n", b.name.c_str(),
                b.slot >= 0 ? ("slot " + std::to_string(b.slot)).c_str() : "no slot", b.dir.c_str());
    show_thermal(chassis, b.slot);
    show_memstore(b.dir, detail);
    show_files(b.dir + "/fs/dev/shm", "/dev/shm", true);
    if (detail)
        show_details(chassis, b);
}

int show(const Context &ctx, const Args &args)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    if (args.has("--json")) {
        if (blade_given(ctx) || args.has("--all"))
            return usage_error("--json shows the whole chassis, without --all, --blade or --slot");
        if (!need_chassis(ctx))
            return 1;
        print_chassis_json(ctx.chassis);
        return 0;
    }
    arksim::BladeInfo one;
    if (blade_given(ctx) ? !pick_blade(ctx, one) : !need_chassis(ctx))
        return 1;
    auto blades = arksim::list_blades(ctx.chassis);
    if (!blade_given(ctx)) {
        draw_chassis(ctx.chassis);
        if (!args.has("--all")) {
            std::puts("\nmore: arksim show --all (every blade's keys and files), arksim show --blade NAME,\n"
                      "      arksim log, arksim journal, arksim fru, arksim cmm, arksim mailbox show");
            return 0;
        }
    } else {
        std::printf("chassis %s\n", ctx.chassis.c_str());
    }
    std::printf("  type      %u  (register 0x9c = %s, 0x4c = %s, 0x7e = %s)\n",
                arksim::probe_chassis_type(ctx.chassis),
                reg_text(arksim::read_register(ctx.chassis, 0x9C)).c_str(),
                reg_text(arksim::read_register(ctx.chassis, 0x4C)).c_str(),
                reg_text(arksim::read_register(ctx.chassis, 0x7E)).c_str());
    for (const auto &b : blades)
        if (!blade_given(ctx) || b.name == one.name)
            show_blade(ctx.chassis, b, blade_given(ctx));
    return 0;
}

constexpr Opt kShowOpts[] = {{"--all", "", "also list every blade's memstore keys and /dev/shm files"},
                             {"--json", "", "the whole chassis as one JSON document"}};

constexpr Command kCommands[] = {
    {"show", "[--all | --json | --blade NAME | --slot N]", "draw the chassis, or show one blade in detail",
     "Without a blade: a picture of the chassis, one column per blade (slot id,\n"
     "chassis type, power allotment and decision, network settings, thermal\n"
     "override, CMM readiness, installation count) and the CMM's pool; --all adds\n"
     "per blade its thermal override register, memstore keys and /dev/shm files.\n"
     "With --blade or --slot: that blade only, with its uptime, DT, sensors,\n"
     "published power budget, EEPROM, SP folders, faults, journal and log.\n"
     "--json: the whole chassis (registers, CMM pool and allotments, per blade what\n"
     "the picture shows: slot id, chassis type, CMM readiness, power allotment and\n"
     "decision, network settings, thermal override; its memstore keys with their\n"
     "bytes and values (numbers where the key holds one), /dev/shm files, mailbox\n"
     "and installation history) as one JSON document; unknown values are null\n"
     "(fields: man arksim-show).",
     kShowOpts, false, show},
};

}  // namespace

std::span<const Command> show_commands() { return kCommands; }

}  // namespace arkcli
