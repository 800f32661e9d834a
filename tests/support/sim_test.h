// Test fixture: a fresh simulated SP for every test, and readers for what
// the simulator recorded (journal of outside calls, system log, memstore,
// SP files).
#ifndef ARKB_TESTS_SIM_TEST_H
#define ARKB_TESTS_SIM_TEST_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
// Files by path: what a blade and its chassis hold.
using State = std::map<std::string, Bytes>;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Both start-up calls, each expected to succeed.
    static void start_up();

    // Journal lines without their pid, optionally only those of `func`.
    std::vector<std::string> journal(const std::string &func = "") const;
    void clear_journal() const;
    // The result the platform answered to the last call of `func` (whatever
    // the answer mode chose): what a pass-through must give back unchanged.
    long long answered(const std::string &func) const;
    // Log entries as "<severity> <message>", after waiting for the log server.
    std::vector<std::string> log() const;
    int log_facility_of_last() const;

    void fault(const std::string &func, const std::string &when, const std::string &value) const;
    void set_key(const std::string &key, const Bytes &value) const;
    std::optional<Bytes> key(const std::string &key) const;
    void set_slot(int slot) const;
    void set_uptime(long long seconds) const;
    void set_sp_file(const std::string &name, const std::string &text) const;  // e.g. "pca9501_dt"
    void set_register(uint8_t reg, int value) const;                           // -1: unreadable
    int reg(uint8_t reg) const;
    std::optional<Bytes> file(const std::string &path) const;
    Bytes eeprom() const;
    void set_eeprom(unsigned offset, const Bytes &bytes) const;
    // The blade's memstore, files and EEPROM, and the chassis's tunnel
    // memory, published budgets and registers.
    State snapshot() const;
    // Zeroes the chassis FRU data (tunnel 0xAA from 0x1800) that a new chassis has.
    void clear_chassis_fru() const;

    std::string sp;
    std::string chassis;
};

// Calls of sleep() made by the code under test; they return at once.
std::vector<unsigned> &recorded_sleeps();
// Runs `hook(n)` inside the n-th sleep() (1-based), e.g. to play the CMM's
// part while the library waits; cleared by SetUp.
void on_sleep(std::function<void(std::size_t)> hook);
// Sets the wall clock that time() gives the code under test, in seconds
// since 1970; std::nullopt gives back the real clock.  Reset by SetUp.
void set_wall_clock(std::optional<long long> seconds);
// Changes the next `times` calls of getprotobyname, socket or send made by
// the calling thread: they fail, or send sends all bytes but one, or socket
// answers descriptor 0 in place of standard input; reset by SetUp.
enum class LibcFake { Fail, ShortSend, SocketZero };
void fake_libc(const std::string &function, int times, LibcFake how = LibcFake::Fail);

#endif
