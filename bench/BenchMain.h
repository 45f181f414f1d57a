#pragma once

#include <QString>

#include <vector>

// A ratio the benchmark program reports after the run: the time of Measured
// over the time of Baseline, both benchmarks of the same run, against Limit.
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
// iteration of Measured against a ceiling in milliseconds.
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
                  const std::vector<BenchTimeLimit> &TimeLimits = {},
                  bool Interleaved = false);
