// arkbench: the library's costs, measured as a simulated SP (run it under
// `arksim run`; scripts/bench does).
//
//   arkbench bus          bus traffic of every operation next to its documented
//                         plan, and the plan's modelled time on the buses
//   arkbench cpu          instructions per call of the hot calls inside
//                         libarkblade.so.1, counted by callgrind
//   arkbench count I N    hot call I, N times in arkbench_counted_loop (for cpu)
//   arkbench wall [...]   wall time of the hot calls and of the simulator's
//                         own calls (Google Benchmark options accepted)
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#include "arkb_outside.h"
#include "bus_plan.h"

#ifdef ARKBENCH_GBENCH
#include <benchmark/benchmark.h>
#else
#include "minibench.h"
#endif

using bench::Operation;

namespace {

struct Hot {
    const char *name, *state;
    long calls;  // per callgrind run
};
constexpr Hot kHot[] = {
    {"arkb_get_slotid", "stored", 200},       {"arkb_is_cmm_ready", "ready", 200},
    {"arkb_netconf_check_req", "idle", 200},  {"arkb_pwr_decision_ready", "CMM ready, published", 200},
    {"get_manr_info", "record first", 50},    {"get_manr_info", "full chassis image", 20},
    {"arkb_instrec_update", "unchanged", 20},
};
constexpr int kHotCount = static_cast<int>(sizeof kHot / sizeof kHot[0]);

const Operation &hot(int i) { return *bench::find_operation(kHot[i].name, kHot[i].state); }

// ---- bus traffic and modelled bus time ---------------------------------------

double ratio(uint32_t counted, uint32_t minimum)
{
    if (counted == minimum)
        return 1.0;
    return minimum == 0 ? INFINITY : static_cast<double>(counted) / minimum;
}

// Milliseconds with two decimals, rounded half up on every host.
std::string ms(uint64_t ns)
{
    const uint64_t hundredths = (ns + 5000) / 10000;
    return std::to_string(hundredths / 100) + "." + std::to_string(hundredths % 100 / 10) +
           std::to_string(hundredths % 10);
}

int print_bus_tables()
{
    std::printf(
        "Bus traffic per operation: counted by the simulator, and the minimum of the documented plan\n\n");
    std::printf("%-24s %-22s %-10s %9s %7s %9s %7s %6s\n", "operation", "state", "bus", "counted", "bytes",
                "minimum", "bytes", "ratio");
    bool all_minimal = true;
    for (const Operation &op : bench::operations()) {
        const bench::Traffic t = bench::measure(op);
        const bench::Traffic &m = op.plan.traffic;
        bool first = true;
        for (int b = 0; b < bench::kBuses; ++b) {
            if (t.tx[b] == 0 && m.tx[b] == 0)
                continue;
            const double r = std::fmax(ratio(t.tx[b], m.tx[b]), ratio(t.bytes[b], m.bytes[b]));
            all_minimal = all_minimal && t.tx[b] == m.tx[b] && t.bytes[b] == m.bytes[b];
            std::printf("%-24s %-22s %-10s %9u %7u %9u %7u %6.2f\n", first ? op.name : "",
                        first ? op.state : "", arksim::bus_name(static_cast<bench::Bus>(b)), t.tx[b],
                        t.bytes[b], m.tx[b], m.bytes[b], r);
            first = false;
        }
        all_minimal = all_minimal && t.bit_times == m.bit_times && t.write_cycles == m.write_cycles;
    }
    std::printf("\n%s\n", all_minimal ? "Every operation moves exactly its minimum: ratio 1.00 on every bus."
                                      : "ABOVE MINIMUM: see the rows whose ratio is not 1.00.");

    std::printf(
        "\nModelled bus time of the documented plan (milliseconds; memstore is local memory, not timed)\n\n");
    std::printf("%-24s %-22s %10s %9s %9s %7s %9s %9s\n", "operation", "state", "bit-times", "100 kHz",
                "400 kHz", "writes", "100k+tWR", "400k+tWR");
    for (const Operation &op : bench::operations()) {
        const bench::Plan &p = op.plan;
        std::printf("%-24s %-22s %10llu %9s %9s %7u %9s %9s\n", op.name, op.state,
                    static_cast<unsigned long long>(p.traffic.bit_times),
                    ms(bench::bus_ns(p, 100000)).c_str(), ms(bench::bus_ns(p, 400000)).c_str(),
                    p.traffic.write_cycles, ms(bench::total_ns(p, 100000)).c_str(),
                    ms(bench::total_ns(p, 400000)).c_str());
    }
    return all_minimal ? 0 : 1;
}

// ---- instructions per call ---------------------------------------------------

extern "C" [[gnu::noinline]] void arkbench_counted_loop(void (*fn)(), long n)
{
    for (long i = 0; i < n; ++i)
        fn();
}

int count_calls(int i, long n)
{
    if (i < 0 || i >= kHotCount)
        return 2;
    bench::fresh_sp();
    hot(i).setup();
    hot(i).run();  // first call outside the count: symbol binding, page faults
    arkbench_counted_loop(hot(i).run, n);
    return 0;
}

// Self cost of the functions that callgrind places in libarkblade.so.1.
// Names may be compressed: "(id) name" defines an id, "(id)" refers to it.
unsigned long long library_instructions(const std::string &path)
{
    std::ifstream in(path);
    std::map<std::string, std::string> objects;
    auto object = [&objects](const std::string &v) {
        if (v.empty() || v[0] != '(')
            return v;
        const std::size_t close = v.find(')');
        const std::string id = v.substr(0, close + 1);
        if (close + 2 < v.size())
            objects[id] = v.substr(close + 2);
        return objects[id];
    };
    std::string line, ob;
    bool in_library = false, call_cost = false;
    unsigned long long total = 0;
    while (std::getline(in, line)) {
        if (line.rfind("ob=", 0) == 0)
            ob = object(line.substr(3));
        else if (line.rfind("cob=", 0) == 0)
            (void)object(line.substr(4));
        else if (line.rfind("fn=", 0) == 0)
            in_library = ob.find("libarkblade.so") != std::string::npos;
        else if (line.rfind("calls=", 0) == 0)
            call_cost = true;  // the next cost line is the callee's, inclusive
        else if (!line.empty() && std::strchr("0123456789+-*", line[0]) != nullptr) {
            if (!call_cost && in_library) {
                std::istringstream fields(line);
                std::string position;
                unsigned long long ir = 0;
                fields >> position >> ir;
                total += ir;
            }
            call_cost = false;
        }
    }
    return total;
}

int print_cpu_table()
{
    if (std::system("valgrind --version >/dev/null 2>&1") != 0) {
        std::printf("Instructions per call: valgrind is not installed, skipped\n");
        return 0;
    }
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return 1;
    std::printf("Instructions per call inside libarkblade.so.1 (callgrind, self cost of the library's "
                "functions)\n\n");
    std::printf("%-24s %-22s %12s %8s\n", "call", "state", "instr/call", "calls");
    for (int i = 0; i < kHotCount; ++i) {
        const std::string out = "/tmp/arkbench-callgrind." + std::to_string(::getpid());
        const std::string cmd = "valgrind --tool=callgrind --toggle-collect=arkbench_counted_loop "
                                "--callgrind-out-file=" +
                                out + " " + self + " count " + std::to_string(i) + " " +
                                std::to_string(kHot[i].calls) + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) {
            std::printf("%-24s %-22s %12s\n", kHot[i].name, kHot[i].state, "failed");
            continue;
        }
        const unsigned long long ir = library_instructions(out);
        ::unlink(out.c_str());
        std::printf("%-24s %-22s %12.0f %8ld\n", kHot[i].name, kHot[i].state,
                    static_cast<double>(ir) / kHot[i].calls, kHot[i].calls);
    }
    return 0;
}

