// Platform layer and midplane pass-throughs: exact arguments, results
// unchanged, and the FRU section bounds checked before the bus is touched.
#include "arkblade.h"
#include "sim_test.h"

using Platform = SimTest;

// The result of a pass-through is the platform's answer, unchanged.
#define expect_passed_on(call, func)                                                                         \
    do {                                                                                                     \
        const long long rc = (call);                                                                         \
        EXPECT_EQ(rc, answered(func)) << #call;                                                              \
    } while (0)

TEST_F(Platform, FruSectionBounds)
{
    struct Case {
        unsigned len, offset;
        bool reaches_bus;
    } cases[] = {
        {32, 16352, true},        {33, 16352, false}, {0, 16384, true},
        {0xFFFFFFF0u, 32, false}, {16384, 0, true},   {1, 16384, false},
    };
    static uint8_t buf[16384];
    for (const Case &c : cases) {
        for (bool write : {false, true}) {
            clear_journal();
            int rc = write ? arkbp_write_mbfruid_elmsect(buf, c.len, c.offset)
                           : arkbp_read_mbfruid_elmsect(buf, c.len, c.offset);
            EXPECT_EQ(!journal().empty(), c.reaches_bus) << c.len << "@" << c.offset;
            if (!c.reaches_bus) {
                EXPECT_EQ(rc, -1);
            }
        }
    }
}

TEST_F(Platform, FruAccessArguments)
{
    uint8_t buf[4] = {1, 2, 3, 4};
    expect_passed_on(arkbp_write_mbfruid_elmsect(buf, 4, 100), "elm_i2c_blk_write_on_bus");
    expect_passed_on(arkbp_read_mbfruid_elmsect(buf, 4, 100), "elm_i2c_blk_read_on_bus");
    EXPECT_EQ(journal(), (std::vector<std::string>{
                             "elm_i2c_blk_write_on_bus(4, 255, 255, 0xa0, 4, 100, 16, 32) = 4 : 01 02 03 04",
                             "elm_i2c_blk_read_on_bus(4, 255, 255, 0xa0, 4, 100, 16, 64) = 4 : 01 02 03 04",
                         }));
    fault("elm_i2c_blk_read_on_bus", "*", "-5");
    EXPECT_EQ(arkbp_read_mbfruid_elmsect(buf, 4, 100), -5);
}

TEST_F(Platform, FixedAnswersOfThisPlatform)
{
    EXPECT_EQ(arkbp_pca9501_filepath(), nullptr);
    EXPECT_EQ(arkbp_read_device_type(), -1);
    EXPECT_EQ(arkbp_platform_specific_initialize(3), 0);
    uint8_t slot = 0;
    expect_passed_on(arkbp_read_slotid(&slot), "arkmp_read_slotid");
    EXPECT_EQ(slot, 3);
    expect_passed_on(arkb_read_slotid(&slot), "arkmp_read_slotid");
    EXPECT_EQ(arkbp_store_slotid(9), 0);
    EXPECT_EQ(key("slotid"), Bytes{9});
}

TEST_F(Platform, MidplanePassThroughsKeepArgumentsAndResults)
{
    const uint8_t w = 0x50;
    uint8_t r = 0;
    uint8_t block[3] = {7, 8, 9};
    arkb_mp_tnlblk_write(0x86, block, 3, 0x50, 8, 2);
    expect_passed_on(arkb_mp_writeread(0x86, &w, &r, 1, 1), "arkmp_writeread");
    EXPECT_EQ(r, 7);
    expect_passed_on(arkb_mp_tnlblk_read(0x86, block, 3, 0x51, 8, 8), "arkmp_tnlblk_read");
    expect_passed_on(arkb_mp_write(0x06, &w, 1), "arkmp_write");
    expect_passed_on(arkb_mp_read(0x06, &r, 1), "arkmp_read");
    EXPECT_EQ(r, 0x50);
    expect_passed_on(arkb_mp_tunneling_init(1), "arkmp_tunneling_init");
    EXPECT_EQ(journal(), (std::vector<std::string>{
                             "arkmp_tnlblk_write(0x86, 3, 80, 8, 2) = 3 : 07 08 09",
                             "arkmp_writeread(0x86, [50], 1, 1) = 1 : 07",
                             "arkmp_tnlblk_read(0x86, 3, 81, 8, 8) = 3 : 08 09 00",
                             "arkmp_write(0x06, 1) = 1 : 50",
                             "arkmp_read(0x06, 1) = 1 : 50",
                             "arkmp_tunneling_init(1) = 0",
                         }));
    for (const char *f : {"arkmp_read", "arkmp_write", "arkmp_writeread", "arkmp_tnlblk_read",
                          "arkmp_tnlblk_write", "arkmp_tunneling_init"})
        fault(f, "*", "-7");
    EXPECT_EQ(arkb_mp_read(0x06, &r, 1), -7);
    EXPECT_EQ(arkb_mp_write(0x06, &w, 1), -7);
    EXPECT_EQ(arkb_mp_writeread(0x86, &w, &r, 1, 1), -7);
    EXPECT_EQ(arkb_mp_tnlblk_read(0x86, block, 3, 0, 8, 8), -7);
    EXPECT_EQ(arkb_mp_tnlblk_write(0x86, block, 3, 0, 8, 8), -7);
    EXPECT_EQ(arkb_mp_tunneling_init(1), -7);
}
