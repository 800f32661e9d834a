// Budget cache, publication, decision readiness and the power getters.
#include <string>

#include "arkblade.h"
#include "core/simstate.h"
#include "sim_test.h"

namespace {

Bytes word(int32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

const std::string kPub = "3 libarkblade_power::arkb_pwr_publish_budget::";

}  // namespace

class PowerBudget : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        set_key("slotid", {3});
        set_uptime(1234);
    }
    void set_published(const Bytes &b) const
    {
        ASSERT_TRUE(arksim::write_file_atomic(chassis + "/power/slot3", b));
    }
};

TEST_F(PowerBudget, CachedFiguresAreBigEndianOrZero)
{
    struct Case {
        std::optional<Bytes> stored;
        int result, hw, permitted;
    } cases[] = {
        {{}, -1, 0, 0}, {Bytes{0x01, 0x2C, 0xFF, 0xFE}, 0, 300, 65534}, {Bytes{0x01, 0x2C, 0x00}, -1, 0, 0}};
    for (const Case &c : cases) {
        SetUp();
        if (c.stored)
            set_key("ARKB/PWRBUDGET", *c.stored);
        arkb_pwr_budget b{7, 7};
        EXPECT_EQ(arkb_pwr_get_budget(&b), c.result);
        EXPECT_EQ(b.hwconfig_power, c.result ? 7 : c.hw);
        EXPECT_EQ(b.permitted_power, c.result ? 7 : c.permitted);
        EXPECT_EQ(arkb_get_hwconfig_power(), c.hw);
        EXPECT_EQ(arkb_get_permitted_power(), c.permitted);
    }
}

TEST_F(PowerBudget, Publish)
{
    const Bytes time = word(1234);
    struct Case {
        const char *name;
        std::optional<Bytes> cached;
        uint8_t slot;
        const char *set_fault;  // the memstore_set call that answers 0
        const char *i2c_fault;
        arkb_pwr_budget record;
        int result;
        std::optional<Bytes> pubtime, budget;
        std::vector<std::string> i2c, log;
    } cases[] = {
        {"no cache",
         {},
         3,
         nullptr,
         nullptr,
         {300, 100},
         0,
         time,
         Bytes{1, 0x2C, 0, 100},
         {"ark_pwr_i2c_publish(3, 300) = 0"},
         {}},
        {"permitted only",
         Bytes{1, 0x2C, 0, 0},
         3,
         nullptr,
         nullptr,
         {300, 50},
         0,
         time,
         Bytes{1, 0x2C, 0, 50},
         {},
         {}},
        {"changed",
         Bytes{0, 100, 0, 50},
         3,
         nullptr,
         nullptr,
         {65535, 50},
         0,
         time,
         Bytes{0xFF, 0xFF, 0, 50},
         {"ark_pwr_i2c_publish(3, 65535) = 0"},
         {}},
        {"no slot",
         {},
         255,
         nullptr,
         nullptr,
         {300, 0},
         -1,
         time,
         Bytes{1, 0x2C, 0, 0},
         {},
         {kPub + "182:Error arkb_pwr_get_handle failed\n\n"}},
        {"no time",
         {},
         3,
         "1",
         nullptr,
         {300, 0},
         -1,
         {},
         {},
         {},
         {kPub + "169:Error memstore_set(arkb_pwrpubtime) failed\n\n"}},
        {"no record",
         {},
         3,
         "2",
         nullptr,
         {300, 0},
         -1,
         time,
         {},
         {},
         {kPub + "175:Error memstore_set(ARKB/PWRBUDGET) failed\n\n"}},
        {"i2c fails (last)",
         {},
         3,
         nullptr,
         "-5",
         {300, 0},
         -1,
         time,
         Bytes{1, 0x2C, 0, 0},
         {"ark_pwr_i2c_publish(3, 300) = -5"},
         {kPub + "188:Error arkb_pwr_publish_budget() ...ERROR: -5\n\n"}},
    };
    for (const Case &c : cases) {
        SetUp();
        set_key("slotid", {c.slot});
        if (c.cached)
            set_key("ARKB/PWRBUDGET", *c.cached);
        if (c.set_fault)
            fault("memstore_set", c.set_fault, "0");
        if (c.i2c_fault)
            fault("ark_pwr_i2c_publish", "1", c.i2c_fault);
        EXPECT_EQ(arkb_pwr_publish_budget(&c.record), c.result) << c.name;
        EXPECT_EQ(key("arkb_pwrpubtime"), c.pubtime) << c.name;
        EXPECT_EQ(key("ARKB/PWRBUDGET"), c.budget) << c.name;
        EXPECT_EQ(journal("ark_pwr_i2c_publish"), c.i2c) << c.name;
        EXPECT_EQ(log(), c.log) << c.name;
    }
    // The failed I2C publication of the last row left both keys written: the
    // same record again is no change, so nothing goes out over I2C.
    EXPECT_EQ(arkb_pwr_publish_budget(&std::end(cases)[-1].record), 0);
    EXPECT_EQ(journal("ark_pwr_i2c_publish").size(), 1u);
}

