// Power budgeting: the budget cache in memstore and its publication over the
// power I2C path, decision readiness, the power-on admission and the power
// self-test.  Log lines carry the unit name "libarkblade_power".
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <span>

#include "../common/bytes.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"

static_assert(sizeof(arkb_pwr_budget) == 4);  // one layout on every target

namespace arkb {
namespace {

constexpr const char *kOverrideFile = "/conf/override_powerctl";

// Budget record in memstore: two big-endian 16-bit figures.
constexpr int kBudgetSize = 4;
constexpr std::size_t kHwconfigOffset = 0;
constexpr std::size_t kPermittedOffset = 2;
constexpr int kWordSize = 4;  // pubtime, allotment, decision: signed 32-bit

constexpr double kDecisionHoldoff = 15.0;  // seconds after a publication

// Ok-to-power-on sources: the broadcast P_OVER_WARN sensor and poller sensor 41.
constexpr std::array<uint8_t, 2> kPowerOverWarnId = {131, 0};
constexpr const char *kBroadcastPrefix = "SSBCAST/CH";
constexpr int kSensorKeySize = 80;
constexpr std::size_t kBroadcastStateOffset = 2;
constexpr int kPollerSensor = 41;
constexpr int kPollerShared = 1;
constexpr int kStateMayPowerOn = 1;
constexpr int kStateMayNot = 2;

constexpr int kSelfTestSmallWatts = 100;
constexpr int kSelfTestLargeWatts = 50000;

struct Outcome {
    int32_t allotment;
    int result;
};

arkb_pwr_budget decode_budget(std::span<const uint8_t, kBudgetSize> raw)
{
    return {load_be16(raw.subspan<kHwconfigOffset, 2>()), load_be16(raw.subspan<kPermittedOffset, 2>())};
}

std::array<uint8_t, kBudgetSize> encode_budget(const arkb_pwr_budget &b)
{
    std::array<uint8_t, kBudgetSize> raw{};
    store_be16(std::span(raw).subspan<kHwconfigOffset, 2>(), b.hwconfig_power);
    store_be16(std::span(raw).subspan<kPermittedOffset, 2>(), b.permitted_power);
    return raw;
}

int store_word(const char *key, int32_t value)
{
    const auto raw = be32(static_cast<uint32_t>(value));
    return memstore_set(key, raw.data(), kWordSize);
}

// The slot number as the power I2C handle; 255 (no slot) when unreadable.
int get_handle(uint8_t *slot)
{
    uint8_t stored = kNoSlot;
    if (read_stored_slot(&stored) != 0)
        stored = kNoSlot;
    *slot = stored;
    return stored != kNoSlot ? 0 : -1;
}

// Refills a missing cache from the budget published for the slot; an
// existing cache is left as it is.
int update_cached_budget()
{
    arkb_pwr_budget cached{};
    if (arkb_pwr_get_budget(&cached) == 0)
        return 0;
    uint8_t slot = kNoSlot;
    if (get_handle(&slot) != 0)
        return -1;
    arkb_pwr_budget published{};
    if (ark_pwr_i2c_readpub_bl_budget(slot, &published) < 0)
        return -1;
    if (arkb_pwr_publish_budget(&published) != 0)
        log_line(kLogError, {kUnitPower, "update_cached_budget", 308}, "Error Publishing budget\n");
    return 0;
}

int override_present()
{
    struct stat st {};
    return stat(kOverrideFile, &st) == 0 ? 1 : 0;
}

// The broadcast ok-to-power-on state (0..65535), or -1 when it cannot be read.
int ssbcast_ok2poweron()
{
    constexpr const char *fn = "arkb_pwr_ssbcast_ok2poweron";
    std::array<char, kSensorKeySize> key{};
    if (ssbcast_sensor_format(kPowerOverWarnId.data(), key.data(), kSensorKeySize, kBroadcastPrefix) != 0) {
        log_line(kLogError, {kUnitPower, fn, 69}, "Error ssbcast_sensor_format failed for P_OVER_WARN\n");
        return -1;
    }
    key.back() = '\0';  // the formatter's promise of a terminated key is not trusted
    std::array<uint8_t, kWordSize> raw{};
    if (memstore_get(key.data(), raw.data(), kWordSize) != 1) {
        log_line(kLogError, {kUnitPower, fn, 77}, "Error memstore_get(%s) failed\n", key.data());
        return -1;
    }
    return load_be16(std::span(raw).subspan<kBroadcastStateOffset, 2>());
}

// 1 = may power on, 0 = may not, -1 = nobody answers.  The poller is asked
// only when the broadcast state cannot be read.
int ok2poweron()
{
    int state = ssbcast_ok2poweron();
    if (state < 0) {
        int32_t reading = -1;
        if (sspoller_get_shared_sensor_reading(kPollerSensor, kPollerShared, &reading) != 0)
            return -1;
        state = reading;
    }
    if (state == kStateMayPowerOn)
        return 1;
    return state == kStateMayNot ? 0 : -1;
}

// The first source that answers settles the request: the current allotment,
// the mode, the override file, the CMM, then the sensors.
Outcome decide(int32_t watts, int32_t allotment, int mode)
{
    if (watts <= allotment || mode == ARKB_PWR_MODE_ADMIT_ALL)
        return {watts, ARKB_PWR_ADMITTED};
    if (override_present() == 1)
        return {watts, ARKB_PWR_ADMITTED};
    const int grant = arkb_pwr_cmm_request_power(watts);
    if (grant >= 0)
        return {grant, grant == watts ? ARKB_PWR_ADMITTED : ARKB_PWR_REFUSED};
    const int ok = ok2poweron();
    if (ok == 1)
        return {watts, ARKB_PWR_ADMITTED};
    if (ok == 0)
        return {0, ARKB_PWR_REFUSED};
    if (mode == ARKB_PWR_MODE_ADMIT_ON_SILENCE)
        return {watts, ARKB_PWR_ADMITTED};
    return {0, ARKB_PWR_NO_ANSWER};
}

void print_line(const char *text) { std::printf("%s\n", text); }

void print_admission(int result)
{
    print_line(result == 0 ? "BL/ALLOWED_POWER_ON" : "BL/PREVENTED_FROM_POWER_ON");
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int arkb_pwr_get_budget(arkb_pwr_budget *b)
{
    std::array<uint8_t, kBudgetSize> raw{};
    if (b == nullptr || memstore_get(kKeyBudget, raw.data(), kBudgetSize) != 1)
        return -1;
    *b = decode_budget(raw);
    return 0;
}

int arkb_get_hwconfig_power(void)
{
    arkb_pwr_budget b{};
    return arkb_pwr_get_budget(&b) == 0 ? b.hwconfig_power : 0;
}

int arkb_get_permitted_power(void)
{
    arkb_pwr_budget b{};
    return arkb_pwr_get_budget(&b) == 0 ? b.permitted_power : 0;
}

int arkb_pwr_get_hwconfig_power(void)
{
    uint8_t slot = kNoSlot;
    arkb_pwr_budget published{};
    if (get_handle(&slot) != 0 || ark_pwr_i2c_readpub_bl_budget(slot, &published) < 0)
        return -1;
    return published.hwconfig_power;
}

int arkb_pwr_publish_budget(const arkb_pwr_budget *b)
{
    constexpr const char *fn = "arkb_pwr_publish_budget";
    if (b == nullptr)
        return -1;
    // Only the hardware-configuration power goes out over I2C, so only it
    // decides whether the budget changed.
    arkb_pwr_budget cached{};
    const bool changed = arkb_pwr_get_budget(&cached) != 0 || cached.hwconfig_power != b->hwconfig_power;

    if (store_word(kKeyPubTime, static_cast<int32_t>(uptime())) != 1) {
        log_line(kLogError, {kUnitPower, fn, 169}, "Error memstore_set(%s) failed\n\n", kKeyPubTime);
        return -1;
    }
    const auto raw = encode_budget(*b);
    if (memstore_set(kKeyBudget, raw.data(), kBudgetSize) != 1) {
        log_line(kLogError, {kUnitPower, fn, 175}, "Error memstore_set(%s) failed\n\n", kKeyBudget);
        return -1;
    }
    if (!changed)
        return 0;
    uint8_t slot = kNoSlot;
    if (get_handle(&slot) != 0) {
        log_line(kLogError, {kUnitPower, fn, 182}, "Error arkb_pwr_get_handle failed\n\n");
        return -1;
    }
    const int rc = ark_pwr_i2c_publish(slot, b->hwconfig_power);
    if (rc < 0) {
        log_line(kLogError, {kUnitPower, fn, 188}, "Error arkb_pwr_publish_budget() ...ERROR: %d\n\n", rc);
        return -1;
    }
    return 0;
}

int arkb_pwr_decision_ready(void)
{
    if (arkb_is_cmm_ready() == 0)
        return 0;
    std::array<uint8_t, kWordSize> raw{};
    if (memstore_get(kKeyPubTime, raw.data(), kWordSize) != 1)
        return 1;
    const auto published = static_cast<time_t>(static_cast<int32_t>(load_be32(raw)));
    return std::difftime(uptime(), published) > kDecisionHoldoff ? 1 : 0;
}

int arkb_get_available_power(void)
{
    if (memstore_haskey(kKeyAvailable) == 0)
        return -1;
    std::array<uint8_t, kWordSize> raw{};
    if (memstore_get(kKeyAvailable, raw.data(), kWordSize) > 0)
        return static_cast<int32_t>(load_be32(raw));
    (void)store_word(kKeyAvailable, 0);  // an unreadable allotment counts as none
    return 0;
}

int arkb_pwr_getdecision(uint8_t *decision)
{
    // Stored as a big-endian word; the decision is its last byte.
    std::array<uint8_t, kWordSize> raw{};
    if (decision == nullptr || memstore_get(kKeyDecision, raw.data(), kWordSize) != 1)
        return -1;
    *decision = raw[kWordSize - 1];
    return 0;
}

int arkb_pwr_poweron_node(int /*node*/, int watts, int mode)
{
    if (update_cached_budget() < 0)
        log_line(kLogError, {kUnitPower, "arkb_pwr_poweron_node", 397}, "Error Updating cached budget\n");
    if (watts == ARKB_PWR_HWCONFIG_WATTS) {
        arkb_pwr_budget cached{};
        if (arkb_pwr_get_budget(&cached) != 0)
            return ARKB_PWR_NO_BUDGET;
        watts = cached.hwconfig_power;
    }
    const Outcome o = decide(watts, arkb_get_available_power(), mode);
    // Write failures are not reported: the result is that of the decision.
    (void)store_word(kKeyAvailable, o.allotment);
    if (watts != 0)
        (void)store_word(kKeyDecision, o.result == ARKB_PWR_ADMITTED ? 1 : 0);
    return o.result;
}

int arkb_pwr_poweron(int watts, int mode) { return arkb_pwr_poweron_node(0, watts, mode); }

int arkb_pwr_poweroff(void) { return arkb_pwr_poweron(0, ARKB_PWR_MODE_ADMIT_ON_SILENCE); }

int arkb_pwr_unit_test(void)
{
    print_line("\nlibarkblade_power Unit test\n");
    uint8_t slot = kNoSlot;
    if (get_handle(&slot) != 0) {
        print_line("ERR H");
        return -1;
    }
    print_line("\nlibarkblade_power interface \n");
    arkb_pwr_budget cached{};
    if (arkb_pwr_get_budget(&cached) != 0)
        print_line("err arkb_pwr_get_budget");
    else
        std::printf("BL/PWRINFO/HWCONFIG_POWER: %d\n", cached.hwconfig_power);
    std::printf("BL/PWRINFO/HWCONFIG: %d\n", arkb_get_hwconfig_power());
    std::printf("BL/PWRINFO/AVAILABLE: %d\n", arkb_get_available_power());

    print_line("Requesting 100 Watts");
    print_admission(arkb_pwr_poweron(kSelfTestSmallWatts, ARKB_PWR_MODE_ASK));
    print_line("");
    if (ark_pwr_i2c_test(slot) < 0)
        print_line("ERR T");
    print_line("Requesting 50000 Watts");
    print_admission(arkb_pwr_poweron(kSelfTestLargeWatts, ARKB_PWR_MODE_ASK));
    print_line("Powering off");
    (void)arkb_pwr_poweroff();
    return 0;
}

}  // extern "C"
