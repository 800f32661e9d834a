// The part of Google Benchmark's interface that arkbench uses, for targets
// that lack the library (the PowerPC cross build).  Each benchmark runs with
// ten times more iterations until one run takes at least 0.2 s; its mean
// time per iteration is printed.
#ifndef ARKBENCH_MINIBENCH_H
#define ARKBENCH_MINIBENCH_H

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>

namespace benchmark {

enum TimeUnit { kMicrosecond };

class State {
public:
    explicit State(long n) : n_(n) {}
    struct [[maybe_unused]] Value {};
    struct Iterator {
        long left;
        bool operator!=(const Iterator &o) const { return left != o.left; }
        void operator++() { --left; }
        Value operator*() const { return {}; }
    };
    Iterator begin() const { return {n_}; }
    Iterator end() const { return {0}; }

private:
    long n_;
};

class Benchmark {
public:
    Benchmark(std::string name, std::function<void(State &)> fn) : name_(std::move(name)), fn_(std::move(fn))
    {
    }
    Benchmark *Unit(TimeUnit) { return this; }
    void run() const
    {
        for (long n = 1;; n *= 10) {
            State state(n);
            const auto start = std::chrono::steady_clock::now();
            fn_(state);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (took.count() >= 0.2 || n >= 100000000) {
                std::printf("%-52s %12.2f us %12ld\n", name_.c_str(), took.count() / n * 1e6, n);
                return;
            }
        }
    }

private:
    std::string name_;
    std::function<void(State &)> fn_;
};

inline std::deque<Benchmark> &registry()
{
    static std::deque<Benchmark> benchmarks;
    return benchmarks;
}

template <class Fn> Benchmark *RegisterBenchmark(const char *name, Fn fn)
{
    return &registry().emplace_back(name, fn);
}

inline void Initialize(int *, char **) {}

inline void RunSpecifiedBenchmarks()
{
    std::printf("%-52s %15s %12s\n", "Benchmark", "Time", "Iterations");
    for (const Benchmark &b : registry())
        b.run();
}

}  // namespace benchmark

#endif
