/*
 * The I2C, FRU helper, power I2C, sensor and uptime functions, traced or
 * replayed.
 */
#include "trace_wrap.h"

static void i2c_text(struct call *c, const char *name, int bus, int s1, int s2, int addr, unsigned len,
                     unsigned offset, int width, int unit)
{
    putf(&c->text, "%s(%d, %d, %d, 0x%02x, %u, %u, %d, %d)", name, bus, s1, s2, addr, len, offset, width,
         unit);
}

EXPORT int elm_i2c_blk_read_on_bus(int bus, int sel1, int sel2, int addr, uint8_t *buf, unsigned len,
                                   unsigned offset, int width, int unit)
{
    REAL(elm_i2c_blk_read_on_bus);
    struct call c;
    call_begin(&c, READ_BYTES);
    i2c_text(&c, "elm_i2c_blk_read_on_bus", bus, sel1, sel2, addr, len, offset, width, unit);
    int rc = 0;
    if (!replaying())
        rc = real_elm_i2c_blk_read_on_bus(bus, sel1, sel2, addr, buf, len, offset, width, unit);
    READ_CALL(c, rc, buf, len, rc >= 0 && buf != NULL ? len : 0);
}

EXPORT int elm_i2c_blk_write_on_bus(int bus, int sel1, int sel2, int addr, const uint8_t *buf, unsigned len,
                                    unsigned offset, int width, int unit)
{
    REAL(elm_i2c_blk_write_on_bus);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    i2c_text(&c, "elm_i2c_blk_write_on_bus", bus, sel1, sel2, addr, len, offset, width, unit);
    c.bytes = buf;
    c.length = buf != NULL ? len : 0;
    PLAIN_CALL(c, real_elm_i2c_blk_write_on_bus(bus, sel1, sel2, addr, buf, len, offset, width, unit));
}

EXPORT int pca_read_i2c_blade_dt(int slot, uint32_t *dt)
{
    REAL(pca_read_i2c_blade_dt);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "pca_read_i2c_blade_dt(%d)", slot);
    if (replaying())
        return replay_shown(&c, dt);
    int rc = real_pca_read_i2c_blade_dt(slot, dt);
    if (rc >= 0 && dt != NULL)
        putf(&c.text, " -> %u", *dt);
    record(&c, rc, NULL, 0);
    return rc;
}

/* The checksums over a buffer: the line shows its length (its bytes are
 * those of the calls before), the result is the sum. */
