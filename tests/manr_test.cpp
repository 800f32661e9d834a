// The chassis's manufacturing record: the "SD" walk over the chassis FRU data
// in tunnel memory, including data that tries to lead the walk out of bounds.
#include "arkblade.h"
#include "core/chassis.h"
#include "sim_test.h"

namespace {

struct Segment {
    const char *name;
    uint16_t offset, length;
};

// Section header and directory at 0x1800; `count` may differ from the list.
Bytes directory(const std::vector<Segment> &segments, int count = -1)
{
    Bytes b = {0, 0, 0, 0, 0, static_cast<uint8_t>(count < 0 ? segments.size() : count)};
    for (const Segment &s : segments)
        b.insert(b.end(), {uint8_t(s.name[0]), uint8_t(s.name[1]), 0, 0, 0, 0, uint8_t(s.offset >> 8),
                           uint8_t(s.offset), uint8_t(s.length >> 8), uint8_t(s.length)});
    return b;
}

Bytes record(uint8_t seed, Bytes r = {0xF8, 0x00, 0x10, 0xB7})
{
    for (int i = 0; i < 183; ++i)
        r.push_back(static_cast<uint8_t>(seed + i));
    return r;
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Write {
    uint32_t offset;
    Bytes bytes;
};

class Manr : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        clear_chassis_fru();  // each test lays out its own chassis data
    }
};

}  // namespace

TEST_F(Manr, ReadsTunnelOnceAndDecodesOneTag)
{
    arksim::write_tunnel_bytes(chassis, 0xAA, 0x1800, directory({{"SD", 0x1900, 0x200}}));
    arksim::write_tunnel_bytes(chassis, 0xAA, 0x1900, record(1));
    Bytes out(192, 0xEE);
    EXPECT_EQ(get_manr_info(out.data()), 0);
    EXPECT_EQ(out, record(1, {}) + Bytes(9, 0xEE));
    auto calls = journal();
    ASSERT_EQ(calls.size(), 4u);
    calls[0].resize(calls[0].find(" : "));
    EXPECT_EQ(calls, (std::vector<std::string>{"arkmp_tnlblk_read(0xaa, 2048, 6144, 16, 64) = 2048",
                                               "get_tag_type([f8]) = 3", "get_tag_size(3) = 4",
                                               "get_payload_length([f8 00 10 b7]) = 183"}));
}

