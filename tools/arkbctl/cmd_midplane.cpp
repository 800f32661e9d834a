// arkbctl's midplane and platform layer commands: mp (registers and tunnel
// block memory) and platform (arkbp_*).
#include <vector>

#include "arkblade.h"
#include "command_table.h"

namespace arkbctl {

namespace {

Outcome tnl_read(const Values &v)
{
    auto target = static_cast<uint8_t>(v.n[0]);
    auto len = static_cast<int>(v.n[2]);
    std::vector<uint8_t> buf(static_cast<size_t>(len));
    int r = arkb_mp_tnlblk_read(target, buf.data(), len, static_cast<int>(v.n[1]), static_cast<int>(v.n[3]),
                                static_cast<int>(v.n[4]));
    return {
        r,
        fmt(", target 0x%02x offset 0x%llx len %d width %lld unit %lld", target, v.n[1], len, v.n[3], v.n[4]),
        r > 0
            ? hex_dump(buf.data(), static_cast<size_t>(r < len ? r : len), static_cast<unsigned long>(v.n[1]))
            : ""};
}

Outcome tnl_write(const Values &v)
{
    auto target = static_cast<uint8_t>(v.n[0]);
    int r =
        arkb_mp_tnlblk_write(target, v.bytes.data(), static_cast<int>(v.bytes.size()),
                             static_cast<int>(v.n[1]), static_cast<int>(v.n[3]), static_cast<int>(v.n[4]));
    return {r, fmt(", target 0x%02x offset 0x%llx len %zu width %lld unit %lld", target, v.n[1],
                   v.bytes.size(), v.n[3], v.n[4])};
}

Outcome eeprom_read(const Values &v)
{
    std::vector<uint8_t> buf(static_cast<size_t>(v.n[1]));
    int r = arkbp_read_mbfruid_elmsect(buf.data(), static_cast<unsigned>(buf.size()),
                                       static_cast<unsigned>(v.n[0]));
    return {r, fmt(", offset 0x%llx len %lld", v.n[0], v.n[1]),
            r >= 0 ? hex_dump(buf.data(), buf.size(), static_cast<unsigned long>(v.n[0])) : ""};
}

const Entry kEntries[] = {
    // midplane
    {"mp", "read", "arkb_mp_read", "REG:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t b = 0;
         int r = arkb_mp_read(u8(v.n[0]), &b, 1);
         return Outcome{r, r >= 1 ? fmt(", reg 0x%02llx = 0x%02x (%u)", v.n[0], b, b)
                                  : fmt(", reg 0x%02llx", v.n[0])};
     },
     "mp read REG                 arkb_mp_read of one register byte"},
    {"mp", "write", "arkb_mp_write", "REG:u8 BYTE:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t b = u8(v.n[1]);
         return Outcome{arkb_mp_write(u8(v.n[0]), &b, 1), fmt(", reg 0x%02llx <- 0x%02x", v.n[0], b)};
     },
     "mp write REG BYTE           arkb_mp_write of one register byte"},
    {"mp", "writeread", "arkb_mp_writeread", "TARGET:u8 BYTE:u8", Ok::NotNegative,
     [](const Values &v) {
         uint8_t w = u8(v.n[1]);
         uint8_t b = 0;
         int r = arkb_mp_writeread(u8(v.n[0]), &w, &b, 1, 1);
         std::string at = fmt(", target 0x%02llx [0x%02x]", v.n[0], w);
         return Outcome{r, r >= 1 ? at + fmt(" = 0x%02x (%u)", b, b) : at};
     },
     "mp writeread TARGET BYTE    arkb_mp_writeread: write BYTE, read one byte"},
    {"mp", "tnl-read", "arkb_mp_tnlblk_read",
     "TARGET:u8 OFFSET:0..65535 LEN:1..65536 --width:width=16 --unit:1..65536=32", Ok::NotNegative, tnl_read,
     "mp tnl-read TARGET OFFSET LEN [--width 8|16] [--unit N]"},
    {"mp", "tnl-write", "arkb_mp_tnlblk_write",
     "TARGET:u8 OFFSET:0..65535 HEXBYTES:hex --width:width=16 --unit:1..65536=32", Ok::NotNegative, tnl_write,
     "mp tnl-write TARGET OFFSET HEXBYTES [--width 8|16] [--unit N]"},
    {"mp", "tunneling-init", "arkb_mp_tunneling_init", "[ENABLE:0..1=1]", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_mp_tunneling_init(static_cast<int>(v.n[0])), fmt(", enable %lld", v.n[0])};
     },
     "mp tunneling-init [0|1]     arkb_mp_tunneling_init (default 1)"},

    // platform layer
    {"platform", "read-slot", "arkbp_read_slotid", "", Ok::Zero, slot_of<arkbp_read_slotid>,
     "platform read-slot                 arkbp_read_slotid"},
    {"platform", "store-slot", "arkbp_store_slotid", "N:u8", Ok::Zero, store_slot<arkbp_store_slotid>,
     "platform store-slot N              arkbp_store_slotid"},
    {"platform", "device-type", "arkbp_read_device_type", "", Ok::Zero, plain<arkbp_read_device_type>,
     "platform device-type               arkbp_read_device_type"},
    {"platform", "init", "arkbp_platform_specific_initialize", "SLOT:u8", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkbp_platform_specific_initialize(u8(v.n[0])), fmt(", slot %lld", v.n[0])};
     },
     "platform init SLOT                 arkbp_platform_specific_initialize"},
    {"platform", "pca-path", nullptr, "", Ok::Zero,
     [](const Values &) {
         const char *path = arkbp_pca9501_filepath();
         return Outcome{path != nullptr ? 0 : -1, "",
                        fmt("arkbp_pca9501_filepath: %s\n", path != nullptr ? path : "(null)"), nullptr,
                        true};
     },
     "platform pca-path                  arkbp_pca9501_filepath"},
    {"platform", "eeprom-read", "arkbp_read_mbfruid_elmsect", "OFFSET:0..65535 LEN:1..65536", Ok::NotNegative,
     eeprom_read, "platform eeprom-read OFFSET LEN    arkbp_read_mbfruid_elmsect"},
    {"platform", "eeprom-write", "arkbp_write_mbfruid_elmsect", "OFFSET:0..65535 HEXBYTES:hex",
     Ok::NotNegative,
     [](const Values &v) {
         return Outcome{arkbp_write_mbfruid_elmsect(v.bytes.data(), static_cast<unsigned>(v.bytes.size()),
                                                    static_cast<unsigned>(v.n[0])),
                        fmt(", offset 0x%llx len %zu", v.n[0], v.bytes.size())};
     },
     "platform eeprom-write OFFSET HEXBYTES\n"
     "                                                  arkbp_write_mbfruid_elmsect"},
};

}  // namespace

std::span<const Entry> midplane_entries() { return kEntries; }

}  // namespace arkbctl
