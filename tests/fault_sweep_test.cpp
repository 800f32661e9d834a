// Fault sweep: every exported function over a scenario that reaches each of
// its platform calls; each of those calls fails in turn.  Checked for every
// (function, call site) pair: the documented result, no descriptor leaked,
// no platform call after a failure that ends the call at once, and nothing
// written at all when no write call succeeded.
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "arkblade.h"
#include "core/chassis.h"
#include "core/simstate.h"
#include "sim_test.h"

namespace {

namespace fs = std::filesystem;

// What a failed call answers: memstore's failure is 0, everything else's -1.
// The checksums and tag size have no failure; their fault answers a wrong value.
int failure_value(const std::string &func) { return func.rfind("memstore_", 0) == 0 ? 0 : -1; }
bool is_value_fault(const std::string &func) { return func.rfind("compute_", 0) == 0; }

constexpr const char *kWrites[] = {"memstore_set",
                                   "arkmp_write",
                                   "arkmp_writeread",
                                   "arkmp_tnlblk_write",
                                   "arkmp_tnlblk_write_fromfile",
                                   "elm_i2c_blk_write_on_bus",
                                   "ark_pwr_i2c_publish"};

bool is_write(const std::string &func)
{
    for (const char *w : kWrites)
        if (func == w)
            return true;
    return false;
}

std::string func_of(const std::string &line) { return line.substr(0, line.find('(')); }
long long result_of(const std::string &line)
{
    std::size_t eq = line.rfind(") = ");
    return eq == std::string::npos ? 0 : std::atoll(line.c_str() + eq + 4);
}
bool succeeded(const std::string &line)
{
    long long rc = result_of(line);
    return func_of(line).rfind("memstore_", 0) == 0 ? rc == 1 : rc >= 0;
}

int open_fds()
{
    int n = 0;
    for (const auto &e : fs::directory_iterator("/proc/self/fd"))
        n += e.path().filename() != "." ? 1 : 0;
    return n;
}

// Expected results: "func#n=rc", "func=rc" or "*=rc", first match wins; rc is
// a number, "base" (the result without a fault) or "any"; a trailing "!"
// means the failure ends the call at once: no platform call after it.
struct Want {
    bool any = false, base = false, stop = false;
    long long rc = 0;
};

Want want_for(const std::string &rules, const std::string &func, int n)
{
    std::istringstream in(rules);
    std::string tok;
    while (in >> tok) {
        std::size_t eq = tok.find('=');
        std::string who = tok.substr(0, eq), what = tok.substr(eq + 1);
        if (who != "*" && who != func && who != func + "#" + std::to_string(n))
            continue;
        Want w;
        if (!what.empty() && what.back() == '!') {
            w.stop = true;
            what.pop_back();
        }
        w.any = what == "any";
        w.base = what == "base";
        w.rc = std::atoll(what.c_str());
        return w;
    }
    return Want{false, true};  // not named: the fault changes nothing visible
}

// The function names a rule list names ("*" aside), without their "#n".
std::vector<std::string> named_functions(const std::string &rules)
{
    std::vector<std::string> names;
    std::istringstream in(rules);
    std::string tok;
    while (in >> tok) {
        std::string who = tok.substr(0, tok.find('='));
        who = who.substr(0, who.find('#'));
        if (who != "*")
            names.push_back(who);
    }
    return names;
}

struct Case {
    const char *name;
    std::function<void()> setup;
    std::function<long long()> call;
    const char *want;
};

}  // namespace

class FaultSweep : public SimTest {
protected:
    // Runs one case with the n-th call of `func` failing (none when empty):
    // the journal of the call, its result in `rc`, the state before it.
    std::vector<std::string> run(const Case &c, long long &rc, State *before = nullptr,
                                 const std::string &func = "", int n = 0)
    {
        SetUp();
        ::unlink("/conf/override_powerctl");
        ::unlink("/persist/node1");
        c.setup();
        if (before != nullptr)
            *before = snapshot();
        const std::size_t skip = journal().size();
        if (!func.empty())
            fault(func, std::to_string(n), std::to_string(failure_value(func)));
        std::fflush(stdout);
        const int out = ::dup(1), null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        rc = c.call();
        std::fflush(stdout);
        ::dup2(out, 1);
        ::close(out);
        ::close(null);
        arksim::clear_faults(sp);
        on_sleep(nullptr);
        std::vector<std::string> lines = journal();
        return {lines.begin() + static_cast<long>(skip), lines.end()};
    }
    int tried = 0, held = 0;
};

