// The InstallR segment in the FRU EEPROM: creation, the ring of installation
// records kept at start-up, and the dump.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "arkb_outside.h"
#include "arkblade.h"
#include "core/chassis.h"
#include "sim_test.h"

namespace {

constexpr unsigned kSlots = 3203, kRecord = 219;
const std::string kLog506 =
    "3 libarkblade_dynfru::arkb_instrec_update::506:Error Could not create InstallR segment\n";
const std::string kLog511 =
    "3 libarkblade_dynfru::arkb_instrec_update::511:Error Could not update installation instance\n";

void put_be32(Bytes &b, unsigned at, uint32_t v)
{
    for (unsigned i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The timestamp line that print_installr_struct gives a record stamped `stamp`.
std::string stamp_line(uint32_t stamp)
{
    Bytes record(kRecord, 0);
    put_be32(record, 0, stamp);
    testing::internal::CaptureStdout();
    print_installr_struct(record.data(), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    return out.substr(0, out.find('\n'));
}

// The checksum trailer as it must be for the bytes it covers.
Bytes with_trailer(Bytes e)
{
    e[4298] = 0x0C;
    put_be32(e, 4299, compute_checksum32(e.data() + 3195, 1103));
    return e;
}

class Instrec : public SimTest {
protected:
    // No chassis FRU data unless a test writes its own.
    void SetUp() override
    {
        SimTest::SetUp();
        clear_chassis_fru();
    }
    // A patterned EEPROM whose directory holds `count` descriptors, "FD" at `fd_at`.
    Bytes section(int count, int fd_at = -1) const
    {
        Bytes image(16384);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<uint8_t>(i * 37 + 11);
        image[3] = static_cast<uint8_t>(6 + 10 * count);
        image[5] = static_cast<uint8_t>(count);
        for (int i = 0; i < count && i < 24; ++i) {
            image[6 + 10 * i] = i == fd_at ? 'F' : 'A';
            image[7 + 10 * i] = i == fd_at ? 'D' : 'A';
        }
        set_eeprom(0, image);
        return image;
    }
    // `parent`: part number, serial number and dash level, 15 characters.
    void chassis_identity(const std::string &parent) const
    {
        Bytes rec(4 + 183, '.');
        std::copy_n(Bytes{0xF8, 0x00, 0x10, 0xB7}.begin(), 4, rec.begin());
        std::copy_n(parent.begin(), 13, rec.begin() + 4 + 148);
        std::copy_n(parent.begin() + 13, 2, rec.begin() + 4 + 163);
        arksim::write_tunnel_bytes(chassis, 0xAA, 0x1800,
                                   {0, 0, 0, 16, 0, 1, 'S', 'D', 0, 0, 0, 0, 0x19, 0, 1, 0});
        arksim::write_tunnel_bytes(chassis, 0xAA, 0x1900, rec);
    }
    void place(int slot) const
    {
        set_slot(slot);
        set_key("slotid", {static_cast<uint8_t>(slot)});
    }
    // EEPROM transactions as "r<len>@<offset>" and "w<len>@<offset>"; only the writes with 'w'.
    std::vector<std::string> transactions(char only = 0) const
    {
        std::vector<std::string> out;
        for (const std::string &line : journal()) {
            unsigned len = 0, offset = 0;
            if (line.rfind("elm_i2c_blk_", 0) != 0 || (only && line[12] != only))
                continue;
            std::sscanf(line.c_str() + line.find("0xa0, ") + 6, "%u, %u", &len, &offset);
            out.push_back(line[12] + std::to_string(len) + "@" + std::to_string(offset));
        }
        return out;
    }
};

}  // namespace

TEST_F(Instrec, CreationOverDirectoryShapes)
{
    const std::vector<std::string> created = {"w32@0", "w6@0", "w32@3184", "w32@4288"};
    struct Case {
        int count, fd_at;
        std::string log;
        std::vector<std::string> writes;
        long descriptor_reads;
    } cases[] = {
        {0, -1, kLog511, created, 0},
        {3, -1, kLog511, {"w32@32", "w6@0", "w32@3184", "w32@4288"}, 3},
        {23, -1, kLog511, {"w32@224", "w6@0", "w32@3184", "w32@4288"}, 23},
        {3, 0, kLog511, {}, 1},  // descriptors after "FD" are not read
        {3, 2, kLog511, {}, 3},
        {24, 23, kLog511, {}, 24},
        {24, -1, kLog506, {}, 24},   // no room under the one-byte header length
        {255, -1, kLog506, {}, 24},  // blank count byte
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.count * 100 + c.fd_at);
        SetUp();
        place(3);  // no chassis data: the update step stops before writing
        Bytes expected = section(c.count, c.fd_at);
        EXPECT_EQ(arkb_instrec_update(), -1);
        EXPECT_EQ(log(), std::vector<std::string>{c.log});
        EXPECT_EQ(transactions('w'), c.writes);
        auto t = transactions();
        EXPECT_EQ(std::count_if(t.begin(), t.end(), [](auto &s) { return s.rfind("r10@", 0) == 0; }),
                  c.descriptor_reads);
        if (!c.writes.empty()) {
            const unsigned length = 6 + 10 * (c.count + 1);
            const Bytes descriptor = {'F', 'D', 0, 0, 0x41, 0xB6, 0x0C, 0x7B, 0x0B, 0x85};
            std::copy(descriptor.begin(), descriptor.end(), expected.begin() + 6 + 10 * c.count);
            expected[3] = static_cast<uint8_t>(length);
            expected[4] = 0;
            expected[5] = static_cast<uint8_t>(c.count + 1);
            expected[4] = compute_crc8(expected.data(), static_cast<int>(length));
            const Bytes ring = {0xF8, 0x00, 0x14, 0x4B, 0, 0, 0, 5};
            std::copy(ring.begin(), ring.end(), expected.begin() + 3195);
            expected = with_trailer(expected);
        }
        EXPECT_EQ(eeprom(), expected);  // and nothing else changed
    }
}

TEST_F(Instrec, CreationTransactionsInOrder)
{
    // Each EEPROM write in turn answers 0 for its success (bytes written).
    for (const char *zero_write : {"", "1", "2", "3", "4"}) {
        SCOPED_TRACE(zero_write);
        SetUp();
        section(3);
        place(3);
        if (*zero_write != '\0')
            fault("elm_i2c_blk_write_on_bus", zero_write, "done:0");
        arkb_instrec_update();
        EXPECT_EQ(transactions(),
                  (std::vector<std::string>{"r6@0", "r10@6", "r10@16", "r10@26", "r32@32", "w32@32", "r46@0",
                                            "w6@0", "r32@3184", "w32@3184", "r1103@3195", "r32@4288",
                                            "w32@4288", "r1114@3184"}));
    }
}

TEST_F(Instrec, RingOverASequenceOfInstallations)
{
    struct Step {
        int slot;
        const char *parent;
        int filled;  // record slot written, -1: nothing written
        uint8_t oldest, newest, count;
    } steps[] = {
        {3, "PART001SER00101", 0, 0, 0, 1},   // first record, after creation
        {3, "PART001SER00101", -1, 0, 0, 1},  // same place
        {3, "PART001SER00201", 1, 0, 1, 2},   // another chassis
        {5, "PART001SER00201", 2, 0, 2, 3},   // slot A -> B -> A -> B
        {3, "PART001SER00201", 3, 0, 3, 4},
        {5, "PART001SER00201", 4, 0, 4, 5},
        {5, "PART001SER00202", 0, 1, 0, 5},  // sixth: wraps over the oldest
        {5, "PART001SER00202", -1, 1, 0, 5},
        {5, "PART009SER00202", 1, 2, 1, 5},
        {15, "PART009SER00202", 2, 3, 2, 5},
        {1, "PART009SER00202", -1, 3, 2, 5},  // compared over "/CH/BL1" only: a prefix of BL15
        {1, "QART009SER00202", 3, 4, 3, 5},   // every character counts, the first too
        {1, "Q\0RT009SER00202", 4, 0, 4, 5},
        {1, "Q\0XY009SER00202", -1, 0, 4, 5},  // a part number ends at its NUL
    };
    section(0);
    for (const Step &s : steps) {
        SCOPED_TRACE(s.parent + std::to_string(s.slot));
        place(s.slot);
        chassis_identity(std::string(s.parent, 15));
        const Bytes before = eeprom();
        clear_journal();
        const auto t0 = static_cast<uint32_t>(std::time(nullptr));
        EXPECT_EQ(arkb_instrec_update(), 0);
        const auto t1 = static_cast<uint32_t>(std::time(nullptr));
        const Bytes e = eeprom();
        EXPECT_TRUE(log().empty());
        if (s.filled < 0) {
            EXPECT_TRUE(transactions('w').empty());
            EXPECT_EQ(e, before);
            continue;
        }
        EXPECT_EQ(transactions('w').back(), "w1119@3184");
        const unsigned r = kSlots + kRecord * s.filled;
        const uint32_t stamp = uint32_t(e[r]) << 24 | e[r + 1] << 16 | e[r + 2] << 8 | e[r + 3];
        EXPECT_TRUE(stamp >= t0 && stamp <= t1) << stamp;
        // Every other byte of the EEPROM is as expected: only the ring header,
        // the record's time, path up to its NUL and identity, and the trailer change.
        Bytes want = before;
        std::copy_n(e.begin(), 32, want.begin());  // the directory, on the first call
        const std::string path = "/CH/BL" + std::to_string(s.slot) + '\0';
        const Bytes header = {0xF8, 0x00, 0x14, 0x4B, s.oldest, s.newest, s.count, 5};
        std::copy(header.begin(), header.end(), want.begin() + 3195);
        std::copy_n(e.begin() + r, 4, want.begin() + r);
        std::copy(path.begin(), path.end(), want.begin() + r + 4);
        std::copy_n(s.parent, 15, want.begin() + r + 132);
        EXPECT_EQ(e, with_trailer(want));
    }
}

TEST_F(Instrec, RingHeaderTakenAsWrittenUnlessItLeavesTheRing)
{
    const Bytes fresh = {0xF8, 0, 0x14, 0x4B, 0, 0, 1, 5};
    struct Case {
        Bytes found, written;  // bytes 3195..3202
        unsigned filled;       // record slot of the new installation
    } cases[] = {
        {{0xF8, 0, 0x14, 0x4B, 0, 0, 0, 0}, fresh, 0},
        {{0xF8, 0, 0x14, 0x4B, 0, 0, 0, 6}, fresh, 0},
        {{0xF8, 0, 0x14, 0x4B, 5, 0, 5, 5}, fresh, 0},
        {{0xF8, 0, 0x14, 0x4B, 0, 7, 1, 5}, fresh, 0},
        {{0xF8, 0, 0x14, 0x4B, 0, 5, 1, 5}, fresh, 0},
        {{1, 2, 3, 4, 0, 0, 1, 1}, {1, 2, 3, 4, 0, 0, 1, 1}, 0},  // a ring of one
        {Bytes(8, 0xFF), fresh, 0},                               // left blank by an interrupted creation
        {{1, 2, 3, 4, 0, 2, 3, 3}, {1, 2, 3, 4, 1, 0, 3, 3}, 0},  // a smaller valid ring is kept
        // A count above the capacity is not raised further; the oldest moves on.
        {{0xF8, 0, 0x14, 0x4B, 0, 0, 6, 5}, {0xF8, 0, 0x14, 0x4B, 0, 1, 6, 5}, 1},
        {{0xF8, 0, 0x14, 0x4B, 1, 0, 9, 5}, {0xF8, 0, 0x14, 0x4B, 2, 1, 9, 5}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.found));
        SetUp();
        section(1, 0);
        set_eeprom(3195, c.found);
        place(7);
        chassis_identity("PART001SER00101");
        const Bytes before = eeprom();
        EXPECT_EQ(arkb_instrec_update(), 0);
        const Bytes e = eeprom();
        EXPECT_EQ(Bytes(e.begin() + 3195, e.begin() + 3203), c.written);
        const unsigned r = kSlots + kRecord * c.filled;
        EXPECT_EQ(std::string(e.begin() + r + 4, e.begin() + r + 12), std::string("/CH/BL7\0", 8));
        // The other records stay as they were.
        EXPECT_TRUE(std::equal(e.begin() + kSlots, e.begin() + r, before.begin() + kSlots));
        EXPECT_TRUE(std::equal(e.begin() + r + kRecord, e.begin() + 4298, before.begin() + r + kRecord));
        EXPECT_EQ(transactions('w'), std::vector<std::string>{"w1119@3184"});
        EXPECT_EQ(e, with_trailer(e));
    }
}

// Stamps are unsigned 32-bit, valid to 2106, on the 32-bit target as well.
TEST_F(Instrec, StampsPast2038)
{
    const std::pair<long long, uint32_t> clocks[] = {
        {2208988800LL, 0x83AA7E80u},  // 2040-01-01 00:00:00 UTC
        {4291660800LL, 0xFFCD8C00u},  // 2105-12-31 00:00:00 UTC
    };
    section(0);
    chassis_identity("PART001SER00101");
    int slot = 1;
    for (const auto &[now, stamp] : clocks) {
        place(slot);
        set_wall_clock(now);
        ASSERT_EQ(arkb_instrec_update(), 0);
        const Bytes e = eeprom();
        const unsigned r = kSlots + kRecord * static_cast<unsigned>(slot - 1);
        EXPECT_EQ(Bytes(e.begin() + r, e.begin() + r + 4),
                  (Bytes{uint8_t(stamp >> 24), uint8_t(stamp >> 16), uint8_t(stamp >> 8), uint8_t(stamp)}));
        ++slot;
    }

    setenv("TZ", "UTC0", 1);
    tzset();
    const std::pair<uint32_t, const char *> dumps[] = {
        {0u, "Thu Jan  1 00:00:00 1970"},
        {0x7FFFFFFFu, "Tue Jan 19 03:14:07 2038"},
        {0x80000000u, "Tue Jan 19 03:14:08 2038"},
        {0xFFFFFFFFu, "Sun Feb  7 06:28:15 2106"},  // also an erased EEPROM
    };
    for (const auto &[stamp, when] : dumps)
        EXPECT_EQ(stamp_line(stamp), std::string("/InstallationR[0]/UNIX_Timestamp32=") + when);
}

// A long-running program sees a zone change at its next dump, without tzset.
TEST_F(Instrec, DumpFollowsTheZoneInForce)
{
    const std::pair<const char *, const char *> zones[] = {
        {"UTC0", "Thu Jan  1 00:00:00 1970"},
        {"EST5", "Wed Dec 31 19:00:00 1969"},
        {"JST-9", "Thu Jan  1 09:00:00 1970"},
        {"UTC0", "Thu Jan  1 00:00:00 1970"},
    };
    for (const auto &[tz, when] : zones) {
        setenv("TZ", tz, 1);
        EXPECT_EQ(stamp_line(0), std::string("/InstallationR[0]/UNIX_Timestamp32=") + when) << tz;
    }
}

TEST_F(Instrec, FailuresLeaveTheEepromAsItWas)
{
    struct Case {
        const char *what, *func, *when;
        bool slot_key, chassis_data;
        std::string log;
        long ring_reads;
    } cases[] = {
        {"slotid missing", "", "", false, true, kLog511, 0},
        {"no manufacturing record", "", "", true, false, kLog511, 1},
        {"midplane slot read", "arkmp_read_slotid", "*", true, true, kLog511, 1},
        {"ring read", "elm_i2c_blk_read_on_bus", "3", true, true, kLog511, 1},
        {"ring write", "elm_i2c_blk_write_on_bus", "*", true, true, kLog511, 1},
        {"section header read", "elm_i2c_blk_read_on_bus", "1", true, true, kLog506, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const Bytes before = section(1, 0);
        set_slot(3);
        if (c.slot_key)
            set_key("slotid", {3});
        if (c.chassis_data)
            chassis_identity("PART001SER00101");
        if (*c.func)
            fault(c.func, c.when, "-1");
        EXPECT_EQ(arkb_instrec_update(), -1);
        EXPECT_EQ(log(), std::vector<std::string>{c.log});
        EXPECT_EQ(eeprom(), before);
        auto t = transactions();
        EXPECT_EQ(std::count(t.begin(), t.end(), "r1114@3184"), c.ring_reads);
    }
}

TEST_F(Instrec, DumpShowsRecordsOldestFirst)
{
    setenv("TZ", "UTC0", 1);  // nothing else in the tests depends on local time
    tzset();
    const char *times[] = {"Sun Sep  9 01:46:40 2001", "Mon Sep 10 01:46:40 2001", "Tue Sep 11 01:46:40 2001",
                           "Wed Sep 12 01:46:40 2001", "Thu Sep 13 01:46:40 2001"};
    Bytes slots(5 * kRecord, 'z');
    for (unsigned i = 0; i < 5; ++i) {
        const std::string n = std::to_string(i), fields = "/CH/BL" + n + '\0',
                          parent = "PART00" + n + "SER00" + n + "0" + n;
        put_be32(slots, kRecord * i, 1000000000u + 86400u * i);
        std::copy(fields.begin(), fields.end(), slots.begin() + kRecord * i + 4);
        std::copy(parent.begin(), parent.end(), slots.begin() + kRecord * i + 132);
    }
    slots[kRecord * 2 + 132] = 0;                            // part number starting with NUL
    std::fill_n(slots.begin() + kRecord * 4 + 4, 128, 'x');  // path without its NUL
    auto block = [&](unsigned slot, std::size_t n) {
        const std::string p = "/InstallationR[" + std::to_string(n) + "]/", i = std::to_string(slot);
        return p + "UNIX_Timestamp32=" + times[slot] + "\n" + p +
               "Fru_Path=" + (slot == 4 ? std::string(128, 'x') : "/CH/BL" + i) + "\n" + p +
               "Parent_Part_Number=" + (slot == 2 ? " " : "PART00" + i) + "\n" + p +
               "Parent_Serial_Number=SER00" + i + "\n" + p + "Parent_Dash_Level=0" + i + "\n\n";
    };
    struct Case {
        uint8_t oldest, newest, count;
        std::vector<unsigned> order;
    } cases[] = {
        {0, 0, 0, {0}},
        {0, 2, 3, {0, 1, 2}},
        {2, 1, 5, {2, 3, 4, 0, 1}},
        {1, 0, 5, {1, 2, 3, 4, 0}},
        {7, 9, 200, {0, 1, 2, 3, 4}},      // slots that do not exist are left out
        {1, 3, 5, {1, 2, 4, 0, 1, 2, 3}},  // a header out of step is followed as written
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.oldest * 100 + c.newest);
        SetUp();
        set_eeprom(3199, {c.oldest, c.newest, c.count, 5});
        set_eeprom(kSlots, slots);
        std::string expected;
        for (std::size_t n = 0; n < c.order.size(); ++n)
            expected += block(c.order[n], n);
        testing::internal::CaptureStdout();
        EXPECT_EQ(arkb_instrec_test(), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
        EXPECT_EQ(transactions(), std::vector<std::string>{"r1103@3195"});
    }
    fault("elm_i2c_blk_read_on_bus", "*", "-1");
    testing::internal::CaptureStdout();
    EXPECT_EQ(printf_installationR(), -1);
    EXPECT_EQ(arkb_instrec_test(), 6);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "errrr\n");
}
