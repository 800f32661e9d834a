// Reading a blade snapshot and writing its state into a simulated chassis.
// Every member is checked before anything is written: a file that does not
// hold what `arkbctl snapshot` writes is refused whole.
#include "snapshot_import.h"

#include <ctime>
#include <unistd.h>

#include "core/chassis.h"
#include "core/simstate.h"
#include "json_in.h"

namespace arkcli {
namespace {

constexpr const char *kFormat = "arkblade-snapshot";
constexpr uint8_t kRegisters[] = {0x9C, 0x4C, 0x7E};
constexpr const char *kRegisterNames[] = {"0x9c", "0x4c", "0x7e"};
constexpr const char *kShmDir = "/dev/shm/";
constexpr const char *kSwitchFiles[] = {"/persist/node1", "/conf/override_powerctl",
                                        "/usr/local/bin/frutool"};
constexpr uint8_t kChassisFruTarget = 0xAA;

// Checks members as it reads them; the first problem is kept.
class Reader {
public:
    std::string problem;

    bool bad(const std::string &what)
    {
        if (problem.empty())
            problem = what;
        return false;
    }
    const JsonValue *member(const JsonValue &obj, const char *key, JsonValue::Type type, bool nullable,
                            const std::string &where)
    {
        const JsonValue *v = obj.get(key);
        std::string name = where;
        name += where.empty() ? "" : ".";
        name += key;
        if (v == nullptr)
            return bad("no member " + name), nullptr;
        if (v->type == JsonValue::Null && nullable)
            return v;
        if (v->type != type)
            return bad(name + " has the wrong type"), nullptr;
        return v;
    }
    bool number(const JsonValue &obj, const char *key, long long lo, long long hi, long long &out,
                const std::string &where)
    {
        const JsonValue *v = member(obj, key, JsonValue::Number, false, where);
        if (v == nullptr)
            return false;
        if (v->number < lo || v->number > hi)
            return bad(where + "." + key + " is out of range");
        out = v->number;
        return true;
    }
    // A hex string of `length` bytes (any length when -1), or null.
    bool bytes(const JsonValue &obj, const char *key, long long length, std::optional<Bytes> &out,
               const std::string &where)
    {
        const JsonValue *v = member(obj, key, JsonValue::String, true, where);
        if (v == nullptr)
            return false;
        if (v->type == JsonValue::Null)
            return out.reset(), true;
        const std::string &t = v->text;
        Bytes b;
        for (std::size_t i = 0; i + 1 < t.size(); i += 2) {
            const int hi = arksim::hex_digit(t[i]), lo = arksim::hex_digit(t[i + 1]);
            if (hi < 0 || lo < 0)
                return bad(where + "." + key + " is not hex");
            b.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
        if (t.size() % 2 != 0 || (length >= 0 && static_cast<long long>(b.size()) != length))
            return bad(where + "." + key +
                       (length >= 0 ? " does not hold its " + std::to_string(length) + " bytes"
                                    : " is not whole bytes"));
        out = std::move(b);
        return true;
    }
    // {"offset", "length", "result", "bytes"} within [0, limit).
    bool span(const JsonValue &obj, long long limit, Snapshot::Span &out, const std::string &where)
    {
        long long offset = 0, length = 0, result = 0;
        if (!number(obj, "offset", 0, limit, offset, where) ||
            !number(obj, "length", 0, limit - offset, length, where) ||
            !number(obj, "result", INT32_MIN, INT32_MAX, result, where) ||
            !bytes(obj, "bytes", length, out.bytes, where))
            return false;
        out.offset = static_cast<unsigned>(offset);
        return true;
    }
};

bool read_keys(Reader &r, const JsonValue &list, Snapshot &s)
{
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        const JsonValue &k = list.items[i];
        const std::string where = "memstore[" + std::to_string(i) + "]";
        Snapshot::Key key;
        const JsonValue *name = r.member(k, "key", JsonValue::String, false, where);
        const JsonValue *present = r.member(k, "present", JsonValue::Bool, false, where);
        if (name == nullptr || present == nullptr || !r.number(k, "length", 0, 65536, key.length, where))
            return false;
        if (name->text.empty() || name->text.find('\0') != std::string::npos)
            return r.bad(where + ".key is no memstore key");
        key.name = name->text;
        key.present = present->flag;
        long long result = 0;
        if (key.present && (!r.number(k, "result", INT32_MIN, INT32_MAX, result, where) ||
                            !r.bytes(k, "bytes", key.length, key.bytes, where)))
            return false;
        s.keys.push_back(std::move(key));
    }
    return true;
}

bool read_files(Reader &r, const JsonValue &list, const JsonValue &present, Snapshot &s)
{
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        const std::string where = "files[" + std::to_string(i) + "]";
        const JsonValue *path = r.member(list.items[i], "path", JsonValue::String, false, where);
        std::optional<Bytes> bytes;
        if (path == nullptr || !r.bytes(list.items[i], "bytes", -1, bytes, where))
            return false;
        const std::string name = path->text.substr(std::string_view(kShmDir).size());
        if (!path->text.starts_with(kShmDir) || name.empty() || name.find('/') != std::string::npos ||
            name[0] == '.')
            return r.bad(where + ".path is no file of /dev/shm");
        s.files.emplace_back(name, std::move(bytes));
    }
    for (const char *path : kSwitchFiles) {
        const JsonValue *v = r.member(present, path, JsonValue::Bool, false, "present");
        if (v == nullptr)
            return false;
        s.present.emplace_back(path, v->flag);
    }
    return true;
}

bool read_registers(Reader &r, const JsonValue &regs, Snapshot &s)
{
    for (int i = 0; i < 3; ++i) {
        const JsonValue *v = r.member(regs, kRegisterNames[i], JsonValue::Number, true, "registers");
        if (v == nullptr)
            return false;
        if (v->type == JsonValue::Number && (v->number < 0 || v->number > 255))
            return r.bad(std::string("registers.") + kRegisterNames[i] + " is no byte");
        s.registers[i] = v->type == JsonValue::Number ? static_cast<int>(v->number) : -1;
    }
    const JsonValue *thermal = regs.get("thermal");
    if (thermal == nullptr)
        return true;  // no slot byte, no thermal register
    long long reg = 0;
    const JsonValue *value = r.member(*thermal, "value", JsonValue::Number, true, "registers.thermal");
    if (!r.number(*thermal, "register", 0, 254, reg, "registers.thermal") || value == nullptr)
        return false;
    s.thermal_register = static_cast<int>(reg);
    s.thermal_value = value->type == JsonValue::Number ? static_cast<int>(value->number & 0xFF) : -1;
    return true;
}

bool read_all(Reader &r, const JsonValue &d, Snapshot &s)
{
    const JsonValue *taken = r.member(d, "taken_by", JsonValue::String, false, "");
    const JsonValue *slot = r.member(d, "slot", JsonValue::Number, true, "");
    const JsonValue *uptime = r.member(d, "uptime", JsonValue::Number, false, "");
    const JsonValue *regs = r.member(d, "registers", JsonValue::Object, false, "");
    const JsonValue *keys = r.member(d, "memstore", JsonValue::Array, false, "");
    const JsonValue *files = r.member(d, "files", JsonValue::Array, false, "");
    const JsonValue *present = r.member(d, "present", JsonValue::Object, false, "");
    const JsonValue *eeprom = r.member(d, "eeprom", JsonValue::Array, false, "");
    const JsonValue *mailbox = r.member(d, "mailbox", JsonValue::Object, true, "");
    const JsonValue *fru = r.member(d, "chassis_fru", JsonValue::Object, false, "");
    const JsonValue *budget = r.member(d, "published_budget", JsonValue::Object, true, "");
    if (!taken || !slot || !uptime || !regs || !keys || !files || !present || !eeprom || !mailbox || !fru ||
        !budget)
        return false;
    s.taken_by = taken->text;
    s.uptime = uptime->number;
    if (slot->type == JsonValue::Number) {
        if (slot->number < 0 || slot->number > 255)
            return r.bad("slot is no byte");
        s.slot = static_cast<int>(slot->number);
    }
    if (!read_registers(r, *regs, s) || !read_keys(r, *keys, s) || !read_files(r, *files, *present, s))
        return false;
    for (std::size_t i = 0; i < eeprom->items.size(); ++i) {
        s.eeprom.emplace_back();
        if (!r.span(eeprom->items[i], arksim::kEepromSize, s.eeprom.back(),
                    "eeprom[" + std::to_string(i) + "]"))
            return false;
    }
    if (mailbox->type == JsonValue::Object && !r.span(*mailbox, 256, s.mailbox.emplace(), "mailbox"))
        return false;
    long long target = 0;
    if (!r.number(*fru, "target", kChassisFruTarget, kChassisFruTarget, target, "chassis_fru") ||
        !r.span(*fru, arksim::kTunnelSize, s.chassis_fru.emplace(), "chassis_fru"))
        return false;
    if (budget->type == JsonValue::Object) {
        long long hw = 0, permitted = 0;
        if (!r.number(*budget, "hwconfig_power", 0, 65535, hw, "published_budget") ||
            !r.number(*budget, "permitted_power", 0, 65535, permitted, "published_budget"))
            return false;
        s.budget.emplace(static_cast<int>(hw), static_cast<int>(permitted));
    }
    return true;
}

bool write_bytes(const std::string &path, const Bytes &b) { return arksim::write_file_atomic(path, b); }

}  // namespace

