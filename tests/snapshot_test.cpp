// The readers of a blade snapshot (`arksim create --from`): the JSON parser's
// errors and positions, and what a snapshot must hold before anything of it
// is written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "json_in.h"
#include "snapshot_import.h"

namespace {

using arkcli::JsonValue;

TEST(Snapshot, JsonReadsValuesAndNamesTheFirstError)
{
    JsonValue v;
    std::string error;
    ASSERT_TRUE(arkcli::parse_json(" {\"a\": [1, -2, true, null, \"x\\u0041\\n\"], \"b\": {}} ", v, error))
        << error;
    const JsonValue *a = v.get("a");
    ASSERT_TRUE(a != nullptr && a->items.size() == 5);
    EXPECT_EQ(a->items[1].number, -2);
    EXPECT_TRUE(a->items[2].flag);
    EXPECT_EQ(a->items[3].type, JsonValue::Null);
    EXPECT_EQ(a->items[4].text, "xA\n");
    EXPECT_EQ(v.get("c"), nullptr);
    const struct {
        std::string text, error;
    } bad[] = {
        {"{\"a\": 1.5}", "at byte 7: a number that is not an integer"},
        {"[1, 2", "at byte 5: the document ends early"},
        {"{} x", "at byte 3: text after the document"},
        {"\"\\q\"", "at byte 2: a bad escape"},
        {"{\"a\" 1}", "at byte 5: expected ':'"},
        {"[1 2]", "at byte 3: expected ',' or ']'"},
        {"[tru]", "at byte 1: not a JSON value"},
        {"\"a\tb\"", "at byte 2: a control character in a string"},
        {"99999999999999999999", "at byte 18: a number too large"},
        {std::string(66, '[') + std::string(66, ']'), "at byte 65: nested too deep"},
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(arkcli::parse_json(c.text, v, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

// A snapshot as arkbctl writes it, small: one key, one EEPROM span.
std::string snapshot_text(const std::string &change_from = "", const std::string &change_to = "")
{
    std::string s = R"({"format": "arkblade-snapshot", "version": 1, "taken_by": "arkbctl 1.0.0", "uptime": 7,
 "slot": 3, "registers": {"0x9c": 24, "0x4c": null, "0x7e": null, "thermal": {"register": 6, "value": 127}},
 "memstore": [{"key": "slotid", "length": 1, "present": true, "result": 1, "bytes": "03"},
              {"key": "tcontrol", "length": 4, "present": false}],
 "files": [{"path": "/dev/shm/slotid", "bytes": "3300"}],
 "present": {"/persist/node1": false, "/conf/override_powerctl": true, "/usr/local/bin/frutool": true},
 "eeprom": [{"offset": 0, "length": 2, "result": 2, "bytes": "0100"}],
 "mailbox": {"target": 134, "offset": 0, "length": 1, "result": 1, "bytes": "08"},
 "chassis_fru": {"target": 170, "offset": 6144, "length": 0, "result": -5, "bytes": null},
 "published_budget": {"hwconfig_power": 300, "permitted_power": 250}})";
    if (!change_from.empty()) {
        const auto at = s.find(change_from);
        EXPECT_NE(at, std::string::npos) << change_from;
        s.replace(at, change_from.size(), change_to);
    }
    return s;
}

bool read_text(const std::string &text, arkcli::Snapshot &out, std::string &error)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/arkb-snapshot.XXXXXX";
    const int fd = ::mkstemp(path.data());
    EXPECT_GE(fd, 0);
    ::close(fd);
    std::ofstream(path) << text;
    const bool ok = arkcli::read_snapshot(path, out, error);
    ::unlink(path.c_str());
    return ok;
}

TEST(Snapshot, TakesWhatArkbctlWritesAndRefusesTheRest)
{
    arkcli::Snapshot s;
    std::string error;
    ASSERT_TRUE(read_text(snapshot_text(), s, error)) << error;
    EXPECT_EQ(s.slot, 3);
    EXPECT_EQ(s.registers[0], 0x18);
    EXPECT_EQ(s.registers[1], -1);
    EXPECT_EQ(s.thermal_value, 0x7F);
    ASSERT_EQ(s.keys.size(), 2u);
    EXPECT_EQ(*s.keys[0].bytes, (arkcli::Bytes{3}));
    EXPECT_FALSE(s.keys[1].present);
    EXPECT_TRUE(s.present[1].second);
    EXPECT_FALSE(s.chassis_fru->bytes);
    EXPECT_EQ(s.budget, std::make_pair(300, 250));
    const struct {
        std::string from, to, error;
    } bad[] = {
        {"\"version\": 1", "\"version\": 2",
         "is snapshot format version 2; this arksim reads versions up to 1"},
        {"\"version\": 1", "\"version\": 0",
         "is damaged (not what arkbctl snapshot writes): no format version"},
        {"arkblade-snapshot", "blade", "is no blade snapshot"},
        {"\"slot\": 3", "\"slot\": 256", "slot is no byte"},
        {"\"uptime\": 7,", "", "no member uptime"},
        {"\"bytes\": \"03\"", "\"bytes\": \"0304\"", "memstore[0].bytes does not hold its 1 bytes"},
        {"\"bytes\": \"3300\"", "\"bytes\": \"330\"", "files[0].bytes is not whole bytes"},
        {"\"bytes\": \"0100\"", "\"bytes\": \"01zz\"", "eeprom[0].bytes is not hex"},
        {"/dev/shm/slotid", "/etc/passwd", "files[0].path is no file of /dev/shm"},
        {"\"offset\": 0, \"length\": 2", "\"offset\": 16383, \"length\": 2",
         "eeprom[0].length is out of range"},
        {"\"target\": 170", "\"target\": 171", "chassis_fru.target is out of range"},
        {"\"/persist/node1\": false", "\"/persist/node1\": 0", "present./persist/node1 has the wrong type"},
        {"\"hwconfig_power\": 300", "\"hwconfig_power\": 65536",
         "published_budget.hwconfig_power is out of range"},
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(read_text(snapshot_text(c.from, c.to), s, error)) << c.to;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.to << ": " << error;
    }
}

}  // namespace
