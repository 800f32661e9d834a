// arksim identity, fru, and `move --to-chassis`: the chassis's manufacturing
// identity, the blade's EEPROM section decoded, and moving a blade into
// another chassis so that its next start records a new installation.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include <filesystem>

#include "core/blade_move.h"
#include "cmd_fru.h"
#include "json_out.h"
#include "core/fru.h"
#include "core/fru_view.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

// ---- the chassis identity -----------------------------------------------------

constexpr std::size_t kPartSize = 7, kSerialSize = 6, kDashSize = 2;

// Exactly `size` printable characters, no blanks (the record pads with them).
bool valid_field(const std::string &text, std::size_t size)
{
    if (text.size() != size)
        return false;
    for (char c : text)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

bool parse_identity(const std::string &part, const std::string &serial, const std::string &dash,
                    arksim::Identity &out)
{
    const struct {
        const char *what;
        const std::string &text;
        std::size_t size;
    } fields[] = {{"part number", part, kPartSize},
                  {"serial number", serial, kSerialSize},
                  {"dash level", dash, kDashSize}};
    for (const auto &f : fields)
        if (!valid_field(f.text, f.size))
            return usage_error("the %s must be %zu printable characters without blanks, not \"%s\"", f.what,
                               f.size, f.text.c_str()),
                   false;
    out = {part, serial, dash};
    return true;
}

bool parse_identity_option(const std::string &text, arksim::Identity &out)
{
    const std::size_t a = text.find(':');
    const std::size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
        return usage_error("--identity wants PART:SERIAL:DASH, e.g. 5412345:CH0001:01, not %s", text.c_str()),
               false;
    return parse_identity(text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1), out);
}

// Escapes what is not printable ASCII as \xNN, so hostile bytes stay visible.
std::string printable(const std::string &raw)
{
    std::string out;
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= ' ' && c < 0x7F && c != '\\') {
            out.push_back(ch);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        }
    }
    return out;
}

int identity(const Context &ctx, const Args &args)
{
    arksim::Identity id;
    if (args.pos.size() != 0 && args.pos.size() != 3)
        return usage_error("wants no arguments, or PART SERIAL DASH");
    if (args.pos.size() == 3 && !parse_identity(args.pos[0], args.pos[1], args.pos[2], id))
        return 2;
    if (!need_chassis(ctx))
        return 1;
    if (args.pos.size() == 3 && !arksim::write_chassis_fru(ctx.chassis, id))
        return fail("cannot write the chassis FRU data in %s", ctx.chassis.c_str());
    if (!arksim::read_chassis_identity(ctx.chassis, id))
        return fail("the chassis FRU data (tunnel target 0xaa from 0x1800) holds no manufacturing record "
                    "where arksim puts it; `arksim identity PART SERIAL DASH` writes it afresh");
    std::printf("part number    %s\nserial number  %s\ndash level     %s\n", printable(id.part).c_str(),
                printable(id.serial).c_str(), printable(id.dash).c_str());
    return 0;
}

// ---- the EEPROM section -------------------------------------------------------

std::string hex4(const uint8_t *bytes) { return arksim::hex_bytes({bytes, 4}); }

