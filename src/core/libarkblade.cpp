// Blade core: log output, the blade state keys, midplane start-up with the
// chassis-type probe, the start-up sequence, CMM readiness and the thermal
// override.  Log lines carry the unit name "libarkblade".
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <span>

#include "../common/bytes.h"
#include "../common/internal.h"
#include "../common/keys.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"

namespace arkb {
namespace {

constexpr const char *kSlotFile = "/dev/shm/slotid";
constexpr const char *kChassisTypeFile = "/dev/shm/chassis_type";
constexpr const char *kNode1File = "/persist/node1";
constexpr const char *kFrutool = "/usr/local/bin/frutool";
constexpr int kCommandBufferSize = 255;

// Chassis-type probe registers and the codes they lead to.
constexpr uint8_t kRegChassisId = 0x9C;
constexpr uint8_t kRegFallback1 = 0x4C;
constexpr uint8_t kRegFallback2 = 0x7E;
constexpr uint8_t kChassisIdMatch = 0x10;
constexpr uint16_t kCodeDefault = 3074;          // 0x0C02
constexpr uint16_t kCodeIdMatch = 1302;          // 0x0516
constexpr uint16_t kCodeIdOther = 1302 + 0x702;  // 3096, 0x0C18
constexpr uint16_t kCodeFallback2 = 3331;        // 0x0D03
constexpr uint16_t kCodeNone = 3073;             // 0x0C01
constexpr int kMidplaneReadFailed = -1;

constexpr uint8_t kOverrideOffByte = 0x7F;
constexpr uint8_t kOverrideOnByte = 0x5F;
constexpr double kCmmReadyUptime = 100.0;

// A midplane register read succeeds unless it answers exactly -1.
bool read_register(uint8_t reg)
{
    uint8_t byte = 0;
    return arkmp_read(reg, &byte, 1) != kMidplaneReadFailed;
}

uint16_t probe_chassis_type()
{
    uint16_t code = kCodeDefault;
    uint8_t id = 0;
    if (arkmp_read(kRegChassisId, &id, 1) != kMidplaneReadFailed)
        code = id == kChassisIdMatch ? kCodeIdMatch : kCodeIdOther;
    else if (!read_register(kRegFallback1))
        code = read_register(kRegFallback2) ? kCodeFallback2 : kCodeNone;

    // Low byte first, as the SP's other programs read it.
    const std::array<uint8_t, 2> bytes = {static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>(code >> 8)};
    (void)write_file_bytes(kChassisTypeFile, bytes.data(), static_cast<int>(bytes.size()));
    (void)memstore_set(kKeyChassisType, bytes.data(), static_cast<int>(bytes.size()));
    return code;
}

int program_pca9501_defaults()
{
    constexpr const char *fn = "program_pca9501_defaults";
    uint8_t slot = 0;
    if (arkb_get_slotid(&slot) != 0) {
        log_error({kUnitCore, fn, 293});
        return -1;
    }
    const char *path = arkbp_pca9501_filepath();
    if (path == nullptr) {
        log_line(kLogError, {kUnitCore, fn, 299}, "Error PCA9501 Bin File is null\n");
        return -1;
    }
    if (arkmp_tnlblk_write_fromfile(path, slot_target(slot), 8, 16) < 0)
        log_line(kLogError, {kUnitCore, fn, 308}, "Error Couldn't program PCA9501\n");
    if (access(kFrutool, X_OK) == 0) {
        // Their exit statuses are not used: frutool reports its own errors.
        std::array<char, kCommandBufferSize> cmd{};
        std::snprintf(cmd.data(), cmd.size(), "frutool -i /Elm_Part_Number_DataR/Elm_Serial_No -t bl%d",
                      slot);
        int status = std::system(cmd.data());
        std::snprintf(cmd.data(), cmd.size(), "frutool -t bl%d", slot);
        status = std::system(cmd.data());
        (void)status;
    }
    return 0;
}

void record_cmm_ready(int line)
{
    const uint8_t ready = 1;
    if (memstore_set(kKeyCmmReady, &ready, 1) != 1)
        log_line(kLogError, {kUnitCore, "arkb_update_cmm_ready", line}, "Error setting cmmready\n");
}

}  // namespace

int slot_tunnel_enabled(uint8_t slot) { return (slot & 0x10) == 0 ? 1 : 0; }

int read_stored_slot(uint8_t *slot) { return memstore_get(kKeySlot, slot, 1) == 1 ? 0 : -1; }

int write_slotid_file(const char *path, uint8_t slot)
{
    FILE *f = std::fopen(path, "w");
    if (f == nullptr)
        return -1;
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%d", slot);
    (void)std::fwrite(text.data(), 1, 2, f);
    (void)std::fclose(f);
    return 0;
}

int write_file_bytes(const char *path, const uint8_t *bytes, int count)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    for (int done = 0; done < count;) {
        ssize_t n = write(fd, bytes + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {  // a write that moves nothing would never finish
            close(fd);
            return -1;
        }
        done += static_cast<int>(n);
    }
    close(fd);
    return 0;
}

}  // namespace arkb

using namespace arkb;

