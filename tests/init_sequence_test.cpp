// The start-up sequence: its fixed order and what gates each step.
#include <fcntl.h>
#include <unistd.h>

#include <regex>

#include "arkblade.h"
#include "sim_test.h"

using InitSequence = SimTest;

namespace {

// The line numbers of the log entries, in order.
std::vector<int> lines_of(const std::vector<std::string> &log)
{
    std::vector<int> out;
    static const std::regex line_no("::([0-9]+):");
    for (const auto &entry : log) {
        std::smatch m;
        if (std::regex_search(entry, m, line_no))
            out.push_back(std::stoi(m[1]));
    }
    return out;
}

}  // namespace

TEST_F(InitSequence, OrderAndGating)
{
    struct Case {
        bool slot_known, override_ok;
        int dt;  // -1: the DT read fails
        uint8_t slot;
        bool netconf_ok, node1, instrec_ok;
        int result;
        std::vector<int> lines;
        bool instrec_called;
        std::vector<std::string> fault = {};  // one more: function, which call, result
    } cases[] = {
        // All well; DT 0 on a tunnel slot programs the PCA9501 (no file on this platform).
        {true, true, 0, 3, true, false, true, 0, {377, 299}, true},
        {false, true, 0, 3, true, false, true, -1, {334}, false},
        {true, false, 5, 3, true, false, true, 0, {466, 344}, true},
        {true, true, -1, 3, true, false, true, 0, {365, 377, 299}, true},
        {true, true, 0, 0x13, true, false, true, 0, {}, true},  // bit 4: no PCA9501
        {true, true, 7, 3, true, false, true, 0, {}, true},     // DT set: no PCA9501
        {true, true, 5, 3, false, false, true, 0, {388}, true},
        {true, true, 5, 3, true, true, true, 0, {}, false},  // /persist/node1 readable
        {true, true, 5, 3, true, false, false, 0, {506, 400}, true},
        {true, false, -1, 3, false, false, false, 0, {466, 344, 365, 377, 299, 388, 506, 400}, true},
        // The slot number gone when the PCA9501 defaults want it (the third slot read).
        {true, true, 0, 3, true, false, true, 0, {377, 293}, true, {"memstore_get", "3", "0"}},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.slot_known)
            set_key("slotid", {c.slot});
        if (!c.override_ok)
            fault("arkmp_write", "*", "0");
        if (c.dt < 0)
            fault("pca_read_i2c_blade_dt", "*", "-1");
        else
            set_sp_file("pca9501_dt", std::to_string(c.dt));
        if (!c.netconf_ok)
            fault("arkmp_tnlblk_read", "1", "-1");  // the mailbox header read
        if (c.node1)
            ::close(::open("/persist/node1", O_CREAT | O_WRONLY, 0644));
        if (!c.instrec_ok)
            fault("elm_i2c_blk_read_on_bus", "*", "-1");
        if (!c.fault.empty())
            fault(c.fault[0], c.fault[1], c.fault[2]);

        EXPECT_EQ(arkb_initialize(), c.result);
        EXPECT_EQ(lines_of(log()), c.lines) << "case dt=" << c.dt << " slot=" << int(c.slot);
        EXPECT_EQ(!journal("elm_i2c_blk_read_on_bus").empty(), c.instrec_called);
        if (c.slot_known) {
            // The override is cleared first, before anything else touches the bus.
            EXPECT_EQ(journal("arkmp_write").front(), "arkmp_write(" +
                                                          std::string(c.slot == 3 ? "0x06" : "0x26") +
                                                          ", 1) = " + (c.override_ok ? "1" : "0") + " : 7f");
        } else {
            EXPECT_TRUE(journal("arkmp").empty());
        }
    }
}
