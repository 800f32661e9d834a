// Netconf mailbox use: the run-time request handshake, start-up settings,
// publishing the SP's settings and the test dump.
#include <arpa/inet.h>

#include <tuple>

#include "arkblade.h"
#include "core/chassis.h"
#include "sim_test.h"

namespace {

using Lines = std::vector<std::string>;
// ip section 10.0.0.5 / static / 10.0.0.1 / 255.255.255.0: sums to 793, check 0x19
const Bytes kSection = {10, 0, 0, 5, 2, 10, 0, 0, 1, 255, 255, 255, 0};
const std::string kGrant = "arkmp_tnlblk_write(0x86, 1, 81, 8, 8) = 1 : 01";
const std::string kClear = "arkmp_tnlblk_write(0x86, 2, 80, 8, 8) = 2 : 00 00";

bool operator==(const netconf_settings &a, const netconf_settings &b)
{
    return std::tie(a.ipaddr, a.ipgway, a.ipnetmask, a.ipdiscovery) ==
           std::tie(b.ipaddr, b.ipgway, b.ipnetmask, b.ipdiscovery);
}

netconf_settings settings(uint32_t ip, uint32_t gw, uint32_t mask, int32_t discovery)
{
    return {htonl(ip), htonl(gw), htonl(mask), discovery};
}

const netconf_settings kUntouched = {1, 2, 3, 4};
const netconf_settings kSectionSettings = settings(0x0A000005, 0x0A000001, 0xFFFFFF00, 2);

}  // namespace

// Slot 3 with a freshly formatted mailbox: net_info at tunnel offset 80.
class NetconfRequest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        set_key("slotid", {3});
        ASSERT_EQ(arkb_netconf_initialize(), 0);
        ASSERT_EQ(arkb_netconf_get_handle(&h), 0);
        clear_journal();
        s = kUntouched;
    }
    void put(uint32_t offset, const Bytes &b) const
    {
        ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0x86, offset, b));
    }
    void put_record(uint8_t req, uint8_t grant, const Bytes &section = kSection) const
    {
        put(80, {req, grant});
        put(82, section);
    }
    Bytes record() const
    {
        Bytes all;
        arksim::read_tunnel(chassis, 0x86, all);
        return Bytes(all.begin() + 80, all.begin() + 112);
    }
    std::string dump() const
    {
        testing::internal::CaptureStdout();
        EXPECT_EQ(arkb_netconf_test(), 0);
        return testing::internal::GetCapturedStdout();
    }
    netconf_handle h{};
    netconf_settings s{};
};

TEST_F(NetconfRequest, NoRequestCostsOneSingleByteTransaction)
{
    for (const auto &[req, hex] : {std::pair<uint8_t, std::string>{0, "00"}, {2, "02"}, {3, "03"}}) {
        SetUp();
        put_record(req, 1);
        EXPECT_EQ(arkb_netconf_check_req(&h, &s), 0);
        EXPECT_EQ(journal(), Lines{"arkmp_writeread(0x86, [50], 1, 1) = 1 : " + hex});
        EXPECT_TRUE(s == kUntouched);
    }
    for (const char *func : {"arkmp_writeread", "arkmp_tnlblk_write"}) {  // request stays raised
        SetUp();
        put_record(1, 0);
        fault(func, "1", "-1");
        EXPECT_EQ(arkb_netconf_check_req(&h, &s), 0) << func;
        EXPECT_TRUE(s == kUntouched && journal("arkmp_tnlblk_read").empty() && record()[0] == 1);
    }
}

