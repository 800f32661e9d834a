// The reader of blade snapshots (`arksim create --from`): any bytes as the
// document, through the JSON library's parser and every member's checks.
#include <cstdint>
#include <string>
#include <string_view>

#include "snapshot_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    arkcli::Snapshot s;
    std::string error;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (arkcli::parse_snapshot(text, "fuzz.json", s, error))
        (void)arkcli::snapshot_allotment(s);
    else if (error.empty())
        __builtin_trap();  // every refusal says why
    return 0;
}
