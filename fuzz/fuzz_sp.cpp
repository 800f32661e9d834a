#include "fuzz_sp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/chassis.h"
#include "core/simstate.h"

namespace fuzz {
namespace {

struct Sp {
    std::string chassis, sp;
    Sp()
    {
        // In $TMPDIR, which scripts/check-reliability removes afterwards.
        const char *tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/arkb-fuzz-XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr || !arksim::create_chassis(dir, 3096) ||
            !arksim::add_blade(dir, "sp1", 3)) {
            std::fprintf(stderr, "fuzz: cannot create a simulated chassis in %s\n", dir.c_str());
            std::abort();
        }
        chassis = dir;
        sp = arksim::blade_dir(chassis, "sp1");
        ::setenv(arksim::kSpEnv, sp.c_str(), 1);
        ::unlink((sp + "/journal").c_str());
        if (::symlink("/dev/null", (sp + "/journal").c_str()) != 0)
            std::abort();
    }
};

Sp &state()
{
    static Sp s;
    return s;
}

}  // namespace

const std::string &sp() { return state().sp; }
const std::string &chassis() { return state().chassis; }

std::vector<uint8_t> fit(const uint8_t *data, std::size_t len, std::size_t size, uint8_t fill)
{
    std::vector<uint8_t> out(size, fill);
    for (std::size_t i = 0; i < len && i < size; ++i)
        out[i] = data[i];
    return out;
}

void quiet_stdout()
{
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 1);
        ::close(null);
    }
}

void store_slot(uint8_t slot)
{
    arksim::make_dirs(sp() + "/memstore");
    arksim::write_file_atomic(sp() + "/memstore/" + arksim::encode_key("slotid"),
                              std::span<const uint8_t>(&slot, 1));
}

}  // namespace fuzz

// The library's waits return at once.
extern "C" unsigned int sleep(unsigned int) { return 0; }
