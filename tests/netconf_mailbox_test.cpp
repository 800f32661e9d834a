// Netconf mailbox: finding, creating and formatting it in the slot's tunnel
// block memory, and filling the handle.
#include "arkblade.h"
#include "core/chassis.h"
#include "core/simstate.h"
#include "sim_test.h"

namespace {

using Lines = std::vector<std::string>;
// The header template with its CRC-8 (polynomial 0x07, taken with byte 4 at 0).
const Bytes kHeader = {0x08, 0x00, 0x01, 0x10, 0xD5, 0x01, 'N', 'T', 0, 0, 0, 0, 0x00, 0x4E, 0x00, 0x22};

// A tunnel access of slot 3 (target 0x86) as the journal shows it.
std::string tnl(const char *op, int len, int offset, const char *target = "0x86")
{
    return std::string("arkmp_tnlblk_") + op + "(" + target + ", " + std::to_string(len) + ", " +
           std::to_string(offset) + ", 8, 8)";
}

Bytes fresh_record()
{
    Bytes r(32, 0);
    r[6] = 2;      // static
    r[21] = 0x0C;  // record marker
    return r;
}

}  // namespace

class NetconfMailbox : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        set_key("slotid", {3});
    }
    void put(uint32_t offset, const Bytes &b) const
    {
        ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0x86, offset, b));
    }
    Bytes tunnel(long from, long to) const
    {
        Bytes all;
        arksim::read_tunnel(chassis, 0x86, all);
        return Bytes(all.begin() + from, all.begin() + to);
    }
    // The tunnel calls of the journal (func "arkmp_tnlblk" for both), without results.
    Lines calls(const std::string &func = "arkmp_tnlblk") const
    {
        Lines out;
        for (const auto &line : journal())
            if (line.rfind(func, 0) == 0)
                out.push_back(line.substr(0, line.find(" = ")));
        return out;
    }
};

TEST_F(NetconfMailbox, ZeroedTunnelGetsHeaderSignatureTrailerThenRecord)
{
    EXPECT_EQ(arkb_netconf_initialize(), 0);
    EXPECT_EQ(journal("compute_crc8"), Lines{"compute_crc8(16) = 213"});
    EXPECT_EQ(calls(),
              (Lines{tnl("read", 15, 0), tnl("read", 2, 0),  // absent
                     tnl("write", 16, 0), tnl("write", 2, 78), tnl("write", 5, 107), tnl("read", 15, 0),
                     tnl("read", 15, 0), tnl("read", 2, 78), tnl("read", 32, 80),  // unformatted
                     tnl("read", 15, 0), tnl("read", 2, 78), tnl("write", 32, 80)}));
    Bytes image = kHeader;
    image.resize(78, 0);
    image.insert(image.end(), {0xC0, 0x55});
    const Bytes record = fresh_record();  // over the trailer at 107 too
    image.insert(image.end(), record.begin(), record.end());
    EXPECT_EQ(tunnel(0, 112), image);

    clear_journal();
    EXPECT_EQ(arkb_netconf_initialize(), 0);
    EXPECT_EQ(calls("arkmp_tnlblk_write"), Lines{});
}

TEST_F(NetconfMailbox, StatesDecideWhatIsWritten)
{
    Bytes foreign = kHeader, moved = kHeader, settings = fresh_record(), marked(32, 0);
    foreign[6] = 'X';  // signature in place, but not our segment
    moved[13] = 0x10;  // 'N', pointing at offset 16 where no signature is
    settings[2] = 10, settings[5] = 5, settings[15] = 0x02;
    marked[21] = 0x0C;  // a leftover marker spares the fresh record
    Bytes marked_after = marked;
    marked_after[27] = 0x0C;  // trailer at 107
    const Lines create = {tnl("write", 16, 0), tnl("write", 2, 78), tnl("write", 5, 107)};
    Lines create_format = create;
    create_format.push_back(tnl("write", 32, 80));
    struct Case {
        const char *what;
        Bytes header, record;
        Lines writes;
        Bytes record_after;
    } cases[] = {
        {"foreign", foreign, {}, create_format, fresh_record()},
        {"no signature", moved, {}, create_format, fresh_record()},
        {"unformatted", kHeader, Bytes(32, 0xEE), {tnl("write", 32, 80)}, fresh_record()},
        {"formatted", kHeader, settings, {}, settings},
        {"marker left over", {}, marked, create, marked_after},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        put(0, c.header);
        put(78, {0xC0, 0x55});
        put(80, c.record);
        EXPECT_EQ(arkb_netconf_initialize(), 0);
        EXPECT_EQ(calls("arkmp_tnlblk_write"), c.writes);
        EXPECT_EQ(tunnel(80, 112), c.record_after);
    }
}

