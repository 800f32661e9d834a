// arksim mailbox: the CMM's side of a blade's network configuration mailbox,
// played from outside the blade on the same tunnel block memory.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mailbox/cmm_mailbox.h"
#include "arksim_cli.h"
#include "core/fru.h"
#include "core/simstate.h"

namespace arkcli {
namespace {

namespace mb = arksim::mbox;

constexpr double kDefaultTimeout = 20.0;

void print_line(const std::string &line)
{
    std::puts(line.c_str());
    std::fflush(stdout);
}

// The tunnel memory of the chosen blade's slot; false with the error printed.
bool blade_tunnel(const Context &ctx, mb::Tunnel &t, arksim::BladeInfo &b)
{
    if (!pick_blade(ctx, b))
        return false;
    if (b.slot < 0) {
        fail("blade %s has no slot", b.name.c_str());
        return false;
    }
    t = mb::tunnel_of(ctx.chassis, mb::slot_target(b.slot));
    return true;
}

// ADDR DISCOVERY GW MASK after the subcommand; returns 0 or the usage error.
int parse_settings(const Args &args, mb::Settings &s)
{
    if (args.pos.size() != 5)
        return usage_error("%s wants ADDR DISCOVERY GW MASK, e.g. 10.1.2.3 static 10.1.2.1 "
                           "255.255.255.0",
                           args.pos[0].c_str());
    if (!mb::parse_ipv4(args.pos[1], s.addr))
        return usage_error("ADDR: '%s' is not a dotted quad", args.pos[1].c_str());
    if (!mb::parse_discovery(args.pos[2], s.discovery))
        return usage_error("DISCOVERY: '%s' is not dhcp, static or a byte", args.pos[2].c_str());
    if (!mb::parse_ipv4(args.pos[3], s.gateway))
        return usage_error("GW: '%s' is not a dotted quad", args.pos[3].c_str());
    if (!mb::parse_ipv4(args.pos[4], s.netmask))
        return usage_error("MASK: '%s' is not a dotted quad", args.pos[4].c_str());
    return 0;
}

int only_options(const Args &args, std::initializer_list<std::string_view> allowed)
{
    for (const auto &[name, value] : args.opts) {
        bool ok = false;
        for (std::string_view a : allowed)
            ok = ok || name == a;
        if (!ok)
            return usage_error("%s does not take %s", args.pos[0].c_str(), name.c_str());
    }
    return 0;
}

int preset(const Context &ctx, const Args &args)
{
    mb::Settings s;
    mb::Tunnel t;
    arksim::BladeInfo b;
    if (int rc = only_options(args, {"--bad-check"}); rc != 0)
        return rc;
    if (int rc = parse_settings(args, s); rc != 0)
        return rc;
    if (!blade_tunnel(ctx, t, b))
        return 1;
    return mb::preset(t, s, args.has("--bad-check"), print_line) ? 0 : 1;
}

int request(const Context &ctx, const Args &args)
{
    mb::Settings s;
    mb::Tunnel t;
    arksim::BladeInfo b;
    double timeout = kDefaultTimeout;
    mb::Misbehave how = mb::Misbehave::None;
    if (int rc = only_options(args, {"--timeout", "--misbehave"}); rc != 0)
        return rc;
    if (const std::string *v = args.get("--timeout")) {
        char *end = nullptr;
        errno = 0;
        timeout = std::strtod(v->c_str(), &end);
        if (v->empty() || *end != '\0' || errno != 0 || !(timeout >= 0 && timeout <= 86400))
            return usage_error("--timeout wants seconds, 0 to 86400, not %s", v->c_str());
    }
    if (const std::string *v = args.get("--misbehave"); v != nullptr && !mb::parse_misbehave(*v, how))
        return usage_error("--misbehave wants never-answer, lower-request-only or "
                           "lower-grant-only, not %s",
                           v->c_str());
    if (int rc = parse_settings(args, s); rc != 0)
        return rc;
    if (!blade_tunnel(ctx, t, b))
        return 1;
    long ms = std::lround(timeout * 1000);
    return mb::request(t, s, ms, how, print_line) == mb::Outcome::Done ? 0 : 1;
}

std::string handshake_note(const mb::Record &r)
{
    if (r[mb::kReq] == mb::kRequestStartUp) {
        uint8_t want = mb::check_byte(
            std::span<const uint8_t, mb::kIpSectSize>(r.data() + mb::kIpSect, mb::kIpSectSize));
        char buf[48];
        std::snprintf(buf, sizeof buf, " (check byte, %s 0x%02x)",
                      want == r[mb::kGrant] ? "matches" : "wants", want);
        return buf;
    }
    if (r[mb::kReq] == mb::kRequestRunTime)
        return r[mb::kGrant] == mb::kGranted ? " (granted)" : " (not granted)";
    return "";
}

int show(const Context &ctx, const Args &args)
{
    mb::Tunnel t;
    arksim::BladeInfo b;
    mb::View v;
    if (args.pos.size() != 1)
        return usage_error("show takes no arguments");
    if (int rc = only_options(args, {}); rc != 0)
        return rc;
    if (!blade_tunnel(ctx, t, b))
        return 1;
    if (!mb::inspect(t, v))
        return fail("cannot read %s", t.path.c_str());
    std::array<uint8_t, mb::kHeaderSize> blank = v.header;
    blank[mb::kHdrCrc] = 0;
    const uint8_t crc = arksim::crc8(blank);
    const mb::Record &r = v.record;
    std::printf("blade %s, slot %d, target 0x%02x: %s\n", b.name.c_str(), b.slot, mb::slot_target(b.slot),
                mb::state_name(v.state));
    std::printf("header: %s (crc8 %s)\n", arksim::hex_bytes(v.header).c_str(),
                crc == v.header[mb::kHdrCrc] ? "ok" : "wrong");
    std::printf("signature: %02x %02x at %u\n", v.signature[0], v.signature[1], v.header[mb::kHdrSegOffset]);
    if (!v.located) {
        std::puts("net_info: none (header byte 6 is not 'N')");
        return 0;
    }
    std::printf("net_info: at %u (0x%04x)\n", v.record_at, v.record_at);
    std::printf("sp_req_mbox: 0x%02x\n", r[mb::kReq]);
    std::printf("sp_grant_mbox: 0x%02x%s\n", r[mb::kGrant], handshake_note(r).c_str());
    std::printf("ipaddr: %s\n", mb::ipv4_text(std::span(r).subspan(mb::kIpAddr, 4)).c_str());
    std::printf("ipdiscovery: %s\n", mb::discovery_text(r[mb::kDiscovery]).c_str());
    std::printf("ipgway: %s\n", mb::ipv4_text(std::span(r).subspan(mb::kGateway, 4)).c_str());
    std::printf("ipnetmask: %s\n", mb::ipv4_text(std::span(r).subspan(mb::kNetmask, 4)).c_str());
    std::printf("macaddr: %02x:%02x:%02x:%02x:%02x:%02x\n", r[mb::kMac], r[mb::kMac + 1], r[mb::kMac + 2],
                r[mb::kMac + 3], r[mb::kMac + 4], r[mb::kMac + 5]);
    std::printf("marker: 0x%02x\n", r[mb::kMarker]);
    return 0;
}

int mailbox(const Context &ctx, const Args &args)
{
    if (args.pos.empty())
        return usage_error("wants preset, request or show");
    const std::string &sub = args.pos[0];
    if (sub == "preset")
        return preset(ctx, args);
    if (sub == "request")
        return request(ctx, args);
    if (sub == "show")
        return show(ctx, args);
    return usage_error("unknown mailbox command %s (preset, request or show)", sub.c_str());
}

constexpr Opt kMailboxOpts[] = {
    {"--bad-check", "", "preset: write a check byte that does not match"},
    {"--timeout", "S", "request: seconds to wait for the grant (default 20)"},
    {"--misbehave", "HOW", "request: never-answer, lower-request-only or lower-grant-only"},
};

constexpr Command kCommands[] = {
    {"mailbox",
     "preset ADDR DISCOVERY GW MASK [--bad-check]\n"
     "       arksim mailbox request ADDR DISCOVERY GW MASK [--timeout S] [--misbehave HOW]\n"
     "       arksim mailbox show",
     "play the CMM on the blade's network configuration mailbox",
     "The mailbox is the net_info record in the tunnel block memory of the blade's\n"
     "slot (target 0x80 | slot * 2).  Each access here is one transaction under\n"
     "the tunnel file's lock, as the blade's own accesses are.\n\n"
     "preset   start-up settings for the SP to find when it starts: creates and\n"
     "         formats the mailbox if needed, then writes the ip section, the\n"
     "         check byte (sum of the section, 0 becomes 255) and request byte 2.\n"
     "request  a run-time request: grant byte 0, request byte 1, then the record is\n"
     "         polled every 100 ms; once the SP grants (grant byte 1) the new ip\n"
     "         section is written and both bytes are lowered in one write.  Each\n"
     "         step is printed with the time.  Waits for the SP to create the\n"
     "         mailbox first.  Without a grant in time the request is withdrawn\n"
     "         (never-answer leaves it raised).  Run it with & while the SP polls.\n"
     "show     the mailbox state (absent or foreign, initialized, formatted), the\n"
     "         header and the net_info record field by field.\n\n"
     "DISCOVERY is dhcp, static or a byte value.  Exit status of request: 0 once the\n"
     "CMM's part is played after the grant (never-answer: once the SP withdrew the\n"
     "request itself), 1 on time-out or failure.",
     kMailboxOpts, false, mailbox},
};

}  // namespace

std::span<const Command> mailbox_commands() { return kCommands; }

}  // namespace arkcli
