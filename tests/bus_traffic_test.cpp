// Bus traffic: every operation of the table in bench/bus_plan.cpp moves, on
// every bus, exactly the transactions and bytes of its documented access
// plan, and the simulator counts the modelled time the plan gives; a few
// plans are also pinned here in figures, and the timed bus sleeps that time.
#include <ctime>

#include "bus_plan.h"
#include "core/bus_time.h"
#include "core/chassis.h"
#include "sim_test.h"
#include "arkblade.h"

using BusTraffic = SimTest;

namespace {

const char *bus(int b) { return arksim::bus_name(static_cast<arksim::Bus>(b)); }

// Checks each case of a table against the benchmark's operation it names.
template <class Case, std::size_t N, class Check> void check_operations(const Case (&cases)[N], Check check)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.state);
        const bench::Operation *op = bench::find_operation(c.name, c.state);
        ASSERT_NE(op, nullptr);
        check(c, op->plan);
    }
}

}  // namespace

TEST_F(BusTraffic, EveryOperationMovesExactlyItsPlan)
{
    for (const bench::Operation &op : bench::operations()) {
        SCOPED_TRACE(std::string(op.name) + " / " + op.state);
        const bench::Traffic counted = bench::measure(op);
        for (int b = 0; b < bench::kBuses; ++b) {
            EXPECT_EQ(counted.tx[b], op.plan.traffic.tx[b]) << bus(b) << " transactions";
            EXPECT_EQ(counted.bytes[b], op.plan.traffic.bytes[b]) << bus(b) << " bytes";
        }
        EXPECT_EQ(counted.bit_times, op.plan.traffic.bit_times);
        EXPECT_EQ(counted.write_cycles, op.plan.traffic.write_cycles);
    }
}

TEST_F(BusTraffic, PlansInFigures)
{
    // Transactions and bytes on memstore, register, tunnel, eeprom, power-i2c, sensor.
    struct Case {
        const char *name, *state;
        std::array<uint32_t, bench::kBuses> tx, bytes;
    } cases[] = {
        {"arkb_netconf_check_req", "idle", {0, 0, 1, 0, 0, 0}, {0, 0, 2, 0, 0, 0}},
        {"arkb_netconf_initialize", "formatted mailbox", {1, 0, 10, 0, 0, 0}, {1, 0, 66, 0, 0, 0}},
        {"arkb_netconf_initialize", "zeroed memory", {1, 0, 23, 0, 0, 0}, {1, 0, 153, 0, 0, 0}},
        // header 6, descriptors "SD" and "FD" 2 x 10, ring 1114 in 18; chassis data 2048 in 32
        {"arkb_instrec_update", "unchanged", {1, 0, 32, 21, 0, 0}, {1, 0, 2048, 1140, 0, 0}},
        // and the midplane slot byte, and 1119 bytes at 3184 in 16 + 34 x 32 + 15
        {"arkb_instrec_update", "record added", {1, 1, 32, 57, 0, 0}, {1, 1, 2048, 2259, 0, 0}},
        // slot byte, tunnel access, register 0x9C
        {"arkb_initialize_mp", "slot 3, chassis 3096", {2, 3, 0, 0, 0, 0}, {3, 3, 0, 0, 0, 0}},
        {"arkb_pwr_publish_budget", "no cache yet", {4, 0, 0, 0, 1, 0}, {9, 0, 0, 0, 2, 0}},
    };
    check_operations(cases, [](const Case &c, const bench::Plan &plan) {
        EXPECT_EQ(plan.traffic.tx, c.tx);
        EXPECT_EQ(plan.traffic.bytes, c.bytes);
    });
}

TEST_F(BusTraffic, ModelledTimeOfThePlans)
{
    // Bit-times and EEPROM page writes of the benchmark's time table; the
    // start-up rows include the tunnel access (29) and the DT read (66).
    struct Case {
        const char *name, *state;
        uint64_t bits;
        uint32_t writes;
        uint64_t ns_100khz;  // with the write cycles
    } cases[] = {
        {"arkb_initialize_mp", "slot 3, chassis 3096", 78 + 29, 0, 1070000},
        {"start-up (both calls)", "first start", 56824 + 29 + 66, 41, 774190000},
        {"arkb_initialize", "restart", 31682 + 66, 0, 317480000},
        {"arkb_instrec_update", "record added", 41913, 36, 599130000},
        {"arkb_netconf_check_req", "idle", 39, 0, 390000},
        {"get_manr_info", "record first", 19680, 0, 196800000},
        {"arkb_pwr_publish_budget", "no cache yet", 38, 0, 380000},
    };
    check_operations(cases, [](const Case &c, const bench::Plan &plan) {
        EXPECT_EQ(plan.traffic.bit_times, c.bits);
        EXPECT_EQ(plan.traffic.write_cycles, c.writes);
        EXPECT_EQ(bench::total_ns(plan, 100000), c.ns_100khz);
    });
}

TEST_F(BusTraffic, TransactionShapes)
{
    struct Case {
        arksim::Transaction t;
        uint64_t bits;
        uint32_t cycles;
    } cases[] = {
        {arksim::local(arksim::Bus::Memstore, 4), 0, 0},
        {arksim::register_read(), 3 + 9 * 4, 0},       // address, register, address, byte
        {arksim::register_write(), 2 + 9 * 3, 0},      // address, register, byte
        {arksim::tunnel_poll(), 3 + 9 * 4, 0},         // address, offset, address, byte
        {arksim::tunnel_read(16, 64), 3 + 9 * 68, 0},  // two offset bytes
        {arksim::tunnel_write(8, 8), 2 + 9 * 10, 0},   // one offset byte
        {arksim::eeprom_write(32), 2 + 9 * 35, 1},     // and the page-write cycle
        {arksim::dt_read(), 3 + 9 * 7, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(arksim::bit_times(c.t), c.bits);
        EXPECT_EQ(arksim::write_cycles(c.t), c.cycles);
    }
    EXPECT_EQ(arksim::bus_ns(39, 0, 0), 0u);  // untimed
    EXPECT_EQ(arksim::bus_ns(39, 1, 400000), 97500u + 5000000u);
}

TEST_F(BusTraffic, TimedBusSleepsTheModelledTime)
{
    // Only a lower bound: the sleep is never shorter than the model.
    ASSERT_TRUE(arksim::write_bus_khz(chassis, 100));
    EXPECT_EQ(arksim::read_bus_khz(chassis), 100u);
    arksim::reset_stats(sp);
    timespec t0{}, t1{};
    ::clock_gettime(CLOCK_MONOTONIC, &t0);
    uint8_t buf[64];
    ASSERT_EQ(arkbp_read_mbfruid_elmsect(buf, 64, 0), 64);  // 615 bit-times: 6.15 ms
    ::clock_gettime(CLOCK_MONOTONIC, &t1);
    const long long ns = (t1.tv_sec - t0.tv_sec) * 1000000000LL + (t1.tv_nsec - t0.tv_nsec);
    EXPECT_GE(ns, 6150000);
    arksim::Stats s{};
    arksim::read_stats(sp, s);
    EXPECT_EQ(s.bus_bits[static_cast<int>(arksim::Bus::Eeprom)], 615u);
    EXPECT_EQ(s.call_bits[arksim::function_index("elm_i2c_blk_read_on_bus")], 615u);
    ASSERT_TRUE(arksim::write_bus_khz(chassis, 0));
    EXPECT_EQ(arksim::read_bus_khz(chassis), 0u);
}