TEST_F(Manr, DirectoryShapesHostileDataAndFailures)
{
    const std::vector<Write> plain = {{0x1800, directory({{"SD", 0x1900, 0x100}})}, {0x1900, record(2)}};
    const Bytes skipped =
        record(2, {0x43, 'a', 'b', 'c', 0x40, 0x80, 0x02, 'x', 'y', 0xF8, 0x00, 0x10, 0xB7});
    struct Case {
        const char *what;
        std::vector<Write> writes;
        int result;
        std::size_t tags;  // get_tag_type calls
        const char *func = "", *value = "", *when = "*";
        std::size_t copied = 183;  // of the record, on success
    } cases[] = {
        {"fields before the record, one empty",
         {{0x1800, directory({{"SD", 0x1900, 0x300}})}, {0x1900, skipped}},
         0,
         4},
        {"record ending at the last position",
         {{0x1800, directory({{"SD", 8005, 187}})}, {8005, record(2)}},
         0,
         1},
        {"SD past the count",
         {{0x1800, directory({{"ZZ", 0x1900, 9}, {"SD", 0x1900, 0x100}}, 1)}, {0x1900, record(2)}},
         -1,
         0},
        // The section header's own bytes are chassis data, unlike those below it.
        {"SD at 0x1800 ending at once", {{0x1800, directory({{"SD", 0x1800, 9}})}, {0x1800, {0x0C}}}, -1, 0},
        {"first SD ends at 0x0C, second holds it",
         {{0x1800, directory({{"SD", 0x1900, 0x80}, {"SD", 0x1A00, 0x100}})},
          {0x1900, {0x41, 'z', 0x0C}},
          {0x1A00, record(2)}},
         0,
         2},
        {"SD after other names",
         {{0x1800, directory({{"FD", 0x1900, 0x100}, {"ZZ", 0x1900, 9}, {"SD", 0x1A00, 0x100}})},
          {0x1900, record(9)},
          {0x1A00, record(2)}},
         0,
         1},
        {"segment ends before the record",
         {{0x1800, directory({{"SD", 0x1900, 2}})}, {0x1900, skipped}},
         -1,
         1},
        {"empty directory", {{0x1800, directory({})}, {0x1900, record(2)}}, -1, 0},
        {"SD of length 0", {{0x1800, directory({{"SD", 0x1900, 0}})}, {0x1900, record(2)}}, -1, 0},
        // Nothing may be read past position 8191 nor copied past 183 bytes.
        {"255 descriptors", {{0x1800, directory({}, 255)}}, -1, 0},
        {"SD descriptor straddling the end", {{0x1800, directory({}, 205)}, {8190, {'S', 'D'}}}, -1, 0},
        {"segment past the data", {{0x1800, directory({{"SD", 0x2000, 0x100}})}}, -1, 0},
        {"segment below the data (zeros)", {{0x1800, directory({{"SD", 0x0100, 0x100}})}}, -1, 1},
        {"skip beyond the data",
         {{0x1800, directory({{"SD", 0x1900, 0xFFFF}})}, {0x1900, {0xBF, 0xFF}}},
         -1,
         1},
        {"payload past the data",
         {{0x1800, directory({{"SD", 8092, 0x1000}})}, {8092, {0xF8, 0, 0x10, 0xB7}}},
         -1,
         1},
        {"header straddling the end", {{0x1800, directory({{"SD", 8191, 0x1000}})}, {8191, {0xF8}}}, -1, 1},
        {"payload longer than 183", plain, -1, 1, "get_payload_length", "184"},
        {"tunnel read fails", plain, -7, 0, "arkmp_tnlblk_read", "-7"},  // returned unchanged
        {"tag type error", plain, -1, 1, "get_tag_type", "-1"},
        {"tag size error", plain, -1, 1, "get_tag_size", "-1"},
        {"header size 0", plain, -1, 1, "get_tag_size", "0"},  // would never move on
        {"header size 5, longer than the record's",
         {{0x1800, directory({{"SD", 0x1900, 0x100}})}, {0x1900, record(0)}},
         -1,
         2,
         "get_tag_size",
         "5"},
        {"payload length error", plain, -1, 1, "get_payload_length", "-1"},
        {"payload length error before the record",
         {{0x1800, directory({{"SD", 0x1900, 0x300}})}, {0x1900, skipped}},
         -1,
         1,
         "get_payload_length",
         "-1",
         "1"},
        {"empty record", plain, 0, 1, "get_payload_length", "0", "*", 0},
        {"empty record ending at the last position",
         {{0x1800, directory({{"SD", 8188, 0x100}})}, {8188, {0xF8, 0, 0x10, 0xB7}}},
         0,
         1,
         "get_payload_length",
         "0",
         "*",
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        for (const Write &w : c.writes)
            ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0xAA, w.offset, w.bytes));
        if (*c.func)
            fault(c.func, c.when, c.value);
        Bytes out(192, 0xEE), want = out;
        if (c.result == 0)
            std::copy_n(record(2, {}).begin(), c.copied, want.begin());
        EXPECT_EQ(get_manr_info(out.data()), c.result);
        EXPECT_EQ(out, want);
        EXPECT_EQ(journal("get_tag_type").size(), c.tags);
    }
    // A tag type error ends the walk whatever header size the platform gives it.
    SetUp();
    for (const Write &w : plain)
        ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0xAA, w.offset, w.bytes));
    fault("get_tag_type", "*", "-1");
    fault("get_tag_size", "*", "4");
    Bytes out(192, 0xEE);
    EXPECT_EQ(get_manr_info(out.data()), -1);
    EXPECT_EQ(out, Bytes(192, 0xEE));
    // What the tag functions are shown: zeros below the chassis data and past its end.
    const std::pair<std::vector<Write>, const char *> shown[] = {
        {{{0x1800, directory({{"SD", 0x0100, 0x100}})}}, "get_payload_length([00]) = -1"},
        {{{0x1800, directory({{"SD", 8191, 0x1000}})}, {8191, {0xF8}}},
         "get_payload_length([f8 00 00 00]) = 0"},
    };
    for (const auto &[writes, line] : shown) {
        SetUp();
        for (const Write &w : writes)
            ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0xAA, w.offset, w.bytes));
        EXPECT_EQ(get_manr_info(out.data()), -1);
        EXPECT_EQ(journal().back(), line);
    }
}
