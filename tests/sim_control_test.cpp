// The simulator's rules outside the platform calls: moving blades, the power
// they lose on the way, and running a chassis's CMM daemon.
#include <arpa/inet.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "cmm/cmm_control.h"
#include "cmm/cmm_state.h"
#include "core/blade_move.h"
#include "core/chassis.h"
#include "core/simstate.h"
#include "sim_test.h"

namespace cmm = arksim::cmm;

namespace {

bool exists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

int slot_of(const std::string &chassis, const std::string &name)
{
    for (const auto &b : arksim::list_blades(chassis))
        if (b.name == name)
            return b.slot;
    return -2;
}

}  // namespace

class SimControl : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        other = chassis + "-other";
        ASSERT_TRUE(arksim::create_chassis(other, 3096));
        ASSERT_TRUE(arksim::add_blade(chassis, "mover", 7));
        ASSERT_TRUE(arksim::add_blade(chassis, "b", 5));
        ASSERT_TRUE(arksim::add_blade(other, "c", 9));
        mover = arksim::blade_dir(chassis, "mover");
    }
    void TearDown() override { arksim::remove_tree(other); }
    std::string other, mover;
};

TEST_F(SimControl, MoveRulesWithinAndAcrossChassis)
{
    const struct {
        const char *what;
        bool across;
        int slot;
        const char *error;  // a piece of the error, "" for success
        int slot_after;
    } cases[] = {
        {"to a taken slot", false, 5, "slot 5 holds blade b already", 7},
        {"to a free slot", false, 11, "", 11},
        {"to its own chassis", true, -1, "is in", 11},
        {"to a taken slot elsewhere", true, 9, "slot 9 of", 11},
        {"elsewhere, keeping its slot", true, -1, "", 11},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string to = c.across && std::string(c.what) != "to its own chassis" ? other : chassis;
        const arksim::MoveResult r = c.across ? arksim::move_to_chassis(chassis, "mover", to, c.slot)
                                              : arksim::move_to_slot(chassis, "mover", c.slot);
        EXPECT_EQ(r.ok(), *c.error == '\0') << r.error;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        EXPECT_EQ(slot_of(r.ok() ? to : chassis, "mover"), c.slot_after);
    }
    EXPECT_EQ(slot_of(chassis, "mover"), -2);                                // gone from the first chassis
    EXPECT_FALSE(arksim::move_to_chassis(other, "mover", chassis, 5).ok());  // slot 5 is b's
}

TEST_F(SimControl, ACrossChassisMoveLosesRamKeepsFlash)
{
    ASSERT_TRUE(arksim::make_dirs(mover + "/memstore") && arksim::make_dirs(mover + "/fs/dev/shm") &&
                arksim::make_dirs(mover + "/fs/conf"));
    ASSERT_TRUE(arksim::write_text(mover + "/memstore/k", "v") &&
                arksim::write_text(mover + "/fs/dev/shm/s", "x") &&
                arksim::write_text(mover + "/fs/conf/c", "kept") &&
                arksim::write_text(mover + "/uptime", "boot 1\n"));
    const arksim::MoveResult r = arksim::move_to_chassis(chassis, "mover", other, -1);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_FALSE(exists(r.dir + "/memstore/k"));
    EXPECT_FALSE(exists(r.dir + "/fs/dev/shm/s"));
    std::vector<uint8_t> conf, clock;
    ASSERT_TRUE(arksim::read_file(r.dir + "/fs/conf/c", conf) && arksim::read_file(r.dir + "/uptime", clock));
    EXPECT_EQ(std::string(conf.begin(), conf.end()), "kept");
    EXPECT_NE(std::string(clock.begin(), clock.end()), "boot 1\n");  // a running clock starts over
    EXPECT_TRUE(exists(r.dir + "/eeprom.bin"));

    ASSERT_TRUE(arksim::write_text(r.dir + "/uptime", "42\n"));  // a frozen clock stays
    ASSERT_TRUE(arksim::lose_power(r.dir));
    ASSERT_TRUE(arksim::read_file(r.dir + "/uptime", clock));
    EXPECT_EQ(std::string(clock.begin(), clock.end()), "42\n");
}

