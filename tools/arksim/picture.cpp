// The chassis drawn for a terminal.
#include "picture.h"

#include <cstdio>

#include <array>
#include <optional>
#include <vector>

#include "core/answers.h"
#include "core/chassis.h"
#include "cmm/cmm_state.h"
#include "core/fru_view.h"
#include "core/inspect.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

constexpr int kColumnWidth = 26;
constexpr int kLabelWidth = 11;

std::optional<std::vector<uint8_t>> memstore_value(const std::string &sp, const char *key)
{
    std::vector<uint8_t> v;
    if (!arksim::read_file(sp + "/memstore/" + arksim::encode_key(key), v))
        return std::nullopt;
    return v;
}

long long be_int(const std::vector<uint8_t> &v)
{
    uint32_t u = 0;
    for (uint8_t b : v)
        u = u << 8 | b;
    return static_cast<int32_t>(u);
}

std::string power_text(const std::string &sp)
{
    auto avail = memstore_value(sp, "available_power");
    auto decision = memstore_value(sp, "ARKB/PWRDEC");
    if (!avail || avail->size() != 4)
        return "-";
    std::string text = std::to_string(be_int(*avail)) + " W";
    if (decision && decision->size() == 4)
        text += be_int(*decision) == 1 ? " allowed" : " refused";
    return text;
}

// The blade's address as the mailbox holds it (what the CMM handed over or
// the SP published).
std::string network_text(const std::string &chassis, int slot)
{
    std::vector<uint8_t> mem;
    arksim::read_tunnel(chassis, static_cast<uint8_t>(0x80 | ((slot * 2) & 0xFE)), mem);
    if (mem[6] != 'N' || mem[mem[13]] != 0xC0 || mem[mem[13] + 1] != 0x55)
        return "no mailbox";
    const uint8_t *r = &mem[mem[13] + 2];
    if ((r[2] | r[3] | r[4] | r[5]) == 0)
        return "not set";
    int prefix = 0;
    for (int i = 11; i < 15; ++i)
        for (int bit = 7; bit >= 0; --bit)
            prefix += (r[i] >> bit) & 1;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u/%d%s", r[2], r[3], r[4], r[5], prefix,
                  r[6] == 1 ? " dhcp" : "");
    return buf;
}

std::string installs_text(const std::string &sp)
{
    std::vector<uint8_t> image;
    if (!arksim::read_file(sp + "/eeprom.bin", image))
        return "-";
    arksim::SectionView view = arksim::decode_section(image);
    if (!view.has_ring)
        return "none";
    return std::to_string(view.ring.usable ? view.ring.count : 0);
}

std::string byte_key(const std::string &sp, const char *key, const char *one, const char *other)
{
    auto v = memstore_value(sp, key);
    if (!v || v->size() != 1)
        return "unknown";
    return (*v)[0] == 1 ? one : other;
}

std::string row_cell(std::string text)
{
    if (text.size() > kColumnWidth - 2)
        text.resize(kColumnWidth - 2);
    return " " + text + std::string(kColumnWidth - 1 - text.size(), ' ');
}

std::string pad(const char *label)
{
    std::string s = std::string(label) + ":";
    return s + std::string(s.size() < kLabelWidth ? kLabelWidth - s.size() : 1, ' ');
}

void rule(std::size_t columns)
{
    std::string line = "  +";
    for (std::size_t i = 0; i < columns; ++i)
        line += std::string(kColumnWidth, '-') + "+";
    std::puts(line.c_str());
}

}  // namespace

void draw_chassis(const std::string &chassis)
{
    auto blades = arksim::list_blades(chassis);
    std::printf("chassis %s, type %u\n", chassis.c_str(), arksim::probe_chassis_type(chassis));
    if (const auto m = arksim::read_answer_mode(chassis); m.kind != arksim::AnswerMode::Plain)
        std::printf("platform answers: %s (arksim answers)\n", arksim::describe(m).c_str());
    const auto cfg = arksim::cmm::read_config(chassis);
    int allotted = 0;
    for (int w : arksim::cmm::read_allotments(chassis))
        allotted += w > 0 ? w : 0;
    std::printf("CMM %s, pool %d W, allotted %d W, %d W free\n",
                arksim::cmm::running_pid(chassis) > 0 ? "running" : "not running", cfg.pool, allotted,
                cfg.pool - allotted);
    if (blades.empty()) {
        std::puts("(no blades)");
        return;
    }
    struct Row {
        const char *label;
        std::string (*value)(const std::string &chassis, const arksim::BladeInfo &b);
    };
    static const Row kRows[] = {
        {"slot id",
         [](const std::string &, const arksim::BladeInfo &b) {
             auto v = memstore_value(b.dir, "slotid");
             return v && v->size() == 1 ? std::to_string((*v)[0]) : std::string("-");
         }},
        {"chassis",
         [](const std::string &, const arksim::BladeInfo &b) {
             auto v = memstore_value(b.dir, "chassis_type");
             return v && v->size() == 2 ? std::to_string((*v)[0] | (*v)[1] << 8) : std::string("-");
         }},
        {"power", [](const std::string &, const arksim::BladeInfo &b) { return power_text(b.dir); }},
        {"network",
         [](const std::string &c, const arksim::BladeInfo &b) {
             return b.slot >= 0 ? network_text(c, b.slot) : std::string("-");
         }},
        {"thermal",
         [](const std::string &c, const arksim::BladeInfo &b) {
             if (b.slot < 0)
                 return std::string("-");
             int v = arksim::read_register(c, arksim::thermal_register(b.slot));
             return std::string(v == arksim::kThermalOverrideOn    ? "override on"
                                : v == arksim::kThermalOverrideOff ? "override off"
                                                                   : "?");
         }},
        // CMM readiness as the blade recorded it; "unknown" before it did.
        {"cmm ready",
         [](const std::string &, const arksim::BladeInfo &b) {
             return byte_key(b.dir, "ARKB/CMMREADY", "yes", "no");
         }},
        {"installs", [](const std::string &, const arksim::BladeInfo &b) { return installs_text(b.dir); }},
    };
    rule(blades.size());
    std::string head = "  |";
    for (const auto &b : blades)
        head +=
            row_cell("slot " + (b.slot >= 0 ? std::to_string(b.slot) : std::string("-")) + "  " + b.name) +
            "|";
    std::puts(head.c_str());
    rule(blades.size());
    for (const Row &r : kRows) {
        std::string line = "  |";
        for (const auto &b : blades)
            line += row_cell(pad(r.label) + r.value(chassis, b)) + "|";
        std::puts(line.c_str());
    }
    rule(blades.size());
}

}  // namespace arkcli
