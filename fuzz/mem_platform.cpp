// The in-memory SP platform of the fuzz targets (see mem_platform.h).
#include "mem_platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "arkb_outside.h"
#include "core/fru.h"
#include "core/simstate.h"

namespace fuzz::mem {
namespace {

constexpr int kFruBus = 4;
constexpr int kFruAddress = 0xA0;
constexpr std::size_t kTunnelSize = 1 << 16;  // 16-bit offsets

struct Platform {
    std::array<uint8_t, arksim::kEepromSize> eeprom{};
    std::map<uint8_t, std::vector<uint8_t>> tunnels;
    std::map<std::string, std::vector<uint8_t>, std::less<>> memstore;
    uint8_t slot = 3;
    Platform() { eeprom.fill(0xFF); }
};

Platform &platform()
{
    static Platform p;
    return p;
}

std::vector<uint8_t> &tunnel(uint8_t target)
{
    auto &t = platform().tunnels[target];
    if (t.empty())
        t.assign(kTunnelSize, 0);
    return t;
}

bool eeprom_ok(int bus, int addr, int width, int unit, unsigned len, unsigned offset)
{
    return bus == kFruBus && addr == kFruAddress && width == 16 && unit > 0 &&
           offset <= arksim::kEepromSize && len <= arksim::kEepromSize - offset;
}

bool tunnel_ok(const void *buf, int len, int offset, int width, int unit)
{
    return buf != nullptr && len >= 0 && offset >= 0 && unit > 0 && (width == 8 || width == 16) &&
           static_cast<long long>(offset) + len <= (1LL << width);
}

}  // namespace

void reset() { platform() = Platform{}; }

void set_eeprom(std::span<const uint8_t> bytes)
{
    auto &e = platform().eeprom;
    e.fill(0xFF);
    std::copy_n(bytes.begin(), std::min(bytes.size(), e.size()), e.begin());
}

void set_tunnel(uint8_t target, uint32_t offset, std::span<const uint8_t> bytes)
{
    auto &t = tunnel(target);
    if (offset < t.size())
        std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), t.size() - offset),
                    t.begin() + offset);
}

void set_key(const std::string &key, std::span<const uint8_t> value)
{
    platform().memstore[key].assign(value.begin(), value.end());
}

}  // namespace fuzz::mem

using fuzz::mem::platform;

extern "C" {

int memstore_get(const char *key, void *buf, int len)
{
    if (key == nullptr || buf == nullptr || len < 0)
        return -1;
    auto it = platform().memstore.find(std::string_view(key));
    if (it == platform().memstore.end() || it->second.size() != static_cast<std::size_t>(len))
        return 0;
    std::memcpy(buf, it->second.data(), it->second.size());
    return 1;
}

int memstore_set(const char *key, const void *buf, int len)
{
    if (key == nullptr || key[0] == '\0' || len < 0 || (buf == nullptr && len > 0))
        return -1;
    const auto *p = static_cast<const uint8_t *>(buf);
    platform().memstore[key].assign(p, p + len);
    return 1;
}

int memstore_haskey(const char *key) { return key != nullptr && platform().memstore.count(key) ? 1 : 0; }

int arkmp_read_slotid(uint8_t *slot)
{
    if (slot == nullptr)
        return -1;
    *slot = platform().slot;
    return 0;
}

int arkmp_read(uint8_t, uint8_t *, int) { return -1; }  // no chassis registers here
int arkmp_write(uint8_t, const uint8_t *buf, int len) { return buf != nullptr && len == 1 ? 1 : -1; }

int arkmp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen)
{
    if (wbuf == nullptr || rbuf == nullptr || wlen != 1 || rlen != 1)
        return -1;
    rbuf[0] = fuzz::mem::tunnel(target)[wbuf[0]];
    return rlen;
}

int arkmp_tunneling_init(int) { return 0; }

int arkmp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int width, int unit)
{
    if (!fuzz::mem::tunnel_ok(buf, len, offset, width, unit))
        return -1;
    const auto &t = fuzz::mem::tunnel(target);
    std::copy_n(t.begin() + offset, len, buf);
    return len;
}

int arkmp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int width, int unit)
{
    if (!fuzz::mem::tunnel_ok(buf, len, offset, width, unit))
        return -1;
    std::copy_n(buf, len, fuzz::mem::tunnel(target).begin() + offset);
    return len;
}

int arkmp_tnlblk_write_fromfile(const char *, uint8_t, int, int) { return -1; }

int elm_i2c_blk_read_on_bus(int bus, int, int, int addr, uint8_t *buf, unsigned len, unsigned offset,
                            int width, int unit)
{
    if (buf == nullptr || !fuzz::mem::eeprom_ok(bus, addr, width, unit, len, offset))
        return -1;
    std::copy_n(platform().eeprom.begin() + offset, len, buf);
    return static_cast<int>(len);
}

int elm_i2c_blk_write_on_bus(int bus, int, int, int addr, const uint8_t *buf, unsigned len, unsigned offset,
                             int width, int unit)
{
    if ((buf == nullptr && len > 0) || !fuzz::mem::eeprom_ok(bus, addr, width, unit, len, offset))
        return -1;
    std::copy_n(buf, len, platform().eeprom.begin() + offset);
    return static_cast<int>(len);
}

uint8_t compute_crc8(const uint8_t *buf, int len)
{
    return buf != nullptr && len > 0 ? arksim::crc8({buf, static_cast<std::size_t>(len)}) : 0;
}

uint32_t compute_checksum32(const uint8_t *buf, int len)
{
    return arksim::crc32(buf != nullptr && len > 0
                             ? std::span<const uint8_t>(buf, static_cast<std::size_t>(len))
                             : std::span<const uint8_t>{});
}

int get_tag_type(const uint8_t *hdr) { return hdr != nullptr ? arksim::tag_type(hdr[0]) : -1; }
int get_tag_size(int type) { return arksim::tag_header_size(type); }
int get_payload_length(const uint8_t *hdr) { return hdr != nullptr ? arksim::tag_payload_length(hdr) : -1; }

int32_t uptime(void) { return 1000; }
int pca_read_i2c_blade_dt(int, uint32_t *dt) { return dt != nullptr ? (*dt = 0, 0) : -1; }

}  // extern "C"
