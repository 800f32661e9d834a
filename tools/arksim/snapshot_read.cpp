// Reading a blade snapshot: the document through the JSON library's parser
// (json_in.h), then every member checked against what the library reads
// (snapshot_format.h), so that a file that does not hold what `arkbctl
// snapshot` writes is refused whole, before anything is written.
#include <climits>
#include <cstdint>

#include "core/simstate.h"
#include "json_in.h"
#include "snapshot_import.h"

namespace arkcli {
namespace {

namespace sf = arkb_snapshot;

constexpr std::size_t kMaxTakenBy = 128;

enum class Kind { String, Bool, Integer, Object, Array };

bool is(const Json &v, Kind k)
{
    switch (k) {
    case Kind::String: return v.is_string();
    case Kind::Bool: return v.is_boolean();
    case Kind::Integer: return v.is_number_integer();
    case Kind::Object: return v.is_object();
    case Kind::Array: return v.is_array();
    }
    return false;
}

// An integer member's value; false when it does not fit a long long.
bool value_of(const Json &v, long long &out)
{
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        out = static_cast<long long>(u);
        return u <= static_cast<std::uint64_t>(LLONG_MAX);
    }
    out = v.get<long long>();
    return true;
}

// Checks members as it reads them; the first problem is kept.
class Reader {
public:
    FirstProblem problem;

    bool bad(const std::string &what) { return problem.keep(what); }
    static std::string name(const std::string &where, const char *key)
    {
        return where.empty() ? std::string(key) : where + "." + key;
    }
    const Json *member(const Json &obj, const char *key, Kind kind, bool nullable, const std::string &where)
    {
        const auto it = obj.find(key);
        if (it == obj.end())
            return bad("no member " + name(where, key)), nullptr;
        if (it->is_null() && nullable)
            return &*it;
        if (!is(*it, kind))
            return bad(name(where, key) + " has the wrong type"), nullptr;
        return &*it;
    }
    bool number(const Json &obj, const char *key, long long lo, long long hi, long long &out,
                const std::string &where)
    {
        const Json *v = member(obj, key, Kind::Integer, false, where);
        if (v == nullptr)
            return false;
        if (!value_of(*v, out) || out < lo || out > hi)
            return bad(name(where, key) + " is out of range");
        return true;
    }
    // A string without NUL of at most `max` bytes.
    const std::string *text(const Json &obj, const char *key, std::size_t max, const std::string &where)
    {
        const Json *v = member(obj, key, Kind::String, false, where);
        if (v == nullptr)
            return nullptr;
        const auto &t = v->get_ref<const std::string &>();
        if (t.find('\0') != std::string::npos)
            return bad(name(where, key) + " holds \\u0000"), nullptr;
        if (t.size() > max)
            return bad(name(where, key) + " is longer than " + std::to_string(max) + " bytes"), nullptr;
        return &t;
    }
    // A hex string of `length` bytes (at most `max` when -1), or null.
    bool bytes(const Json &obj, const char *key, long long length, std::size_t max, std::optional<Bytes> &out,
               const std::string &where)
    {
        const Json *v = member(obj, key, Kind::String, true, where);
        if (v == nullptr)
            return false;
        if (v->is_null())
            return out.reset(), true;
        const auto &t = v->get_ref<const std::string &>();
        const std::string n = name(where, key);
        if (t.size() % 2 != 0)
            return bad(n + " is not whole bytes");
        if (length >= 0 && t.size() / 2 != static_cast<std::size_t>(length))
            return bad(n + " does not hold its " + std::to_string(length) + " bytes");
        if (t.size() / 2 > max)
            return bad(n + " holds more than " + std::to_string(max) + " bytes");
        Bytes b;
        for (std::size_t i = 0; i + 1 < t.size(); i += 2) {
            const int hi = arksim::hex_digit(t[i]), lo = arksim::hex_digit(t[i + 1]);
            if (hi < 0 || lo < 0)
                return bad(n + " is not hex");
            b.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
        out = std::move(b);
        return true;
    }
    // {"offset", "length", "result", "bytes"} within [0, limit).
    bool span(const Json &obj, long long limit, Snapshot::Span &out, const std::string &where)
    {
        long long offset = 0, length = 0, result = 0;
        if (!number(obj, "offset", 0, limit, offset, where) ||
            !number(obj, "length", 0, limit - offset, length, where) ||
            !number(obj, "result", INT32_MIN, INT32_MAX, result, where) ||
            !bytes(obj, "bytes", length, static_cast<std::size_t>(limit), out.bytes, where))
            return false;
        out.offset = static_cast<unsigned>(offset);
        return true;
    }
};

// The length the library reads key `name` at; 0 for a key it never reads.
int library_length(const std::string &name)
{
    for (const auto &k : sf::kKeys)
        if (name == k.name)
            return k.length;
    return name.starts_with(std::string(sf::kSensorPrefix) + "/") ? sf::kSensorLength : 0;
}

bool read_keys(Reader &r, const Json &list, Snapshot &s)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Json &k = list[i];
        const std::string where = "memstore[" + std::to_string(i) + "]";
        Snapshot::Key key;
        const std::string *name = r.text(k, "key", SIZE_MAX, where);
        const Json *present = r.member(k, "present", Kind::Bool, false, where);
        if (name == nullptr || present == nullptr)
            return false;
        if (!arksim::storable_key(*name))
            return r.bad(where + ".key is no key the memstore keeps (empty, or its file name too long)");
        const int length = library_length(*name);
        if (length == 0)
            return r.bad(where + ".key \"" + name->substr(0, 64) + "\" is no key the library reads");
        for (const auto &seen : s.keys)
            if (seen.name == *name)
                return r.bad(where + ".key \"" + *name + "\" given twice");
        const Json *given = r.member(k, "length", Kind::Integer, false, where);
        if (given == nullptr)
            return false;
        if (!value_of(*given, key.length) || key.length != length)
            return r.bad(where + ".length is not the " + std::to_string(length) + " bytes the library reads");
        key.name = *name;
        key.present = present->get<bool>();
        long long result = 0;
        if (key.present && (!r.number(k, "result", INT32_MIN, INT32_MAX, result, where) ||
                            !r.bytes(k, "bytes", key.length, SIZE_MAX, key.bytes, where)))
            return false;
        s.keys.push_back(std::move(key));
    }
    return true;
}

