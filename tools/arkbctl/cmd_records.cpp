// arkbctl's record commands: the installation record (instrec), the
// manufacturing record (fru manr) and the blade's snapshot.
#include "arkblade.h"
#include "command_table.h"
#include "snapshot.h"

namespace arkbctl {

namespace {

constexpr size_t kManrBuffer = 192;   // get_manr_info writes at most this much
constexpr size_t kManrPayload = 183;  // payload of the manufacturing record

// Payload bytes first..last (inclusive) as text, up to the first NUL.
std::string manr_text(const char *label, const uint8_t *payload, size_t first, size_t last)
{
    std::string s = fmt("%s: \"", label);
    for (size_t i = first; i <= last && payload[i] != 0; ++i)
        s += payload[i] >= 0x20 && payload[i] < 0x7F ? static_cast<char>(payload[i]) : '.';
    return s + "\"\n";
}

Outcome fru_manr(const Values &)
{
    uint8_t payload[kManrBuffer] = {};  // the record's payload, without its tag header
    int r = get_manr_info(payload);
    if (r != 0)
        return {r};
    return {r, "",
            manr_text("part number", payload, 148, 154) + manr_text("serial", payload, 155, 160) +
                manr_text("dash level", payload, 163, 164) + hex_dump(payload, kManrPayload)};
}

const Entry kEntries[] = {
    // installation and manufacturing records
    {"instrec", "update", "arkb_instrec_update", "", Ok::Zero, plain<arkb_instrec_update>,
     "instrec update   arkb_instrec_update"},
    {"instrec", "dump", "arkb_instrec_test", "", Ok::Zero, plain<arkb_instrec_test>,
     "instrec dump     arkb_instrec_test"},
    {"fru", "manr", "get_manr_info", "", Ok::Zero, fru_manr, "fru manr"},
    {"snapshot", "", nullptr, "-o:path", Ok::Zero, snapshot, "snapshot [-o FILE]"},
};

}  // namespace

std::span<const Entry> records_entries() { return kEntries; }

}  // namespace arkbctl
