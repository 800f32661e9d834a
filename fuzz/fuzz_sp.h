// Shared by the fuzz targets: a simulated SP of their own (a chassis in a
// fresh temporary folder, blade in slot 3), found by the platform stand-ins
// through ARKSIM_SP.  Its journal goes to /dev/null so that long runs do not
// fill the disk, and sleep() returns at once.
#ifndef ARKB_FUZZ_SP_H
#define ARKB_FUZZ_SP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Creates the SP once (LLVMFuzzerInitialize) and returns its folder.
const std::string &sp();
const std::string &chassis();
// Input bytes resized to `size`, padded with `fill`.
std::vector<uint8_t> fit(const uint8_t *data, std::size_t len, std::size_t size, uint8_t fill);
// Stores `slot` under memstore "slotid", as start-up would have.
void store_slot(uint8_t slot);
// Sends the process's standard output to /dev/null (the dumps print a lot).
void quiet_stdout();

}  // namespace fuzz

#endif
