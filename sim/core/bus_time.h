/*
 * Modelled time of the SP's bus transactions.  Every transaction the platform
 * stand-ins count, except on memstore and the sensor poller (local memory on
 * the SP), is an I2C-type transfer:
 *
 *   - a byte takes 9 bit-times (8 data bits and the acknowledge); start,
 *     repeated start and stop one bit-time each;
 *   - a read sends the device address, its offset (or register) bytes, a
 *     repeated start and the address again, then the data;
 *   - a write sends the address, the offset bytes and the data;
 *   - an EEPROM write is followed by the part's page-write cycle.
 *
 * The benchmark's access plans and the simulator's timed bus both use this
 * model.  The bus speed of a chassis is kept in <chassis>/bus_khz (absent or
 * 0: untimed, transactions take no time).
 */
#ifndef ARKSIM_BUS_TIME_H
#define ARKSIM_BUS_TIME_H

#include <cstdint>
#include <string>

#include "simstate.h"

namespace arksim {

inline constexpr uint64_t kByteBits = 9;
inline constexpr uint64_t kEepromWriteCycleNs = 5000000;  // 24C128 t_WR, datasheet maximum

// One transaction: `header` bytes of offset or register address before
// `data` bytes of data.
struct Transaction {
    Bus bus;
    bool write;
    uint32_t header;
    uint32_t data;
};

constexpr uint64_t read_bits(uint32_t header, uint32_t data) { return 3 + kByteBits * (2 + header + data); }
constexpr uint64_t write_bits(uint32_t header, uint32_t data) { return 2 + kByteBits * (1 + header + data); }

constexpr bool is_timed(Bus b) { return b != Bus::Memstore && b != Bus::Sensor; }
constexpr uint64_t bit_times(const Transaction &t)
{
    if (!is_timed(t.bus))
        return 0;
    return t.write ? write_bits(t.header, t.data) : read_bits(t.header, t.data);
}
constexpr uint32_t write_cycles(const Transaction &t) { return t.write && t.bus == Bus::Eeprom ? 1 : 0; }

// Nanoseconds of `bits` bit-times at `hz` and `cycles` EEPROM write cycles;
// 0 on an untimed bus (hz 0).
constexpr uint64_t bus_ns(uint64_t bits, uint32_t cycles, uint64_t hz)
{
    return hz == 0 ? 0 : bits * 1000000000 / hz + cycles * kEepromWriteCycleNs;
}

/* --- the transactions of the platform stand-ins ------------------------ */
// Memstore get, set or haskey, or a sensor reading: local, untimed.
constexpr Transaction local(Bus bus, uint32_t bytes) { return {bus, false, 0, bytes}; }
// A midplane register (or the slot byte): one register byte, then the data.
constexpr Transaction register_read(uint32_t bytes = 1) { return {Bus::Register, false, 1, bytes}; }
constexpr Transaction register_write(uint32_t bytes = 1) { return {Bus::Register, true, 1, bytes}; }
// Enabling midplane tunnel access writes one control register.
constexpr Transaction tunneling_enable() { return register_write(1); }
// Tunnel block memory with an offset of `width` bits (8 or 16).
constexpr Transaction tunnel_read(uint32_t width, uint32_t bytes)
{
    return {Bus::Tunnel, false, width / 8, bytes};
}
constexpr Transaction tunnel_write(uint32_t width, uint32_t bytes)
{
    return {Bus::Tunnel, true, width / 8, bytes};
}
// The one-byte request poll: address, offset byte, address, byte.
constexpr Transaction tunnel_poll() { return {Bus::Tunnel, false, 0, 2}; }
// The on-blade PCA9501's DT word, read behind the slot's tunnel address.
constexpr Transaction dt_read(uint32_t bytes = 4) { return {Bus::Tunnel, false, 1, bytes}; }
// The motherboard FRU EEPROM: two offset bytes.
constexpr Transaction eeprom_read(uint32_t bytes) { return {Bus::Eeprom, false, 2, bytes}; }
constexpr Transaction eeprom_write(uint32_t bytes) { return {Bus::Eeprom, true, 2, bytes}; }
// The power I2C path: one register byte.
constexpr Transaction power_read(uint32_t bytes) { return {Bus::PowerI2c, false, 1, bytes}; }
constexpr Transaction power_write(uint32_t bytes) { return {Bus::PowerI2c, true, 1, bytes}; }

/* --- the chassis's bus speed ------------------------------------------- */
inline constexpr unsigned kMaxBusKhz = 10000;
// kHz, 0 when untimed (also for a missing or unreadable setting).
unsigned read_bus_khz(const std::string &chassis);
// 0 removes the setting; false for a speed above kMaxBusKhz.
bool write_bus_khz(const std::string &chassis, unsigned khz);

/* Counts one transaction of the current outside call (simstate.h, enter())
 * in stats.bin and, on a timed bus, sleeps its modelled time in the calling
 * process, as the SP would wait for the transfer. */
void count_bus(const Transaction &t);
/* The same for a write transaction (an EEPROM page, a tunnel transfer unit,
 * a memstore write, a register or power-controller write); it then ends the
 * process like a power cut, right after the transaction, when the fault rule
 * "bus_write N cut" names this process's N-th write transaction. */
void count_write(const Transaction &t);
// Sleeps `ns` nanoseconds, through interruptions.
void spend_bus_time(uint64_t ns);

}  // namespace arksim

#endif