bool read_snapshot(const std::string &path, Snapshot &out, std::string &error)
{
    Bytes raw;
    if (!arksim::read_file(path, raw)) {
        error = "cannot read " + path;
        return false;
    }
    JsonValue d;
    std::string why;
    const std::string damaged = path + " is damaged (not what arkbctl snapshot writes): ";
    if (!parse_json(std::string_view(reinterpret_cast<const char *>(raw.data()), raw.size()), d, why)) {
        error = damaged + why;
        return false;
    }
    const JsonValue *format = d.get("format");
    const JsonValue *version = d.get("version");
    if (d.type != JsonValue::Object || format == nullptr || format->type != JsonValue::String ||
        format->text != kFormat) {
        error = path + " is no blade snapshot (no \"format\": \"arkblade-snapshot\")";
        return false;
    }
    if (version == nullptr || version->type != JsonValue::Number || version->number < 1) {
        error = damaged + "no format version";
        return false;
    }
    if (version->number > kSnapshotVersion) {
        error = path + " is snapshot format version " + std::to_string(version->number) +
                "; this arksim reads versions up to " + std::to_string(kSnapshotVersion) +
                ", older than the arkbctl that took it";
        return false;
    }
    Reader r;
    out = {};
    if (!read_all(r, d, out)) {
        error = damaged + r.problem;
        return false;
    }
    return true;
}