// Fails the n-th read, then the n-th write, for every n of a start-up on a
// zeroed tunnel: each ends it at once with -1, and the next start-up repairs.
TEST_F(NetconfMailbox, EveryTunnelFailureFailsAndIsRepairedNextTime)
{
    Bytes mailbox = {0xC0, 0x55}, record = fresh_record();
    mailbox.insert(mailbox.end(), record.begin(), record.end());
    for (const char *func : {"arkmp_tnlblk_read", "arkmp_tnlblk_write"}) {
        for (std::size_t n = 1;; ++n) {
            SCOPED_TRACE(std::string(func) + " " + std::to_string(n));
            SetUp();
            fault(func, std::to_string(n), "-1");
            const int rc = arkb_netconf_initialize();
            if (journal(func).size() < n) {
                EXPECT_EQ(rc, 0);
                break;
            }
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(journal(func).size(), n);
            arksim::clear_faults(sp);
            EXPECT_EQ(arkb_netconf_initialize(), 0);
            EXPECT_EQ(tunnel(78, 112), mailbox);
        }
    }
}

TEST_F(NetconfMailbox, HeaderNotReadBackFailsBeforeTheRecord)
{
    fault("arkmp_tnlblk_write", "1", "16");  // "written", but the memory stays zero
    EXPECT_EQ(arkb_netconf_initialize(), -1);
    EXPECT_EQ(calls().size(), 6u);  // probe 2, write 3, read back 1
    SimTest::SetUp();               // no slot number: no tunnel access at all
    EXPECT_EQ(arkb_netconf_initialize(), -1);
    EXPECT_EQ(journal(), Lines{"memstore_get(\"slotid\", 1) = 0"});
}

TEST_F(NetconfMailbox, HandleTable)
{
    Bytes moved = kHeader, foreign = kHeader;
    moved[13] = 0x10;
    foreign[6] = 'n';
    struct Case {
        const char *what;
        bool slot_key;
        Bytes header;
        int rc;
        netconf_handle h;
        Lines reads;
    } cases[] = {
        {"mailbox", true, kHeader, 0, {3, 0xC055, 80}, {tnl("read", 15, 0), tnl("read", 2, 78)}},
        {"segment at 16", true, moved, 0, {3, 0xBEEF, 18}, {tnl("read", 15, 0), tnl("read", 2, 16)}},
        {"not N", true, foreign, -1, {3, 0, 0}, {tnl("read", 15, 0)}},
        {"no slot key", false, kHeader, -1, {0, 0, 0}, {tnl("read", 15, 0, "0x80")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SimTest::SetUp();
        if (c.slot_key)
            set_key("slotid", {3});
        put(0, c.header);
        put(16, {0xBE, 0xEF});
        put(78, {0xC0, 0x55});
        netconf_handle h{0xAA, 1, 2};
        testing::internal::CaptureStdout();
        EXPECT_EQ(arkb_netconf_get_handle(&h), c.rc);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.slot_key ? "" : "err slotid");
        EXPECT_EQ(std::tie(h.slotid, h.signature, h.offset), std::tie(c.h.slotid, c.h.signature, c.h.offset));
        EXPECT_EQ(calls(), c.reads);
    }
}
