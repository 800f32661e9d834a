// The reader of a blade snapshot (`arksim create --from`): what a snapshot
// must hold before anything of it is written, against hostile documents
// (numbers beyond 64 bits, names given twice or holding NUL, huge ones,
// files that are no regular files, members beyond what the library reads),
// and strings as UTF-8 both ways.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "json_out.h"
#include "snapshot_import.h"

namespace {

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

std::string temp_path()
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/arkb-snapshot.XXXXXX";
}

bool read_text(const std::string &text, arkcli::Snapshot &out, std::string &error)
{
    std::string path = temp_path();
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
    const std::string big_key = "SSBCAST/CH/" + std::string(300, 'x');
    const struct {
        std::string from, to, error;
    } bad[] = {
        {"\"version\": 1", "\"version\": 2",
         "is snapshot format version 2; this arksim reads versions up to 1"},
        {"\"version\": 1", "\"version\": 0",
         "is damaged (not what arkbctl snapshot writes): no format version"},
        {"arkblade-snapshot", "blade", "is no blade snapshot"},
        // Numbers: beyond 64 bits, or not integers, are refused, not wrapped or rounded.
        {"\"slot\": 3", "\"slot\": 18446744073709551619",
         "18446744073709551619 is no integer of at most 64 bits"},
        {"\"version\": 1", "\"version\": 18446744073709551617", "is no integer of at most 64 bits"},
        {"\"uptime\": 7", "\"uptime\": 7.0", "the number 7.0 is no integer"},
        {"\"slot\": 3", "\"slot\": 256", "slot is no byte"},
        // Names: given twice, or holding NUL.
        {"\"slot\": 3", "\"slot\": 3, \"slot\": 4", "the member \"slot\" given twice"},
        {"\"uptime\": 7", "\"uptime\": 7, \"slot\\u0000\": 4", "a member name holding \\u0000"},
        {"\"key\": \"slotid\"", "\"key\": \"slotid\\u0000x\"", "memstore[0].key holds \\u0000"},
        {"{\"key\": \"tcontrol\"", "{\"key\": \"slotid\"", "memstore[1].key \"slotid\" given twice"},
        // A document past 1 MiB is refused before it is parsed.
        {"arkbctl 1.0.0", std::string(1 << 20, 'a'), "is larger than 1048576 bytes"},
        // Members beyond what the library reads or the store keeps.
        {"\"value\": 127", "\"value\": 300", "registers.thermal.value is no byte"},
        {"\"register\": 6", "\"register\": 156", "registers.thermal.register is not slot 3's (6)"},
        {"\"length\": 1, \"present\": true, \"result\": 1, \"bytes\": \"03\"",
         "\"length\": 2, \"present\": true, \"result\": 1, \"bytes\": \"0300\"",
         "memstore[0].length is not the 1 bytes the library reads"},
        {"\"key\": \"tcontrol\"", "\"key\": \"" + big_key + "\"",
         "memstore[1].key is no key the memstore keeps"},
        {"\"key\": \"tcontrol\"", "\"key\": \"secret\"",
         "memstore[1].key \"secret\" is no key the library reads"},
        {"\"target\": 134", "\"target\": 135", "mailbox.target is out of range"},
        {"\"uptime\": 7,", "", "no member uptime"},
        {"\"bytes\": \"03\"", "\"bytes\": \"0304\"", "memstore[0].bytes does not hold its 1 bytes"},
        {"\"bytes\": \"3300\"", "\"bytes\": \"330\"", "files[0].bytes is not whole bytes"},
        {"\"bytes\": \"0100\"", "\"bytes\": \"01zz\"", "eeprom[0].bytes is not hex"},
        {"/dev/shm/slotid", "/etc/passwd", "files[0].path is no file of /dev/shm that the library writes"},
        {"\"offset\": 0, \"length\": 2", "\"offset\": 16383, \"length\": 2",
         "eeprom[0].length is out of range"},
        {"\"target\": 170", "\"target\": 171", "chassis_fru.target is out of range"},
        {"\"/persist/node1\": false", "\"/persist/node1\": 0", "present./persist/node1 has the wrong type"},
        {"\"hwconfig_power\": 300", "\"hwconfig_power\": 65536",
         "published_budget.hwconfig_power is out of range"},
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(read_text(snapshot_text(c.from, c.to), s, error)) << c.to.substr(0, 80);
        EXPECT_NE(error.find(c.error), std::string::npos)
            << c.to.substr(0, 80) << ": " << error.substr(0, 200);
    }
    // Files that are no regular ones are refused at once (a FIFO would block a read).
    std::string fifo = temp_path();
    ASSERT_TRUE(::mkdtemp(fifo.data()) != nullptr);
    const std::string dir = fifo;
    fifo += "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &path : {dir, fifo, std::string("/dev/zero")}) {
        EXPECT_FALSE(arkcli::read_snapshot(path, s, error));
        EXPECT_EQ(error, path + ": is no regular file");
    }
    ::unlink(fifo.c_str());
    ::rmdir(dir.c_str());
}

// Strings are UTF-8 as JSON defines them, read and written: \u00e9 is é, and
// bytes that are no UTF-8 are written as U+FFFD, never as Latin-1.
TEST(Snapshot, StringsAreUtf8BothWays)
{
    arkcli::Snapshot s;
    std::string error;
    ASSERT_TRUE(read_text(snapshot_text("arkbctl 1.0.0", "arkbctl \\u00e9"), s, error)) << error;
    EXPECT_EQ(s.taken_by, "arkbctl \xc3\xa9");
    EXPECT_EQ(arkcli::json_string("\xc3\xa9\x01"), "\"\\u00e9\\u0001\"");
    EXPECT_EQ(arkcli::json_string("a\xe9"), "\"a\\ufffd\"");
}

}  // namespace
