// mp: the midplane pass-throughs.  Their results are those of the platform
// calls: a byte count (>= 0) on success, negative on failure.
#include <cstdio>
#include <vector>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

constexpr int kDefaultWidth = 16;  // offset width in bits
constexpr int kDefaultUnit = 32;   // bytes per tunnel transaction
constexpr int kMaxTunnel = 65536;  // tunnel block memory size

// --width 8|16 and --unit N, shared by tnl-read and tnl-write.
bool tunnel_options(Args &a, int *width, int *unit)
{
    const char *w = take_option(a, "--width");
    const char *u = take_option(a, "--unit");
    long long v = 0;
    *width = kDefaultWidth;
    *unit = kDefaultUnit;
    if (w != nullptr) {
        if (!parse_number(w, 8, 16, &v) || (v != 8 && v != 16)) {
            usage_error("--width: '%s' is not 8 or 16", w);
            return false;
        }
        *width = static_cast<int>(v);
    }
    if (u != nullptr) {
        if (!number_arg("--unit", u, 1, kMaxTunnel, &v))
            return false;
        *unit = static_cast<int>(v);
    }
    return true;
}

void dump_result(int r, const uint8_t *buf, int len, unsigned long base)
{
    if (r > 0)
        hex_dump(buf, static_cast<size_t>(r < len ? r : len), base);
}

int mp_read(Args &a)
{
    uint8_t reg = 0;
    if (!want(a, 1, 1) || !num("REG", a[0], &reg))
        return kExitUsage;
    uint8_t b = 0;
    int r = arkb_mp_read(reg, &b, 1);
    if (r >= 1)
        std::printf("arkb_mp_read: %d, reg 0x%02x = 0x%02x (%u)\n", r, reg, b, b);
    else
        std::printf("arkb_mp_read: %d, reg 0x%02x\n", r, reg);
    return count_status(r);
}

int mp_write(Args &a)
{
    uint8_t reg = 0;
    uint8_t b = 0;
    if (!want(a, 2, 2) || !num("REG", a[0], &reg) || !num("BYTE", a[1], &b))
        return kExitUsage;
    int r = arkb_mp_write(reg, &b, 1);
    std::printf("arkb_mp_write: %d, reg 0x%02x <- 0x%02x\n", r, reg, b);
    return count_status(r);
}

int mp_writeread(Args &a)
{
    uint8_t target = 0;
    uint8_t w = 0;
    if (!want(a, 2, 2) || !num("TARGET", a[0], &target) || !num("BYTE", a[1], &w))
        return kExitUsage;
    uint8_t rb = 0;
    int r = arkb_mp_writeread(target, &w, &rb, 1, 1);
    if (r >= 1)
        std::printf("arkb_mp_writeread: %d, target 0x%02x [0x%02x] = 0x%02x (%u)\n", r, target, w, rb, rb);
    else
        std::printf("arkb_mp_writeread: %d, target 0x%02x [0x%02x]\n", r, target, w);
    return count_status(r);
}

int mp_tnl_read(Args &a)
{
    int width = 0;
    int unit = 0;
    if (!tunnel_options(a, &width, &unit))
        return kExitUsage;
    uint8_t target = 0;
    long long offset = 0;
    long long len = 0;
    if (!want(a, 3, 3) || !num("TARGET", a[0], &target) ||
        !number_arg("OFFSET", a[1], 0, kMaxTunnel - 1, &offset) ||
        !number_arg("LEN", a[2], 1, kMaxTunnel, &len))
        return kExitUsage;
    std::vector<uint8_t> buf(static_cast<size_t>(len));
    int r =
        arkb_mp_tnlblk_read(target, buf.data(), static_cast<int>(len), static_cast<int>(offset), width, unit);
    std::printf("arkb_mp_tnlblk_read: %d, target 0x%02x offset 0x%llx len %lld width %d unit %d\n", r, target,
                offset, len, width, unit);
    dump_result(r, buf.data(), static_cast<int>(len), static_cast<unsigned long>(offset));
    return count_status(r);
}

int mp_tnl_write(Args &a)
{
    int width = 0;
    int unit = 0;
    if (!tunnel_options(a, &width, &unit))
        return kExitUsage;
    uint8_t target = 0;
    long long offset = 0;
    std::vector<uint8_t> data;
    if (!want(a, 3, 3) || !num("TARGET", a[0], &target) ||
        !number_arg("OFFSET", a[1], 0, kMaxTunnel - 1, &offset))
        return kExitUsage;
    if (!parse_hex_bytes(a[2], &data))
        return usage_error("HEXBYTES: '%s' is not a list of hex bytes", a[2]);
    int r = arkb_mp_tnlblk_write(target, data.data(), static_cast<int>(data.size()), static_cast<int>(offset),
                                 width, unit);
    std::printf("arkb_mp_tnlblk_write: %d, target 0x%02x offset 0x%llx len %zu width %d unit %d\n", r, target,
                offset, data.size(), width, unit);
    return count_status(r);
}

int mp_tunneling_init(Args &a)
{
    long long enable = 1;
    if (!want(a, 0, 1) || (a.size() == 1 && !number_arg("ENABLE", a[0], 0, 1, &enable)))
        return kExitUsage;
    int r = arkb_mp_tunneling_init(static_cast<int>(enable));
    std::printf("arkb_mp_tunneling_init: %d, enable %lld\n", r, enable);
    return status(r);
}

}  // namespace

int cmd_mp(Args &a)
{
    static const Sub kSubs[] = {
        {"read", mp_read},         {"write", mp_write},         {"writeread", mp_writeread},
        {"tnl-read", mp_tnl_read}, {"tnl-write", mp_tnl_write}, {"tunneling-init", mp_tunneling_init},
    };
    return run_sub(kSubs, a);
}

}  // namespace arkbctl