void print_text(const std::string &who, const std::string &file, const arksim::SectionView &v)
{
    const arksim::SectionHeader &h = v.header;
    std::printf("blade %s, %s\n", who.c_str(), file.c_str());
    std::printf("section header: %s\n", arksim::hex_bytes(h.bytes).c_str());
    std::printf("  header length %u, %u descriptor(s), CRC-8 stored 0x%02x, computed 0x%02x %s\n", h.length,
                h.count, h.crc_stored, h.crc_computed, h.crc_ok() ? "ok" : "BAD (reading on)");
    for (const std::string &w : v.warnings)
        std::printf("  warning: %s\n", w.c_str());
    std::puts("directory:");
    if (v.directory.empty())
        std::puts("  (empty)");
    for (const auto &e : v.directory)
        std::printf("  #%-2u %-8s offset %5u (0x%04x)  length %5u (0x%04x)  word %s\n", e.index,
                    arksim::quoted(printable(e.name)).c_str(), e.offset, e.offset, e.length, e.length,
                    hex4(e.word).c_str());
    if (!v.has_ring) {
        std::puts("installation records: no \"FD\" segment in the directory");
        return;
    }
    const arksim::InstallRing &r = v.ring;
    std::printf("installation records (\"FD\", directory #%u) at %u:\n", r.descriptor, arksim::kRingAt);
    std::printf("  ring header: tag %s, oldest %u, newest %u, count %u, capacity %u\n", hex4(r.tag).c_str(),
                r.oldest, r.newest, r.count, r.capacity);
    std::printf("  checksum trailer at %u: tag 0x%02x, stored 0x%08x, computed 0x%08x %s\n",
                arksim::kRingTrailerAt, r.trailer_tag, r.checksum_stored, r.checksum_computed,
                r.checksum_ok() ? "ok" : "BAD (reading on)");
    if (!r.checksum_ok())
        std::puts(
            "  the ring's bytes do not match its checksum: a write to them did not finish (a power cut\n"
            "  part-way leaves old and new bytes mixed), or something else wrote there; the library\n"
            "  does not check it and keeps these bytes at its next update");
    for (const std::string &w : r.warnings)
        std::printf("  warning: %s\n", w.c_str());
    if (r.usable && r.records.empty())
        std::puts("  (no records)");
    // The place in the history first (0 the oldest), then where in the ring
    // the record is stored: neither is a chassis slot.
    if (!r.records.empty())
        std::puts("  records, oldest first (history place, ring entry, time, FRU path, parent):");
    for (const auto &rec : r.records)
        std::printf("  #%u  ring entry %u  %s  %-10s parent %s %s %s\n", rec.order, rec.slot,
                    utc_date(rec.timestamp).c_str(), printable(rec.fru_path).c_str(),
                    printable(rec.part).c_str(), printable(rec.serial).c_str(), printable(rec.dash).c_str());
}

void print_json(const std::string &who, const std::string &file, const arksim::SectionView &v)
{
    const arksim::SectionHeader &h = v.header;
    std::printf("{\"blade\": %s, \"file\": %s,\n", json_string(who).c_str(), json_string(file).c_str());
    std::printf(" \"header\": {\"bytes\": \"%s\", \"length\": %u, \"count\": %u, \"crc_stored\": %u, "
                "\"crc_computed\": %u, \"crc_ok\": %s, \"warnings\": %s},\n",
                arksim::hex_bytes(h.bytes).c_str(), h.length, h.count, h.crc_stored, h.crc_computed,
                json_bool(h.crc_ok()), json_strings(v.warnings).c_str());
    std::printf(" \"directory\": [");
    for (std::size_t i = 0; i < v.directory.size(); ++i) {
        const auto &e = v.directory[i];
        std::printf("%s\n  {\"index\": %u, \"name\": %s, \"word\": \"%s\", \"offset\": %u, \"length\": %u}",
                    i != 0 ? "," : "", e.index, json_string(e.name).c_str(), hex4(e.word).c_str(), e.offset,
                    e.length);
    }
    std::printf("],\n \"installr\": ");
    if (!v.has_ring) {
        std::puts("null}");
        return;
    }
    const arksim::InstallRing &r = v.ring;
    std::printf("{\"descriptor\": %u, \"at\": %u, \"tag\": \"%s\", \"oldest\": %u, \"newest\": %u, "
                "\"count\": %u, \"capacity\": %u, \"usable\": %s, \"warnings\": %s,\n",
                r.descriptor, arksim::kRingAt, hex4(r.tag).c_str(), r.oldest, r.newest, r.count, r.capacity,
                json_bool(r.usable), json_strings(r.warnings).c_str());
    std::printf("  \"checksum\": {\"at\": %u, \"tag\": %u, \"stored\": %u, \"computed\": %u, \"ok\": %s},\n",
                arksim::kRingTrailerAt, r.trailer_tag, r.checksum_stored, r.checksum_computed,
                json_bool(r.checksum_ok()));
    std::printf("  \"records\": [");
    for (std::size_t i = 0; i < r.records.size(); ++i) {
        const auto &rec = r.records[i];
        std::printf("%s\n   {\"order\": %u, \"slot\": %u, \"timestamp\": %u, \"date\": %s, \"fru_path\": %s, "
                    "\"parent_part\": %s, \"parent_serial\": %s, \"parent_dash\": %s}",
                    i != 0 ? "," : "", rec.order, rec.slot, rec.timestamp,
                    json_string(utc_date(rec.timestamp)).c_str(), json_string(rec.fru_path).c_str(),
                    json_string(rec.part).c_str(), json_string(rec.serial).c_str(),
                    json_string(rec.dash).c_str());
    }
    std::puts("]}}");
}