bool read_files(Reader &r, const Json &list, const Json &present, Snapshot &s)
{
    constexpr std::string_view kShmDir = "/dev/shm/";
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string where = "files[" + std::to_string(i) + "]";
        const std::string *path = r.text(list[i], "path", SIZE_MAX, where);
        std::optional<Bytes> bytes;
        if (path == nullptr || !r.bytes(list[i], "bytes", -1, sf::kMaxShmFile, bytes, where))
            return false;
        bool known = false;
        for (const char *f : sf::kShmFiles)
            known = known || *path == f;
        if (!known)
            return r.bad(where + ".path is no file of /dev/shm that the library writes");
        const std::string name = path->substr(kShmDir.size());
        for (const auto &seen : s.files)
            if (seen.first == name)
                return r.bad(where + ".path " + *path + " given twice");
        s.files.emplace_back(name, std::move(bytes));
    }
    for (const char *path : sf::kSwitchFiles) {
        const Json *v = r.member(present, path, Kind::Bool, false, "present");
        if (v == nullptr)
            return false;
        s.present.emplace_back(path, v->get<bool>());
    }
    return true;
}

bool read_registers(Reader &r, const Json &regs, Snapshot &s)
{
    for (int i = 0; i < sf::kRegisterCount; ++i) {
        const Json *v = r.member(regs, sf::kRegisterNames[i], Kind::Integer, true, "registers");
        long long n = -1;
        if (v == nullptr)
            return false;
        if (v->is_number_integer() && (!value_of(*v, n) || n < 0 || n > 255))
            return r.bad(std::string("registers.") + sf::kRegisterNames[i] + " is no byte");
        s.registers[i] = static_cast<int>(n);
    }
    const auto thermal = regs.find("thermal");
    if (thermal == regs.end())
        return true;  // no slot byte, no thermal register
    const std::string where = "registers.thermal";
    if (s.slot < 0)
        return r.bad(where + " without a slot byte");
    const long long own = sf::thermal_register(s.slot);
    long long reg = 0, value = -1;
    const Json *v = r.member(*thermal, "value", Kind::Integer, true, where);
    if (v == nullptr || !r.number(*thermal, "register", 0, 255, reg, where))
        return false;
    if (reg != own)
        return r.bad(where + ".register is not slot " + std::to_string(s.slot) + "'s (" +
                     std::to_string(own) + ")");
    if (v->is_number_integer() && (!value_of(*v, value) || value < 0 || value > 255))
        return r.bad(where + ".value is no byte");
    // Slot 78's register is the chassis type register 0x9C: one value for both.
    for (int i = 0; i < sf::kRegisterCount; ++i)
        if (sf::kRegisters[i] == own && s.registers[i] != value)
            return r.bad(where + ".value disagrees with registers." + sf::kRegisterNames[i]);
    s.thermal_register = static_cast<int>(reg);
    s.thermal_value = static_cast<int>(value);
    return true;
}

