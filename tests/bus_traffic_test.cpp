// Bus traffic: every operation of the table in bench/bus_plan.cpp moves, on
// every bus, exactly the transactions and bytes of its documented access
// plan; a few plans are also pinned here in figures.
#include "bus_plan.h"
#include "sim_test.h"

using BusTraffic = SimTest;

namespace {

const char *bus(int b) { return arksim::bus_name(static_cast<arksim::Bus>(b)); }

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
        {"arkb_initialize_mp", "slot 3, chassis 3096", {2, 2, 0, 0, 0, 0}, {3, 2, 0, 0, 0, 0}},
        {"arkb_pwr_publish_budget", "no cache yet", {4, 0, 0, 0, 1, 0}, {9, 0, 0, 0, 2, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.state);
        const bench::Operation *op = bench::find_operation(c.name, c.state);
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->plan.traffic.tx, c.tx);
        EXPECT_EQ(op->plan.traffic.bytes, c.bytes);
    }
}
