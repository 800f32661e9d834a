// The simulator's readers of hostile bytes: the EEPROM section view that
// `arksim fru` shows and the system log's datagram parser.
#include <cstdlib>
#include <unistd.h>

#include "core/fru.h"
#include "core/fru_view.h"
#include "core/sp_log.h"
#include "core/simstate.h"
#include "sim_test.h"

namespace {

constexpr unsigned kRing = 3195, kRecords = 3203, kRecord = 219, kTrailer = 4298;

// A manufactured blade section with an "FD" segment and a ring of `count`.
Bytes with_ring(unsigned oldest, unsigned newest, unsigned count, unsigned capacity)
{
    Bytes image = arksim::new_blade_eeprom({"7054321", "BL0001", "01"});
    arksim::put_section(image, 0, {{{'S', 'D'}, 0x100, 0x200}, {{'F', 'D'}, 3195, 2949}});
    const Bytes head = {
        0xF8, 0x00, 0x14, 0x4B, uint8_t(oldest), uint8_t(newest), uint8_t(count), uint8_t(capacity)};
    std::copy(head.begin(), head.end(), image.begin() + kRing);
    for (unsigned i = 0; i < 5; ++i) {
        const std::string path = "/CH/BL" + std::to_string(i);
        std::copy(path.begin(), path.end() + 1, image.begin() + kRecords + kRecord * i + 4);
    }
    image[kTrailer] = 0x0C;
    uint32_t sum = arksim::crc32({image.data() + kRing, 1103});
    for (int i = 0; i < 4; ++i)
        image[kTrailer + 1 + i] = uint8_t(sum >> (24 - 8 * i));
    return image;
}

std::vector<unsigned> slots_of(const arksim::SectionView &v)
{
    std::vector<unsigned> out;
    for (const auto &r : v.ring.records)
        out.push_back(r.slot);
    return out;
}

}  // namespace

TEST(SectionView, RingShapesAndHostileHeaders)
{
    struct Case {
        unsigned oldest, newest, count, capacity;
        bool usable;
        std::vector<unsigned> slots;
    } cases[] = {
        {0, 2, 3, 5, true, {0, 1, 2}},
        {2, 1, 5, 5, true, {2, 3, 4, 0, 1}},
        {1, 0, 5, 5, true, {1, 2, 3, 4, 0}},
        {0, 0, 0, 5, true, {}},
        {0, 0, 0, 0, false, {}},
        {7, 9, 200, 255, false, {}},
        {0, 5, 3, 5, false, {}},
        {0, 2, 6, 5, false, {}},
    };
    for (const Case &c : cases) {
        const auto v = arksim::decode_section(with_ring(c.oldest, c.newest, c.count, c.capacity));
        ASSERT_TRUE(v.has_ring);
        EXPECT_TRUE(v.header.crc_ok());
        EXPECT_EQ(v.ring.usable, c.usable) << c.capacity;
        EXPECT_EQ(slots_of(v), c.slots) << c.oldest << "/" << c.newest << "/" << c.count;
        EXPECT_TRUE(v.ring.checksum_ok());
    }
}

TEST(SectionView, DamagedAndTruncatedImagesAreReadOn)
{
    Bytes image = with_ring(0, 1, 2, 5);
    image[kRecords + 10] ^= 0xFF;  // a record byte: the checksum no longer holds
    image[4] ^= 0x01;              // the header CRC either
    auto v = arksim::decode_section(image);
    EXPECT_FALSE(v.ring.checksum_ok());
    EXPECT_FALSE(v.header.crc_ok());
    EXPECT_EQ(v.ring.records.size(), 2u);

    for (std::size_t size : {0u, 5u, 100u, 3200u}) {
        v = arksim::decode_section(Bytes(image.begin(), image.begin() + static_cast<long>(size)));
        EXPECT_LE(v.directory.size(), 24u);
    }
    v = arksim::decode_section(Bytes(16384, 0xFF));  // blank: 255 descriptors claimed
    EXPECT_LE(v.directory.size(), 24u);
    EXPECT_FALSE(v.warnings.empty());
}

TEST(SyslogDatagram, PriorityTagAndEscapes)
{
    struct Case {
        std::string datagram;
        int facility, severity;
        std::string message, name;
        long pid;
    } cases[] = {
        {"<67>Dec  6 03:05:46 arkbctl: a::b::1:Error\n", 8, 3, "a::b::1:Error\n", "arkbctl", 0},
        {"<2>Dec  6 03:05:46 arkbctl[42]: x: y", 0, 2, "x: y", "arkbctl", 42},
        {"<2>Dec  6 03:05:46 odd[4x]: m", 0, 2, "m", "odd", 0},
        {"no header at all", 1, 5, "no header at all", "", 0},
        {"<999>Dec  6 03:05:46 t: m", 1, 5, "<999>Dec  6 03:05:46 t: m", "", 0},
    };
    for (const Case &c : cases) {
        const auto e = arksim::parse_syslog_datagram(c.datagram);
        EXPECT_EQ(e.facility, c.facility) << c.datagram;
        EXPECT_EQ(e.severity, c.severity) << c.datagram;
        EXPECT_EQ(e.message, c.message);
        EXPECT_EQ(e.name, c.name) << c.datagram;
        EXPECT_EQ(e.pid, c.pid) << c.datagram;
    }
    // A line holds the stamp and a one-word name; an older line, neither.
    arksim::LogEntry e{8, 3, "text\n", 42, 1700000000123456, "my prog"};
    EXPECT_EQ(arksim::format_log_line(e), "42@1700000000.123456 my_prog 8 3 text\\n\n");
    EXPECT_EQ(arksim::shown_log_message(e.message), "text");
    char dir[] = "/tmp/arkb-log.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ASSERT_TRUE(arksim::write_text(std::string(dir) + "/log", arksim::format_log_line(e) + "1 5 older\n"));
    const auto read = arksim::read_log(dir);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].pid, 42);
    EXPECT_EQ(read[0].name, "my_prog");
    EXPECT_EQ(read[0].wall_us, e.wall_us);
    EXPECT_EQ(read[0].message, e.message);
    EXPECT_EQ(read[1].pid, 0);
    EXPECT_FALSE(read[1].wall_us.has_value());
    EXPECT_EQ(read[1].message, "older");
    ::unlink((std::string(dir) + "/log").c_str());
    ::rmdir(dir);
    const std::string raw = std::string("100%d \\ tab\there\nnul") + '\0' + "\x7f end";
    EXPECT_EQ(arksim::unescape_log_message(arksim::escape_log_message(raw)), raw);
    EXPECT_EQ(arksim::escape_log_message(raw).find('\n'), std::string::npos);
}
