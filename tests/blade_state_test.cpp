// Blade state keys, the slot-number file and the log function.
#include <sys/stat.h>

#include <string>

#include "arkblade.h"
#include "sim_test.h"

using BladeState = SimTest;

TEST_F(BladeState, GetSlotidTakesOnlyAStoredSlotNumber)
{
    struct Case {
        std::optional<Bytes> stored;
        int result;
        uint8_t out;
    } cases[] = {
        {Bytes{3}, 0, 3},         {Bytes{0x13}, 0, 0x13},  {Bytes{255}, -1, 0xAA},
        {std::nullopt, -1, 0xAA}, {Bytes{3, 0}, -1, 0xAA},  // a 2-byte value is not a slot byte
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.stored)
            set_key("slotid", *c.stored);
        uint8_t out = 0xAA;
        EXPECT_EQ(arkb_get_slotid(&out), c.result);
        EXPECT_EQ(out, c.out);
    }
}

TEST_F(BladeState, StoreSlotidWritesKeyAndTwoByteFile)
{
    struct Case {
        uint8_t slot;
        Bytes file;
    } cases[] = {{7, {'7', 0}}, {12, {'1', '2'}}, {123, {'1', '2'}}, {0, {'0', 0}}};
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(arkb_store_slotid(c.slot), 0);
        EXPECT_EQ(key("slotid"), Bytes{c.slot});
        EXPECT_EQ(file("/dev/shm/slotid"), c.file);
    }
    EXPECT_TRUE(log().empty());
}

TEST_F(BladeState, StoreSlotidFailureLogsAndWritesNoFile)
{
    fault("memstore_set", "*", "0");
    EXPECT_EQ(arkb_store_slotid(4), -1);
    EXPECT_FALSE(file("/dev/shm/slotid"));
    EXPECT_EQ(log(), std::vector<std::string>{"3 libarkblade::arkb_store_slotid::529:Error\n"});
    // A slot file that cannot be opened fails the call after the key is stored.
    SetUp();
    ASSERT_EQ(::mkdir("/dev/shm/slotid", 0700), 0);
    EXPECT_EQ(arkb_store_slotid(4), -1);
    EXPECT_EQ(key("slotid"), Bytes{4});
}

TEST_F(BladeState, GettersFallBackToZero)
{
    uint32_t word = 77;
    EXPECT_EQ(arkb_get_chassis_type(&word), 0);
    EXPECT_EQ(word, 0u);
    word = 77;
    EXPECT_EQ(arkb_get_device_type(&word), 0);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(arkb_get_sas_cap(), 0u);
    EXPECT_EQ(arkb_is_cmm_ready(), 0);
    EXPECT_EQ(arkb_fru_read(), -1);
    EXPECT_EQ(arkb_read_device_type(), -1);
}

TEST_F(BladeState, StoredWordsAreBigEndianAndChassisTypeLowByteFirst)
{
    EXPECT_EQ(arkb_set_sas_cap(0x01020304), 1);  // memstore's own success value
    EXPECT_EQ(key("ARKB/SAS_CAPS"), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(arkb_get_sas_cap(), 0x01020304u);

    set_key("device_type", {0, 0, 1, 2});
    set_key("chassis_type", {0x18, 0x0C});
    uint32_t device = 0, chassis_type = 0;
    arkb_get_device_type(&device);
    arkb_get_chassis_type(&chassis_type);
    EXPECT_EQ(device, 258u);
    EXPECT_EQ(chassis_type, 3096u);
}

TEST_F(BladeState, CmmReadyOnlyForByteOne)
{
    const std::pair<Bytes, int> cases[] = {{{1}, 1}, {{0}, 0}, {{2}, 0}, {{1, 1}, 0}};
    for (const auto &[stored, ready] : cases) {
        set_key("ARKB/CMMREADY", stored);
        EXPECT_EQ(arkb_is_cmm_ready(), ready);
    }
}

TEST_F(BladeState, OutputLogsTextOnceFormattedAtUucpFacility)
{
    arkb_output(3, "%s::%s::%d:Error %s\n", "libarkblade", "f", 12, "100%d");
    arkb_output(5, "%s", std::string(600, 'x').c_str());
    arkb_output(6, "info\n");  // any priority a caller gives, unchanged
    const auto lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "6 info\n");
    EXPECT_EQ(lines[0], "3 libarkblade::f::12:Error 100%d\n");
    EXPECT_EQ(lines[1], "5 " + std::string(511, 'x'));
    EXPECT_EQ(log_facility_of_last(), 8);  // 0x40 >> 3
}