// ---- wall time -----------------------------------------------------------------

void sim_benchmark(const char *name, void (*call)())
{
    benchmark::RegisterBenchmark(name, [call](benchmark::State &state) {
        bench::fresh_sp();
        const uint8_t mailbox[32] = {};
        (void)arkmp_tnlblk_write(0x86, mailbox, 32, 80, 8, 8);  // the slot's tunnel memory exists
        const uint8_t slot = 3;
        (void)memstore_set("slotid", &slot, 1);
        for (auto _ : state)
            call();
    })->Unit(benchmark::kMicrosecond);
}

int run_wall(int argc, char **argv)
{
    for (int i = 0; i < kHotCount; ++i) {
        const std::string label = std::string(kHot[i].name) + " (" + kHot[i].state + ")";
        benchmark::RegisterBenchmark(label.c_str(), [i](benchmark::State &state) {
            bench::fresh_sp();
            hot(i).setup();
            for (auto _ : state)
                hot(i).run();
        })->Unit(benchmark::kMicrosecond);
    }
    static uint8_t buf[2048];
    sim_benchmark("sim memstore_get (1 byte)", [] { (void)memstore_get("slotid", buf, 1); });
    sim_benchmark("sim memstore_set (4 bytes)", [] { (void)memstore_set("tcontrol", buf, 4); });
    sim_benchmark("sim tunnel read (8 bytes, 1 transaction)",
                  [] { (void)arkmp_tnlblk_read(0x86, buf, 8, 80, 8, 8); });
    sim_benchmark("sim tunnel read (2048 bytes, 32 tr.)",
                  [] { (void)arkmp_tnlblk_read(0xAA, buf, 2048, 0x1800, 16, 64); });
    sim_benchmark("sim EEPROM read (64 bytes, 1 transaction)",
                  [] { (void)elm_i2c_blk_read_on_bus(4, 255, 255, 0xA0, buf, 64, 0, 16, 64); });
    sim_benchmark("sim EEPROM read (1114 bytes, 18 tr.)",
                  [] { (void)elm_i2c_blk_read_on_bus(4, 255, 255, 0xA0, buf, 1114, 3184, 16, 64); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: arkbench bus | cpu | count I N | wall [benchmark options]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (std::getenv("ARKSIM_SANDBOX") == nullptr) {
        std::fprintf(stderr, "run me as a simulated SP: arksim run --new-chassis DIR -- %s ...\n", argv[0]);
        return 2;
    }
    if (argc < 2)
        return usage();
    const std::string cmd = argv[1];
    if (cmd == "bus")
        return print_bus_tables();
    if (cmd == "cpu")
        return print_cpu_table();
    if (cmd == "count" && argc == 4)
        return count_calls(std::atoi(argv[2]), std::atol(argv[3]));
    if (cmd == "wall") {
        argv[1] = argv[0];  // the benchmark options follow the program's name
        return run_wall(argc - 1, argv + 1);
    }
    return usage();
}
