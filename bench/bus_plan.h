// Bus traffic of the library's operations: for each operation in a typical
// state, the accesses that its documented algorithm makes (the plan) and
// what the simulator counted.  Shared by arkbench and the unit test that
// keeps the two equal.
#ifndef ARKBENCH_BUS_PLAN_H
#define ARKBENCH_BUS_PLAN_H

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/bus_time.h"
#include "core/simstate.h"

namespace bench {

using arksim::Bus;
inline constexpr int kBuses = static_cast<int>(Bus::Count);

// Transactions and bytes per bus, and their modelled time (core/bus_time.h):
// bit-times of the transfers and EEPROM page-write cycles.
struct Traffic {
    std::array<uint32_t, kBuses> tx{};
    std::array<uint32_t, kBuses> bytes{};
    uint64_t bit_times = 0;
    uint32_t write_cycles = 0;
    bool operator==(const Traffic &) const = default;
};

// The accesses of a plan in the simulator's units, each timed by the model
// the simulator's timed bus uses.
struct Plan {
    Traffic traffic;

    Plan &memstore(uint32_t len);  // one get, set or haskey moving len bytes
    Plan &reg_read();              // midplane register or slot byte
    Plan &reg_write();
    Plan &tunneling_init();         // enabling tunnel access: a register write
    Plan &dt_read();                // the PCA9501's DT word behind the slot's tunnel address
    Plan &mbox_read(uint32_t len);  // tunnel, 8-bit offset, 8-byte unit
    Plan &mbox_write(uint32_t len);
    Plan &mbox_poll();     // one-byte write-then-read
    Plan &chassis_read();  // 2048 bytes at 0x1800, 16-bit offset, 64-byte unit
    Plan &eeprom_read(uint32_t offset, uint32_t len);
    Plan &eeprom_write(uint32_t offset, uint32_t len);
    Plan &power_publish();
    Plan &operator+=(const Plan &other);

private:
    Plan &transfer(arksim::Transaction (*shape)(uint32_t bytes), uint32_t len, uint32_t offset, uint32_t unit,
                   uint32_t page);
    Plan &add(const arksim::Transaction &t);
};
Plan operator+(Plan a, const Plan &b);

uint64_t bus_ns(const Plan &p, uint64_t hz);    // transfers only
uint64_t total_ns(const Plan &p, uint64_t hz);  // transfers and write cycles

struct Operation {
    const char *name;
    const char *state;
    void (*setup)();  // brings a fresh SP into the state
    void (*run)();
    Plan plan;
};

std::span<const Operation> operations();
const Operation *find_operation(std::string_view name, std::string_view state);

// A fresh SP in slot 3 of a fresh chassis of type 3096.
void fresh_sp();
// Fresh SP, setup, then the run alone counted.
Traffic measure(const Operation &op);

}  // namespace bench

#endif
