// Exported pass-throughs to the midplane access library, for SP programs that
// need a register or tunnel access of their own.  Arguments and results go
// through unchanged.
#include "arkblade.h"
#include "arkb_outside.h"

extern "C" {

int arkb_mp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen)
{
    return arkmp_writeread(target, wbuf, rbuf, wlen, rlen);
}

int arkb_mp_write(uint8_t reg, const uint8_t *buf, int len) { return arkmp_write(reg, buf, len); }

int arkb_mp_read(uint8_t reg, uint8_t *buf, int len) { return arkmp_read(reg, buf, len); }

int arkb_mp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit)
{
    return arkmp_tnlblk_write(target, buf, len, offset, offset_width, unit);
}

int arkb_mp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int offset_width, int unit)
{
    return arkmp_tnlblk_read(target, buf, len, offset, offset_width, unit);
}

int arkb_mp_tunneling_init(int enable) { return arkmp_tunneling_init(enable); }

}  // extern "C"
