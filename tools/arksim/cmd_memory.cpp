// arksim memstore, register, tunnel, eeprom: the stores a blade reads and
// writes through its platform.
#include <cstdio>
#include <unistd.h>

#include "arksim_cli.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

int memstore(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    if (!pick_blade(ctx, b))
        return 1;
    std::string dir = b.dir + "/memstore/";
    if (const std::string *key = args.get("--delete")) {
        if (!args.pos.empty())
            return usage_error("--delete takes no other arguments");
        if (::unlink((dir + arksim::encode_key(*key)).c_str()) != 0)
            return fail("blade %s has no key %s", b.name.c_str(), key->c_str());
        return 0;
    }
    if (args.pos.empty()) {
        for (const std::string &name : dir_entries(dir)) {
            std::vector<uint8_t> v;
            arksim::read_file(dir + name, v);
            std::string key = arksim::decode_key(name), decoded = decode_value(key, v);
            std::printf("%-28s %s%s%s\n", key.c_str(), arksim::hex_bytes(v).c_str(),
                        decoded.empty() ? "" : "  = ", decoded.c_str());
        }
        return 0;
    }
    std::string path = dir + arksim::encode_key(args.pos[0]);
    std::vector<uint8_t> v;
    if (args.pos.size() == 1) {
        if (!arksim::read_file(path, v))
            return fail("blade %s has no key %s", b.name.c_str(), args.pos[0].c_str());
        std::puts(arksim::hex_bytes(v).c_str());
        return 0;
    }
    if (!parse_hex_bytes(std::span(args.pos).subspan(1), v))
        return usage_error("the value must be hex bytes, e.g. \"01 02 ff\"");
    if (!arksim::make_dirs(dir) || !arksim::write_file_atomic(path, v))
        return fail("cannot write key %s", args.pos[0].c_str());
    return 0;
}

int reg(const Context &ctx, const Args &args)
{
    if (!need_chassis(ctx))
        return 1;
    if (args.pos.empty()) {
        for (const std::string &name : dir_entries(ctx.chassis + "/registers"))
            std::printf("0x%s  %s\n", name.c_str(), read_text(ctx.chassis + "/registers/" + name).c_str());
        return 0;
    }
    long long r = 0, v = -1;
    if (args.pos.size() > 2 || !parse_number(args.pos[0], 0, 255, r))
        return usage_error("wants REG [VALUE|unreadable], e.g. 0x9c 0x10");
    if (args.pos.size() == 1) {
        int value = arksim::read_register(ctx.chassis, static_cast<uint8_t>(r));
        if (value < 0)
            std::puts("unreadable");
        else
            std::printf("0x%02x\n", value);
        return 0;
    }
    if (args.pos[1] != "unreadable" && !parse_number(args.pos[1], 0, 255, v))
        return usage_error("the value must be a byte or \"unreadable\", not %s", args.pos[1].c_str());
    if (!arksim::write_register(ctx.chassis, static_cast<uint8_t>(r), static_cast<int>(v)))
        return fail("cannot write register 0x%02llx", r);
    return 0;
}

// --offset/--length within `size` bytes; false with the error printed.
bool range(const Args &args, std::size_t size, long long &offset, long long &length)
{
    offset = 0;
    const std::string *o = args.get("--offset");
    const std::string *l = args.get("--length");
    if (o != nullptr && !parse_number(*o, 0, static_cast<long long>(size), offset))
        return usage_error("--offset must be within 0..%zu", size), false;
    length = static_cast<long long>(size) - offset;
    if (l != nullptr && !parse_number(*l, 0, length, length))
        return usage_error("--length must be within 0..%lld", length), false;
    return true;
}

int tunnel(const Context &ctx, const Args &args)
{
    long long target = 0, offset = 0, length = 0;
    if (args.pos.size() != 1 || !parse_number(args.pos[0], 0, 255, target))
        return usage_error("wants a TARGET byte, e.g. 0x20");
    if (!need_chassis(ctx) || !range(args, arksim::kTunnelSize, offset, length))
        return 1;
    if (const std::string *w = args.get("--write")) {
        std::vector<uint8_t> bytes;
        if (!parse_hex_bytes(std::span(w, 1), bytes))
            return usage_error("--write wants hex bytes, e.g. \"01 02 ff\"");
        if (!arksim::write_tunnel_bytes(ctx.chassis, static_cast<uint8_t>(target),
                                        static_cast<uint32_t>(offset), bytes))
            return fail("cannot write %zu bytes at offset %lld", bytes.size(), offset);
        return 0;
    }
    std::vector<uint8_t> mem;
    arksim::read_tunnel(ctx.chassis, static_cast<uint8_t>(target), mem);
    hexdump(std::span(mem).subspan(offset, length), offset);
    return 0;
}

int eeprom(const Context &ctx, const Args &args)
{
    arksim::BladeInfo b;
    long long offset = 0, length = 0;
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    if (!pick_blade(ctx, b) || !range(args, arksim::kEepromSize, offset, length))
        return 1;
    std::vector<uint8_t> mem;
    if (!arksim::read_file(b.dir + "/eeprom.bin", mem))
        mem.clear();
    mem.resize(arksim::kEepromSize, 0xFF);
    if (const std::string *w = args.get("--write")) {
        std::vector<uint8_t> bytes;
        if (!parse_hex_bytes(std::span(w, 1), bytes))
            return usage_error("--write wants hex bytes, e.g. \"01 02 ff\"");
        if (bytes.size() > mem.size() - static_cast<std::size_t>(offset))
            return fail("%zu bytes at offset %lld run past the EEPROM", bytes.size(), offset);
        std::copy(bytes.begin(), bytes.end(), mem.begin() + offset);
        if (!arksim::write_file_atomic(b.dir + "/eeprom.bin", mem))
            return fail("cannot write %s/eeprom.bin", b.dir.c_str());
        return 0;
    }
    hexdump(std::span(mem).subspan(offset, length), offset);
    return 0;
}

constexpr Opt kMemstoreOpts[] = {{"--delete", "KEY", "remove a key"}};
constexpr Opt kDumpOpts[] = {
    {"--offset", "O", "first byte (default 0)"},
    {"--length", "L", "bytes to show (default: to the end)"},
    {"--write", "HEX", "write these bytes at the offset instead"},
};

constexpr Command kCommands[] = {
    {"memstore", "[KEY [HEXBYTES...]] | --delete KEY", "list, get or set the blade's memstore",
     "Without arguments every key with its value; with KEY its value as hex bytes;\n"
     "with KEY and bytes the new value, e.g. `arksim memstore slotid 03`.",
     kMemstoreOpts, false, memstore},
    {"register",
     "[REG [VALUE|unreadable]]",
     "list, get or set a midplane register",
     "REG and VALUE are numbers, 0x hex or decimal: `arksim register 0x9c 0x10`.",
     {},
     false,
     reg},
    {"tunnel", "TARGET [--offset O] [--length L] [--write HEXBYTES]",
     "dump or write a target's tunnel block memory", "", kDumpOpts, false, tunnel},
    {"eeprom", "[--offset O] [--length L] [--write HEXBYTES]", "dump or write the blade's FRU EEPROM", "",
     kDumpOpts, false, eeprom},
};

}  // namespace

std::span<const Command> memory_commands() { return kCommands; }

}  // namespace arkcli