int fru(const Context &ctx, const Args &args)
{
    if (!args.pos.empty())
        return usage_error("unexpected argument %s", args.pos[0].c_str());
    arksim::BladeInfo b;
    if (!pick_blade(ctx, b))
        return 1;
    const std::string file = b.dir + "/eeprom.bin";
    std::vector<uint8_t> image;
    if (!arksim::read_file(file, image))
        image.clear();  // the platform reads a missing EEPROM as blank
    // Only the device's bytes count; past the file it reads blank.
    image.resize(arksim::kEepromSize, 0xFF);
    const arksim::SectionView v = arksim::decode_section(image);
    if (args.has("--json"))
        print_json(b.name, file, v);
    else
        print_text(b.name, file, v);
    return 0;
}

constexpr Opt kFruOpts[] = {{"--json", "", "machine-readable output"}};

constexpr Command kCommands[] = {
    {"identity",
     "[PART SERIAL DASH]",
     "show or change the chassis's manufacturing identity",
     "The part number (7 characters), serial number (6) and dash level (2) of the\n"
     "chassis's manufacturing record, which blades read over the midplane tunnel\n"
     "(target 0xaa from 0x1800) as the parent of their installation records.\n"
     "Changing it rewrites the chassis FRU data there whole.",
     {},
     false,
     identity},
    {"fru", "[--json]", "show the blade's FRU EEPROM section decoded",
     "The section header with its CRC-8, the directory, and with an \"FD\" segment\n"
     "the installation records: ring header, checksum trailer (CRC-32 over bytes\n"
     "3195..4297) and each record the ring holds, oldest first.  Dates are UTC.\n"
     "Nothing stops at a bad CRC or checksum; headers no ring update writes are\n"
     "flagged.",
     kFruOpts, false, fru},
};

}  // namespace

bool check_identity_option(const Args &args)
{
    arksim::Identity id;
    const std::string *text = args.get("--identity");
    return text == nullptr || parse_identity_option(*text, id);
}

bool apply_identity_option(const Context &ctx, const Args &args)
{
    arksim::Identity id;
    const std::string *text = args.get("--identity");
    if (text == nullptr)
        return true;
    if (!parse_identity_option(*text, id))
        return false;
    if (arksim::write_chassis_fru(ctx.chassis, id))
        return true;
    fail("cannot write the chassis FRU data in %s", ctx.chassis.c_str());
    return false;
}

int move_to_chassis(const Context &ctx, const Args &args)
{
    Context c;
    if (int rc = take_blade_argument(ctx, args, c); rc >= 0)
        return rc;
    const std::string dest = absolute_path(*args.get("--to-chassis"));
    long long slot = -1;
    const std::string *to_slot = args.get("--to-slot");
    if (to_slot != nullptr && !parse_number(*to_slot, 0, 255, slot))
        return usage_error("--to-slot needs a slot number, not %s", to_slot->c_str());
    arksim::BladeInfo b;
    if (!pick_blade(c, b))
        return 1;
    if (!is_chassis(dest))
        return fail("no chassis in %s (make it first with `arksim -C %s create`)", dest.c_str(),
                    dest.c_str());
    const arksim::MoveResult moved =
        arksim::move_to_chassis(ctx.chassis, b.name, dest, static_cast<int>(slot));
    if (!moved.ok())
        return fail("%s", moved.error.c_str());
    if (to_slot == nullptr)
        slot = b.slot;
    if (slot >= 0)
        std::printf("blade %s now in slot %lld of %s\n", b.name.c_str(), slot, dest.c_str());
    else
        std::printf("blade %s now in %s, without a slot\n", b.name.c_str(), dest.c_str());
    return 0;
}

std::span<const Command> fru_commands() { return kCommands; }

}  // namespace arkcli