TEST_F(FaultSweep, EveryCallSiteOfEveryExportedFunction)
{
    uint8_t slot = 0, byte = 0;
    uint32_t word = 0;
    int32_t tc = 0;
    std::array<uint8_t, 1200> buf{};
    netconf_handle h{};
    netconf_settings ns{};
    arkb_pwr_budget pb{};
    const arkb_pwr_budget budget{350, 250};
    const uint8_t mac[6] = {2, 0, 0, 0, 0, 3};
    const uint8_t mpbuf[2] = {0x5F, 0};
    auto none = [] {};
    auto fresh_sp = [this] { set_key("slotid", {3}); };
    auto booted = [] { start_up(); };
    auto netconf_ready = [&] {
        start_up();
        ASSERT_EQ(arkb_netconf_get_handle(&h), 0);
    };
    auto request_raised = [&] {
        netconf_ready();
        Bytes rec = {1, 0, 10, 0, 0, 5, 2, 10, 0, 0, 1, 255, 255, 255, 0};
        ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0x86, h.offset, rec));
        // The mailbox peer answers the grant at the first poll.
        on_sleep([&](std::size_t) { arksim::write_tunnel_bytes(chassis, 0x86, h.offset, {0, 0}); });
    };
    auto moved = [this] {
        start_up();
        set_slot(4);
        ASSERT_EQ(arkb_initialize_mp(), 0);
    };
    auto budgeted = [this] {
        start_up();
        set_uptime(1234);
        set_key("ARKB/PWRBUDGET", {0x01, 0x2C, 0x00, 0xC8});
        set_key("ARKB/CMMREADY", {1});
        set_key("arkb_pwrpubtime", {0, 0, 0x03, 0xE8});
        set_key("available_power", {0, 0, 0, 150});
        set_key("ARKB/PWRDEC", {0, 0, 0, 1});
        ASSERT_TRUE(arksim::write_file_atomic(chassis + "/power/slot3", Bytes{0x01, 0x2C, 0x00, 0xC8}));
    };
    auto broadcast = [this] {
        start_up();
        set_key("SSBCAST/CH/TIMESTAMP", {0, 0, 0, 1});
        set_uptime(200);
    };

    const Case cases[] = {
        // start-up
        {"arkb_initialize_mp", none, [] { return arkb_initialize_mp(); },
         "arkmp_read_slotid=-1! arkmp_tunneling_init=-1! *=0"},
        {"arkb_initialize", [] { ASSERT_EQ(arkb_initialize_mp(), 0); }, [] { return arkb_initialize(); },
         "memstore_get#1=-1! *=0"},
        // blade state
        {"arkb_get_slotid", fresh_sp, [&] { return arkb_get_slotid(&slot); }, "memstore_get=-1!"},
        {"arkb_store_slotid", none, [] { return arkb_store_slotid(3); }, "memstore_set=-1!"},
        {"arkb_read_slotid", none, [&] { return arkb_read_slotid(&slot); }, "*=-1!"},
        {"arkb_get_device_type", booted, [&] { return arkb_get_device_type(&word) * 100 + word; },
         "memstore_get=0"},
        {"arkb_get_chassis_type", booted, [&] { return arkb_get_chassis_type(&word) * 100000 + word; },
         "memstore_get=0"},
        {"arkb_set_sas_cap", none, [] { return arkb_set_sas_cap(0x12345678); }, "memstore_set=0"},
        {"arkb_get_sas_cap", [] { arkb_set_sas_cap(7); }, [] { return arkb_get_sas_cap(); },
         "memstore_get=0"},
        {"arkb_is_cmm_ready", broadcast,
         [] {
             arkb_update_cmm_ready();
             return arkb_is_cmm_ready();
         },
         "memstore_get=0"},
        {"arkb_update_cmm_ready", broadcast,
         [] {
             arkb_update_cmm_ready();
             return 0;
         },
         "*=0"},
        {"arkb_set_thermovrd", booted, [] { return arkb_set_thermovrd(1); },
         "memstore_get=-1! arkmp_write=-1! memstore_set=-1!"},
        {"arkb_get_thermovrd", booted, [&] { return arkb_get_thermovrd(&byte); }, "*=-1!"},
        // midplane pass-throughs and platform layer
        {"arkb_mp_read", none, [&] { return arkb_mp_read(0x9C, buf.data(), 1); }, "*=-1!"},
        {"arkb_mp_write", none, [&] { return arkb_mp_write(0x06, mpbuf, 1); }, "*=-1!"},
        {"arkb_mp_writeread", none, [&] { return arkb_mp_writeread(0x86, mpbuf, buf.data(), 1, 1); },
         "*=-1!"},
        {"arkb_mp_tnlblk_read", none,
         [&] { return arkb_mp_tnlblk_read(0xAA, buf.data(), 64, 0x1800, 16, 64); }, "*=-1!"},
        {"arkb_mp_tnlblk_write", none, [&] { return arkb_mp_tnlblk_write(0x86, mpbuf, 2, 0, 8, 8); },
         "*=-1!"},
        {"arkb_mp_tunneling_init", none, [] { return arkb_mp_tunneling_init(1); }, "*=-1!"},
        {"arkbp_read_mbfruid_elmsect", none, [&] { return arkbp_read_mbfruid_elmsect(buf.data(), 64, 0); },
         "*=-1!"},
        {"arkbp_write_mbfruid_elmsect", none, [&] { return arkbp_write_mbfruid_elmsect(mpbuf, 2, 0x3000); },
         "*=-1!"},
        {"arkbp_read_slotid", none, [&] { return arkbp_read_slotid(&slot); }, "*=-1!"},
        {"arkbp_store_slotid", none, [] { return arkbp_store_slotid(3); }, "*=-1!"},
        // installation record
        {"get_manr_info", none,
         [&] {
             // out stays untouched on failure
             buf.fill(0x5A);
             int rc = get_manr_info(buf.data());
             return rc < 0 && buf[0] != 0x5A ? 999 : rc;
         },
         "get_tag_type=-1 get_tag_size=-1 *=-1!"},
        {"arkb_instrec_update", [] { ASSERT_EQ(arkb_initialize_mp(), 0); },
         [] { return arkb_instrec_update(); }, "get_tag_type=-1 get_tag_size=-1 *=-1!"},
        {"arkb_instrec_update (moved)", moved, [] { return arkb_instrec_update(); },
         "get_tag_type=-1 get_tag_size=-1 *=-1!"},
        {"printf_installationR", booted, [] { return printf_installationR(); }, "*=-1!"},
        {"arkb_instrec_test", booted, [] { return arkb_instrec_test(); }, "*=6!"},
        // netconf
        {"arkb_netconf_initialize", fresh_sp, [] { return arkb_netconf_initialize(); }, "*=-1!"},
        {"arkb_netconf_get_handle", booted, [&] { return arkb_netconf_get_handle(&h); },
         "memstore_get=-1 *=-1!"},
        {"arkb_netconf_check_req", request_raised, [&] { return arkb_netconf_check_req(&h, &ns); },
         "arkmp_tnlblk_read=1 *=0!"},
        {"arkb_netconf_initial_check", request_raised, [&] { return arkb_netconf_initial_check(&h, &ns); },
         "*=0!"},
        {"arkb_netconf_publish_ip", netconf_ready,
         [&] {
             netconf_settings s{0x0500000A, 0x0100000A, 0x00FFFFFF, 2};
             return arkb_netconf_publish_ip(&h, &s);
         },
         "*=-1!"},
        {"arkb_netconf_publish_macaddr", netconf_ready, [&] { return arkb_netconf_publish_macaddr(&h, mac); },
         "*=-1!"},
        {"arkb_netconf_test", booted, [] { return arkb_netconf_test(); }, "*=0"},
        // power
        {"arkb_pwr_get_budget", budgeted, [&] { return arkb_pwr_get_budget(&pb); }, "*=-1!"},
        {"arkb_get_hwconfig_power", budgeted, [] { return arkb_get_hwconfig_power(); }, "*=0!"},
        {"arkb_get_permitted_power", budgeted, [] { return arkb_get_permitted_power(); }, "*=0!"},
        {"arkb_pwr_get_hwconfig_power", budgeted, [] { return arkb_pwr_get_hwconfig_power(); }, "*=-1!"},
        {"arkb_pwr_publish_budget", budgeted, [&] { return arkb_pwr_publish_budget(&budget); },
         "memstore_set=-1! memstore_get#2=-1! ark_pwr_i2c_publish=-1! *=0"},
        {"arkb_pwr_decision_ready", budgeted, [] { return arkb_pwr_decision_ready(); },
         "memstore_get#1=0! uptime=0 *=1"},
        {"arkb_get_available_power", budgeted, [] { return arkb_get_available_power(); },
         "memstore_haskey=-1! memstore_get=0"},
        {"arkb_pwr_getdecision", budgeted, [&] { return arkb_pwr_getdecision(&byte); }, "*=-1!"},
        {"arkb_pwr_poweron_node", budgeted,
         [] { return arkb_pwr_poweron_node(0, 100, ARKB_PWR_MODE_ADMIT_ALL); }, "*=0"},
        {"arkb_pwr_poweron", budgeted, [] { return arkb_pwr_poweron(100, ARKB_PWR_MODE_ADMIT_ON_SILENCE); },
         "*=0"},
        {"arkb_pwr_poweroff", budgeted, [] { return arkb_pwr_poweroff(); }, "*=0"},
        {"arkb_pwr_unit_test", budgeted, [] { return arkb_pwr_unit_test(); }, "memstore_get#1=-1! *=0"},
        // thermal control
        {"arkb_set_tcontrol", booted, [] { return arkb_set_tcontrol(1); }, "memstore_set=-1! *=0"},
        {"arkb_get_tcontrol", [] { arkb_set_tcontrol(1); }, [&] { return arkb_get_tcontrol(&tc); }, "*=-1!"},
    };

    arkb_output(7, "fault sweep\n");  // opens the log socket that syslog then keeps
    const bool dump = std::getenv("ARKB_SWEEP_DUMP") != nullptr;
    // A misspelt name would match no call and so check nothing.
    for (const char *w : kWrites)
        EXPECT_GE(arksim::function_index(w), 0) << "unknown platform function in kWrites: " << w;
    for (const Case &c : cases)
        for (const std::string &f : named_functions(c.want))
            ASSERT_GE(arksim::function_index(f), 0) << c.name << ": unknown platform function " << f;
    for (const Case &c : cases) {
        long long base = 0;
        std::vector<std::string> calls = run(c, base);
        std::map<std::string, int> count;
        for (const auto &l : calls)
            ++count[func_of(l)];
        if (dump)
            std::printf("%s: %lld, %zu calls\n", c.name, base, calls.size());
        for (const auto &[func, times] : count) {
            for (int n = 1; n <= times; ++n) {
                SCOPED_TRACE(std::string(c.name) + ": " + func + " #" + std::to_string(n));
                ++tried;
                const int fds = open_fds();
                long long rc = 0;
                State before;
                std::vector<std::string> got = run(c, rc, &before, func, n);
                const Want w = is_value_fault(func) ? Want{false, true} : want_for(c.want, func, n);
                if (dump)
                    std::printf("  %s#%d -> %lld (%zu calls)\n", func.c_str(), n, rc, got.size());
                bool ok = true;
                // Result.
                const long long expected = w.base ? base : w.rc;
                if (!w.any && rc != expected) {
                    ADD_FAILURE() << "result " << rc << ", want " << expected;
                    ok = false;
                }
                // Descriptors.
                if (open_fds() != fds) {
                    ADD_FAILURE() << "descriptors: " << fds << " -> " << open_fds();
                    ok = false;
                }
                // Where the failed call is in the journal, and what followed it.
                int seen = 0;
                std::size_t at = got.size();
                for (std::size_t i = 0; i < got.size() && at == got.size(); ++i)
                    if (func_of(got[i]) == func && ++seen == n)
                        at = i;
                if (at == got.size()) {
                    ADD_FAILURE() << "the failed call is not in the journal";
                    ok = false;
                }
                if (w.stop && at + 1 < got.size()) {
                    ADD_FAILURE() << "platform call after a failure that ends the call: " << got[at + 1];
                    ok = false;
                }
                bool wrote = false;
                for (const auto &l : got)
                    wrote = wrote || (is_write(func_of(l)) && succeeded(l));
                if (!wrote && !is_value_fault(func) && snapshot() != before) {
                    ADD_FAILURE() << "state changed without a successful write call";
                    ok = false;
                }
                held += ok ? 1 : 0;
            }
        }
    }
    std::printf("fault sweep: %d (function, call site) pairs tried, %d held\n", tried, held);
    EXPECT_EQ(tried, held);
}
