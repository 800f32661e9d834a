// The dump of the installation records on standard output, oldest first,
// one line per field.  A ring header that names slots the ring does not
// have prints only the slots that exist.
#include <cstdio>
#include <ctime>

#include <array>
#include <cstdint>
#include <span>

#include "../common/bytes.h"
#include "../common/logging.h"
#include "arkb_outside.h"
#include "arkblade.h"
#include "fru_layout.h"

namespace arkb {
namespace {

// ---- Dump ------------------------------------------------------------------------

constexpr const char *kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kTimeTextSize = 64;

// The local time in the asctime() form, with its newline.  The zone is read
// again at every call (localtime_r alone keeps the one it first saw), so that
// a long-running program follows a change of TZ or of the zone files.
void format_local_time(uint32_t seconds, std::span<char, kTimeTextSize> text)
{
    const auto t = static_cast<time_t>(seconds);
    struct tm local {};
    tzset();
    if (localtime_r(&t, &local) == nullptr || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11) {
        std::snprintf(text.data(), text.size(), "?\n");
        return;
    }
    std::snprintf(text.data(), text.size(), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDayNames[local.tm_wday],
                  kMonthNames[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  1900 + local.tm_year);
}

void print_slot(const uint8_t *slots, unsigned index, int &n)
{
    if (index >= kRecordSlots)
        return;  // the ring copy has no such slot
    (void)print_installr_struct(slots + kRecordSize * index, n);
    std::putchar('\n');
    ++n;
}

}  // namespace
}  // namespace arkb

using namespace arkb;

extern "C" {

int print_installr_struct(const uint8_t *record, int n)
{
    std::array<char, kTimeTextSize> when{};
    format_local_time(load_be32(std::span<const uint8_t, 4>(record + kTimestampAt, 4)), when);
    const auto text = [record](unsigned at) { return reinterpret_cast<const char *>(record + at); };
    std::printf("/InstallationR[%d]/UNIX_Timestamp32=%s", n, when.data());
    std::printf("/InstallationR[%d]/Fru_Path=%.128s\n", n, text(kFruPathAt));
    std::printf("/InstallationR[%d]/Parent_Part_Number=%1.7s\n", n, text(kPartNumberAt));
    std::printf("/InstallationR[%d]/Parent_Serial_Number=%1.6s\n", n, text(kSerialNumberAt));
    return std::printf("/InstallationR[%d]/Parent_Dash_Level=%1.2s\n", n, text(kDashLevelAt));
}

int printf_installationR(void)
{
    std::array<uint8_t, kChecksummedSize> copy{};
    if (eeprom_read(copy, kSegmentStart) < 0)
        return -1;
    const unsigned oldest = copy[kCopyOldestAt];
    const unsigned newest = copy[kCopyNewestAt];
    const unsigned count = copy[kCopyCountAt];
    const uint8_t *slots = copy.data() + kCopySlotsAt;
    int n = 0;
    for (unsigned i = oldest; i < count; ++i)
        if (i != newest)
            print_slot(slots, i, n);
    if (oldest != 0 && newest != 0)
        for (unsigned i = 0; i < newest; ++i)
            print_slot(slots, i, n);
    print_slot(slots, newest, n);
    return 0;
}

int arkb_instrec_test(void)
{
    const int rc = printf_installationR();
    if (rc >= 0)
        return rc;
    return std::printf("errrr\n");
}

}  // extern "C"
