// Power cuts between any two bus write transactions: the SP process ends
// right after the k-th write transaction (an EEPROM page, a tunnel transfer
// unit, a memstore write, a power-controller write) of a call, for every k the
// call has.  The state after the cut must be the state before the call with
// exactly its first k transactions applied, in the order the call issues them
// (nothing completed is lost, nothing outside them changes), and the next
// start-up must recover.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "arkblade.h"
#include "core/simstate.h"
#include "mailbox/cmm_mailbox.h"
#include "sim_test.h"

// The simulated platform's checksum, as the library uses it.
extern "C" uint32_t compute_checksum32(const uint8_t *buf, int len);

namespace {

constexpr int kCutStatus = 137;
constexpr unsigned kEepromPage = 64;      // the simulated EEPROM's write page
constexpr long long kClock = 1893456000;  // 2030-01-01: the same records every run
constexpr unsigned kSegment = 3195, kRingHeader = 3199, kSlots = 3203, kRecord = 219, kTrailer = 4298;
constexpr int kChecksummed = 1103;
constexpr int kSlot = 3;

// One write transaction as the simulator carries it out: `bytes` at `offset`
// of `file`, or the whole file replaced.
struct Write {
    std::string file;
    unsigned offset = 0;
    Bytes bytes;
    bool replace = false;
    std::size_t min_size = 0;  // a file made by the write has at least this size
};

Bytes data_of(const std::string &line)
{
    Bytes out;
    const std::size_t colon = line.find(" : ");
    for (std::size_t i = colon == std::string::npos ? line.size() : colon + 3; i + 1 < line.size(); i += 3)
        out.push_back(static_cast<uint8_t>(std::strtoul(line.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

// The numbers between the parentheses; a quoted key comes back in `text`.
std::vector<long long> args_of(const std::string &line, std::string &text)
{
    std::vector<long long> out;
    std::string inner = line.substr(line.find('(') + 1, line.find(") = ") - line.find('(') - 1);
    if (!inner.empty() && inner[0] == '"') {
        text = inner.substr(1, inner.find('"', 1) - 1);
        inner = inner.substr(inner.find('"', 1) + 1);
    }
    for (const char *p = inner.c_str(); *p != '\0';) {
        char *end = nullptr;
        const long long v = std::strtoll(p, &end, 0);
        if (end == p) {
            ++p;
            continue;
        }
        out.push_back(v);
        p = end;
    }
    return out;
}

// The write transactions of a journal, split the way the stand-ins split
// them; false on a write call this model does not know.
bool writes_of(const std::vector<std::string> &journal, const std::string &sp, const std::string &chassis,
               std::vector<Write> &out)
{
    for (const std::string &line : journal) {
        const std::string func = line.substr(0, line.find('('));
        std::string key;
        const std::vector<long long> a = args_of(line, key);
        const Bytes data = data_of(line);
        if (func == "elm_i2c_blk_write_on_bus") {  // bus sel1 sel2 addr len offset width unit
            for (unsigned done = 0; done < data.size();) {
                const unsigned at = static_cast<unsigned>(a[5]) + done;
                const unsigned chunk =
                    std::min({static_cast<unsigned>(a[7]), static_cast<unsigned>(data.size()) - done,
                              kEepromPage - at % kEepromPage});
                out.push_back(
                    {sp + "/eeprom.bin", at, Bytes(data.begin() + done, data.begin() + done + chunk)});
                done += chunk;
            }
        } else if (func == "arkmp_tnlblk_write") {  // target len offset width unit
            char name[32];
            std::snprintf(name, sizeof name, "/tunnel/%02llx.bin", a[0]);
            for (std::size_t done = 0; done < data.size(); done += static_cast<std::size_t>(a[4])) {
                const std::size_t chunk = std::min(static_cast<std::size_t>(a[4]), data.size() - done);
                out.push_back({chassis + name, static_cast<unsigned>(a[2] + done),
                               Bytes(data.begin() + done, data.begin() + done + chunk)});
            }
        } else if (func == "memstore_set") {
            out.push_back({sp + "/memstore/" + arksim::encode_key(key), 0, data, true});
        } else if (func == "ark_pwr_i2c_publish") {  // handle watts: bytes 0-1 of the slot's budget
            const auto w = static_cast<uint16_t>(a[1]);
            out.push_back({chassis + "/power/slot" + std::to_string(a[0]),
                           0,
                           {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)},
                           false,
                           4});
        } else if (func.find("write") != std::string::npos && func != "arkmp_writeread") {
            ADD_FAILURE() << "no model of " << line;
            return false;
        }
    }
    return true;
}

State apply(State s, const std::vector<Write> &writes, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const Write &w = writes[i];
        Bytes &f = s[w.file];
        if (w.replace) {
            f = w.bytes;
            continue;
        }
        f.resize(std::max({f.size(), w.min_size, w.offset + w.bytes.size()}), 0);
        std::copy(w.bytes.begin(), w.bytes.end(), f.begin() + w.offset);
    }
    return s;
}

std::string differences(const State &want, const State &got)
{
    std::string out;
    for (const auto &[path, bytes] : want)
        if (!got.count(path) || got.at(path) != bytes)
            out += " " + path;
    for (const auto &[path, bytes] : got)
        if (!want.count(path))
            out += " +" + path;
    return out;
}

bool trailer_valid(const Bytes &e)
{
    const uint32_t sum = compute_checksum32(e.data() + kSegment, kChecksummed);
    return e[kTrailer] == 0x0C && e[kTrailer + 1] == (sum >> 24 & 0xFF) &&
           e[kTrailer + 2] == (sum >> 16 & 0xFF) && e[kTrailer + 3] == (sum >> 8 & 0xFF) &&
           e[kTrailer + 4] == (sum & 0xFF);
}

// The newest record names `slot`.  The trailer is not asked for: a ring
// write cut after the new record but before the trailer leaves the old
// checksum, and the next start finds the installation recorded and writes
// nothing.
std::string ring_problem(const Bytes &e, int slot)
{
    const unsigned newest = e[kRingHeader + 1];
    if (newest >= 5 || e[kRingHeader + 3] != 5)
        return "ring header broken";
    const std::string path = "/CH/BL" + std::to_string(slot);
    return std::memcmp(e.data() + kSlots + kRecord * newest + 4, path.c_str(), path.size() + 1) == 0
               ? ""
               : "newest record is not " + path;
}

struct Walk {
    const char *name;
    std::function<void()> before;          // brings the blade where the walk starts
    std::function<int()> call;             // what is cut, in a child process
    std::function<std::string()> recover;  // after the next start-up: "" or the problem
};

}  // namespace

class PowerCut : public SimTest {
protected:
    // The call in a child, ended after write transaction `cut` (0: never);
    // its exit status.
    int run_cut(const Walk &w, long long cut)
    {
        if (cut > 0)
            fault(arksim::kBusWrite, std::to_string(cut), "cut");
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(w.call() == 0 ? 0 : 1);
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        arksim::clear_faults(sp);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void fresh(const Walk &w)
    {
        SetUp();
        set_wall_clock(kClock);
        w.before();
    }
    std::string installed(int slot)
    {
        if (printf_installationR() != 0)
            return "the dump fails";
        const Bytes e = eeprom();
        stale += trailer_valid(e) ? 0 : 1;
        return ring_problem(e, slot);
    }
    std::string mailbox_answers() const
    {
        namespace mbox = arksim::mbox;
        mbox::Settings s{{10, 0, 4, 20}, {10, 0, 4, 1}, {255, 255, 255, 0}, mbox::kStatic};
        if (!mbox::preset(mbox::tunnel_of(chassis, mbox::slot_target(kSlot)), s, false,
                          [](const std::string &) {}))
            return "the CMM side cannot write";
        netconf_handle h{};
        netconf_settings got{};
        if (arkb_netconf_get_handle(&h) != 0 || arkb_netconf_initial_check(&h, &got) != 1)
            return "the mailbox does not answer";
        uint8_t octets[4];
        std::memcpy(octets, &got.ipaddr, sizeof octets);
        return Bytes(octets, octets + 4) == Bytes{10, 0, 4, 20} ? "" : "wrong settings";
    }
    int tried = 0, recovered = 0, stale = 0;
};

TEST_F(PowerCut, EveryWriteTransactionOfTheWritingCalls)
{
    static const uint8_t kMac[6] = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    netconf_handle h{};
    const netconf_settings ip{0x0A000414u, 0x0A000401u, 0xFFFFFF00u, 2};
    const arkb_pwr_budget budget{300, 250};
    const Walk walks[] = {
        {"segment creation and ring update", [] { ASSERT_EQ(arkb_initialize_mp(), 0); },
         [] { return arkb_instrec_update(); }, [&] { return installed(kSlot); }},
        {"ring update of a moved blade",
         [&] {
             start_up();
             set_slot(4);
             ASSERT_EQ(arkb_initialize_mp(), 0);
         },
         [] { return arkb_instrec_update(); }, [&] { return installed(4); }},
        {"netconf initialize", [] { ASSERT_EQ(arkb_initialize_mp(), 0); },
         [] { return arkb_netconf_initialize(); }, [&] { return mailbox_answers(); }},
        {"publishing the IP settings and the MAC address",
         [&] {
             start_up();
             ASSERT_EQ(arkb_netconf_get_handle(&h), 0);
         },
         [&] { return arkb_netconf_publish_ip(&h, &ip) | arkb_netconf_publish_macaddr(&h, kMac); },
         [&] {
             return arkb_netconf_publish_ip(&h, &ip) == 0 && arkb_netconf_publish_macaddr(&h, kMac) == 0
                        ? mailbox_answers()
                        : "cannot publish again";
         }},
        {"budget publication", [&] { start_up(); }, [&] { return arkb_pwr_publish_budget(&budget); },
         [&] {
             arkb_pwr_budget got{};
             return arkb_pwr_publish_budget(&budget) == 0 && arkb_pwr_get_budget(&got) == 0 &&
                            got.hwconfig_power == 300 && got.permitted_power == 250
                        ? ""
                        : "the budget is not published";
         }},
    };
    for (const Walk &w : walks) {
        SCOPED_TRACE(w.name);
        fresh(w);
        const State before = snapshot();
        clear_journal();
        ASSERT_EQ(run_cut(w, 0), 0) << "the uncut call fails";
        std::vector<Write> writes;
        ASSERT_TRUE(writes_of(journal(), sp, chassis, writes));
        ASSERT_EQ(differences(apply(before, writes, writes.size()), snapshot()), "")
            << "the model of the writes";
        for (std::size_t k = 1; k <= writes.size(); ++k) {
            SCOPED_TRACE("cut after write transaction " + std::to_string(k) + " of " +
                         std::to_string(writes.size()));
            fresh(w);
            ++tried;
            ASSERT_EQ(run_cut(w, static_cast<long long>(k)), kCutStatus);
            const std::string torn = differences(apply(before, writes, k), snapshot());
            EXPECT_EQ(torn, "") << "files not as the first " << k << " writes leave them";
            start_up();
            const std::string problem = w.recover();
            EXPECT_EQ(problem, "");
            recovered += torn.empty() && problem.empty() ? 1 : 0;
        }
    }
    std::printf("power cuts: %d cut points tried, %d recovered (%d leave a stale ring checksum)\n", tried,
                recovered, stale);
    EXPECT_GE(tried, 40);
    EXPECT_EQ(tried, recovered);
}
