// The simulated platform itself: what SP developers rely on when they test
// against it (strict memstore lengths, bus splitting, fault rules, keys).
#include "arkblade.h"
#include "core/bus_time.h"
#include "core/call_settings.h"
#include "core/simstate.h"
#include "sim_test.h"
#include "arkb_outside.h"

#include <fcntl.h>
#include <unistd.h>

using Simulator = SimTest;

TEST_F(Simulator, MemstoreGetOfAnotherLengthAnswersZero)
{
    set_key("k", {1, 2, 3, 4});
    uint8_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(memstore_get("k", buf, 1), 0);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(memstore_get("k", buf, 4), 1);
    EXPECT_EQ(memstore_get("absent", buf, 4), 0);
    EXPECT_EQ(memstore_haskey("k"), 1);
}

TEST_F(Simulator, KeyNamesRoundTrip)
{
    for (const char *k : {"ARKB/PWRDEC", "SSBCAST/CH/TIMESTAMP", "a%b", ".hidden", "x y"}) {
        std::string name = arksim::encode_key(k);
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_NE(name[0], '.');
        EXPECT_EQ(arksim::decode_key(name), k);
    }
}

TEST_F(Simulator, EepromWritesSplitAtPagesAndUnits)
{
    uint8_t buf[100] = {};
    arksim::reset_stats(sp);
    // 60..159 with unit 32: 60-63 | 64-95 | 96-127 | 128-159
    EXPECT_EQ(elm_i2c_blk_write_on_bus(4, 255, 255, 0xA0, buf, 100, 60, 16, 32), 100);
    arksim::Stats s{};
    arksim::read_stats(sp, s);
    EXPECT_EQ(s.transactions[static_cast<int>(arksim::Bus::Eeprom)], 4u);
    EXPECT_EQ(s.bytes[static_cast<int>(arksim::Bus::Eeprom)], 100u);
    EXPECT_EQ(elm_i2c_blk_write_on_bus(3, 255, 255, 0xA0, buf, 1, 0, 16, 32), -1);
    EXPECT_EQ(elm_i2c_blk_read_on_bus(4, 255, 255, 0xA2, buf, 1, 0, 16, 64), -1);
    EXPECT_EQ(eeprom()[59], 0xFF);
    EXPECT_EQ(eeprom()[60], 0x00);
}

TEST_F(Simulator, TunnelOffsetWidthIsEnforced)
{
    uint8_t buf[8] = {};
    EXPECT_EQ(arkmp_tnlblk_read(0x86, buf, 8, 248, 8, 8), 8);
    EXPECT_EQ(arkmp_tnlblk_read(0x86, buf, 8, 249, 8, 8), -1);
    EXPECT_EQ(arkmp_tnlblk_read(0xAA, buf, 8, 0xFFF8, 16, 64), 8);
}

TEST_F(Simulator, FaultRulesPickCalls)
{
    struct Case {
        const char *when;
        std::vector<int> results;  // of four calls
    } cases[] = {{"2", {1, -3, 1, 1}}, {"2+", {1, -3, -3, -3}}, {"*", {-3, -3, -3, -3}}};
    uint8_t b = 0;
    set_key("k", {5});
    for (const Case &c : cases) {
        arksim::clear_faults(sp);
        fault("memstore_get", c.when, "-3");
        std::vector<int> got;
        for (int i = 0; i < 4; ++i)
            got.push_back(memstore_get("k", &b, 1));
        EXPECT_EQ(got, c.results) << c.when;
    }
    arksim::clear_faults(sp);
    // A value outside int is refused, on every target.
    EXPECT_FALSE(arksim::add_fault(sp, "memstore_get", "*", "4294967295"));
    EXPECT_EQ(memstore_get("k", &b, 1), 1);
}

TEST_F(Simulator, ChecksumsAndTagCodec)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(compute_crc8(check, 9), 0xF4);
    EXPECT_EQ(compute_checksum32(check, 9), 0xCBF43926u);
    const uint8_t manr[] = {0xF8, 0x00, 0x10, 0xB7}, ring[] = {0xF8, 0x00, 0x14, 0x4B}, end[] = {0x0C};
    EXPECT_EQ(get_tag_size(get_tag_type(manr)), 4);
    EXPECT_EQ(get_payload_length(manr), 183);
    EXPECT_EQ(get_payload_length(ring), 1099);
    EXPECT_EQ(get_tag_size(get_tag_type(end)), 1);
    const uint8_t bad[] = {0x00};
    EXPECT_EQ(get_tag_type(bad), -1);
}

TEST_F(Simulator, EveryChangeReachesTheNextCall)
{
    // A process keeps its settings and the open journal between calls; what
    // a command changes reaches its very next call.
    uint8_t buf[8] = {};
    const auto stamp_of_a_call = [&] {
        (void)arkmp_tnlblk_read(0x86, buf, 8, 0, 8, 8);
        const auto lines = arksim::read_lines(sp + "/journal");
        return lines.empty() ? std::string() : lines.back().substr(0, lines.back().find(' '));
    };
    EXPECT_EQ(stamp_of_a_call().find(",bus="), std::string::npos);
    ASSERT_TRUE(arksim::write_bus_khz(chassis, arksim::kMaxBusKhz));
    EXPECT_NE(stamp_of_a_call().find(",bus="), std::string::npos);
    ASSERT_TRUE(arksim::write_bus_khz(chassis, 0));
    EXPECT_EQ(stamp_of_a_call().find(",bus="), std::string::npos);
    // As `arksim journal --clear` does it: the next call starts a new journal.
    ::unlink((sp + "/journal").c_str());
    arksim::note_change(sp);
    EXPECT_NE(stamp_of_a_call(), "");
}

TEST_F(Simulator, AProgramsDescriptorsNeverTakeTheJournal)
{
    // A daemon closes or redirects descriptors it did not open: the kept
    // journal descriptor is then another file's, and the next line still
    // goes to the journal alone.
    uint8_t buf[8] = {};
    (void)arkmp_tnlblk_read(0x86, buf, 8, 0, 8, 8);
    int kept = -1;
    for (int fd = 0; fd < 1024 && kept < 0; ++fd) {
        std::string link(256, '\0');
        std::string path = "/proc/self/fd/";
        path += std::to_string(fd);
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n > 0 && link.substr(0, static_cast<std::size_t>(n)) == sp + "/journal")
            kept = fd;
    }
    ASSERT_GE(kept, 3);
    const std::string other = sp + "/program-file";
    const int mine = ::open(other.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(mine, 0);
    ASSERT_EQ(::dup2(mine, kept), kept);
    const std::size_t before = arksim::read_lines(sp + "/journal").size();
    (void)arkmp_tnlblk_read(0x86, buf, 8, 0, 8, 8);
    EXPECT_EQ(arksim::read_lines(sp + "/journal").size(), before + 1);
    EXPECT_TRUE(arksim::read_lines(other).empty());
    ::close(kept);
    ::close(mine);
}
