// arksim show --json: the whole chassis as one JSON document.
#include "show_json.h"

#include <sys/stat.h>

#include <optional>

#include "arksim_cli.h"
#include "cmm/cmm_state.h"
#include "core/answers.h"
#include "core/bus_time.h"
#include "core/fru_view.h"
#include "core/inspect.h"
#include "core/simstate.h"
#include "core/sp_log.h"
#include "json_out.h"
#include "memstore_layout.h"
#include "mailbox/cmm_mailbox.h"

namespace arkcli {
namespace {

namespace mb = arksim::mbox;

// A string member, null when there is nothing to say.
void text_or_null(JsonWriter &j, std::string_view key, const std::string &text)
{
    text.empty() ? j.null(key) : j.string(key, text);
}

// A number member, null when unknown.
void number_or_null(JsonWriter &j, std::string_view key, std::optional<long long> v)
{
    v ? j.number(key, *v) : j.null(key);
}

std::optional<std::vector<uint8_t>> memstore_value(const std::string &sp, const char *key)
{
    std::vector<uint8_t> v;
    if (!arksim::read_file(sp + "/memstore/" + arksim::encode_key(key), v))
        return std::nullopt;
    return v;
}

// A known key's number as the library keeps it; nullopt when absent or of
// another size.
std::optional<long long> memstore_number(const std::string &sp, const char *key)
{
    const auto layout = key_layout(key);
    const auto v = memstore_value(sp, key);
    return layout && v ? decode_number(*layout, *v) : std::nullopt;
}

std::string hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", v & 0xFF);
    return buf;
}

void registers(JsonWriter &j, const std::string &chassis)
{
    j.open_object("registers");
    for (const std::string &name : dir_entries(chassis + "/registers")) {
        long long reg = 0;
        if (!parse_number("0x" + name, 0, 255, reg))
            continue;
        const int v = arksim::read_register(chassis, static_cast<uint8_t>(reg));
        v < 0 ? j.null(hex2(static_cast<unsigned>(reg))) : j.number(hex2(static_cast<unsigned>(reg)), v);
    }
    j.close();
}

void cmm(JsonWriter &j, const std::string &chassis, const std::vector<arksim::BladeInfo> &blades)
{
    const auto cfg = arksim::cmm::read_config(chassis);
    const int pid = arksim::cmm::running_pid(chassis);
    j.open_object("cmm").boolean("configured", cfg.autostart).boolean("running", pid > 0);
    pid > 0 ? j.number("pid", pid) : j.null("pid");
    int allotted = 0;
    j.number("pool", cfg.pool);
    text_or_null(j, "broadcast", cfg.broadcast);
    j.open_array("allotments");
    const auto allotments = arksim::cmm::read_allotments(chassis);
    for (int slot = 0; slot < arksim::cmm::kSlots; ++slot) {
        if (allotments[static_cast<std::size_t>(slot)] <= 0)
            continue;
        const int watts = allotments[static_cast<std::size_t>(slot)];
        allotted += watts;
        j.open_object()
            .number("slot", slot)
            .string("address", arksim::cmm::blade_address(slot))
            .number("watts", watts);
        std::string blade;
        for (const auto &b : blades)
            if (b.slot == slot)
                blade = b.name;
        blade.empty() ? j.null("blade") : j.string("blade", blade);
        j.close();
    }
    j.close().number("allotted", allotted).number("free", cfg.pool - allotted).close();
}

// Printable ASCII, with at most a final NUL: a text value.
bool is_text(std::span<const uint8_t> v)
{
    bool text = v.size() > 1;
    for (std::size_t i = 0; i < v.size(); ++i)
        text = text && ((v[i] >= 0x20 && v[i] < 0x7f) || (v[i] == 0 && i + 1 == v.size()));
    return text;
}

// A key's value: a number where the key has a numeric layout, the budget's
// two figures, text, or null.
void memstore_member(JsonWriter &j, const std::string &key, std::span<const uint8_t> v)
{
    long long second = 0;
    const auto layout = key_layout(key);
    const auto n = layout ? decode_number(*layout, v, &second) : std::nullopt;
    if (n && *layout == Layout::TwoU16)
        j.open_object("value").number("hwconfig_power", *n).number("permitted_power", second).close();
    else if (n)
        j.number("value", *n);
    else if (is_text(v))
        j.string("value", std::string(v.begin(), v.end() - (v.back() == 0)));
    else
        j.null("value");
}

void memstore(JsonWriter &j, const std::string &sp)
{
    j.open_array("memstore");
    for (const std::string &name : dir_entries(sp + "/memstore")) {
        const std::string key = arksim::decode_key(name);
        std::vector<uint8_t> v;
        arksim::read_file(sp + "/memstore/" + name, v);
        j.open_object().string("key", key).string("bytes", arksim::hex_bytes(v));
        memstore_member(j, key, v);
        j.close();
    }
    j.close();
}

// What the picture's power row shows: the allotment and decision the blade
// keeps, the CMM's grant for its slot, the budget it published.
void power(JsonWriter &j, const std::string &chassis, const arksim::BladeInfo &b)
{
    j.open_object("power");
    number_or_null(j, "allotment", memstore_number(b.dir, "available_power"));
    const auto decision = memstore_number(b.dir, "ARKB/PWRDEC");
    decision ? j.string("decision", *decision == 1 ? "allowed" : "refused") : j.null("decision");
    if (b.slot >= 0)
        j.number("cmm_allotment", arksim::cmm::read_allotments(chassis)[static_cast<std::size_t>(b.slot)]);
    else
        j.null("cmm_allotment");
    std::vector<uint8_t> v;
    if (b.slot >= 0 && arksim::read_file(chassis + "/power/slot" + std::to_string(b.slot), v) &&
        v.size() == 4)
        j.open_object("published")
            .number("hwconfig_power", v[0] << 8 | v[1])
            .number("permitted_power", v[2] << 8 | v[3])
            .close();
    else
        j.null("published");
    j.close();
}

void files(JsonWriter &j, const char *key, const std::string &dir)
{
    j.open_array(key);
    for (const std::string &name : dir_entries(dir)) {
        struct stat st {};
        ::lstat((dir + "/" + name).c_str(), &st);
        std::vector<uint8_t> v;
        j.open_object()
            .string("name", name)
            .boolean("folder", S_ISDIR(st.st_mode))
            .number("size", st.st_size);
        if (!S_ISDIR(st.st_mode) && st.st_size <= 4096 && arksim::read_file(dir + "/" + name, v))
            j.string("bytes", arksim::hex_bytes(v));
        j.close();
    }
    j.close();
}

// One word per state, for scripts.
const char *state_word(mb::State s)
{
    return s == mb::State::Formatted ? "formatted" : s == mb::State::Initialized ? "initialized" : "absent";
}

int prefix_length(std::span<const uint8_t> mask)
{
    int n = 0;
    for (uint8_t b : mask)
        for (int bit = 7; bit >= 0; --bit)
            n += (b >> bit) & 1;
    return n;
}

// The picture's network row: the address the mailbox holds, null when it has
// none (no mailbox, or no address set yet).
void network(JsonWriter &j, const std::string &chassis, int slot)
{
    mb::View v;
    if (slot < 0 || !mb::inspect(mb::tunnel_of(chassis, mb::slot_target(slot)), v) || !v.located) {
        j.null("network");
        return;
    }
    const std::span<const uint8_t> r(v.record);
    const auto addr = r.subspan(mb::kIpAddr, 4);
    if ((addr[0] | addr[1] | addr[2] | addr[3]) == 0) {
        j.null("network");
        return;
    }
    j.open_object("network").string("address", mb::ipv4_text(addr));
    j.number("prefix", prefix_length(r.subspan(mb::kNetmask, 4)));
    j.string("discovery", mb::discovery_text(r[mb::kDiscovery])).close();
}

void mailbox(JsonWriter &j, const std::string &chassis, int slot)
{
    mb::View v;
    if (slot < 0 || !mb::inspect(mb::tunnel_of(chassis, mb::slot_target(slot)), v)) {
        j.null("mailbox");
        return;
    }
    const mb::Record &r = v.record;
    j.open_object("mailbox").number("target", mb::slot_target(slot)).string("state", state_word(v.state));
    j.string("header", arksim::hex_bytes(v.header)).boolean("located", v.located);
    if (v.located) {
        auto ip = [&r](std::size_t at) { return mb::ipv4_text(std::span(r).subspan(at, 4)); };
        j.number("record_at", v.record_at).number("request", r[mb::kReq]).number("grant", r[mb::kGrant]);
        j.string("ipaddr", ip(mb::kIpAddr)).string("discovery", mb::discovery_text(r[mb::kDiscovery]));
        j.string("gateway", ip(mb::kGateway)).string("netmask", ip(mb::kNetmask));
        j.string("mac", arksim::hex_bytes(std::span(r).subspan(mb::kMac, mb::kMacSize)));
    }
    j.close();
}

void installations(JsonWriter &j, const std::string &sp)
{
    std::vector<uint8_t> image;
    if (!arksim::read_file(sp + "/eeprom.bin", image))
        image.clear();
    image.resize(arksim::kEepromSize, 0xFF);
    const arksim::SectionView view = arksim::decode_section(image);
    j.open_object("installations").boolean("segment", view.has_ring);
    const arksim::InstallRing &r = view.ring;
    j.boolean("usable", view.has_ring && r.usable).number("count", r.count).number("capacity", r.capacity);
    j.open_array("records");
    for (const auto &rec : r.records) {
        j.open_object().number("order", rec.order).number("timestamp", rec.timestamp);
        const std::string date = utc_date(rec.timestamp);
        text_or_null(j, "date", date == "?" ? std::string() : date);
        text_or_null(j, "fru_path", rec.fru_path);
        text_or_null(j, "parent_part", rec.part);
        text_or_null(j, "parent_serial", rec.serial);
        text_or_null(j, "parent_dash", rec.dash);
        j.close();
    }
    j.close().close();
}

void blade(JsonWriter &j, const std::string &chassis, const arksim::BladeInfo &b)
{
    j.open_object().string("name", b.name).string("dir", b.dir);
    b.slot >= 0 ? j.number("slot", b.slot) : j.null("slot");
    // What the blade knows about itself, as the picture shows it.
    number_or_null(j, "slot_id", memstore_number(b.dir, "slotid"));
    number_or_null(j, "chassis_type", memstore_number(b.dir, "chassis_type"));
    const auto ready = memstore_number(b.dir, "ARKB/CMMREADY");
    ready ? j.boolean("cmm_ready", *ready == 1) : j.null("cmm_ready");
    power(j, chassis, b);
    network(j, chassis, b.slot);
    if (b.slot >= 0) {
        const uint8_t reg = arksim::thermal_register(b.slot);
        const int v = arksim::read_register(chassis, reg);
        j.open_object("thermal").number("register", reg);
        v < 0 ? j.null("value") : j.number("value", v);
        v == arksim::kThermalOverrideOn    ? j.boolean("override", true)
        : v == arksim::kThermalOverrideOff ? j.boolean("override", false)
                                           : j.null("override");
        j.close();
    } else {
        j.null("thermal");
    }
    memstore(j, b.dir);
    files(j, "dev_shm", b.dir + "/fs/dev/shm");
    mailbox(j, chassis, b.slot);
    installations(j, b.dir);
    const auto log = arksim::read_log(b.dir);
    j.number("log_entries", static_cast<long long>(log.size()));
    log.empty() ? j.null("last_log") : j.string("last_log", log.back().message);
    j.close();
}

}  // namespace

void print_chassis_json(const std::string &chassis)
{
    const auto blades = arksim::list_blades(chassis);
    JsonWriter j;
    j.open_object().string("chassis", chassis).number("type", arksim::probe_chassis_type(chassis));
    j.number("bus_khz", arksim::read_bus_khz(chassis));
    j.string("answers", arksim::describe(arksim::read_answer_mode(chassis)));
    registers(j, chassis);
    cmm(j, chassis, blades);
    j.open_array("blades");
    for (const auto &b : blades)
        blade(j, chassis, b);
    j.close().close();
}

}  // namespace arkcli
