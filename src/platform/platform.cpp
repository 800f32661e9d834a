// The platform layer: what differs from one blade platform to another.  On
// this platform the slot number comes from the midplane, there is no device
// type source and no PCA9501 defaults file, and the motherboard FRU EEPROM
// section is a 24C128 on I2C bus 4.
#include "arkblade.h"
#include "arkb_outside.h"

namespace {

constexpr unsigned kFruSectionSize = 16384;
constexpr int kFruBus = 4;
constexpr int kFruSelector = 255;
constexpr int kFruAddress = 0xA0;  // 0x50 as a 7-bit address
constexpr int kFruOffsetWidth = 16;
constexpr int kFruReadUnit = 64;
constexpr int kFruWriteUnit = 32;

// offset + len must stay within the section; computed so it cannot wrap.
bool within_section(unsigned len, unsigned offset)
{
    return offset <= kFruSectionSize && len <= kFruSectionSize - offset;
}

}  // namespace

extern "C" {

int arkbp_read_slotid(uint8_t *slot) { return arkmp_read_slotid(slot); }

int arkbp_store_slotid(uint8_t slot) { return arkb_store_slotid(slot); }

int arkbp_read_device_type(void) { return -1; }

int arkbp_platform_specific_initialize(uint8_t) { return 0; }

const char *arkbp_pca9501_filepath(void) { return nullptr; }

int arkbp_read_mbfruid_elmsect(uint8_t *buf, unsigned len, unsigned offset)
{
    if (!within_section(len, offset))
        return -1;
    return elm_i2c_blk_read_on_bus(kFruBus, kFruSelector, kFruSelector, kFruAddress, buf, len, offset,
                                   kFruOffsetWidth, kFruReadUnit);
}

int arkbp_write_mbfruid_elmsect(const uint8_t *buf, unsigned len, unsigned offset)
{
    if (!within_section(len, offset))
        return -1;
    return elm_i2c_blk_write_on_bus(kFruBus, kFruSelector, kFruSelector, kFruAddress, buf, len, offset,
                                    kFruOffsetWidth, kFruWriteUnit);
}

}  // extern "C"
