/*
 * The platform seam: the functions of the SP's platform libraries
 * (libmemstore, libarkmp, libi2c, libami, libsysutil, libarkcommon,
 * libsspollerapi, libssbcast) that libarkblade calls.  On an SP the real
 * libraries supply them; sim/platform supplies stand-ins with the same
 * sonames.  The library, the simulator, the tests, the benchmarks and the
 * fuzz targets all include this one header, through the CMake target
 * arkblade_seam.  It is not part of the public interface.
 */
#ifndef ARKB_OUTSIDE_H
#define ARKB_OUTSIDE_H

#include <stdint.h>

#include "arkblade.h"

#ifdef __cplusplus
extern "C" {
#endif

/* memstore: 1 means success */
int memstore_get(const char *key, void *buf, int len);
int memstore_set(const char *key, const void *buf, int len);
int memstore_haskey(const char *key);

/* midplane */
int arkmp_read_slotid(uint8_t *slot);
int arkmp_read(uint8_t reg, uint8_t *buf, int len);
int arkmp_write(uint8_t reg, const uint8_t *buf, int len);
int arkmp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen);
int arkmp_tunneling_init(int enable);
int arkmp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int offset_width, int unit);
int arkmp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit);
int arkmp_tnlblk_write_fromfile(const char *path, uint8_t target, int offset_width, int unit);

/* I2C */
int elm_i2c_blk_read_on_bus(int bus, int sel1, int sel2, int addr, uint8_t *buf, unsigned len,
                            unsigned offset, int offset_width, int unit);
int elm_i2c_blk_write_on_bus(int bus, int sel1, int sel2, int addr, const uint8_t *buf, unsigned len,
                             unsigned offset, int offset_width, int unit);
int pca_read_i2c_blade_dt(int slot, uint32_t *dt);

/* FRU helpers */
uint8_t compute_crc8(const uint8_t *buf, int len);
uint32_t compute_checksum32(const uint8_t *buf, int len);
int get_tag_type(const uint8_t *hdr);
int get_tag_size(int type);
int get_payload_length(const uint8_t *hdr);

/* power I2C */
int ark_pwr_i2c_readpub_bl_budget(int handle, arkb_pwr_budget *budget);
int ark_pwr_i2c_publish(int handle, int hwconfig_power);
int ark_pwr_i2c_test(int handle);

/* sensors */
int ssbcast_sensor_format(const uint8_t *id, char *key, int size, const char *prefix);
int sspoller_get_shared_sensor_reading(int sensor, int arg, int32_t *reading);

/* SP uptime in whole seconds, a 32-bit time value whatever the size of
 * time_t in the caller's build */
int32_t uptime(void);

#ifdef __cplusplus
}
#endif

#endif
