// Midplane start-up: slot read, tunnel access, chassis-type probe, records.
#include <sys/stat.h>
#include <unistd.h>

#include "arkblade.h"
#include "sim_test.h"

using MidplaneStartup = SimTest;

TEST_F(MidplaneStartup, ChassisTypeProbeTable)
{
    struct Case {
        int r9c, r4c, r7e;
        uint32_t code;
        Bytes stored;
    } cases[] = {
        {0x10, -1, -1, 1302, {0x16, 0x05}}, {0x11, 0, 0, 3096, {0x18, 0x0C}},
        {-1, 0x00, 0, 3074, {0x02, 0x0C}},  {-1, -1, 0x00, 3331, {0x03, 0x0D}},
        {-1, -1, -1, 3073, {0x01, 0x0C}},
    };
    for (const Case &c : cases) {
        SetUp();
        set_register(0x9C, c.r9c);
        set_register(0x4C, c.r4c);
        set_register(0x7E, c.r7e);
        EXPECT_EQ(arkb_initialize_mp(), 0);
        EXPECT_EQ(file("/dev/shm/chassis_type"), c.stored);
        EXPECT_EQ(key("chassis_type"), c.stored);
        uint32_t code = 0;
        arkb_get_chassis_type(&code);
        EXPECT_EQ(code, c.code);
    }
}

TEST_F(MidplaneStartup, CallsInOrderAndPublishesEverything)
{
    EXPECT_EQ(arkb_initialize_mp(), 0);
    EXPECT_EQ(journal(), (std::vector<std::string>{
                             "arkmp_read_slotid() = 0 : 03",
                             "arkmp_tunneling_init(1) = 0",
                             "arkmp_read(0x9c, 1) = 1 : 18",
                             "memstore_set(\"chassis_type\", 2) = 1 : 18 0c",
                             "memstore_set(\"slotid\", 1) = 1 : 03",
                         }));
    EXPECT_EQ(file("/dev/shm/slotid"), (Bytes{'3', 0}));
    struct stat st {};
    ASSERT_EQ(::stat("/dev/shm/chassis_type", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(log().empty());

    // A daemon whose standard input is closed gets descriptor 0 for a file.
    SetUp();
    const int input = ::dup(0);
    ::close(0);
    EXPECT_EQ(arkb_initialize_mp(), 0);
    ::dup2(input, 0);
    ::close(input);
    EXPECT_EQ(file("/dev/shm/chassis_type"), (Bytes{0x18, 0x0C}));
}

TEST_F(MidplaneStartup, OnlyMinusOneIsARegisterReadFailure)
{
    fault("arkmp_read", "1", "-2");  // not exactly -1: 0x9C counts as read
    EXPECT_EQ(arkb_initialize_mp(), 0);
    EXPECT_EQ(key("chassis_type"), (Bytes{0x18, 0x0C}));
}

TEST_F(MidplaneStartup, SlotBit4SkipsTunnelInitOnly)
{
    set_slot(0x13);
    EXPECT_EQ(arkb_initialize_mp(), 0);
    EXPECT_TRUE(journal("arkmp_tunneling_init").empty());
    EXPECT_EQ(key("slotid"), Bytes{0x13});
    EXPECT_EQ(key("chassis_type"), (Bytes{0x18, 0x0C}));
}

TEST_F(MidplaneStartup, EarlyFailuresPublishNothing)
{
    struct Case {
        const char *func;
        const char *line;
    } cases[] = {
        {"arkmp_read_slotid", "3 libarkblade::arkb_initialize_mp::239:Error\n"},
        {"arkmp_tunneling_init",
         "3 libarkblade::arkb_initialize_mp::255:Error Could not initialize midplane\n"},
    };
    for (const Case &c : cases) {
        SetUp();
        fault(c.func, "*", "-1");
        EXPECT_EQ(arkb_initialize_mp(), -1);
        EXPECT_FALSE(key("slotid"));
        EXPECT_FALSE(key("chassis_type"));
        EXPECT_FALSE(file("/dev/shm/slotid"));
        EXPECT_FALSE(file("/dev/shm/chassis_type"));
        EXPECT_EQ(log(), std::vector<std::string>{c.line});
    }
}

TEST_F(MidplaneStartup, LaterFailuresAreIgnored)
{
    fault("memstore_set", "*", "0");
    EXPECT_EQ(arkb_initialize_mp(), 0);
    EXPECT_EQ(file("/dev/shm/chassis_type"), (Bytes{0x18, 0x0C}));
    EXPECT_EQ(log(), std::vector<std::string>{"3 libarkblade::arkb_store_slotid::529:Error\n"});
}