TEST_F(SimControl, BehaviourAndBroadcastSettings)
{
    const struct {
        std::vector<std::string> words;
        bool ok;
        const char *file;  // the behaviour file afterwards, nullptr: none
    } behaviours[] = {
        {{"delay", "250"}, true, "delay 250\n"},
        {{"delay", "60001"}, false, "delay 250\n"},
        {{"reply", "OK\\x4"}, false, "delay 250\n"},
        {{"reply", "OK", "10\\n"}, true, "reply OK 10\\n\n"},
        {{"split"}, true, "split\n"},
        {{"normal"}, true, nullptr},
        {{"shout"}, false, nullptr},
    };
    for (const auto &b : behaviours) {
        std::string text, error;
        EXPECT_EQ(cmm::set_behaviour(chassis, b.words, text, error), b.ok) << b.words[0] << ": " << error;
        std::vector<uint8_t> got;
        const bool has = arksim::read_file(cmm::file(chassis, "behaviour"), got);
        EXPECT_EQ(has, b.file != nullptr) << b.words[0];
        if (has && b.file != nullptr) {
            EXPECT_EQ(std::string(got.begin(), got.end()), b.file);
        }
    }

    const struct {
        const char *current, *name;
        bool start, all;
        const char *after;
    } broadcasts[] = {
        {"", "b", true, false, "b"},
        {"b", "mover", true, false, "b,mover"},
        {"b,mover", "b", false, false, "mover"},
        {"mover", "b", true, true, "all"},
        {"all", "b", false, false, "sp1,mover"},
        {"all", "", false, true, ""},
    };
    for (const auto &b : broadcasts) {
        cmm::Config c;
        c.broadcast = b.current;
        EXPECT_EQ(cmm::broadcast_setting(chassis, c, b.name, b.start, b.all), b.after)
            << b.current << " " << b.name;
    }
}

// Every slot byte has an address of its own on the chassis network, and
// the CMM maps each back to its slot.
TEST(ChassisNetwork, EverySlotHasItsOwnAddress)
{
    std::set<std::string> seen;
    for (int slot = 0; slot < cmm::kSlots; ++slot) {
        const std::string address = cmm::blade_address(slot);
        EXPECT_TRUE(seen.insert(address).second) << "slot " << slot << " shares " << address;
        in_addr in{};
        ASSERT_EQ(::inet_pton(AF_INET, address.c_str(), &in), 1) << address;
        EXPECT_EQ(cmm::slot_of_address(ntohl(in.s_addr)), slot) << address;
    }
    EXPECT_EQ(cmm::blade_address(3), "169.254.10.103");
    EXPECT_EQ(cmm::blade_address(255), "169.254.11.99");
    for (const char *other : {"169.254.10.1", "169.254.10.99", "169.254.11.100"}) {
        in_addr in{};
        ASSERT_EQ(::inet_pton(AF_INET, other, &in), 1);
        EXPECT_EQ(cmm::slot_of_address(ntohl(in.s_addr)), -1) << other;
    }
}

TEST_F(SimControl, DaemonLifecycle)
{
    EXPECT_EQ(cmm::stop(chassis).outcome, cmm::Outcome::NotRunning);
    const cmm::Result missing = cmm::start(chassis, 0, "/nonexistent/arkcmm");
    EXPECT_EQ(missing.outcome, cmm::Outcome::Failed);
    EXPECT_NE(missing.log_tail.find("cannot run /nonexistent/arkcmm"), std::string::npos) << missing.log_tail;
#ifdef ARKB_TESTS_CROSS
    GTEST_SKIP() << "a cross-built arkcmm runs only under the emulator";
#endif
    const cmm::Result started = cmm::start(chassis);
    ASSERT_EQ(started.outcome, cmm::Outcome::Done) << started.error << started.log_tail;
    EXPECT_EQ(cmm::running_pid(chassis), started.pid);
    EXPECT_TRUE(cmm::read_status(chassis, 5).listening);
    EXPECT_EQ(cmm::start(chassis).outcome, cmm::Outcome::WasRunning);
    std::string text, error;
    EXPECT_TRUE(cmm::set_behaviour(chassis, {"nolisten"}, text, error)) << error;
    EXPECT_FALSE(cmm::read_status(chassis, 5).listening);
    const cmm::Result stopped = cmm::stop(chassis);
    EXPECT_EQ(stopped.outcome, cmm::Outcome::Done);
    EXPECT_EQ(stopped.pid, started.pid);
    EXPECT_EQ(cmm::running_pid(chassis), -1);
    EXPECT_FALSE(exists(chassis + "/netns"));
}
