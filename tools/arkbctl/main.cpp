// arkbctl: the SP engineer's command-line front to libarkblade.
#include <cstdio>
#include <cstring>

#include "arkbctl_cli.h"

namespace arkbctl {
namespace {

const char kInitMp[] = "usage: arkbctl init-mp\n"
                       "Calls arkb_initialize_mp (first start-up step).\n";

const char kInit[] = "usage: arkbctl init\n"
                     "Calls arkb_initialize (second start-up step).\n";

const char kBoot[] = "usage: arkbctl boot\n"
                     "Calls arkb_initialize_mp, then arkb_initialize if that returned 0.\n"
                     "Exit 0 only if both returned 0.\n";

const char kSlot[] = "usage: arkbctl slot get        arkb_get_slotid: the slot kept in memstore\n"
                     "       arkbctl slot read       arkb_read_slotid: the slot read from the midplane\n"
                     "       arkbctl slot store N    arkb_store_slotid (N: 0..255)\n";

const char kChassisType[] = "usage: arkbctl chassis-type\n"
                            "Calls arkb_get_chassis_type and prints the type in decimal and hex.\n";

const char kDeviceType[] =
    "usage: arkbctl device-type          arkb_get_device_type: print the stored type\n"
    "       arkbctl device-type --read   arkb_read_device_type: read it from the hardware\n";

const char kSas[] = "usage: arkbctl sas get        arkb_get_sas_cap: print the capability word\n"
                    "       arkbctl sas set WORD   arkb_set_sas_cap (WORD: 32-bit; result 1 is success)\n";

const char kCmmReady[] = "usage: arkbctl cmm-ready [--update]\n"
                         "Calls arkb_is_cmm_ready (after arkb_update_cmm_ready with --update).\n"
                         "Exit 0 if the CMM is ready (result 1), 1 otherwise.\n";

const char kFruRead[] = "usage: arkbctl fru-read\n"
                        "Calls arkb_fru_read.\n";

const char kLog[] = "usage: arkbctl log PRIORITY TEXT...\n"
                    "Calls arkb_output(PRIORITY, \"%s\", TEXT).  PRIORITY: a number or\n"
                    "emerg|alert|crit|err|warning|notice|info|debug (0..7).\n";

const char kMp[] = "usage: arkbctl mp read REG                 arkb_mp_read of one register byte\n"
                   "       arkbctl mp write REG BYTE           arkb_mp_write of one register byte\n"
                   "       arkbctl mp writeread TARGET BYTE    arkb_mp_writeread: write BYTE, read one byte\n"
                   "       arkbctl mp tnl-read TARGET OFFSET LEN [--width 8|16] [--unit N]\n"
                   "       arkbctl mp tnl-write TARGET OFFSET HEXBYTES [--width 8|16] [--unit N]\n"
                   "       arkbctl mp tunneling-init [0|1]     arkb_mp_tunneling_init (default 1)\n"
                   "Numbers take 0x for hex.  --width is the offset width in bits (default 16),\n"
                   "--unit the bytes per transaction (default 32).  HEXBYTES: \"0a1b2c\",\n"
                   "\"0a:1b:2c\" or \"0x0a,0x1b\".  Results are byte counts: exit 0 when >= 0.\n";

const char kPlatform[] =
    "usage: arkbctl platform read-slot                 arkbp_read_slotid\n"
    "       arkbctl platform store-slot N              arkbp_store_slotid\n"
    "       arkbctl platform device-type               arkbp_read_device_type\n"
    "       arkbctl platform init SLOT                 arkbp_platform_specific_initialize\n"
    "       arkbctl platform pca-path                  arkbp_pca9501_filepath\n"
    "       arkbctl platform eeprom-read OFFSET LEN    arkbp_read_mbfruid_elmsect\n"
    "       arkbctl platform eeprom-write OFFSET HEXBYTES\n"
    "                                                  arkbp_write_mbfruid_elmsect\n";

const char kThermal[] = "usage: arkbctl thermal [show]    arkb_get_thermovrd\n"
                        "       arkbctl thermal set 0|1   arkb_set_thermovrd\n";

const char kTcontrol[] = "usage: arkbctl tcontrol [show]   arkb_get_tcontrol\n"
                         "       arkbctl tcontrol set N    arkb_set_tcontrol (N: signed 32-bit)\n";

const char kPower[] =
    "usage: arkbctl power [show]                 every budget getter, one line each\n"
    "       arkbctl power publish HW PERMITTED   arkb_pwr_publish_budget (watts, 0..65535)\n"
    "       arkbctl power ready                  arkb_pwr_decision_ready\n"
    "       arkbctl power on WATTS [--mode M] [--node N]\n"
    "                                            arkb_pwr_poweron (arkb_pwr_poweron_node\n"
    "                                            with --node)\n"
    "       arkbctl power off                    arkb_pwr_poweroff\n"
    "       arkbctl power decision               arkb_pwr_getdecision\n"
    "       arkbctl power available              arkb_get_available_power\n"
    "       arkbctl power self-test              arkb_pwr_unit_test\n"
    "       arkbctl power cmm WATTS              arkb_pwr_cmm_request_power\n"
    "WATTS: a number or \"hwconfig\" (0x7FFFFFFF).  M: ask|admit-on-silence|admit-all\n"
    "or 0|1|2 (default ask).  Admission results: 0 admitted, -8 no cached budget,\n"
    "-10 refused, -17 no answer.  'on' and 'cmm' may block on the CMM.\n";

const char kNetconf[] =
    "usage: arkbctl netconf init                  arkb_netconf_initialize\n"
    "       arkbctl netconf handle                arkb_netconf_get_handle, print its fields\n"
    "       arkbctl netconf check                 one arkb_netconf_check_req\n"
    "       arkbctl netconf watch [--interval SEC] [--count N]\n"
    "                                             poll arkb_netconf_check_req until it\n"
    "                                             returns 1 (default every 1 s, no limit)\n"
    "       arkbctl netconf initial-check         arkb_netconf_initial_check\n"
    "       arkbctl netconf publish-ip ADDR DISCOVERY GW MASK\n"
    "                                             arkb_netconf_publish_ip\n"
    "       arkbctl netconf publish-mac MAC       arkb_netconf_publish_macaddr\n"
    "       arkbctl netconf dump                  arkb_netconf_test\n"
    "ADDR, GW, MASK: dotted quads.  DISCOVERY: dhcp|static|1|2 or any number.\n"
    "MAC: aa:bb:cc:dd:ee:ff.  The commands after 'init' fetch the handle first.\n"
    "A check blocks up to 16 s after granting a request.\n";

const char kInstrec[] = "usage: arkbctl instrec update   arkb_instrec_update\n"
                        "       arkbctl instrec dump     arkb_instrec_test\n";

const char kFru[] = "usage: arkbctl fru manr\n"
                    "Calls get_manr_info and prints the part number, serial and dash level,\n"
                    "then a hex dump of the 183-byte record payload.\n";

const Command kCommands[] = {
    {"init-mp", cmd_init_mp, "arkb_initialize_mp", kInitMp},
    {"init", cmd_init, "arkb_initialize", kInit},
    {"boot", cmd_boot, "both start-up calls in order", kBoot},
    {"slot", cmd_slot, "get, read or store the slot number", kSlot},
    {"chassis-type", cmd_chassis_type, "the chassis type", kChassisType},
    {"device-type", cmd_device_type, "the blade's device type", kDeviceType},
    {"sas", cmd_sas, "get or set the SAS capability word", kSas},
    {"cmm-ready", cmd_cmm_ready, "is the CMM ready", kCmmReady},
    {"fru-read", cmd_fru_read, "arkb_fru_read", kFruRead},
    {"mp", cmd_mp, "midplane registers and tunnel block memory", kMp},
    {"platform", cmd_platform, "the platform layer (arkbp_*)", kPlatform},
    {"thermal", cmd_thermal, "thermal override flag", kThermal},
    {"tcontrol", cmd_tcontrol, "thermal control value", kTcontrol},
    {"power", cmd_power, "power budget and admission", kPower},
    {"netconf", cmd_netconf, "network configuration mailbox", kNetconf},
    {"instrec", cmd_instrec, "installation record", kInstrec},
    {"fru", cmd_fru, "manufacturing record", kFru},
    {"log", cmd_log, "write a line through arkb_output", kLog},
};

void print_main_usage(FILE *out)
{
    std::fprintf(out, "usage: arkbctl COMMAND [ARGS...]\n"
                      "       arkbctl COMMAND --help\n"
                      "Runs libarkblade calls and prints each call's raw result.\n"
                      "Exit status: 0 success, 1 the library reported failure, 2 bad usage.\n\n"
                      "commands:\n");
    for (const Command &c : kCommands)
        std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
}

const Command *find_command(const char *name)
{
    for (const Command &c : kCommands) {
        if (std::strcmp(c.name, name) == 0)
            return &c;
    }
    return nullptr;
}

bool is_help(const char *s) { return std::strcmp(s, "--help") == 0 || std::strcmp(s, "-h") == 0; }

int run(int argc, char **argv)
{
    if (argc < 2) {
        print_main_usage(stderr);
        return kExitUsage;
    }
    if (is_help(argv[1]) || std::strcmp(argv[1], "help") == 0) {
        const Command *c = argc > 2 ? find_command(argv[2]) : nullptr;
        if (c != nullptr)
            std::fputs(c->usage, stdout);
        else
            print_main_usage(stdout);
        return 0;
    }
    const Command *c = find_command(argv[1]);
    if (c == nullptr)
        return usage_error("unknown command '%s'", argv[1]);
    set_command(c);
    Args args(argv + 2, argv + argc);
    for (const char *s : args) {
        if (is_help(s)) {
            std::fputs(c->usage, stdout);
            return 0;
        }
    }
    return c->run(args);
}

}  // namespace
}  // namespace arkbctl

int main(int argc, char **argv) { return arkbctl::run(argc, argv); }