TEST_F(PowerBudget, PublishedHwconfigPowerComesOverI2c)
{
    set_key("ARKB/PWRBUDGET", {0, 1, 0, 1});
    set_published({0x01, 0x90, 0, 0});
    EXPECT_EQ(arkb_pwr_get_hwconfig_power(), 400);
    EXPECT_EQ(arkb_pwr_publish_budget(nullptr), -1);
    fault("ark_pwr_i2c_readpub_bl_budget", "*", "-2");
    EXPECT_EQ(arkb_pwr_get_hwconfig_power(), -1);
    set_key("slotid", {255});
    clear_journal();
    EXPECT_EQ(arkb_pwr_get_hwconfig_power(), -1);
    EXPECT_TRUE(journal("ark_pwr_i2c_readpub_bl_budget").empty());
    EXPECT_TRUE(journal("memstore_set").empty());
}

TEST_F(PowerBudget, DecisionReadyFifteenSecondsAfterPublication)
{
    struct Case {
        bool cmm_ready;
        std::optional<int32_t> published;
        long long now;
        int ready;
    } cases[] = {{false, {}, 1000, 0}, {false, 0, 1000, 0}, {true, {}, 5, 1}, {true, 100, 115, 0},
                 {true, 100, 116, 1},  {true, 100, 99, 0},  {true, -20, 0, 1}};
    for (const Case &c : cases) {
        SetUp();
        if (c.cmm_ready)
            set_key("ARKB/CMMREADY", {1});
        if (c.published)
            set_key("arkb_pwrpubtime", word(*c.published));
        set_uptime(c.now);
        EXPECT_EQ(arkb_pwr_decision_ready(), c.ready) << c.now;
    }
}

TEST_F(PowerBudget, AvailablePowerAndDecisionReads)
{
    struct Case {
        std::optional<Bytes> stored;
        int result;
        std::optional<Bytes> after;
    } cases[] = {{{}, -1, {}},
                 {word(250), 250, word(250)},
                 {word(-10), -10, word(-10)},
                 {Bytes{1}, 0, word(0)}};  // unreadable: rewritten with 0
    for (const Case &c : cases) {
        SetUp();
        if (c.stored)
            set_key("available_power", *c.stored);
        EXPECT_EQ(arkb_get_available_power(), c.result);
        EXPECT_EQ(key("available_power"), c.after);
    }

    const std::pair<std::optional<Bytes>, int> decisions[] = {
        {std::nullopt, -1}, {word(1), 1}, {word(0), 0}, {word(0x01020304), 4}, {Bytes{1}, -1}};
    for (const auto &[stored, expect] : decisions) {
        SetUp();
        if (stored)
            set_key("ARKB/PWRDEC", *stored);
        uint8_t d = 0xAA;
        EXPECT_EQ(arkb_pwr_getdecision(&d), expect < 0 ? -1 : 0);
        EXPECT_EQ(d, expect < 0 ? 0xAA : expect);
    }
}

TEST_F(PowerBudget, AdmissionRefillsOnlyAMissingCache)
{
    const std::string kUpdateFailed =
        "3 libarkblade_power::arkb_pwr_poweron_node::397:Error Updating cached budget\n";
    struct Case {
        std::optional<Bytes> cached, published;
        const char *set_fault;
        std::optional<Bytes> after;
        std::size_t reads, publishes;
        std::vector<std::string> log;
        uint8_t slot = 3;
    } cases[] = {
        {{}, Bytes{0, 200, 0, 16}, nullptr, Bytes{0, 200, 0, 16}, 1, 1, {}},
        {{}, Bytes{0, 200, 0, 16}, nullptr, {}, 0, 0, {kUpdateFailed}, 255},  // no slot: no I2C handle
        {Bytes{0, 100, 0, 0}, Bytes{0, 200, 0, 16}, nullptr, Bytes{0, 100, 0, 0}, 0, 0, {}},
        {{}, {}, nullptr, {}, 1, 0, {kUpdateFailed}},
        {{},
         Bytes{0, 200, 0, 16},
         "1",
         {},
         1,
         0,
         {kPub + "169:Error memstore_set(arkb_pwrpubtime) failed\n\n",
          "3 libarkblade_power::update_cached_budget::308:Error Publishing budget\n"}},
    };
    for (const Case &c : cases) {
        SetUp();
        set_key("available_power", word(0));
        set_key("slotid", {c.slot});
        if (c.cached)
            set_key("ARKB/PWRBUDGET", *c.cached);
        if (c.published)
            set_published(*c.published);
        if (c.set_fault)
            fault("memstore_set", c.set_fault, "0");
        EXPECT_EQ(arkb_pwr_poweron(0, 0), 0);
        EXPECT_EQ(key("ARKB/PWRBUDGET"), c.after);
        EXPECT_EQ(journal("ark_pwr_i2c_readpub_bl_budget").size(), c.reads);
        EXPECT_EQ(journal("ark_pwr_i2c_publish").size(), c.publishes);
        EXPECT_EQ(log(), c.log);
    }
}
