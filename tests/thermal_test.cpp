// Thermal override, CMM readiness and the thermal control setting.
#include "arkblade.h"
#include "sim_test.h"

using Thermal = SimTest;

TEST_F(Thermal, OverrideWritesWholeRegisterByteThenRecords)
{
    set_key("slotid", {3});
    EXPECT_EQ(arkb_set_thermovrd(1), 0);
    EXPECT_EQ(reg(0x06), 0x5F);
    EXPECT_EQ(key("therm_ovrd"), Bytes{1});
    EXPECT_EQ(arkb_set_thermovrd(0), 0);
    EXPECT_EQ(reg(0x06), 0x7F);
    uint8_t v = 9;
    EXPECT_EQ(arkb_get_thermovrd(&v), 0);
    EXPECT_EQ(v, 0);
    // Slot byte with bit 4 set: register (0x13 * 2) & 0xFE = 0x26.
    set_key("slotid", {0x13});
    EXPECT_EQ(arkb_set_thermovrd(1), 0);
    EXPECT_EQ(reg(0x26), 0x5F);
    EXPECT_EQ(journal("arkmp_write").back(), "arkmp_write(0x26, 1) = 1 : 5f");
}

TEST_F(Thermal, OverrideRefusals)
{
    struct Case {
        std::optional<Bytes> slot;
        uint8_t value;
        const char *write_fault;  // answer of arkmp_write, or null
        bool register_written, logged;
    } cases[] = {
        {Bytes{3}, 2, nullptr, false, false},   {std::nullopt, 1, nullptr, false, false},
        {Bytes{255}, 1, nullptr, false, false}, {Bytes{3}, 1, "0", false, true},
        {Bytes{3}, 1, "-1", false, true},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.slot)
            set_key("slotid", *c.slot);
        if (c.write_fault)
            fault("arkmp_write", "*", c.write_fault);
        EXPECT_EQ(arkb_set_thermovrd(c.value), -1);
        EXPECT_EQ(reg(0x06), 0x7F);
        EXPECT_FALSE(key("therm_ovrd"));
        EXPECT_EQ(log().size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_EQ(log()[0], "3 libarkblade::arkb_set_thermovrd::466:Error Could not set thermovrd bit\n");
        }
    }
    uint8_t v = 0;
    EXPECT_EQ(arkb_get_thermovrd(&v), -1);
}

TEST_F(Thermal, CmmReadinessSigns)
{
    const std::string ssbcast =
        "5 libarkblade::arkb_update_cmm_ready::194:Notice CMM is Ready. Detected via SSBCAST\n";
    const std::string wait =
        "5 libarkblade::arkb_update_cmm_ready::209:Notice CMM is Ready. Detected via simple wait\n";
    struct Case {
        bool broadcast;
        long long uptime;
        std::vector<std::string> lines;
        int ready;
    } cases[] = {
        {false, 30, {}, 0},
        {false, 100, {}, 0},
        {false, 101, {wait}, 1},
        {true, 30, {ssbcast}, 1},
        {true, 150, {ssbcast, wait}, 1},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.broadcast)
            set_key("SSBCAST/CH/TIMESTAMP", {0, 0, 0, 1});
        set_uptime(c.uptime);
        arkb_update_cmm_ready();
        EXPECT_EQ(log(), c.lines) << c.uptime;
        EXPECT_EQ(arkb_is_cmm_ready(), c.ready);
        EXPECT_EQ(journal("memstore_set").size(), c.lines.size());
    }
    SetUp();
    set_key("SSBCAST/CH/TIMESTAMP", {0, 0, 0, 1});
    set_uptime(150);
    fault("memstore_set", "*", "0");
    arkb_update_cmm_ready();
    EXPECT_EQ(log(), (std::vector<std::string>{
                         ssbcast, "3 libarkblade::arkb_update_cmm_ready::199:Error setting cmmready\n", wait,
                         "3 libarkblade::arkb_update_cmm_ready::214:Error setting cmmready\n"}));
}

TEST_F(Thermal, TcontrolTable)
{
    // (setting, stored override) -> the override calls made, as register bytes.
    struct Case {
        int32_t setting;
        std::optional<uint8_t> stored;
        std::vector<std::string> writes;
        std::optional<Bytes> after;
    } cases[] = {
        {4, 0, {"5f"}, Bytes{1}},
        {4, 1, {}, Bytes{1}},
        {3, 1, {"7f"}, Bytes{0}},
        {3, 0, {}, Bytes{0}},
        {4, std::nullopt, {"7f", "5f"}, Bytes{1}},
        {0, std::nullopt, {"7f"}, Bytes{0}},
        {4, 2, {}, Bytes{2}},
        {-1, 2, {}, Bytes{2}},
    };
    for (const Case &c : cases) {
        SetUp();
        set_key("slotid", {3});
        if (c.stored)
            set_key("therm_ovrd", {*c.stored});
        EXPECT_EQ(arkb_set_tcontrol(c.setting), 0);
        std::vector<std::string> writes;
        for (const auto &line : journal("arkmp_write"))
            writes.push_back(line.substr(line.size() - 2));
        EXPECT_EQ(writes, c.writes) << c.setting;
        EXPECT_EQ(key("therm_ovrd"), c.after);
        int32_t back = 0;
        EXPECT_EQ(arkb_get_tcontrol(&back), 0);
        EXPECT_EQ(back, c.setting);
    }
    EXPECT_EQ(key("tcontrol"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Thermal, TcontrolFailures)
{
    struct Case {
        std::optional<uint8_t> stored;
        int32_t setting;
        const char *line;
    } cases[] = {
        {std::nullopt, 4, "42"},
        {1, 3, "54"},
        {0, 4, "64"},
    };
    for (const Case &c : cases) {
        SetUp();
        set_key("slotid", {3});
        if (c.stored)
            set_key("therm_ovrd", {*c.stored});
        fault("arkmp_write", "*", "-1");
        EXPECT_EQ(arkb_set_tcontrol(c.setting), -1);
        EXPECT_EQ(log().back(), std::string("3 libarkblade_tcontrol::arkb_set_tcontrol::") + c.line +
                                    ":Error arkb_set_thermovrd failed.\n\n");
        EXPECT_EQ(key("therm_ovrd"), c.stored ? std::optional<Bytes>(Bytes{*c.stored}) : std::nullopt);
    }
    SetUp();
    fault("memstore_set", "*", "0");
    EXPECT_EQ(arkb_set_tcontrol(4), -1);
    EXPECT_TRUE(journal("arkmp_write").empty());
    EXPECT_EQ(log(), std::vector<std::string>{
                         "3 libarkblade_tcontrol::arkb_set_tcontrol::31:Error error memstore tcontrol\n"});
    int32_t v = 0;
    EXPECT_EQ(arkb_get_tcontrol(&v), -1);
}
