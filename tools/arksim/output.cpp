// How arksim prints bytes and memstore values.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "arksim_cli.h"
#include "core/simstate.h"

namespace arkcli {

void hexdump(std::span<const uint8_t> data, std::size_t base)
{
    bool squeezing = false;
    for (std::size_t at = 0; at < data.size(); at += 16) {
        std::size_t n = data.size() - at < 16 ? data.size() - at : 16;
        bool same = at >= 16 && n == 16 && std::memcmp(&data[at], &data[at - 16], 16) == 0;
        if (same && at + 16 < data.size()) {
            if (!squeezing)
                std::puts("*");
            squeezing = true;
            continue;
        }
        squeezing = false;
        std::printf("%08zx ", base + at);
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8)
                std::putchar(' ');
            if (i < n)
                std::printf(" %02x", data[at + i]);
            else
                std::fputs("   ", stdout);
        }
        std::fputs("  |", stdout);
        for (std::size_t i = 0; i < n; ++i)
            std::putchar(data[at + i] >= 0x20 && data[at + i] < 0x7f ? data[at + i] : '.');
        std::puts("|");
    }
}

std::string utc_date(uint32_t seconds)
{
    const auto t = static_cast<time_t>(seconds);
    struct tm utc {};
    char text[40];
    if (gmtime_r(&t, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0)
        return "?";
    return text;
}

std::string decode_value(const std::string &key, std::span<const uint8_t> v)
{
    if (key == "slotid" && !v.empty()) {
        unsigned long long n = 0;
        for (uint8_t b : v)
            n = n << 8 | b;
        return "slot " + std::to_string(n);
    }
    if (key == "chassis_type" && v.size() == 2)
        return "chassis type " + std::to_string(v[0] | v[1] << 8);
    if (v.size() == 4) {
        uint32_t u = static_cast<uint32_t>(v[0]) << 24 | v[1] << 16 | v[2] << 8 | v[3];
        return std::to_string(static_cast<int32_t>(u));
    }
    bool text = v.size() > 1;
    for (std::size_t i = 0; i < v.size(); ++i)
        text = text && ((v[i] >= 0x20 && v[i] < 0x7f) || (v[i] == 0 && i + 1 == v.size()));
    if (text)
        return arksim::quoted(
            std::string_view(reinterpret_cast<const char *>(v.data()), v.size() - (v.back() == 0)));
    return "";
}

}  // namespace arkcli
