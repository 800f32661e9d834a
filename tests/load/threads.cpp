// Every stand-in called from many threads at once, run as a blade's SP
// (arksim run):
//
//   threads THREADS ROUNDS FILE
//
// The main thread first makes one round of calls alone: its results are what
// each call answers here.  Then THREADS threads make ROUNDS rounds each, all
// at once.  A call's result must be the lone round's; what a thread writes (a
// memstore key, a midplane register, a stretch of tunnel memory and of the
// EEPROM, each its own) must read back as written.  FILE is a small file for
// arkmp_tnlblk_write_fromfile.  Prints "calls N per round, M made, F wrong"
// and one line per wrong result; exit 0 when none was.
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "arkb_outside.h"

namespace {

constexpr int kEepromBus = 4, kEepromMux = 255, kEepromAddr = 0xA0;
constexpr unsigned kEepromOwnBase = 8000;  // past everything the library keeps
constexpr int kTunnelTarget = 0x86, kTunnelOwnBase = 0x4000;
constexpr uint8_t kOwnRegisterBase = 0xE0;
constexpr int kStretch = 32;
constexpr int kMaxThreads = 16;

struct Shared {
    int rounds = 0;
    const char *file = nullptr;
    std::array<int, 32> lone{};  // the lone round's results, call by call
    std::atomic<long> made{0}, wrong{0};
};
Shared g;

constexpr int kCallsPerRound = 25;

// One round: every stand-in once (in a thread's own places), each result
// stored at its call's index; the count of what read back otherwise.
int round_of(int self, unsigned n, std::array<int, 32> &r)
{
    int k = 0, mismatches = 0;
    const std::string key = "thread" + std::to_string(self);
    const uint32_t word = static_cast<uint32_t>(self) << 24 | n;
    uint32_t back = 0;
    r[k++] = memstore_set(key.c_str(), &word, sizeof word);
    r[k++] = memstore_get(key.c_str(), &back, sizeof back);
    mismatches += back != word;
    r[k++] = memstore_haskey(key.c_str());

    uint8_t slot = 0, byte = static_cast<uint8_t>(n), reg = 0, where = 0, got = 0;
    r[k++] = arkmp_read_slotid(&slot);
    r[k++] = arkmp_tunneling_init(1);
    r[k++] = arkmp_write(static_cast<uint8_t>(kOwnRegisterBase + self), &byte, 1);
    r[k++] = arkmp_read(static_cast<uint8_t>(kOwnRegisterBase + self), &reg, 1);
    mismatches += reg != byte;
    r[k++] = arkmp_writeread(kTunnelTarget, &where, &got, 1, 1);

    std::array<uint8_t, kStretch> out{}, in{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(n + i + static_cast<unsigned>(self));
    const int at = kTunnelOwnBase + self * kStretch;
    r[k++] = arkmp_tnlblk_write(kTunnelTarget, out.data(), kStretch, at, 16, 16);
    r[k++] = arkmp_tnlblk_read(kTunnelTarget, in.data(), kStretch, at, 16, 16);
    mismatches += in != out;
    r[k++] = arkmp_tnlblk_write_fromfile(g.file, kTunnelTarget, 8, 16);

    const unsigned from = kEepromOwnBase + static_cast<unsigned>(self) * kStretch;
    in.fill(0);
    r[k++] = elm_i2c_blk_write_on_bus(kEepromBus, kEepromMux, kEepromMux, kEepromAddr, out.data(), kStretch,
                                      from, 16, kStretch);
    r[k++] = elm_i2c_blk_read_on_bus(kEepromBus, kEepromMux, kEepromMux, kEepromAddr, in.data(), kStretch,
                                     from, 16, kStretch);
    mismatches += in != out;
    uint32_t dt = 0;
    r[k++] = pca_read_i2c_blade_dt(slot, &dt);

    const std::array<uint8_t, 4> header = {0xF8, 0x00, 0x10, 0xB7};
    r[k++] = compute_crc8(header.data(), 4);
    r[k++] = static_cast<int>(compute_checksum32(header.data(), 4) & 0x7FFFFFFF);
    r[k++] = get_tag_type(header.data());
    r[k++] = get_tag_size(3);
    r[k++] = get_payload_length(header.data());

    arkb_pwr_budget budget{};
    r[k++] = ark_pwr_i2c_publish(slot, 300);
    r[k++] = ark_pwr_i2c_readpub_bl_budget(slot, &budget);
    r[k++] = ark_pwr_i2c_test(slot);
    const std::array<uint8_t, 2> sensor = {131, 0};
    std::array<char, 80> sensor_key{};
    int32_t reading = 0;
    r[k++] = ssbcast_sensor_format(sensor.data(), sensor_key.data(), sensor_key.size(), "SSBCAST/CH");
    r[k++] = sspoller_get_shared_sensor_reading(41, 1, &reading);
    r[k++] = uptime() < 0 ? -1 : 0;  // the time goes on; only a failure counts
    if (k != kCallsPerRound)
        std::abort();
    return mismatches;
}

void *worker(void *arg)
{
    const int self = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    for (int n = 1; n <= g.rounds; ++n) {
        std::array<int, 32> r{};
        long bad = round_of(self, static_cast<unsigned>(n), r);
        for (int k = 0; k < kCallsPerRound; ++k)
            if (r[static_cast<std::size_t>(k)] != g.lone[static_cast<std::size_t>(k)]) {
                std::printf("thread %d round %d: call %d answered %d, alone %d\n", self, n, k,
                            r[static_cast<std::size_t>(k)], g.lone[static_cast<std::size_t>(k)]);
                ++bad;
            }
        if (bad != 0)
            std::printf("thread %d round %d: %ld wrong\n", self, n, bad);
        g.wrong += bad;
        g.made += kCallsPerRound;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char **argv)
{
    const int threads = argc == 4 ? std::atoi(argv[1]) : 0;
    g.rounds = argc == 4 ? std::atoi(argv[2]) : 0;
    g.file = argc == 4 ? argv[3] : nullptr;
    if (threads < 1 || threads > kMaxThreads || g.rounds < 1) {
        std::fprintf(stderr, "usage: threads THREADS(1-%d) ROUNDS FILE\n", kMaxThreads);
        return 2;
    }
    if (round_of(0, 0, g.lone) != 0) {
        std::printf("the lone round reads back something else than it wrote\n");
        return 1;
    }
    g.made = kCallsPerRound;
    std::vector<pthread_t> ids(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t)
        if (pthread_create(&ids[static_cast<std::size_t>(t)], nullptr, worker,
                           reinterpret_cast<void *>(static_cast<intptr_t>(t + 1))) != 0) {
            std::perror("pthread_create");
            return 1;
        }
    for (pthread_t id : ids)
        pthread_join(id, nullptr);
    std::printf("calls %d per round, %ld made, %ld wrong\n", kCallsPerRound, g.made.load(), g.wrong.load());
    return g.wrong == 0 ? 0 : 1;
}