extern "C" {

void arkb_output(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    log_vformat(priority, format, args);
    va_end(args);
}

int arkb_get_slotid(uint8_t *slot)
{
    uint8_t stored = 0;
    if (read_stored_slot(&stored) != 0 || stored == kNoSlot)
        return -1;
    *slot = stored;
    return 0;
}

int arkb_store_slotid(uint8_t slot)
{
    if (memstore_set(kKeySlot, &slot, 1) != 1) {
        log_error({kUnitCore, "arkb_store_slotid", 529});
        return -1;
    }
    return write_slotid_file(kSlotFile, slot);
}

int arkb_read_slotid(uint8_t *slot) { return arkbp_read_slotid(slot); }

int arkb_read_device_type(void) { return arkbp_read_device_type(); }

int arkb_get_device_type(uint32_t *type)
{
    std::array<uint8_t, 4> raw{};
    *type = memstore_get(kKeyDeviceType, raw.data(), 4) == 1 ? load_be32(raw) : 0;
    return 0;
}

int arkb_get_chassis_type(uint32_t *type)
{
    std::array<uint8_t, 2> raw{};
    *type =
        memstore_get(kKeyChassisType, raw.data(), 2) == 1 ? static_cast<uint32_t>(raw[0] | raw[1] << 8) : 0;
    return 0;
}

int arkb_set_sas_cap(uint32_t caps)
{
    const auto raw = be32(caps);
    return memstore_set(kKeySasCaps, raw.data(), 4);
}

uint32_t arkb_get_sas_cap(void)
{
    std::array<uint8_t, 4> raw{};
    return memstore_get(kKeySasCaps, raw.data(), 4) == 1 ? load_be32(raw) : 0;
}

int arkb_is_cmm_ready(void)
{
    uint8_t ready = 0;
    return memstore_get(kKeyCmmReady, &ready, 1) == 1 && ready == 1 ? 1 : 0;
}

int arkb_fru_read(void) { return -1; }

int arkb_initialize_mp(void)
{
    constexpr const char *fn = "arkb_initialize_mp";
    uint8_t slot = 0;
    if (arkbp_read_slotid(&slot) < 0) {
        log_error({kUnitCore, fn, 239});
        return -1;
    }
    if (slot_tunnel_enabled(slot) && arkb_mp_tunneling_init(1) < 0) {
        log_line(kLogError, {kUnitCore, fn, 255}, "Error Could not initialize midplane\n");
        return -1;
    }
    (void)arkbp_platform_specific_initialize(slot);
    (void)probe_chassis_type();
    (void)arkbp_store_slotid(slot);
    return 0;
}

int arkb_initialize(void)
{
    constexpr const char *fn = "arkb_initialize";
    uint8_t slot = 0;
    if (arkb_get_slotid(&slot) != 0) {
        log_error({kUnitCore, fn, 334});
        return -1;
    }
    if (arkb_set_thermovrd(0) < 0)
        log_error({kUnitCore, fn, 344});

    uint32_t dt = 0;
    if (pca_read_i2c_blade_dt(slot, &dt) < 0) {
        log_line(kLogNotice, {kUnitCore, fn, 365}, "Notice Could not determine PCA9501 DT\n");
        dt = 0;
    }
    if (dt == 0 && slot_tunnel_enabled(slot)) {
        log_line(kLogNotice, {kUnitCore, fn, 377}, "Notice Programming PCA9501 with defaults\n");
        (void)program_pca9501_defaults();
    }
    if (arkb_netconf_initialize() < 0)
        log_line(kLogError, {kUnitCore, fn, 388}, "Error Could not initialize netconf\n");
    if (access(kNode1File, R_OK) != 0 && arkb_instrec_update() < 0)
        log_line(kLogError, {kUnitCore, fn, 400}, "Error Could not update InstallR record\n");
    return 0;
}

void arkb_update_cmm_ready(void)
{
    constexpr const char *fn = "arkb_update_cmm_ready";
    if (memstore_haskey(kKeyBroadcast) != 0) {
        log_line(kLogNotice, {kUnitCore, fn, 194}, "Notice CMM is Ready. Detected via SSBCAST\n");
        record_cmm_ready(199);
    }
    const double seconds = std::difftime(uptime(), 0);
    if (seconds > kCmmReadyUptime) {
        log_line(kLogNotice, {kUnitCore, fn, 209}, "Notice CMM is Ready. Detected via simple wait\n");
        record_cmm_ready(214);
    }
}

int arkb_set_thermovrd(uint8_t value)
{
    uint8_t slot = 0;
    if (arkb_get_slotid(&slot) != 0)
        return -1;
    if (value != 0 && value != 1)
        return -1;
    const uint8_t byte = value == 0 ? kOverrideOffByte : kOverrideOnByte;
    if (arkb_mp_write(thermal_register(slot), &byte, 1) <= 0) {
        log_line(kLogError, {kUnitCore, "arkb_set_thermovrd", 466}, "Error Could not set thermovrd bit\n");
        return -1;
    }
    return memstore_set(kKeyThermOvrd, &value, 1) == 1 ? 0 : -1;
}

int arkb_get_thermovrd(uint8_t *value) { return memstore_get(kKeyThermOvrd, value, 1) == 1 ? 0 : -1; }

}  // extern "C"
