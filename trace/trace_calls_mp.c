/*
 * The memstore, midplane and tunnel functions, traced or replayed.
 */
#include "trace_wrap.h"

/* "memstore_get(\"slotid\", 1)": the key and the length. */
static void key_text(struct call *c, enum bytes_kind kind, const char *name, const char *key, int len)
{
    call_begin(c, kind);
    putf(&c->text, "%s(", name);
    put_quoted(&c->text, key);
    putf(&c->text, ", %d)", len);
}

EXPORT int memstore_get(const char *key, void *buf, int len)
{
    REAL(memstore_get);
    struct call c;
    key_text(&c, READ_BYTES, "memstore_get", key, len);
    if (replaying()) {
        const struct trace_call *r = replay_call(&c);
        if (buf != NULL && r->result == 1)
            trace_decode_hex(r->hex, buf, span(len));
        return (int)r->result;
    }
    int rc = real_memstore_get(key, buf, len);
    record(&c, rc, buf, rc == 1 && buf != NULL ? span(len) : 0);
    return rc;
}

EXPORT int memstore_set(const char *key, const void *buf, int len)
{
    REAL(memstore_set);
    struct call c;
    key_text(&c, WRITE_BYTES, "memstore_set", key, len);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_memstore_set(key, buf, len));
}

EXPORT int memstore_haskey(const char *key)
{
    REAL(memstore_haskey);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "memstore_haskey(", 16);
    put_quoted(&c.text, key);
    put(&c.text, ")", 1);
    PLAIN_CALL(c, real_memstore_haskey(key));
}

EXPORT int arkmp_read_slotid(uint8_t *slot)
{
    REAL(arkmp_read_slotid);
    struct call c;
    call_begin(&c, READ_BYTES);
    put(&c.text, "arkmp_read_slotid()", 19);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_read_slotid(slot);
    READ_CALL(c, rc, slot, 1, rc >= 0 && slot != NULL ? 1 : 0);
}

EXPORT int arkmp_read(uint8_t reg, uint8_t *buf, int len)
{
    REAL(arkmp_read);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_read(0x%02x, %d)", reg, len);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_read(reg, buf, len);
    /* Only exactly -1 is a failure; one byte is read. */
    READ_CALL(c, rc, buf, span(len), rc != -1 && buf != NULL && len >= 1 ? 1 : 0);
}

EXPORT int arkmp_write(uint8_t reg, const uint8_t *buf, int len)
{
    REAL(arkmp_write);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    putf(&c.text, "arkmp_write(0x%02x, %d)", reg, len);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_arkmp_write(reg, buf, len));
}

EXPORT int arkmp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen)
{
    REAL(arkmp_writeread);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_writeread(0x%02x, [", target);
    if (wbuf != NULL)
        put_hex(&c.text, wbuf, span(wlen));
    putf(&c.text, "], %d, %d)", wlen, rlen);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_writeread(target, wbuf, rbuf, wlen, rlen);
    READ_CALL(c, rc, rbuf, span(rlen), rc >= 0 && rbuf != NULL ? span(rlen) : 0);
}

INT_FUNCTION(arkmp_tunneling_init)

EXPORT int arkmp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int width, int unit)
{
    REAL(arkmp_tnlblk_read);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_tnlblk_read(0x%02x, %d, %d, %d, %d)", target, len, offset, width, unit);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_tnlblk_read(target, buf, len, offset, width, unit);
    READ_CALL(c, rc, buf, span(len), rc >= 0 && buf != NULL ? span(len) : 0);
}

EXPORT int arkmp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int width, int unit)
{
    REAL(arkmp_tnlblk_write);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    putf(&c.text, "arkmp_tnlblk_write(0x%02x, %d, %d, %d, %d)", target, len, offset, width, unit);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_arkmp_tnlblk_write(target, buf, len, offset, width, unit));
}

EXPORT int arkmp_tnlblk_write_fromfile(const char *path, uint8_t target, int width, int unit)
{
    REAL(arkmp_tnlblk_write_fromfile);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "arkmp_tnlblk_write_fromfile(", 28);
    put_quoted(&c.text, path);
    putf(&c.text, ", 0x%02x, %d, %d)", target, width, unit);
    PLAIN_CALL(c, real_arkmp_tnlblk_write_fromfile(path, target, width, unit));
}
