// Power-on admission, one row per case, and the power self-test's output.
#include <fstream>
#include <string>

#include "arkblade.h"
#include "core/simstate.h"
#include "sim_test.h"

using namespace std::string_literals;

// The fake CMM of power_cmm_test.cpp.
void start_cmm(std::vector<std::string> replies, std::size_t split_at = 0);
std::vector<std::string> stop_cmm();

namespace {

constexpr int kHw = 0x7FFFFFFF;  // "the cached hardware-configuration power"
const std::string kPrefix = "3 libarkblade_power::";
const std::string kUpdate = kPrefix + "arkb_pwr_poweron_node::397:Error Updating cached budget\n";
const std::string kNoFormat =
    kPrefix + "arkb_pwr_ssbcast_ok2poweron::69:Error ssbcast_sensor_format failed for P_OVER_WARN\n";
const std::string kNoBroadcast =
    kPrefix + "arkb_pwr_ssbcast_ok2poweron::77:Error memstore_get(SSBCAST/CH/8300) failed\n";

Bytes word(int32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

std::string request(int watts) { return "PWR " + std::to_string(watts) + "\n\0"s; }

}  // namespace

class PowerAdmission : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ::unlink("/conf/override_powerctl");
        set_key("slotid", {3});
        set_key("ARKB/PWRBUDGET", {0x01, 0x2C, 0x00, 0x64});  // 300 W, 100 W permitted
    }
    void set_poller(int reading) const { arksim::write_text(sp + "/sensors/41", std::to_string(reading)); }
    // Library log lines of the admission unit only (the CMM client's are tested there).
    std::vector<std::string> power_log() const
    {
        std::vector<std::string> out;
        for (const auto &l : log())
            if (l.rfind(kPrefix, 0) == 0)
                out.push_back(l);
        return out;
    }
};

TEST_F(PowerAdmission, Table)
{
    enum Src { kNone = -1, kBadFormat = -2 };
    struct Case {
        const char *name;
        std::optional<int32_t> allotment;
        int watts, mode;
        bool override_file;
        std::optional<std::string> cmm;  // reply; nullopt: nobody listens
        int broadcast;                   // state in bytes 2-3, kNone, kBadFormat
        int poller;                      // reading, kNone
        int result;
        std::optional<int32_t> new_allotment;
        std::optional<int32_t> decision;  // nullopt: key untouched
        std::vector<std::string> requests, log;
        bool poller_asked;
    } cases[] = {
        {"equal", 100, 100, 0, false, "NO\0"s, kNone, kNone, 0, 100, 1, {}, {}, false},
        {"below", 250, 100, 0, false, "NO\0"s, kNone, kNone, 0, 100, 1, {}, {}, false},
        {"no key, 0 W", {}, 0, 0, false, "OK 0\0"s, kNone, kNone, 0, 0, {}, {request(0)}, {}, false},
        {"mode 2", 0, 50000, 2, true, "NO\0"s, 2, 2, 0, 50000, 1, {}, {}, false},
        {"override", 0, 500, 0, true, "NO\0"s, kNone, kNone, 0, 500, 1, {}, {}, false},
        {"grant less", 0, 100, 0, false, "OK 80\0"s, kNone, kNone, -10, 80, 0, {request(100)}, {}, false},
        {"grant more", 0, 100, 0, false, "OK 120\0"s, kNone, kNone, -10, 120, 0, {request(100)}, {}, false},
        {"grant", 40, 100, 0, false, "OK 100\0"s, kNone, kNone, 0, 100, 1, {request(100)}, {}, false},
        {"refused", 0, 100, 0, false, "NO\0"s, 1, 1, -10, 0, 0, {request(100)}, {}, false},
        {"cached", 0, kHw, 0, false, "OK 300\0"s, kNone, kNone, 0, 300, 1, {request(300)}, {}, false},
        {"broadcast 1", 0, 100, 0, false, {}, 1, kNone, 0, 100, 1, {}, {}, false},
        {"broadcast 2", 0, 100, 1, false, {}, 2, 1, -10, 0, 0, {}, {}, false},
        {"broadcast 3", 0, 100, 0, false, {}, 3, 1, -17, 0, 0, {}, {}, false},
        {"broadcast 0", 0, 100, 0, false, {}, 0, 1, -17, 0, 0, {}, {}, false},  // read: no poller
        {"broadcast 3 mode 1", 0, 100, 1, false, {}, 3, 1, 0, 100, 1, {}, {}, false},
        {"no format, poller 2", 0, 100, 0, false, {}, kBadFormat, 2, -10, 0, 0, {}, {kNoFormat}, true},
        {"no key, poller 2", 0, 100, 0, false, {}, kNone, 2, -10, 0, 0, {}, {kNoBroadcast}, true},
        {"poller 1", 0, 100, 0, false, {}, kNone, 1, 0, 100, 1, {}, {kNoBroadcast}, true},
        {"silence", 0, 100, 0, false, {}, kNone, kNone, -17, 0, 0, {}, {kNoBroadcast}, true},
        {"silence mode 1", 0, 100, 1, false, {}, kNone, kNone, 0, 100, 1, {}, {kNoBroadcast}, true},
        {"poller 7 mode 9", 0, 100, 9, false, {}, kNone, 7, -17, 0, 0, {}, {kNoBroadcast}, true},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.allotment)
            set_key("available_power", word(*c.allotment));
        if (c.override_file)
            std::ofstream("/conf/override_powerctl").put('x');
        if (c.cmm)
            start_cmm({*c.cmm});
        if (c.broadcast >= 0)
            set_key("SSBCAST/CH/8300", {0xFF, 0xFF, uint8_t(c.broadcast >> 8), uint8_t(c.broadcast)});
        if (c.broadcast == kBadFormat)
            fault("ssbcast_sensor_format", "*", "-1");
        if (c.poller != kNone)
            set_poller(c.poller);

        EXPECT_EQ(arkb_pwr_poweron_node(7, c.watts, c.mode), c.result) << c.name;
        EXPECT_EQ(stop_cmm(), c.requests) << c.name;
        EXPECT_EQ(key("available_power"), word(*c.new_allotment)) << c.name;
        EXPECT_EQ(key("ARKB/PWRDEC"), c.decision ? std::optional(word(*c.decision)) : std::nullopt) << c.name;
        EXPECT_EQ(power_log(), c.log) << c.name;
        for (const std::string &format : journal("ssbcast_sensor_format"))  // P_OVER_WARN, 80-byte key
            EXPECT_EQ(format.rfind("ssbcast_sensor_format([83 00], 80, \"SSBCAST/CH\")", 0), 0u) << format;
        const auto polls = journal("sspoller_get_shared_sensor_reading");
        EXPECT_EQ(polls.size(), c.poller_asked ? 1u : 0u) << c.name;
        for (const std::string &poll : polls)  // sensor 41, shared reading
            EXPECT_EQ(poll.rfind("sspoller_get_shared_sensor_reading(41, 1)", 0), 0u) << poll;
        uint8_t decision = 0xAA;
        EXPECT_EQ(arkb_pwr_getdecision(&decision), c.decision ? 0 : -1) << c.name;
        EXPECT_EQ(decision, c.decision ? *c.decision : 0xAA) << c.name;
    }
}