bool import_chassis(const std::string &chassis, const Snapshot &s, std::vector<std::string> &notes)
{
    for (int i = 0; i < 3; ++i)
        if (!arksim::write_register(chassis, kRegisters[i], s.registers[i]))
            return false;
    if (s.thermal_register >= 0 &&
        !arksim::write_register(chassis, static_cast<uint8_t>(s.thermal_register), s.thermal_value))
        return false;
    if (s.chassis_fru && s.chassis_fru->bytes)
        return arksim::write_tunnel_bytes(chassis, kChassisFruTarget, s.chassis_fru->offset,
                                          *s.chassis_fru->bytes);
    notes.push_back("the chassis FRU data was unreadable: the chassis keeps its default identity");
    return true;
}

bool import_blade(const std::string &chassis, const std::string &sp, int slot, const Snapshot &s,
                  std::vector<std::string> &notes)
{
    bool ok = arksim::make_dirs(sp + "/memstore");
    for (const auto &k : s.keys) {
        if (k.bytes)
            ok = write_bytes(sp + "/memstore/" + arksim::encode_key(k.name), *k.bytes) && ok;
        else if (k.present)
            notes.push_back("memstore key " + k.name + " was present but unreadable at " +
                            std::to_string(k.length) + " bytes: left out");
    }
    for (const auto &[name, bytes] : s.files)
        if (bytes)
            ok = write_bytes(sp + "/fs/dev/shm/" + name, *bytes) && ok;
    for (const auto &[path, there] : s.present) {
        const std::string file = sp + "/fs" + path;
        if (!there)
            ::unlink(file.c_str());
        else if (::access(file.c_str(), F_OK) != 0)
            ok = arksim::write_text(file, "") && ok;
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
    ok = write_bytes(sp + "/eeprom.bin", image) && ok;
    // The uptime clock runs on from the recorded value.
    if (s.uptime >= 0)
        ok = arksim::write_text(
                 sp + "/uptime",
                 "boot " + std::to_string(static_cast<long long>(std::time(nullptr)) - s.uptime) + "\n") &&
             ok;
    if (s.mailbox && s.mailbox->bytes)
        ok = arksim::write_tunnel_bytes(chassis, static_cast<uint8_t>(0x80 | ((slot * 2) & 0xFE)),
                                        s.mailbox->offset, *s.mailbox->bytes) &&
             ok;
    else
        notes.push_back("the mailbox was unreadable: the slot's tunnel memory is left as it was");
    if (s.budget) {
        const Bytes b{static_cast<uint8_t>(s.budget->first >> 8), static_cast<uint8_t>(s.budget->first),
                      static_cast<uint8_t>(s.budget->second >> 8), static_cast<uint8_t>(s.budget->second)};
        ok = write_bytes(chassis + "/power/slot" + std::to_string(slot), b) && ok;
    }
    return ok;
}

}  // namespace arkcli
