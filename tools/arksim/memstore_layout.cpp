// The layouts of the memstore keys that hold numbers.
#include "memstore_layout.h"

#include <string>

namespace arkcli {
namespace {

struct Known {
    const char *key;
    Layout layout;
};

constexpr Known kKeys[] = {
    {"slotid", Layout::U8},           {"ARKB/CMMREADY", Layout::U8},
    {"therm_ovrd", Layout::U8},       {"chassis_type", Layout::U16Low},
    {"device_type", Layout::U32},     {"ARKB/SAS_CAPS", Layout::U32},
    {"arkb_pwrpubtime", Layout::U32}, {"SSBCAST/CH/TIMESTAMP", Layout::U32},
    {"tcontrol", Layout::I32},        {"available_power", Layout::I32},
    {"ARKB/PWRDEC", Layout::I32},     {"ARKB/PWRBUDGET", Layout::TwoU16},
};

// The sensor readings of the broadcast, "SSBCAST/CH/<id0><id1>" in hex.
constexpr std::string_view kSensorPrefix = "SSBCAST/CH/";
constexpr std::size_t kSensorIdDigits = 4;

bool is_sensor_key(std::string_view key)
{
    if (!key.starts_with(kSensorPrefix) || key.size() != kSensorPrefix.size() + kSensorIdDigits)
        return false;
    for (char c : key.substr(kSensorPrefix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

uint32_t be(std::span<const uint8_t> v)
{
    uint32_t u = 0;
    for (uint8_t b : v)
        u = u << 8 | b;
    return u;
}

}  // namespace

std::optional<Layout> key_layout(std::string_view key)
{
    for (const Known &k : kKeys)
        if (key == k.key)
            return k.layout;
    if (is_sensor_key(key))
        return Layout::I32;
    return std::nullopt;
}

std::optional<long long> decode_number(Layout l, std::span<const uint8_t> v, long long *second)
{
    switch (l) {
    case Layout::U8:
        if (v.size() == 1)
            return v[0];
        break;
    case Layout::U16Low:
        if (v.size() == 2)
            return v[0] | v[1] << 8;
        break;
    case Layout::U32:
        if (v.size() == 4)
            return be(v);
        break;
    case Layout::I32:
        if (v.size() == 4)
            return static_cast<int32_t>(be(v));
        break;
    case Layout::TwoU16:
        if (v.size() == 4) {
            if (second != nullptr)
                *second = be(v.subspan(2));
            return be(v.first(2));
        }
        break;
    }
    return std::nullopt;
}

}  // namespace arkcli
