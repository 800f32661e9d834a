// arkbctl snapshot: everything of the blade's state that the library reads,
// as one JSON document, taken through the library's exported functions and
// the SP's platform functions alone (and plain file reads), so that the same
// program runs on a real SP as under the simulator.  Only reads are made:
// no memstore_set, no midplane or EEPROM write, no tunneling start.  A part
// that cannot be read is recorded with the result that refused it.
#include <cstdio>
#include <string>
#include <vector>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "arkblade.h"
#include "arkbctl_cli.h"
#include "library.h"
#include "replace_file.h"
#include "snapshot.h"
#include "snapshot_format.h"

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

namespace sf = arkb_snapshot;

// The document, its members in the order they are set (the JSON library's).
using Json = nlohmann::ordered_json;

std::string hex(const uint8_t *p, std::size_t n)
{
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i)
        out += fmt("%02x", p[i]);
    return out;
}

// A read's result and its bytes, null when it failed.
void read_part(Json &j, int result, bool ok, const uint8_t *p, std::size_t n)
{
    j["result"] = result;
    j["bytes"] = ok ? Json(hex(p, n)) : Json(nullptr);
}

Json memstore_key(const Platform &pf, const char *key, int length)
{
    std::vector<uint8_t> buf(static_cast<std::size_t>(length));
    const bool present = pf.haskey(key) != 0;
    Json j = Json::object();
    j["key"] = key;
    j["length"] = length;
    j["present"] = present;
    if (present) {
        const int r = pf.get(key, buf.data(), length);
        read_part(j, r, r == 1, buf.data(), buf.size());
    }
    return j;
}

Json memstore(const Platform &pf)
{
    Json j = Json::array();
    for (const sf::Key &k : sf::kKeys)
        j.push_back(memstore_key(pf, k.name, k.length));
    char sensor[64] = {};
    if (pf.sensor_key(sf::kPowerSensor, sensor, sizeof sensor, sf::kSensorPrefix) == 0)
        j.push_back(memstore_key(pf, sensor, sf::kSensorLength));
    return j;
}

Json registers(int slot)
{
    Json j = Json::object();
    for (int i = 0; i < sf::kRegisterCount; ++i) {
        uint8_t v = 0;
        j[sf::kRegisterNames[i]] = arkb_mp_read(sf::kRegisters[i], &v, 1) == -1 ? Json(nullptr) : Json(v);
    }
    // The slot's thermal override register, read as the others.
    if (slot >= 0) {
        uint8_t v = 0;
        const uint8_t reg = sf::thermal_register(slot);
        Json &t = j["thermal"] = Json::object();
        t["register"] = reg;
        t["value"] = arkb_mp_read(reg, &v, 1) == -1 ? Json(nullptr) : Json(v);
    }
    return j;
}

void files(Json &doc)
{
    Json &list = doc["files"] = Json::array();
    for (const char *path : sf::kShmFiles) {
        Json j = Json::object();
        j["path"] = path;
        std::vector<uint8_t> data;
        FILE *f = std::fopen(path, "rb");
        if (f != nullptr) {
            uint8_t buf[512];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
                data.insert(data.end(), buf, buf + n);
            std::fclose(f);
            j["bytes"] = hex(data.data(), data.size());
        } else {
            j["bytes"] = nullptr;
        }
        list.push_back(std::move(j));
    }
    Json &present = doc["present"] = Json::object();
    for (const char *path : sf::kSwitchFiles) {
        struct stat st {};
        present[path] = ::stat(path, &st) == 0;
    }
}

Json eeprom()
{
    Json list = Json::array();
    for (const sf::Span &s : sf::kEepromSpans) {
        std::vector<uint8_t> buf(s.length);
        const int r = arkbp_read_mbfruid_elmsect(buf.data(), s.length, s.offset);
        Json j = Json::object();
        j["offset"] = s.offset;
        j["length"] = s.length;
        read_part(j, r, r >= 0, buf.data(), buf.size());
        list.push_back(std::move(j));
    }
    return list;
}

Json tunnel(uint8_t target, unsigned offset, unsigned length, int width, int unit)
{
    std::vector<uint8_t> buf(length);
    const int r = arkb_mp_tnlblk_read(target, buf.data(), static_cast<int>(length), static_cast<int>(offset),
                                      width, unit);
    Json j = Json::object();
    j["target"] = target;
    j["offset"] = offset;
    j["length"] = length;
    read_part(j, r, r >= 0, buf.data(), buf.size());
    return j;
}

// The document as text: indented, strings UTF-8 as JSON defines them
// (anything beyond ASCII escaped, bytes that are no UTF-8 replaced).
std::string text_of(const Json &doc)
{
    return doc.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
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
    Json j = Json::object();
    j["format"] = sf::kFormat;
    j["version"] = sf::kVersion;
    j["taken_by"] =
        fmt("arkbctl %d.%d.%d", ARKBLADE_VERSION_MAJOR, ARKBLADE_VERSION_MINOR, ARKBLADE_VERSION_PATCH);
    j["uptime"] = pf.uptime();
    uint8_t slot = 0;
    const int slot_rc = arkbp_read_slotid(&slot);
    j["slot"] = slot_rc < 0 ? Json(nullptr) : Json(slot);
    j["registers"] = registers(slot_rc < 0 ? -1 : slot);
    j["memstore"] = memstore(pf);
    files(j);
    j["eeprom"] = eeprom();
    j["mailbox"] =
        slot_rc >= 0 ? tunnel(sf::mailbox_target(slot), 0, sf::kMailboxLength, 8, 8) : Json(nullptr);
    j["chassis_fru"] = tunnel(sf::kChassisFruTarget, sf::kChassisFruOffset, sf::kChassisFruLength, 16, 64);
    arkb_pwr_budget budget{};
    if (slot_rc >= 0 && slot != 255 && pf.budget(slot, &budget) >= 0) {
        Json &b = j["published_budget"] = Json::object();
        b["hwconfig_power"] = budget.hwconfig_power;
        b["permitted_power"] = budget.permitted_power;
    } else {
        j["published_budget"] = nullptr;
    }
    const std::string text = text_of(j);

    std::string error;
    if (!v.given[0]) {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "arkbctl snapshot: cannot write the output\n");
            o.result = -1;
        }
    } else if (!replace_file(v.text, text, error)) {
        std::fprintf(stderr, "arkbctl snapshot: %s (the file is as it was)\n", error.c_str());
        o.result = -1;
    } else {
        std::printf("snapshot: %zu bytes to %s\n", text.size(), v.text.c_str());
    }
    return o;
}

}  // namespace arkbctl