bool read_parts(Reader &r, const Json &d, Snapshot &s)
{
    const Json *eeprom = r.member(d, "eeprom", Kind::Array, false, "");
    const Json *mailbox = r.member(d, "mailbox", Kind::Object, true, "");
    const Json *fru = r.member(d, "chassis_fru", Kind::Object, false, "");
    const Json *budget = r.member(d, "published_budget", Kind::Object, true, "");
    if (!eeprom || !mailbox || !fru || !budget)
        return false;
    for (std::size_t i = 0; i < eeprom->size(); ++i) {
        s.eeprom.emplace_back();
        if (!r.span((*eeprom)[i], sf::kEepromSize, s.eeprom.back(), "eeprom[" + std::to_string(i) + "]"))
            return false;
    }
    long long target = 0;
    if (mailbox->is_object()) {
        if (s.slot < 0)
            return r.bad("mailbox without a slot byte");
        const long long own = sf::mailbox_target(s.slot);
        if (!r.number(*mailbox, "target", own, own, target, "mailbox") ||
            !r.span(*mailbox, sf::kMailboxLength, s.mailbox.emplace(), "mailbox"))
            return false;
    }
    if (!r.number(*fru, "target", sf::kChassisFruTarget, sf::kChassisFruTarget, target, "chassis_fru") ||
        !r.span(*fru, sf::kTunnelSize, s.chassis_fru.emplace(), "chassis_fru"))
        return false;
    if (budget->is_object()) {
        long long hw = 0, permitted = 0;
        if (!r.number(*budget, "hwconfig_power", 0, sf::kMaxWatts, hw, "published_budget") ||
            !r.number(*budget, "permitted_power", 0, sf::kMaxWatts, permitted, "published_budget"))
            return false;
        s.budget.emplace(static_cast<int>(hw), static_cast<int>(permitted));
    }
    return true;
}

bool read_all(Reader &r, const Json &d, Snapshot &s)
{
    const std::string *taken = r.text(d, "taken_by", kMaxTakenBy, "");
    const Json *slot = r.member(d, "slot", Kind::Integer, true, "");
    const Json *regs = r.member(d, "registers", Kind::Object, false, "");
    const Json *keys = r.member(d, "memstore", Kind::Array, false, "");
    const Json *files = r.member(d, "files", Kind::Array, false, "");
    const Json *present = r.member(d, "present", Kind::Object, false, "");
    if (!taken || !slot || !r.number(d, "uptime", INT32_MIN, INT32_MAX, s.uptime, "") || !regs || !keys ||
        !files || !present)
        return false;
    for (const char c : *taken)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return r.bad("taken_by holds a control character");
    s.taken_by = *taken;
    long long n = -1;
    if (slot->is_number_integer() && (!value_of(*slot, n) || n < 0 || n > 255))
        return r.bad("slot is no byte");
    s.slot = static_cast<int>(n);
    return read_registers(r, *regs, s) && read_keys(r, *keys, s) && read_files(r, *files, *present, s) &&
           read_parts(r, d, s);
}

}  // namespace

bool parse_snapshot(std::string_view text, const std::string &path, Snapshot &out, std::string &error)
{
    out = {};
    Json d;
    std::string why;
    const std::string damaged = path + " is damaged (not what arkbctl snapshot writes): ";
    if (!parse_json(text, d, why))
        return error = damaged + why, false;
    const auto format = d.is_object() ? d.find("format") : d.end();
    if (format == d.end() || !format->is_string() || format->get_ref<const std::string &>() != sf::kFormat)
        return error = path + " is no blade snapshot (no \"format\": \"" + sf::kFormat + "\")", false;
    const auto version = d.find("version");
    long long v = 0;
    if (version == d.end() || !version->is_number_integer())
        return error = damaged + "no format version", false;
    const bool fits = value_of(*version, v);  // false only beyond any long long
    if (fits && v < 1)
        return error = damaged + "no format version", false;
    if (!fits || v > kSnapshotVersion)
        return error = path + " is snapshot format version " + version->dump() +
                       "; this arksim reads versions up to " + std::to_string(kSnapshotVersion) +
                       ", older than the arkbctl that took it",
               false;
    Reader r;
    if (!read_all(r, d, out))
        return error = damaged + r.problem.text, false;
    return true;
}

bool read_snapshot(const std::string &path, Snapshot &out, std::string &error)
{
    std::string text;
    return read_document(path, text, error) && parse_snapshot(text, path, out, error);
}

std::optional<long long> snapshot_allotment(const Snapshot &s)
{
    for (const auto &k : s.keys)
        if (k.name == sf::kAllotmentKey && k.bytes && k.bytes->size() == 4) {
            const Bytes &b = *k.bytes;
            return static_cast<long long>(static_cast<uint32_t>(b[0]) << 24 |
                                          static_cast<uint32_t>(b[1]) << 16 |
                                          static_cast<uint32_t>(b[2]) << 8 | b[3]);
        }
    return std::nullopt;
}

}  // namespace arkcli
