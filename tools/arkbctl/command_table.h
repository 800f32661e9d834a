// What the command tables of arkbctl (cmd_*.cpp, one a family of commands)
// share: the entries of each table, and the small calls that more than one
// table makes.  commands.cpp joins the tables in order.
#ifndef ARKBCTL_COMMAND_TABLE_H
#define ARKBCTL_COMMAND_TABLE_H

#include <cstdint>
#include <span>
#include <string>

#include "arkbctl_cli.h"

namespace arkbctl {

std::span<const Entry> blade_entries();     // start-up and blade state
std::span<const Entry> midplane_entries();  // mp and platform
std::span<const Entry> thermal_entries();   // thermal and tcontrol
std::span<const Entry> power_entries();
std::span<const Entry> netconf_entries();
std::span<const Entry> records_entries();  // instrec, fru, snapshot

// The detail of a call that read a value: shown only when the call succeeded.
inline std::string if_ok(int r, std::string detail) { return r == 0 ? std::move(detail) : std::string(); }

// A call without arguments whose result says it all.
template <int (*call)()> Outcome plain(const Values &) { return {call()}; }

// The getters of one value through a pointer, and how the value reads.
template <int (*get)(uint8_t *)> Outcome slot_of(const Values &)
{
    uint8_t slot = 0;
    int r = get(&slot);
    return {r, if_ok(r, fmt(", slot %u", slot))};
}

template <int (*store)(uint8_t)> Outcome store_slot(const Values &v)
{
    return {store(static_cast<uint8_t>(v.n[0])), fmt(", slot %lld", v.n[0])};
}

template <int (*get)(uint32_t *)> Outcome type_of(const Values &)
{
    uint32_t type = 0;
    int r = get(&type);
    return {r, if_ok(r, fmt(", type %u (0x%08x)", type, type))};
}

inline uint8_t u8(long long n) { return static_cast<uint8_t>(n); }

}  // namespace arkbctl

#endif