// The CMM answers inside the n-th sleep (0: never) with its request and grant
// bytes and an ip section.
TEST_F(NetconfRequest, HandshakeOutcomes)
{
    Bytes odd = kSection;
    odd[4] = 7;
    struct Case {
        const char *what;
        std::size_t answer_at;
        Bytes answer, section;
        const char *read_fault;
        int rc;
        std::size_t sleeps;
        netconf_settings out;
        Lines writes;
    } cases[] = {
        {"answered before third poll", 2, {0, 0}, kSection, nullptr, 1, 2, kSectionSettings, {kGrant}},
        {"unknown discovery",
         1,
         {0, 0},
         odd,
         nullptr,
         1,
         1,
         settings(0x0A000005, 0x0A000001, 0xFFFFFF00, 0),
         {kGrant}},
        {"never answered", 0, {}, {}, nullptr, 0, 8, {}, {kGrant, kClear}},
        {"request lowered only", 3, {0, 1}, kSection, nullptr, 0, 8, {}, {kGrant}},
        {"grant lowered only", 3, {1, 0}, kSection, nullptr, 0, 8, {}, {kGrant}},
        {"no read succeeds", 0, {}, {}, "1+", 0, 8, {}, {kGrant}},
        {"failed reads are polls", 3, {0, 0}, kSection, "1", 1, 3, kSectionSettings, {kGrant}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        put_record(1, 0, Bytes(13, 0x55));
        if (c.read_fault)
            fault("arkmp_tnlblk_read", c.read_fault, "-1");
        on_sleep([&](std::size_t n) {
            if (n == c.answer_at)
                put_record(c.answer[0], c.answer[1], c.section);
        });
        EXPECT_EQ(arkb_netconf_check_req(&h, &s), c.rc);
        EXPECT_EQ(recorded_sleeps(), std::vector<unsigned>(c.sleeps, 2));
        EXPECT_EQ(journal("arkmp_tnlblk_read").size(), std::min<std::size_t>(c.sleeps + c.rc, 8));
        EXPECT_TRUE(s == c.out);
        EXPECT_EQ(journal("arkmp_tnlblk_write"), c.writes);
    }
}

TEST_F(NetconfRequest, StartUpSettings)
{
    const Bytes low_sum = {255, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};  // sums to 256
    struct Case {
        const char *what;
        uint8_t req, check;
        Bytes section;
        int rc;
        netconf_settings out;
    } cases[] = {
        {"valid", 2, 0x19, kSection, 1, kSectionSettings},
        {"wrong check", 2, 0x18, kSection, 0, kUntouched},
        {"sum 0 checks as 255", 2, 255, low_sum, 1, settings(0xFF000000, 0, 0, 1)},
        {"check 0 refused", 2, 0, low_sum, 0, kUntouched},
        {"run-time request cleared", 1, 0x19, kSection, 0, kUntouched},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        put_record(c.req, c.check, c.section);
        EXPECT_EQ(arkb_netconf_initial_check(&h, &s), c.rc);
        EXPECT_TRUE(s == c.out);
        EXPECT_EQ(journal("arkmp_tnlblk_write"), Lines{kClear});
        Bytes cleared = {0, 0};  // the section itself stays as found
        cleared.insert(cleared.end(), c.section.begin(), c.section.end());
        Bytes after = record();
        after.resize(15);
        EXPECT_EQ(after, cleared);
    }
    SetUp();  // unreadable record: nothing cleared
    put_record(2, 0x19);
    fault("arkmp_tnlblk_read", "*", "-1");
    EXPECT_EQ(arkb_netconf_initial_check(&h, &s), 0);
    EXPECT_TRUE(journal("arkmp_tnlblk_write").empty());
}

TEST_F(NetconfRequest, PublishWritesOnlyItsSection)
{
    put(80, Bytes(32, 0xEE));
    netconf_settings mine = settings(0xC0A8010A, 0xC0A80101, 0xFFFFFF00, 1);
    const uint8_t mac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    ASSERT_EQ(arkb_netconf_publish_ip(&h, &mine), 0);
    ASSERT_EQ(arkb_netconf_publish_macaddr(&h, mac), 0);
    // The record: untouched bytes 0-1 and 21-31 around the ip section and MAC.
    Bytes expected(32, 0xEE);
    const uint8_t written[] = {0xC0, 0xA8, 0x01, 0x0A, 0x01, 0xC0, 0xA8, 0x01, 0x01, 0xFF,
                               0xFF, 0xFF, 0x00, 0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(std::begin(written), std::end(written), expected.begin() + 2);
    EXPECT_EQ(record(), expected);

    clear_journal();
    for (int32_t bad : {0, 3, 0x101}) {  // refused silently
        mine.ipdiscovery = bad;
        EXPECT_EQ(arkb_netconf_publish_ip(&h, &mine), -1);
    }
    EXPECT_TRUE(journal().empty() && log().empty());
    fault("arkmp_tnlblk_write", "*", "-1");
    mine.ipdiscovery = 2;
    EXPECT_EQ(arkb_netconf_publish_ip(&h, &mine), -1);
    EXPECT_EQ(arkb_netconf_publish_macaddr(&h, mac), -1);
    EXPECT_EQ(log(), (Lines{"3 libarkblade_netconf::arkb_netconf_publish_ip::569:Error Could not write to "
                            "mailbox ipsect\n",
                            "3 libarkblade_netconf::arkb_netconf_publish_macaddr::586:Error Could not write "
                            "to mailbox mac sect\n"}));
}

// A missing pointer, or a handle whose section would end past the platform's
// int offsets, is refused before any platform call; a section that ends
// exactly at the largest offset still goes out.
TEST_F(NetconfRequest, MissingPointersAndFarHandles)
{
    const netconf_settings mine = settings(0xC0A8010A, 0xC0A80101, 0xFFFFFF00, 1);
    const uint8_t mac[6] = {};
    netconf_handle beyond = h, exact = h;
    beyond.offset = 0x80000000u;
    exact.offset = 0x7FFFFFFFu - 15;  // ip section: record bytes 2 to 14
    EXPECT_EQ(arkb_netconf_check_req(nullptr, &s), 0);
    EXPECT_EQ(arkb_netconf_check_req(&h, nullptr), 0);
    EXPECT_EQ(arkb_netconf_initial_check(nullptr, &s), 0);
    EXPECT_EQ(arkb_netconf_initial_check(&h, nullptr), 0);
    EXPECT_EQ(arkb_netconf_publish_ip(nullptr, &mine), -1);
    EXPECT_EQ(arkb_netconf_publish_ip(&h, nullptr), -1);
    EXPECT_EQ(arkb_netconf_publish_macaddr(nullptr, mac), -1);
    EXPECT_EQ(arkb_netconf_publish_macaddr(&h, nullptr), -1);
    EXPECT_EQ(arkb_netconf_get_handle(nullptr), -1);
    EXPECT_EQ(arkb_netconf_publish_ip(&beyond, &mine), -1);
    EXPECT_EQ(arkb_netconf_publish_macaddr(&beyond, mac), -1);
    EXPECT_EQ(journal(), Lines{});
    (void)arkb_netconf_publish_ip(&exact, &mine);  // whatever the platform answers
    EXPECT_EQ(journal("arkmp_tnlblk_write").size(), 1u);
}

TEST_F(NetconfRequest, Dump)
{
    SimTest::SetUp();  // zeroed tunnel: the dump's start-up formats it
    set_key("slotid", {3});
    EXPECT_EQ(dump(),
              "SLOTID: 3\nIS_INITIALIZED?: 1\noffset: 0x0050\nsp_req_mbox: 0x00\nsp_grant_mbox: 0x00\n"
              "ipaddr: 0.0.0.0\nipdiscovery: static\nipgway: 0.0.0.0\nipnetmask: 0.0.0.0\n"
              "macaddr: 00:00:00:00:00:00\n");
    EXPECT_TRUE(journal("arkmp_writeread").empty());

    // A formatted record is shown as found: unknown discovery, MAC in lower case.
    put(80, {0x01, 0xFF, 192, 168, 1,    10,   0,    10,   0,    0,    1,
             255,  255,  0,   0,   0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x0C});
    EXPECT_EQ(dump(),
              "SLOTID: 3\nIS_INITIALIZED?: 1\noffset: 0x0050\nsp_req_mbox: 0x01\nsp_grant_mbox: 0xff\n"
              "ipaddr: 192.168.1.10\nipdiscovery: unknown 0\nipgway: 10.0.0.1\nipnetmask: 255.255.0.0\n"
              "macaddr: 02:1a:2b:3c:4d:5e\n");

    SimTest::SetUp();  // no slot number, tunnel unreadable: every step says so and goes on
    fault("arkmp_tnlblk_read", "*", "-1");
    EXPECT_EQ(dump(), "err slotidSLOTID: 0\nerr init\nis_init err\nIS_INITIALIZED?: 0\nerr slotid"
                      "err getting handle\noffset: 0x0000\nget net_info err\nsp_req_mbox: 0x00\n"
                      "sp_grant_mbox: 0x00\nipaddr: 0.0.0.0\nipdiscovery: unknown 0\nipgway: 0.0.0.0\n"
                      "ipnetmask: 0.0.0.0\nmacaddr: 00:00:00:00:00:00\n");
}
