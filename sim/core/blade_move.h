// Seating a blade elsewhere: in another slot of the same chassis (its state
// stays as it is, as when the slot byte alone changes), or in another
// chassis, which costs the SP its RAM (lose_power) but not its flash
// (EEPROM, /conf, /persist, /usr/local/bin) nor the simulator's records.
#ifndef ARKSIM_BLADE_MOVE_H
#define ARKSIM_BLADE_MOVE_H

#include <string>

namespace arksim {

// What a move ended with: empty `error` on success.
struct MoveResult {
    std::string error;
    std::string dir;  // the blade's folder afterwards
    bool ok() const { return error.empty(); }
};

// Seats blade `name` of `chassis` in `slot` of the same chassis; fails when
// another blade holds that slot.
MoveResult move_to_slot(const std::string &chassis, const std::string &name, int slot);

// Moves blade `name` of `from` into chassis `to` (a folder made by
// create_chassis), into `slot` (-1: the slot it had).  Fails when `to` is
// `from`, holds a blade of that name, or holds another blade in that slot.
// Across file systems the folder is copied, sockets and FIFOs left behind.
MoveResult move_to_chassis(const std::string &from, const std::string &name, const std::string &to, int slot);

// Power lost: the memstore and /dev/shm are emptied, and a running uptime
// clock starts again from now (a frozen one keeps its value).
bool lose_power(const std::string &sp);

}  // namespace arksim

#endif