TEST_F(PowerAdmission, SentinelWithoutAnyBudgetWritesNothing)
{
    ::unlink((sp + "/memstore/" + arksim::encode_key("ARKB/PWRBUDGET")).c_str());
    set_key("available_power", word(250));
    EXPECT_EQ(arkb_pwr_poweron(kHw, 1), -8);
    EXPECT_EQ(power_log(), std::vector<std::string>{kUpdate});
    EXPECT_EQ(key("available_power"), word(250));
    EXPECT_FALSE(key("ARKB/PWRDEC"));
}

TEST_F(PowerAdmission, PoweroffIsZeroWattsInModeOne)
{
    start_cmm({"OK 0\0"s});
    set_key("available_power", word(250));
    set_key("ARKB/PWRDEC", word(1));
    EXPECT_EQ(arkb_pwr_poweroff(), 0);
    EXPECT_EQ(key("available_power"), word(0));
    EXPECT_EQ(key("ARKB/PWRDEC"), word(1));
    EXPECT_TRUE(stop_cmm().empty());
    // Without an allotment the whole chain runs, and asks the CMM for 0 W.
    ::unlink((sp + "/memstore/" + arksim::encode_key("available_power")).c_str());
    start_cmm({"OK 0\0"s});
    EXPECT_EQ(arkb_pwr_poweroff(), 0);
    EXPECT_EQ(stop_cmm(), std::vector<std::string>{request(0)});
}

TEST_F(PowerAdmission, SelfTestOutput)
{
    const std::string title = "\nlibarkblade_power Unit test\n\n";
    set_key("slotid", {255});
    testing::internal::CaptureStdout();
    EXPECT_EQ(arkb_pwr_unit_test(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), title + "ERR H\n");
    EXPECT_TRUE(journal("ark_pwr_i2c").empty());
    EXPECT_TRUE(journal("memstore_set").empty());

    struct Case {
        bool cached;
        std::optional<int32_t> allotment;
        std::vector<std::string> replies;
        bool i2c_test_fails;
        std::string figures, first, second;
        int32_t decision;
    } cases[] = {
        {false,
         {},
         {"OK 100\0"s, "NO\0"s},
         false,
         "err arkb_pwr_get_budget\nBL/PWRINFO/HWCONFIG: 0\nBL/PWRINFO/AVAILABLE: -1\n",
         "BL/ALLOWED_POWER_ON",
         "BL/PREVENTED_FROM_POWER_ON",
         0},
        {true,
         20,
         {"NO\0"s, "OK 50000\0"s},
         true,
         "BL/PWRINFO/HWCONFIG_POWER: 300\nBL/PWRINFO/HWCONFIG: 300\nBL/PWRINFO/AVAILABLE: 20\n",
         "BL/PREVENTED_FROM_POWER_ON",
         "BL/ALLOWED_POWER_ON",
         1},
    };
    for (const Case &c : cases) {
        SetUp();
        if (!c.cached)
            ::unlink((sp + "/memstore/" + arksim::encode_key("ARKB/PWRBUDGET")).c_str());
        if (c.allotment)
            set_key("available_power", word(*c.allotment));
        if (c.i2c_test_fails)
            fault("ark_pwr_i2c_test", "*", "-3");
        start_cmm(c.replies);
        testing::internal::CaptureStdout();
        EXPECT_EQ(arkb_pwr_unit_test(), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  title + "\nlibarkblade_power interface \n\n" + c.figures + "Requesting 100 Watts\n" +
                      c.first + "\n\n" + (c.i2c_test_fails ? "ERR T\n" : "") + "Requesting 50000 Watts\n" +
                      c.second + "\nPowering off\n");
        EXPECT_EQ(stop_cmm(), (std::vector<std::string>{request(100), request(50000)}));
        const std::string i2c_test = "ark_pwr_i2c_test(3) = "s + (c.i2c_test_fails ? "-3" : "0");
        EXPECT_EQ(journal("ark_pwr_i2c_test"), std::vector<std::string>{i2c_test});
        EXPECT_EQ(key("available_power"), word(0));
        EXPECT_EQ(key("ARKB/PWRDEC"), word(c.decision));
    }
}