#define CHECKSUM_FUNCTION(type, name)                                                                        \
    EXPORT type name(const uint8_t *buf, int len)                                                            \
    {                                                                                                        \
        REAL(name);                                                                                          \
        struct call c;                                                                                       \
        call_begin(&c, NO_BYTES);                                                                            \
        putf(&c.text, #name "(%d)", len);                                                                    \
        PLAIN_CALL(c, real_##name(buf, len));                                                                \
    }
CHECKSUM_FUNCTION(uint8_t, compute_crc8)
CHECKSUM_FUNCTION(uint32_t, compute_checksum32)

/* The tag functions show the header they were given: one byte to
 * get_tag_type, and to get_payload_length the header size that get_tag_size
 * last answered for the same header (the lookup asks type, size, length). */
static __thread const uint8_t *g_tag_header;
static __thread int g_tag_size = -1;

static void tag_text(struct call *c, const char *name, const uint8_t *hdr, size_t n)
{
    putf(&c->text, "%s([", name);
    if (hdr != NULL)
        put_hex(&c->text, hdr, n);
    put(&c->text, "])", 2);
}

EXPORT int get_tag_type(const uint8_t *hdr)
{
    REAL(get_tag_type);
    struct call c;
    call_begin(&c, NO_BYTES);
    tag_text(&c, "get_tag_type", hdr, 1);
    g_tag_header = hdr;
    g_tag_size = -1;
    PLAIN_CALL(c, real_get_tag_type(hdr));
}

EXPORT int get_tag_size(int type)
{
    REAL(get_tag_size);
    struct call c;
    int rc;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "get_tag_size(%d)", type);
    if (replaying())
        rc = (int)replay_call(&c)->result;
    else {
        rc = real_get_tag_size(type);
        record(&c, rc, NULL, 0);
    }
    g_tag_size = rc;
    return rc;
}

EXPORT int get_payload_length(const uint8_t *hdr)
{
    REAL(get_payload_length);
    struct call c;
    call_begin(&c, NO_BYTES);
    tag_text(&c, "get_payload_length", hdr, hdr == g_tag_header && g_tag_size > 1 ? (size_t)g_tag_size : 1);
    PLAIN_CALL(c, real_get_payload_length(hdr));
}

EXPORT int ark_pwr_i2c_readpub_bl_budget(int handle, arkb_pwr_budget *budget)
{
    REAL(ark_pwr_i2c_readpub_bl_budget);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "ark_pwr_i2c_readpub_bl_budget(%d)", handle);
    if (replaying()) {
        const struct trace_call *r = replay_call(&c);
        uint8_t b[4];
        if (budget != NULL && trace_decode_hex(r->hex, b, 4) == 4) {
            budget->hwconfig_power = (uint16_t)(b[0] << 8 | b[1]);
            budget->permitted_power = (uint16_t)(b[2] << 8 | b[3]);
        }
        return (int)r->result;
    }
    int rc = real_ark_pwr_i2c_readpub_bl_budget(handle, budget);
    /* The record as the chassis holds it: two big-endian figures. */
    uint8_t b[4] = {0};
    if (budget != NULL) {
        b[0] = (uint8_t)(budget->hwconfig_power >> 8), b[1] = (uint8_t)budget->hwconfig_power;
        b[2] = (uint8_t)(budget->permitted_power >> 8), b[3] = (uint8_t)budget->permitted_power;
    }
    record(&c, rc, b, rc >= 0 && budget != NULL ? 4 : 0);
    return rc;
}

EXPORT int ark_pwr_i2c_publish(int handle, int hwconfig_power)
{
    REAL(ark_pwr_i2c_publish);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "ark_pwr_i2c_publish(%d, %d)", handle, hwconfig_power);
    PLAIN_CALL(c, real_ark_pwr_i2c_publish(handle, hwconfig_power));
}

INT_FUNCTION(ark_pwr_i2c_test)

EXPORT int ssbcast_sensor_format(const uint8_t *id, char *key, int size, const char *prefix)
{
    /* Replayed too through the platform's own function for the key it
     * writes, which the trace does not hold; the result is the recorded one. */
    static __typeof__(&ssbcast_sensor_format) real;
    if (real == NULL)
        real = (__typeof__(&ssbcast_sensor_format))next_function("ssbcast_sensor_format");
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "ssbcast_sensor_format([", 23);
    if (id != NULL)
        put_hex(&c.text, id, 2);
    putf(&c.text, "], %d, ", size);
    put_quoted(&c.text, prefix);
    put(&c.text, ")", 1);
    if (replaying()) {
        const struct trace_call *r = replay_call(&c);
        real(id, key, size, prefix);
        return (int)r->result;
    }
    int rc = real(id, key, size, prefix);
    record(&c, rc, NULL, 0);
    return rc;
}

EXPORT int sspoller_get_shared_sensor_reading(int sensor, int arg, int32_t *reading)
{
    REAL(sspoller_get_shared_sensor_reading);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "sspoller_get_shared_sensor_reading(%d, %d)", sensor, arg);
    if (replaying())
        return replay_shown(&c, reading);
    int rc = real_sspoller_get_shared_sensor_reading(sensor, arg, reading);
    if (rc == 0 && reading != NULL)
        putf(&c.text, " -> %d", (int)*reading);
    record(&c, rc, NULL, 0);
    return rc;
}

EXPORT int32_t uptime(void)
{
    REAL(uptime);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "uptime()", 8);
    PLAIN_CALL(c, real_uptime());
}
