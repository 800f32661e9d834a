#include "sim_test.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "arkblade.h"
#include "core/answers.h"
#include "core/chassis.h"
#include "core/simstate.h"
#include "core/sp_log.h"

namespace {

constexpr uint16_t kTestChassisType = 3096;
constexpr int kTestSlot = 3;

void read_tree(const std::string &dir, State &out)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return;
    if (fs::is_regular_file(dir, ec)) {
        arksim::read_file(dir, out[dir]);
        return;
    }
    for (const auto &e : fs::recursive_directory_iterator(dir, ec))
        if (e.is_regular_file())
            arksim::read_file(e.path().string(), out[e.path().string()]);
}

}  // namespace

State SimTest::snapshot() const
{
    State s;
    for (const char *d : {"/memstore", "/fs", "/eeprom.bin"})
        read_tree(sp + d, s);
    for (const char *d : {"/tunnel", "/power", "/registers"})
        read_tree(chassis + d, s);
    return s;
}

void SimTest::start_up()
{
    ASSERT_EQ(arkb_initialize_mp(), 0);
    ASSERT_EQ(arkb_initialize(), 0);
}

void SimTest::SetUp()
{
    sp = arksim::sp_dir();
    chassis = arksim::chassis_of(sp);
    arksim::remove_tree(chassis + "/tunnel");
    arksim::remove_tree(chassis + "/power");
    ASSERT_TRUE(arksim::create_chassis(chassis, kTestChassisType));
    ASSERT_TRUE(arksim::reset_blade(sp));
    arksim::set_slot(sp, kTestSlot);
    // The edge copies of the tests (ctest -L edge) run with the platform
    // answering every result its contracts allow.
    arksim::AnswerMode answers;
    if (const char *mode = std::getenv("ARKB_TEST_ANSWERS")) {
        ASSERT_TRUE(arksim::parse_answer_mode(mode, answers)) << mode;
    }
    ASSERT_TRUE(arksim::write_answer_mode(chassis, answers));
    arksim::sync_log(sp);
    arksim::clear_log(sp);
    recorded_sleeps().clear();
    on_sleep(nullptr);
    set_wall_clock(std::nullopt);
    fake_libc("", 0);
}

std::vector<std::string> SimTest::journal(const std::string &func) const
{
    std::vector<std::string> out;
    for (std::string line : arksim::read_lines(sp + "/journal")) {
        line = line.substr(line.find(' ') + 1);  // without the pid
        // "= 0 <edge: 16>": the call as the plain platform would have answered
        // it, so that one expectation holds in every answer mode.
        if (auto mark = line.find(" <");
            mark != std::string::npos && line.find('>', mark) != std::string::npos) {
            auto eq = line.rfind(" = ", mark);
            auto colon = line.find(": ", mark);
            auto end = line.find('>', mark);
            line = line.substr(0, eq + 3) + line.substr(colon + 2, end - colon - 2) + line.substr(end + 1);
        }
        if (func.empty() || line.rfind(func + "(", 0) == 0)
            out.push_back(line);
    }
    return out;
}

long long SimTest::answered(const std::string &func) const
{
    long long result = 0;
    bool seen = false;
    for (const std::string &line : arksim::read_lines(sp + "/journal")) {
        auto call = line.find(' ') + 1;
        auto eq = line.find(") = ", call);
        if (line.compare(call, func.size() + 1, func + "(") == 0 && eq != std::string::npos) {
            result = std::stoll(line.substr(eq + 4));
            seen = true;
        }
    }
    EXPECT_TRUE(seen) << "no call of " << func;
    return result;
}

void SimTest::clear_journal() const
{
    EXPECT_TRUE(::truncate((sp + "/journal").c_str(), 0) == 0 || errno == ENOENT);
}

std::vector<std::string> SimTest::log() const
{
    EXPECT_TRUE(arksim::sync_log(sp));
    std::vector<std::string> out;
    for (const auto &e : arksim::read_log(sp))
        out.push_back(std::to_string(e.severity) + " " + e.message);
    return out;
}

int SimTest::log_facility_of_last() const
{
    arksim::sync_log(sp);
    auto entries = arksim::read_log(sp);
    return entries.empty() ? -1 : entries.back().facility;
}

void SimTest::fault(const std::string &func, const std::string &when, const std::string &value) const
{
    ASSERT_TRUE(arksim::add_fault(sp, func, when, value)) << func;
}

void SimTest::set_key(const std::string &k, const Bytes &value) const
{
    arksim::make_dirs(sp + "/memstore");
    ASSERT_TRUE(arksim::write_file_atomic(sp + "/memstore/" + arksim::encode_key(k), value));
}

std::optional<Bytes> SimTest::key(const std::string &k) const
{
    return file(sp + "/memstore/" + arksim::encode_key(k));
}

void SimTest::set_slot(int slot) const { arksim::set_slot(sp, slot); }

void SimTest::set_uptime(long long seconds) const { set_sp_file("uptime", std::to_string(seconds) + "\n"); }

void SimTest::set_sp_file(const std::string &name, const std::string &text) const
{
    ASSERT_TRUE(arksim::write_text(sp + "/" + name, text));
}

void SimTest::set_register(uint8_t r, int value) const
{
    ASSERT_TRUE(arksim::write_register(chassis, r, value));
}

int SimTest::reg(uint8_t r) const { return arksim::read_register(chassis, r); }

std::optional<Bytes> SimTest::file(const std::string &path) const
{
    Bytes raw;
    if (!arksim::read_file(path, raw))
        return std::nullopt;
    return raw;
}

Bytes SimTest::eeprom() const { return file(sp + "/eeprom.bin").value_or(Bytes{}); }

void SimTest::set_eeprom(unsigned offset, const Bytes &bytes) const
{
    Bytes image = eeprom();
    ASSERT_LE(offset + bytes.size(), image.size());
    std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
    ASSERT_TRUE(arksim::write_file_atomic(sp + "/eeprom.bin", image));
}

void SimTest::clear_chassis_fru() const
{
    ASSERT_TRUE(arksim::write_tunnel_bytes(chassis, 0xAA, 0x1800, Bytes(0x800, 0)));
}
