// arkbctl snapshot: everything of the blade's state that the library reads,
// as one JSON document, taken through the library's exported functions and
// the SP's platform functions alone (and plain file reads), so that the same
// program runs on a real SP as under the simulator.  Only reads are made:
// no memstore_set, no midplane or EEPROM write, no tunneling start.  A part
// that cannot be read is recorded with the result that refused it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "arkblade.h"
#include "arkbctl_cli.h"
#include "library.h"
#include "snapshot.h"

namespace arkbctl {
namespace {

// The platform functions read here, beside the library's own.
using GetFn = int (*)(const char *, void *, int);
using HasKeyFn = int (*)(const char *);
using UptimeFn = int32_t (*)(void);
using BudgetFn = int (*)(int, arkb_pwr_budget *);
using SensorKeyFn = int (*)(const uint8_t *, char *, int, const char *);

struct Platform {
    GetFn get = nullptr;
    HasKeyFn haskey = nullptr;
    UptimeFn uptime = nullptr;
    BudgetFn budget = nullptr;
    SensorKeyFn sensor_key = nullptr;
};

template <class Fn> bool find(const char *name, Fn &out, std::string &missing)
{
    out = reinterpret_cast<Fn>(platform_symbol(name));
    if (out == nullptr)
        missing += missing.empty() ? name : std::string(", ") + name;
    return out != nullptr;
}

// Every memstore key the library reads or writes, at the length it uses.
struct Key {
    const char *name;
    int length;
};
constexpr Key kKeys[] = {
    {"slotid", 1},          {"chassis_type", 2},         {"device_type", 4},     {"ARKB/SAS_CAPS", 4},
    {"ARKB/CMMREADY", 1},   {"SSBCAST/CH/TIMESTAMP", 4}, {"therm_ovrd", 1},      {"tcontrol", 4},
    {"arkb_pwrpubtime", 4}, {"ARKB/PWRBUDGET", 4},       {"available_power", 4}, {"ARKB/PWRDEC", 4},
};
// The P_OVER_WARN sensor of the chassis broadcast, whose key the sensor
// library names from this prefix.
constexpr uint8_t kPowerSensor[2] = {131, 0};
constexpr const char *kSensorPrefix = "SSBCAST/CH";
constexpr int kSensorLength = 4;

constexpr uint8_t kRegisters[] = {0x9C, 0x4C, 0x7E};
constexpr const char *kShmFiles[] = {"/dev/shm/slotid", "/dev/shm/chassis_type"};
constexpr const char *kSwitchFiles[] = {"/persist/node1", "/conf/override_powerctl",
                                        "/usr/local/bin/frutool"};

// The EEPROM spans the library reaches: the section header and the largest
// directory with the 32-byte window after it, and the InstallR segment with
// the bytes before it that its windows rewrite.
struct Span {
    unsigned offset, length;
};
constexpr Span kEepromSpans[] = {{0, 288}, {3184, 6144 - 3184}};

constexpr uint8_t kChassisFruTarget = 0xAA;
constexpr int kChassisFruOffset = 0x1800, kChassisFruLength = 0x800;
constexpr int kMailboxLength = 256;  // all of an 8-bit-offset tunnel

// A small JSON writer: members in order, commas and indentation kept.
class Json {
public:
    std::string out;

