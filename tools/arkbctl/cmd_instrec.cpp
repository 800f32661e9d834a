// instrec (installation record) and fru manr (manufacturing record).
#include <cstdio>

#include "arkblade.h"
#include "arkbctl_cli.h"

namespace arkbctl {

namespace {

constexpr size_t kManrBuffer = 192;   // get_manr_info writes at most this much
constexpr size_t kManrPayload = 183;  // payload of the manufacturing record

// Payload bytes first..last (inclusive) as text, up to the first NUL.
void print_text(const char *label, const uint8_t *payload, size_t first, size_t last)
{
    std::printf("%s: \"", label);
    for (size_t i = first; i <= last && payload[i] != 0; ++i)
        std::putchar(payload[i] >= 0x20 && payload[i] < 0x7F ? payload[i] : '.');
    std::printf("\"\n");
}

int instrec_update(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    int r = arkb_instrec_update();
    std::printf("arkb_instrec_update: %d\n", r);
    return status(r);
}

int instrec_dump(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    std::fflush(stdout);
    int r = arkb_instrec_test();
    std::printf("arkb_instrec_test: %d\n", r);
    return status(r);
}

int fru_manr(Args &a)
{
    if (!want(a, 0, 0))
        return kExitUsage;
    uint8_t buf[kManrBuffer] = {};
    int r = get_manr_info(buf);
    std::printf("get_manr_info: %d\n", r);
    if (r != 0)
        return status(r);
    const uint8_t *payload = buf;  // the record's payload, without its tag header
    print_text("part number", payload, 148, 154);
    print_text("serial", payload, 155, 160);
    print_text("dash level", payload, 163, 164);
    hex_dump(payload, kManrPayload);
    return 0;
}

}  // namespace

int cmd_instrec(Args &a)
{
    static const Sub kSubs[] = {{"update", instrec_update}, {"dump", instrec_dump}};
    return run_sub(kSubs, a);
}

int cmd_fru(Args &a)
{
    static const Sub kSubs[] = {{"manr", fru_manr}};
    return run_sub(kSubs, a);
}

}  // namespace arkbctl
