// arkbctl's thermal commands: the override flag (thermal) and the control
// value (tcontrol).
#include "arkblade.h"
#include "command_table.h"

namespace arkbctl {

namespace {

const Entry kEntries[] = {
    // thermal override and control
    {"thermal", "show", "arkb_get_thermovrd", "", Ok::Zero,
     [](const Values &) {
         uint8_t o = 0;
         int r = arkb_get_thermovrd(&o);
         return Outcome{r, if_ok(r, fmt(", override %u (%s)", o, o != 0 ? "on" : "off"))};
     },
     "thermal [show]    arkb_get_thermovrd"},
    {"thermal", "set", "arkb_set_thermovrd", "value:0..1", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_set_thermovrd(u8(v.n[0])), fmt(", override %lld", v.n[0])};
     },
     "thermal set 0|1   arkb_set_thermovrd"},
    {"tcontrol", "show", "arkb_get_tcontrol", "", Ok::Zero,
     [](const Values &) {
         int32_t t = 0;
         int r = arkb_get_tcontrol(&t);
         return Outcome{r, if_ok(r, fmt(", tcontrol %d", static_cast<int>(t)))};
     },
     "tcontrol [show]   arkb_get_tcontrol"},
    {"tcontrol", "set", "arkb_set_tcontrol", "N:i32", Ok::Zero,
     [](const Values &v) {
         return Outcome{arkb_set_tcontrol(static_cast<int32_t>(v.n[0])), fmt(", tcontrol %lld", v.n[0])};
     },
     "tcontrol set N    arkb_set_tcontrol (N: signed 32-bit)"},
};

}  // namespace

std::span<const Entry> thermal_entries() { return kEntries; }

}  // namespace arkbctl