    void open(const char *key, char bracket)
    {
        member(key);
        out += bracket;
        first_ = true;
        ++depth_;
    }
    void close(char bracket)
    {
        --depth_;
        newline();
        out += bracket;
        first_ = false;
    }
    void number(const char *key, long long v) { member(key), out += std::to_string(v); }
    void boolean(const char *key, bool v) { member(key), out += v ? "true" : "false"; }
    void null(const char *key) { member(key), out += "null"; }
    void string(const char *key, const std::string &s)
    {
        member(key);
        quoted(s);
    }
    void bytes(const char *key, const uint8_t *p, std::size_t n)
    {
        std::string hex;
        hex.reserve(n * 2);
        for (std::size_t i = 0; i < n; ++i)
            hex += fmt("%02x", p[i]);
        string(key, hex);
    }

private:
    bool first_ = true;
    int depth_ = 0;
    void quoted(const std::string &s)
    {
        out += '"';
        for (char c : s) {
            if (c == '"' || c == '\\')
                out += '\\';
            if (static_cast<unsigned char>(c) < 0x20)
                out += fmt("\\u%04x", c);
            else
                out += c;
        }
        out += '"';
    }
    void newline()
    {
        out += '\n';
        out.append(static_cast<std::size_t>(depth_) * 2, ' ');
    }
    void member(const char *key)
    {
        if (!first_)
            out += ',';
        first_ = false;
        if (depth_ > 0)
            newline();
        if (key != nullptr) {
            quoted(key);
            out += ": ";
        }
    }
};

// A read's result and its bytes, null when it failed.
void read_part(Json &j, int result, bool ok, const uint8_t *p, std::size_t n)
{
    j.number("result", result);
    ok ? j.bytes("bytes", p, n) : j.null("bytes");
}

void memstore_key(Json &j, const Platform &pf, const char *key, int length)
{
    std::vector<uint8_t> buf(static_cast<std::size_t>(length));
    const bool present = pf.haskey(key) != 0;
    j.open(nullptr, '{');
    j.string("key", key);
    j.number("length", length);
    j.boolean("present", present);
    if (present) {
        const int r = pf.get(key, buf.data(), length);
        read_part(j, r, r == 1, buf.data(), buf.size());
    }
    j.close('}');
}

void memstore(Json &j, const Platform &pf)
{
    j.open("memstore", '[');
    for (const Key &k : kKeys)
        memstore_key(j, pf, k.name, k.length);
    char sensor[64] = {};
    if (pf.sensor_key(kPowerSensor, sensor, sizeof sensor, kSensorPrefix) == 0)
        memstore_key(j, pf, sensor, kSensorLength);
    j.close(']');
}

void registers(Json &j, int slot)
{
    j.open("registers", '{');
    for (uint8_t reg : kRegisters) {
        uint8_t v = 0;
        const std::string name = fmt("0x%02x", reg);
        arkb_mp_read(reg, &v, 1) == -1 ? j.null(name.c_str()) : j.number(name.c_str(), v);
    }
    // The slot's thermal override register, read as the others.
    if (slot >= 0) {
        uint8_t v = 0;
        const auto reg = static_cast<uint8_t>((slot * 2) & 0xFE);
        j.open("thermal", '{');
        j.number("register", reg);
        arkb_mp_read(reg, &v, 1) == -1 ? j.null("value") : j.number("value", v);
        j.close('}');
    }
    j.close('}');
}

void files(Json &j)
{
    j.open("files", '[');
    for (const char *path : kShmFiles) {
        j.open(nullptr, '{');
        j.string("path", path);
        std::vector<uint8_t> data;
        FILE *f = std::fopen(path, "rb");
        if (f != nullptr) {
            uint8_t buf[512];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
                data.insert(data.end(), buf, buf + n);
            std::fclose(f);
            j.bytes("bytes", data.data(), data.size());
        } else {
            j.null("bytes");
        }
        j.close('}');
    }
    j.close(']');
    j.open("present", '{');
    for (const char *path : kSwitchFiles) {
        struct stat st {};
        j.boolean(path, ::stat(path, &st) == 0);
    }
    j.close('}');
}

void eeprom(Json &j)
{
    j.open("eeprom", '[');
    for (const Span &s : kEepromSpans) {
        std::vector<uint8_t> buf(s.length);
        const int r = arkbp_read_mbfruid_elmsect(buf.data(), s.length, s.offset);
        j.open(nullptr, '{');
        j.number("offset", s.offset);
        j.number("length", s.length);
        read_part(j, r, r >= 0, buf.data(), buf.size());
        j.close('}');
    }
    j.close(']');
}

void tunnel(Json &j, const char *key, uint8_t target, int offset, int length, int width, int unit)
{
    std::vector<uint8_t> buf(static_cast<std::size_t>(length));
    const int r = arkb_mp_tnlblk_read(target, buf.data(), length, offset, width, unit);
    j.open(key, '{');
    j.number("target", target);
    j.number("offset", offset);
    j.number("length", length);
    read_part(j, r, r >= 0, buf.data(), buf.size());
    j.close('}');
}

}  // namespace

Outcome snapshot(const Values &v)
{
    Platform pf;
    std::string missing;
    find("memstore_get", pf.get, missing);
    find("memstore_haskey", pf.haskey, missing);
    find("uptime", pf.uptime, missing);
    find("ark_pwr_i2c_readpub_bl_budget", pf.budget, missing);
    find("ssbcast_sensor_format", pf.sensor_key, missing);
    Outcome o;
    o.own_lines = true;
    if (!missing.empty()) {
        o.result = -1;
        std::fprintf(stderr, "arkbctl snapshot: the platform libraries lack %s\n", missing.c_str());
        return o;
    }
    Json j;
    j.open(nullptr, '{');
    j.string("format", kSnapshotFormat);
    j.number("version", kSnapshotVersion);
    j.string("taken_by",
             fmt("arkbctl %d.%d.%d", ARKBLADE_VERSION_MAJOR, ARKBLADE_VERSION_MINOR, ARKBLADE_VERSION_PATCH));
    j.number("uptime", pf.uptime());
    uint8_t slot = 0;
    const int slot_rc = arkbp_read_slotid(&slot);
    slot_rc < 0 ? j.null("slot") : j.number("slot", slot);
    registers(j, slot_rc < 0 ? -1 : slot);
    memstore(j, pf);
    files(j);
    eeprom(j);
    if (slot_rc >= 0)
        tunnel(j, "mailbox", static_cast<uint8_t>(0x80 | ((slot * 2) & 0xFE)), 0, kMailboxLength, 8, 8);
    else
        j.null("mailbox");
    tunnel(j, "chassis_fru", kChassisFruTarget, kChassisFruOffset, kChassisFruLength, 16, 64);
    arkb_pwr_budget budget{};
    if (slot_rc >= 0 && slot != 255 && pf.budget(slot, &budget) >= 0) {
        j.open("published_budget", '{');
        j.number("hwconfig_power", budget.hwconfig_power);
        j.number("permitted_power", budget.permitted_power);
        j.close('}');
    } else {
        j.null("published_budget");
    }
    j.close('}');
    j.out += '\n';

    FILE *out = stdout;
    if (v.given[0] && (out = std::fopen(v.text.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "arkbctl snapshot: cannot write %s: %s\n", v.text.c_str(), std::strerror(errno));
        o.result = -1;
        return o;
    }
    const bool written = std::fwrite(j.out.data(), 1, j.out.size(), out) == j.out.size();
    if ((out != stdout && std::fclose(out) != 0) || !written) {
        std::fprintf(stderr, "arkbctl snapshot: cannot write %s\n",
                     v.given[0] ? v.text.c_str() : "the output");
        o.result = -1;
    } else if (out != stdout) {
        std::printf("snapshot: %zu bytes to %s\n", j.out.size(), v.text.c_str());
    }
    return o;
}

}  // namespace arkbctl
