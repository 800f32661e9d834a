// arkbctl's start-up and blade state commands: init-mp, init, boot, slot,
// chassis-type, device-type, sas, cmm-ready, fru-read, log.
#include <cstdio>

#include "arkblade.h"
#include "command_table.h"

namespace arkbctl {

namespace {

Outcome cmm_ready_outcome()
{
    int r = arkb_is_cmm_ready();
    return {r, r == 1 ? " (ready)" : " (not ready)"};
}

Outcome boot(const Values &)
{
    int r = arkb_initialize_mp();
    std::string lines = fmt("arkb_initialize_mp: %d\n", r);
    if (r != 0)
        return {r, "", lines + "arkb_initialize: not called\n", nullptr, true};
    r = arkb_initialize();
    return {r, "", lines + fmt("arkb_initialize: %d\n", r), nullptr, true};
}

const Entry kEntries[] = {
    // start-up
    {"init-mp", "", "arkb_initialize_mp", "", Ok::Zero, plain<arkb_initialize_mp>, "init-mp"},
    {"init", "", "arkb_initialize", "", Ok::Zero, plain<arkb_initialize>, "init"},
    {"boot", "", nullptr, "", Ok::Zero, boot, "boot"},

    // blade state
    {"slot", "get", "arkb_get_slotid", "", Ok::Zero, slot_of<arkb_get_slotid>,
     "slot get        arkb_get_slotid: the slot kept in memstore"},
    {"slot", "read", "arkb_read_slotid", "", Ok::Zero, slot_of<arkb_read_slotid>,
     "slot read       arkb_read_slotid: the slot read from the midplane"},
    {"slot", "store", "arkb_store_slotid", "N:u8", Ok::Zero, store_slot<arkb_store_slotid>,
     "slot store N    arkb_store_slotid (N: 0..255)"},
    {"chassis-type", "", "arkb_get_chassis_type", "", Ok::Zero, type_of<arkb_get_chassis_type>,
     "chassis-type"},
    {"device-type", "", "arkb_get_device_type", "", Ok::Zero, type_of<arkb_get_device_type>,
     "device-type          arkb_get_device_type: print the stored type"},
    {"device-type", "--read", "arkb_read_device_type", "", Ok::Zero, plain<arkb_read_device_type>,
     "device-type --read   arkb_read_device_type: read it from the hardware"},
    {"sas", "get", nullptr, "", Ok::Always,
     [](const Values &) {
         uint32_t caps = arkb_get_sas_cap();
         return Outcome{0, "", fmt("arkb_get_sas_cap: %u (0x%08x)\n", caps, caps), nullptr, true};
     },
     "sas get        arkb_get_sas_cap: print the capability word"},
    // memstore's own 1 means stored.
    {"sas", "set", "arkb_set_sas_cap", "WORD:u32", Ok::One,
     [](const Values &v) {
         int r = arkb_set_sas_cap(static_cast<uint32_t>(v.n[0]));
         return Outcome{r, fmt(", caps 0x%08llx%s", v.n[0], r == 1 ? " (stored)" : "")};
     },
     "sas set WORD   arkb_set_sas_cap (WORD: 32-bit; result 1 is success)"},
    {"cmm-ready", "", "arkb_is_cmm_ready", "", Ok::One, [](const Values &) { return cmm_ready_outcome(); },
     "cmm-ready [--update]"},
    {"cmm-ready", "--update", "arkb_is_cmm_ready", "", Ok::One,
     [](const Values &) {
         arkb_update_cmm_ready();
         std::printf("arkb_update_cmm_ready: done\n");
         return cmm_ready_outcome();
     },
     nullptr},
    {"fru-read", "", "arkb_fru_read", "", Ok::Zero, plain<arkb_fru_read>, "fru-read"},
    {"log", "", nullptr, "priority:priority TEXT:text", Ok::Always,
     [](const Values &v) {
         int p = static_cast<int>(v.n[0]);
         arkb_output(p, "%s", v.text.c_str());
         return Outcome{0, "",
                        fmt("arkb_output: priority %d (%s), %zu chars\n", p, priority_name(p), v.text.size()),
                        nullptr, true};
     },
     "log PRIORITY TEXT..."},
};

}  // namespace

std::span<const Entry> blade_entries() { return kEntries; }

}  // namespace arkbctl
