#include "BenchMain.h"
#include "rtl/RuntimeDir.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include <malloc.h>
#include <set>
#include <string>
#include <vector>

namespace {

// Shows the usual console table and keeps each benchmark's time per iteration.
// A benchmark run several times (repetitions) counts with the median of its
// runs: one run disturbed by whatever else the machine was doing, or one
// lucky run, does not decide a ratio.
class CollectingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &Reports) override
    {
        ConsoleReporter::ReportRuns(Reports);
        for (const Run &run : Reports) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            const std::string name = plainName(run);
            if (!median && medians.count(name))
                continue;
            if (median)
                medians.insert(name);
            seconds[name] = run.real_accumulated_time / double(run.iterations ? run.iterations : 1);
            for (const auto &[counter, value] : run.counters) {
                if (counter == "bytes_per_second")
                    bytesPerSecond[name] = value.value;
                else
                    seconds[name + '@' + counter] = value.value;
            }
        }
    }
    // The name without the run settings a benchmark may fix for itself
    // (minimum time, iterations, repetitions, wall time): "Benchmark/argument".
    static std::string plainName(const Run &ARun)
    {
        benchmark::BenchmarkName name = ARun.run_name;
        name.min_time.clear();
        name.min_warmup_time.clear();
        name.repetitions.clear();
        name.iterations.clear();
        name.time_type.clear();
        return name.str();
    }
    std::set<std::string> medians; // benchmarks whose median is known
    std::map<std::string, double> bytesPerSecond;
    // Wall seconds per iteration, whatever unit the table shows, so that
    // benchmarks shown in different units still compare; a benchmark's
    // counters under "Benchmark/argument@counter", for a ratio that names one.
    std::map<std::string, double> seconds;
};

} // namespace

void evictCaches()
{
    static std::vector<char> buffer(64 << 20, 1);
    static unsigned sum = 0;
    for (size_t i = 0; i < buffer.size(); i += 64)
        sum += static_cast<unsigned char>(buffer[i]);
    benchmark::DoNotOptimize(sum);
}

namespace {
std::vector<std::function<void()>> &cleanups()
{
    static std::vector<std::function<void()>> list;
    return list;
}
} // namespace

void atBenchmarksEnd(std::function<void()> Cleanup)
{
    cleanups().push_back(std::move(Cleanup));
}

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

benchmark::internal::Benchmark *timeInTurns(const std::string &Name, int Small, int Large,
                                            std::function<double(int Size)> Once)
{
    auto smallFirst = std::make_shared<bool>(true);
    return benchmark::RegisterBenchmark(Name.c_str(),
                                        [=](benchmark::State &State) {
                                            for (auto _ : State) {
                                                double small = 0;
                                                double large = 0;
                                                try {
                                                    if (*smallFirst) {
                                                        small = Once(Small);
                                                        large = Once(Large);
                                                    } else {
                                                        large = Once(Large);
                                                        small = Once(Small);
                                                    }
                                                } catch (const std::runtime_error &e) {
                                                    State.SkipWithError(e.what());
                                                    break;
                                                }
                                                *smallFirst = !*smallFirst;
                                                State.SetIterationTime(small + large);
                                                State.counters["small"] = small;
                                                State.counters["large"] = large;
                                                State.counters["ratio"]
                                                    = small > 0 ? large / small : 0;
                                            }
                                        })
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(45);
}

void keepFreedMemory()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void finishFrees()
{
    benchmark::DoNotOptimize(std::make_unique<char[]>(64 * 1024));
}

void medianOfShortRuns(benchmark::internal::Benchmark *B)
{
    B->UseRealTime()->MinTime(0.1)->Repetitions(21);
}

void medianOfSingleRuns(benchmark::internal::Benchmark *B)
{
    B->UseRealTime()->Iterations(1)->Repetitions(41);
}

int runBenchmarks(int argc, char **argv, const std::vector<BenchRatio> &Ratios,
                  const std::vector<BenchThroughput> &Throughputs,
                  const std::vector<BenchTimeLimit> &TimeLimits, bool Interleaved)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bool check = false;
    std::vector<char *> args{argv[0]};
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (Interleaved)
        args.push_back(interleave); // before the caller's, which may override it
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check-ratios") == 0)
            check = true;
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    ensureRuntimeDir();
    QApplication app(n, args.data());
    benchmark::Initialize(&n, args.data());
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (auto it = cleanups().rbegin(); it != cleanups().rend(); ++it)
        (*it)();
    cleanups().clear();

    bool within = true;
    std::printf("\nRatios (same run):\n");
    for (const BenchRatio &r : Ratios) {
        const auto m = reporter.seconds.find(r.measured.toStdString());
        // Without a baseline the measured value is the ratio itself.
        const bool own = r.baseline.isEmpty();
        const auto b = own ? m : reporter.seconds.find(r.baseline.toStdString());
        if (m == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) {
            std::printf("  %-44s not measured in this run\n", qPrintable(r.label));
            continue;
        }
        const double ratio = own ? m->second : m->second / b->second;
        const bool ok = ratio <= r.limit;
        within = within && ok;
        std::printf("  %-44s %6.2fx  (limit %.2fx) %s\n", qPrintable(r.label), ratio, r.limit,
                    ok ? "ok" : "OVER");
    }
    for (const BenchThroughput &t : Throughputs) {
        const auto m = reporter.bytesPerSecond.find(t.measured.toStdString());
        if (m == reporter.bytesPerSecond.end()) {
            std::printf("  %-44s not measured in this run\n", qPrintable(t.label));
            continue;
        }
        const bool ok = m->second >= t.minBytesPerSecond;
        within = within && ok;
        std::printf("  %-44s %6.1f MB/s (floor %.1f MB/s) %s\n", qPrintable(t.label),
                    m->second / 1e6, t.minBytesPerSecond / 1e6, ok ? "ok" : "UNDER");
    }
    for (const BenchTimeLimit &t : TimeLimits) {
        const auto m = reporter.seconds.find(t.measured.toStdString());
        if (m == reporter.seconds.end()) {
            std::printf("  %-44s not measured in this run\n", qPrintable(t.label));
            continue;
        }
        const double ms = m->second * 1e3;
        const bool ok = ms <= t.maxMilliseconds;
        within = within && ok;
        std::printf("  %-44s %6.2f ms  (limit %.1f ms) %s\n", qPrintable(t.label), ms,
                    t.maxMilliseconds, ok ? "ok" : "OVER");
    }
    benchmark::Shutdown();
    return check && !within ? 1 : 0;
}
