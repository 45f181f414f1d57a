#pragma once

#include <QString>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include <vector>

namespace benchmark::internal {
class Benchmark;
}

// A ratio the benchmark program reports after the run: the time of Measured
// over the time of Baseline, both benchmarks of the same run, against Limit.
// Either may name a counter of a benchmark that holds seconds per iteration,
// "Benchmark/argument@counter": a benchmark that times two cases in turns
// within each iteration keeps one of them that way.
// A Baseline left empty makes Measured the ratio itself (a counter of a
// benchmark that works the ratio out, as timeInTurns does).
struct BenchRatio
{
    QString label;
    QString measured;
    QString baseline;
    double limit;
};

// A throughput the benchmark program reports after the run: the bytes per
// second of Measured (set with SetBytesProcessed) against a floor.
struct BenchThroughput
{
    QString label;
    QString measured;
    double minBytesPerSecond;
};

// A time the benchmark program reports after the run: the wall time per
// iteration of Measured (or a counter of seconds, named as in BenchRatio)
// against a ceiling in milliseconds.
struct BenchTimeLimit
{
    QString label;
    QString measured;
    double maxMilliseconds;
};

// Runs every registered benchmark and then prints each ratio, throughput and
// time. With --check-ratios the program fails when one misses its limit.
// Interleaved runs the repetitions of all benchmarks in random order, so that
// a stretch of time when the machine is busier does not fall on one case of a
// ratio only.
int runBenchmarks(int argc, char **argv, const std::vector<BenchRatio> &Ratios,
                  const std::vector<BenchThroughput> &Throughputs = {},
                  const std::vector<BenchTimeLimit> &TimeLimits = {}, bool Interleaved = false);

// Settings for a short case whose time a busy machine disturbs (a round trip
// to a server, a look-up of a millisecond): it is timed as 21 runs of at
// least a tenth of a second of wall time each, and their median counts.
// The iteration count is found from the wall time, not from this program's
// processor time, which leaves out the server's share: otherwise a case
// that waits for the server runs for seconds at a time and its partner for
// a fraction of that. Meant for runBenchmarks(..., Interleaved = true), where
// the runs of all cases alternate in random order.
void medianOfShortRuns(benchmark::internal::Benchmark *B);

// Settings for a case each run of which is one piece of work a person waits
// for (a parse, a read, a paste), prepared (caches emptied) while the clock
// is paused: 41 single runs by wall clock, whose median counts. For
// runBenchmarks(..., Interleaved = true).
void medianOfSingleRuns(benchmark::internal::Benchmark *B);

// Runs Cleanup when the benchmarks are done, while the application object
// still exists: for what a benchmark keeps from one repetition to the next.
void atBenchmarksEnd(std::function<void()> Cleanup);

// The fixture of a size (a module of Count components and what views it),
// made on first use and kept for every repetition of every case that asks
// for it. A module made anew for each repetition lands in the blocks its
// predecessor freed, each time in another order, and a walk over it costs
// what the heap's history makes it cost. The first use makes the fixtures
// of all Sizes, smallest first, so that every run lays them out alike
// whichever case the interleaving runs first. Freed when the benchmarks
// are done.
template<class T>
T &keptFixture(int Count, std::initializer_list<int> Sizes = {1000, 10000})
{
    static std::map<int, std::unique_ptr<T>> kept;
    if (kept.empty()) {
        for (int size : Sizes)
            kept[size] = std::make_unique<T>(size);
        // After the fixtures this one's are made of, so freed before them.
        atBenchmarksEnd([] { kept.clear(); });
    }
    std::unique_ptr<T> &fixture = kept[Count];
    if (!fixture)
        fixture = std::make_unique<T>(Count);
    return *fixture;
}

// Seconds on a steady clock, for a Once of timeInTurns to time its work.
double steadySeconds();
benchmark::internal::Benchmark *timeInTurns(const std::string &Name, int Small, int Large,
                                            std::function<double(int Size)> Once);

// Freed memory stays with the program, as in a designer that has run for a
// while. By default the allocator hands the pages of a large free back to
// the system: a case at 10,000 then faults them in again on every run while
// one at 1,000 reuses its own, and a ratio between them measures the
// system's page faults (dear in a virtual machine), not the code. Called
// first thing by programs whose cases allocate and free large blocks on
// every run (a parse's lists, a form's text and components).
void keepFreedMemory();

// Finishes the frees just made, outside the timed work. The allocator defers
// part of a free (merging the small blocks) to the next large allocation,
// which would otherwise fall inside the next timed run; one such allocation
// here finishes it. (Trimming instead would hand the pages back to the
// system, and the next run would pay for faulting them in again.)
void finishFrees();

// Empties the caches of what a benchmark touched, by reading a buffer well
// beyond the last-level cache. A tree or view is rebuilt after a person's
// drop or edit, and between two of them the designer's own work (painting,
// the inspector, the code editor) has replaced what the caches held: timing
// each rebuild from empty caches, at 1,000 components as at 10,000, compares
// the same situation (a small module would otherwise stay in the caches
// between timed runs and be measured warm, and a large one cold).
void evictCaches();
