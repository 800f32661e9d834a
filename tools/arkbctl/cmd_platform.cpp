// platform: the platform layer (arkbp_*).
#include <cstdio>
#include <vector>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

constexpr long long kMaxEeprom = 65536;  // largest transfer the tool asks for

int platform_read_slot(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t slot = 0;
    int r = arkbp_read_slotid(&slot);
    if (r == 0)
        std::printf("arkbp_read_slotid: %d, slot %u\n", r, slot);
    else
        std::printf("arkbp_read_slotid: %d\n", r);
    return status(r);
}

int platform_store_slot(Args &a)
{
    uint8_t slot = 0;
    if (!want(a, 1, 1) || !num("N", a[0], &slot))
        return kExitUsage;
    int r = arkbp_store_slotid(slot);
    std::printf("arkbp_store_slotid: %d, slot %u\n", r, slot);
    return status(r);
}

int platform_device_type(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkbp_read_device_type();
    std::printf("arkbp_read_device_type: %d\n", r);
    return status(r);
}

int platform_init(Args &a)
{
    uint8_t slot = 0;
    if (!want(a, 1, 1) || !num("SLOT", a[0], &slot))
        return kExitUsage;
    int r = arkbp_platform_specific_initialize(slot);
    std::printf("arkbp_platform_specific_initialize: %d, slot %u\n", r, slot);
    return status(r);
}

int platform_pca_path(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    const char *path = arkbp_pca9501_filepath();
    std::printf("arkbp_pca9501_filepath: %s\n", path != nullptr ? path : "(null)");
    return path != nullptr ? 0 : kExitFail;
}

int platform_eeprom_read(Args &a)
{
    long long offset = 0;
    long long len = 0;
    if (!want(a, 2, 2) || !number_arg("OFFSET", a[0], 0, kMaxEeprom - 1, &offset) ||
        !number_arg("LEN", a[1], 1, kMaxEeprom, &len))
        return kExitUsage;
    std::vector<uint8_t> buf(static_cast<size_t>(len));
    int r = arkbp_read_mbfruid_elmsect(buf.data(), static_cast<unsigned>(len), static_cast<unsigned>(offset));
    std::printf("arkbp_read_mbfruid_elmsect: %d, offset 0x%llx len %lld\n", r, offset, len);
    if (r >= 0)
        hex_dump(buf.data(), buf.size(), static_cast<unsigned long>(offset));
    return count_status(r);
}

int platform_eeprom_write(Args &a)
{
    long long offset = 0;
    std::vector<uint8_t> data;
    if (!want(a, 2, 2) || !number_arg("OFFSET", a[0], 0, kMaxEeprom - 1, &offset))
        return kExitUsage;
    if (!parse_hex_bytes(a[1], &data))
        return usage_error("HEXBYTES: '%s' is not a list of hex bytes", a[1]);
    int r = arkbp_write_mbfruid_elmsect(data.data(), static_cast<unsigned>(data.size()),
                                        static_cast<unsigned>(offset));
    std::printf("arkbp_write_mbfruid_elmsect: %d, offset 0x%llx len %zu\n", r, offset, data.size());
    return count_status(r);
}

}  // namespace

int cmd_platform(Args &a)
{
    static const Sub kSubs[] = {
        {"read-slot", platform_read_slot},       {"store-slot", platform_store_slot},
        {"device-type", platform_device_type},   {"init", platform_init},
        {"pca-path", platform_pca_path},         {"eeprom-read", platform_eeprom_read},
        {"eeprom-write", platform_eeprom_write},
    };
    return run_sub(kSubs, a);
}

}  // namespace arkbctl
