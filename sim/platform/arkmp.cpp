// libarkmp.so.1 stand-in: the midplane.  Registers are chassis files (absent
// or "unreadable" makes arkmp_read answer exactly -1); tunnel block memory is
// one 64 KiB file per target, accessed in transactions of at most the
// transfer unit, each under the file's lock, as the CMM sees them.
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/chassis.h"
#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "core/unique_fd.h"
#include "arkb_outside.h"

using namespace arksim;

namespace {

std::string hex8(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", v & 0xFF);
    return buf;
}

std::string tunnel_file(uint8_t target)
{
    char name[32];
    std::snprintf(name, sizeof name, "tunnel/%02x.bin", target);
    return chassis_path(name);
}

bool tunnel_args_ok(const void *buf, int len, int offset, int width, int unit)
{
    if (buf == nullptr || len < 0 || offset < 0 || unit <= 0 || (width != 8 && width != 16))
        return false;
    return static_cast<long long>(offset) + len <= (1LL << width);
}

// Moves `len` bytes between `buf` and the target's memory at `offset`
// (`width` bits wide), one transaction of at most `unit` bytes at a time.
// `cut`: the write's fault, whose cut-after rule may end it part-way.
bool tunnel_transfer(uint8_t target, uint8_t *buf, int len, int offset, int width, int unit, bool write,
                     Fault *cut = nullptr)
{
    make_dirs(chassis_path("tunnel"));
    std::string path = tunnel_file(target);
    UniqueFd fd(::open(path.c_str(), (write ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644));
    const auto w = static_cast<uint32_t>(width);
    if (!fd && !write) {
        std::fill(buf, buf + len, 0);  // never written: all zeros
        for (int done = 0; done < len; done += unit)
            count_bus(tunnel_read(w, static_cast<uint32_t>(std::min(unit, len - done))));
        return true;
    }
    if (!fd)
        return false;
    for (int done = 0; done < len;) {
        int chunk = std::min(unit, len - done);
        if (cut != nullptr)
            chunk = static_cast<int>(cut_within(*cut, static_cast<unsigned>(done), static_cast<unsigned>(len),
                                                static_cast<unsigned>(chunk)));
        if (chunk == 0)
            break;  // cut before this one
        if (::flock(fd.get(), write ? LOCK_EX : LOCK_SH) != 0)
            return false;
        ssize_t n = write ? ::pwrite(fd.get(), buf + done, chunk, offset + done)
                          : ::pread(fd.get(), buf + done, chunk, offset + done);
        ::flock(fd.get(), LOCK_UN);
        if (n < 0)
            return false;
        if (!write && n < chunk)
            std::fill(buf + done + n, buf + done + chunk, 0);
        if (write)
            count_write(tunnel_write(w, static_cast<uint32_t>(chunk)));
        else
            count_bus(tunnel_read(w, static_cast<uint32_t>(chunk)));
        done += chunk;
        if (cut != nullptr && cut->cut)
            break;  // the power is gone: nothing more reaches the device
    }
    return true;
}

std::string tunnel_call(const char *name, uint8_t target, int len, int offset, int width, int unit)
{
    return std::string(name) + "(" + hex8(target) + ", " + std::to_string(len) + ", " +
           std::to_string(offset) + ", " + std::to_string(width) + ", " + std::to_string(unit) + ")";
}

std::span<const uint8_t> bytes(const uint8_t *p, int len)
{
    return {p, p != nullptr && len > 0 ? static_cast<std::size_t>(len) : 0};
}

}  // namespace

extern "C" int arkmp_read_slotid(uint8_t *slot)
{
    Fault f = enter("arkmp_read_slotid");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (auto v = read_number(sp_path("slot")); v && slot != nullptr && *v >= 0 && *v <= 255) {
        *slot = static_cast<uint8_t>(*v);
        rc = 0;
    }
    count_bus(register_read(rc >= 0 ? 1 : 0));
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("arkmp_read_slotid()", out, rc >= 0 ? bytes(slot, 1) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int arkmp_read(uint8_t reg, uint8_t *buf, int len)
{
    Fault f = enter("arkmp_read");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (buf != nullptr && len == 1) {
        int v = read_register(chassis_of(sp_dir()), reg);
        if (v >= 0) {
            buf[0] = static_cast<uint8_t>(v);
            rc = 1;
        }
    }
    count_bus(register_read(1));
    const int out = answer(f, Contract::MinusOneFails, rc, {len, rc == 1 ? buf[0] : 0});
    journal("arkmp_read(" + hex8(reg) + ", " + std::to_string(len) + ")", out,
            rc == 1 ? bytes(buf, 1) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int arkmp_write(uint8_t reg, const uint8_t *buf, int len)
{
    Fault f = enter("arkmp_write");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (buf != nullptr && len == 1 && write_register(chassis_of(sp_dir()), reg, buf[0]))
        rc = 1;
    count_write(register_write(1));
    const int out = answer(f, Contract::PositiveSucceeds, rc, {len});
    journal("arkmp_write(" + hex8(reg) + ", " + std::to_string(len) + ")", out, bytes(buf, len));
    leave(f);
    return out;
}

extern "C" int arkmp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen)
{
    Fault f = enter("arkmp_writeread");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (wbuf != nullptr && rbuf != nullptr && wlen == 1 && rlen == 1) {
        std::vector<uint8_t> mem;
        read_tunnel(chassis_of(sp_dir()), target, mem);
        rbuf[0] = mem[wbuf[0]];
        rc = rlen;
    }
    count_bus(tunnel_poll());
    const int out = answer(f, Contract::NegativeFails, rc, {rlen});
    journal("arkmp_writeread(" + hex8(target) + ", [" + hex_bytes(bytes(wbuf, wlen)) + "], " +
                std::to_string(wlen) + ", " + std::to_string(rlen) + ")",
            out, rc >= 0 ? bytes(rbuf, rlen) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int arkmp_tunneling_init(int enable)
{
    Fault f = enter("arkmp_tunneling_init");
    int rc = f.fail ? f.value : (write_text(sp_path("tunneling"), std::to_string(enable)) ? 0 : -1);
    count_bus(tunneling_enable());
    const int out = answer(f, Contract::NegativeFails, rc);
    journal("arkmp_tunneling_init(" + std::to_string(enable) + ")", out);
    leave(f);
    return out;
}

extern "C" int arkmp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int width, int unit)
{
    Fault f = enter("arkmp_tnlblk_read");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (tunnel_args_ok(buf, len, offset, width, unit) &&
             tunnel_transfer(target, buf, len, offset, width, unit, false))
        rc = len;
    const int out = answer(f, Contract::NegativeFails, rc, {len});
    journal(tunnel_call("arkmp_tnlblk_read", target, len, offset, width, unit), out,
            rc >= 0 ? bytes(buf, len) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int arkmp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int width,
                                  int unit)
{
    Fault f = enter("arkmp_tnlblk_write");
    int rc = -1;
    if (f.fail)
        rc = f.value;
    else if (tunnel_args_ok(buf, len, offset, width, unit) &&
             tunnel_transfer(target, const_cast<uint8_t *>(buf), len, offset, width, unit, true, &f))
        rc = len;
    const int out = answer(f, Contract::NegativeFails, rc, {len});
    journal(tunnel_call("arkmp_tnlblk_write", target, len, offset, width, unit), out, bytes(buf, len));
    leave(f);
    return out;
}

extern "C" int arkmp_tnlblk_write_fromfile(const char *path, uint8_t target, int width, int unit)
{
    Fault f = enter("arkmp_tnlblk_write_fromfile");
    int rc = -1;
    std::vector<uint8_t> data;
    if (f.fail)
        rc = f.value;
    else if (path != nullptr && read_file(path, data) &&
             tunnel_args_ok(data.data(), static_cast<int>(data.size()), 0, width, unit) &&
             tunnel_transfer(target, data.data(), static_cast<int>(data.size()), 0, width, unit, true, &f))
        rc = static_cast<int>(data.size());
    const int out = answer(f, Contract::NegativeFails, rc, {static_cast<int>(data.size())});
    journal(std::string("arkmp_tnlblk_write_fromfile(") + quoted(path ? path : "(null)") + ", " +
                hex8(target) + ", " + std::to_string(width) + ", " + std::to_string(unit) + ")",
            out);
    leave(f);
    return out;
}
