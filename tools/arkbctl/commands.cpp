// Every arkbctl command, one entry each: command and subcommand, the library
// function, its parameters, what counts as success, the call and its usage
// line.  The runner (runner.cpp) prints "function: result" and the detail the
// call gives; calls that print more lines say so with own_lines.  The entries
// stand in one table a family (cmd_*.cpp); here are the families and the
// tables joined in the order of `arkbctl --help`.
#include <vector>

#include "command_table.h"

namespace arkbctl {

namespace {

const Family kFamilies[] = {
    {"init-mp", "arkb_initialize_mp", "Calls arkb_initialize_mp (first start-up step).\n", nullptr},
    {"init", "arkb_initialize", "Calls arkb_initialize (second start-up step).\n", nullptr},
    {"boot", "both start-up calls in order",
     "Calls arkb_initialize_mp, then arkb_initialize if that returned 0.\n"
     "Exit 0 only if both returned 0.\n",
     nullptr},
    {"slot", "get, read or store the slot number", "", nullptr},
    {"chassis-type", "the chassis type",
     "Calls arkb_get_chassis_type and prints the type in decimal and hex.\n", nullptr},
    {"device-type", "the blade's device type", "", nullptr},
    {"sas", "get or set the SAS capability word", "", nullptr},
    {"cmm-ready", "is the CMM ready",
     "Calls arkb_is_cmm_ready (after arkb_update_cmm_ready with --update).\n"
     "Exit 0 if the CMM is ready (result 1), 1 otherwise.\n",
     nullptr},
    {"fru-read", "arkb_fru_read", "Calls arkb_fru_read.\n", nullptr},
    {"mp", "midplane registers and tunnel block memory",
     "Numbers take 0x for hex.  --width is the offset width in bits (default 16),\n"
     "--unit the bytes per transaction (default 32).  HEXBYTES: \"0a1b2c\",\n"
     "\"0a:1b:2c\" or \"0x0a,0x1b\".  Results are byte counts: exit 0 when >= 0.\n",
     nullptr},
    {"platform", "the platform layer (arkbp_*)", "", nullptr},
    {"thermal", "thermal override flag", "", "show"},
    {"tcontrol", "thermal control value", "", "show"},
    {"power", "power budget and admission",
     "WATTS: a number or \"hwconfig\" (0x7FFFFFFF).  M: ask|admit-on-silence|admit-all\n"
     "or 0|1|2 (default ask).  Admission results: 0 admitted, -8 no cached budget,\n"
     "-10 refused, -17 no answer.  'on', 'cmm' and, with no allotment stored, 'off'\n"
     "may block on the CMM.\n",
     "show"},
    {"netconf", "network configuration mailbox",
     "ADDR, GW, MASK: dotted quads.  DISCOVERY: dhcp|static|1|2 or any number.\n"
     "MAC: aa:bb:cc:dd:ee:ff.  The commands after 'init' fetch the handle first.\n"
     "A check blocks up to 16 s after granting a request.\n",
     nullptr},
    {"instrec", "installation record", "", nullptr},
    {"fru", "manufacturing record",
     "Calls get_manr_info and prints the part number, serial and dash level,\n"
     "then a hex dump of the 183-byte record payload.\n",
     nullptr},
    {"snapshot", "the blade's state as one JSON document, for the simulator",
     "Reads, and never writes, what the library keeps and reads: its memstore keys,\n"
     "the /dev/shm files, the switch files, midplane registers 0x9C, 0x4C and 0x7E\n"
     "and the slot's thermal override register, the slot byte, the uptime, the FRU\n"
     "EEPROM's directory and InstallR segment, the slot's mailbox, the chassis FRU\n"
     "data and the published budget.  A part that cannot be read is recorded with\n"
     "the result that refused it.  `arksim create --from FILE` builds a simulated\n"
     "blade from it; the fields are in arkbctl(1).\n",
     nullptr},
    {"log", "write a line through arkb_output",
     "Calls arkb_output(PRIORITY, \"%s\", TEXT).  PRIORITY: a number or\n"
     "emerg|alert|crit|err|warning|notice|info|debug (0..7).\n",
     nullptr},
};

}  // namespace

std::span<const Family> families() { return kFamilies; }

std::span<const Entry> entries()
{
    static const std::vector<Entry> all = [] {
        std::vector<Entry> v;
        for (auto table : {blade_entries, midplane_entries, thermal_entries, power_entries, netconf_entries,
                           records_entries})
            v.insert(v.end(), table().begin(), table().end());
        return v;
    }();
    return all;
}

}  // namespace arkbctl
