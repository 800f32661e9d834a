// Power cuts during the installation record update: the SP process ends right
// after each EEPROM write call of segment creation and of the ring update (a
// child process with the "cut" fault), the section must be in one of the
// states those writes pass through, and the next start must record the
// installation.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "arkblade.h"
#include "core/simstate.h"
#include "sim_test.h"

// The simulated platform's checksum, as the library uses it.
extern "C" uint32_t compute_checksum32(const uint8_t *buf, int len);

namespace {

constexpr unsigned kSegment = 3195, kRingHeader = 3199, kSlots = 3203, kRecord = 219, kTrailer = 4298;
constexpr unsigned kChecksummed = 1103;
const Bytes kFreshRing = {0xF8, 0x00, 0x14, 0x4B, 0, 0, 0, 5};
constexpr int kCutStatus = 137;

// The states a section goes through: no InstallR descriptor counted, counted
// but the ring header not yet written, fresh ring header without its
// checksum, empty ring, ring holding `records` installations.
enum class Section { Bare, Counted, FreshNoTrailer, Empty, Recorded, Foreign };
const char *name(Section s)
{
    static const char *const names[] = {"bare",       "counted",  "fresh ring, no trailer",
                                        "empty ring", "recorded", "foreign"};
    return names[static_cast<int>(s)];
}

bool trailer_valid(const Bytes &e)
{
    const uint32_t sum = compute_checksum32(e.data() + kSegment, kChecksummed);
    return e[kTrailer] == 0x0C && e[kTrailer + 1] == (sum >> 24 & 0xFF) &&
           e[kTrailer + 2] == (sum >> 16 & 0xFF) && e[kTrailer + 3] == (sum >> 8 & 0xFF) &&
           e[kTrailer + 4] == (sum & 0xFF);
}

Section classify(const Bytes &e)
{
    bool counted = false;
    for (unsigned i = 0; i < e[5] && i < 24; ++i)
        counted = counted || (e[6 + 10 * i] == 'F' && e[7 + 10 * i] == 'D');
    if (!counted)
        return Section::Bare;
    if (!std::equal(kFreshRing.begin(), kFreshRing.begin() + 4, e.begin() + kSegment))
        return Section::Counted;
    const bool fresh = std::equal(kFreshRing.begin(), kFreshRing.end(), e.begin() + kSegment);
    if (!trailer_valid(e))
        return fresh ? Section::FreshNoTrailer : Section::Foreign;
    return fresh ? Section::Empty : Section::Recorded;
}

// The newest record describes slot `slot` of this chassis.
bool newest_is(const Bytes &e, int slot, const Bytes &parent)
{
    const unsigned newest = e[kRingHeader + 1];
    if (newest >= 5)
        return false;
    const uint8_t *rec = e.data() + kSlots + kRecord * newest;
    const std::string path = "/CH/BL" + std::to_string(slot);
    return std::memcmp(rec + 4, path.c_str(), path.size() + 1) == 0 &&
           std::memcmp(rec + 132, parent.data() + 148, 7) == 0 &&
           std::memcmp(rec + 139, parent.data() + 155, 6) == 0;
}

}  // namespace

class PowerCut : public SimTest {
protected:
    // arkb_instrec_update in a child that ends after the n-th EEPROM write;
    // true when the cut happened.
    bool cut_after_write(int n)
    {
        fault("elm_i2c_blk_write_on_bus", std::to_string(n), "cut");
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(arkb_instrec_update() == 0 ? 0 : 1);
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        arksim::clear_faults(sp);
        EXPECT_TRUE(WIFEXITED(status));
        return WIFEXITED(status) && WEXITSTATUS(status) == kCutStatus;
    }
    int tried = 0, recovered = 0;
};

TEST_F(PowerCut, EveryEepromWriteOfCreationAndRingUpdate)
{
    struct Phase {
        const char *name;
        int slot;                        // slot of the installation that is cut
        std::vector<Section> after_cut;  // state after the cut at each write
        unsigned records;                // records once the next start is done
    } phases[] = {
        {"new blade",
         3,
         {Section::Bare, Section::Counted, Section::FreshNoTrailer, Section::Empty, Section::Recorded},
         1},
        {"moved blade", 4, {Section::Recorded}, 2},
    };
    for (const Phase &p : phases) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(p.name) + ", cut after write " + std::to_string(n));
            SetUp();
            ASSERT_EQ(arkb_initialize_mp(), 0);
            if (p.slot != 3) {  // installed in slot 3 first, then moved
                ASSERT_EQ(arkb_initialize(), 0);
                set_slot(p.slot);
                ASSERT_EQ(arkb_initialize_mp(), 0);
            }
            Bytes parent(192, 0);
            ASSERT_EQ(get_manr_info(parent.data()), 0);
            if (!cut_after_write(n)) {
                EXPECT_EQ(static_cast<std::size_t>(n), p.after_cut.size() + 1) << "write calls";
                break;
            }
            ++tried;
            const Section s = classify(eeprom());
            ASSERT_LT(static_cast<std::size_t>(n), p.after_cut.size() + 1);
            EXPECT_EQ(name(s), std::string(name(p.after_cut[n - 1])));
            // The next start.
            ASSERT_EQ(arkb_initialize_mp(), 0);
            ASSERT_EQ(arkb_initialize(), 0);
            const Bytes e = eeprom();
            const bool ok = s == p.after_cut[n - 1] && classify(e) == Section::Recorded &&
                            e[kRingHeader + 2] == p.records && newest_is(e, p.slot, parent);
            EXPECT_TRUE(ok) << "after the restart: " << name(classify(e)) << ", " << int(e[kRingHeader + 2])
                            << " records";
            recovered += ok ? 1 : 0;
        }
    }
    std::printf("power cuts: %d cut points tried, %d recovered\n", tried, recovered);
    EXPECT_EQ(tried, 6);
    EXPECT_EQ(tried, recovered);
}
