#pragma once

// Shared by the benchmarks: runs the registered benchmarks, keeps the real time and the CPU
// time of each, and prints a figure against its floor measured in the same run with the
// goal it has.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

class TRecordingReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the output is read in logs and summed up by scripts/bench.
    TRecordingReporter() : ConsoleReporter(OO_Tabular) {}

    std::map<std::string, double> RealTime; // seconds per iteration, by benchmark name
    std::map<std::string, double> CpuTime;  // CPU seconds of the benchmark's thread per iteration

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                RealTime[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
                CpuTime[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
            }
        }
    }

    // The time of the benchmark whose name starts with the given text ("FanOut" finds
    // "FanOut/min_time:3.000/real_time"); 0 when none ran.
    double Time(const std::string& prefix) const { return Find(RealTime, prefix); }
    // The same in CPU time: for figures whose wall time the disk's syncs or other work on
    // the machine swing.
    double Cpu(const std::string& prefix) const { return Find(CpuTime, prefix); }

private:
    static double Find(const std::map<std::string, double>& times, const std::string& prefix)
    {
        for (const auto& [name, seconds] : times) {
            if (name == prefix || name.rfind(prefix + "/", 0) == 0)
                return seconds;
        }
        return 0;
    }
};

// Runs every registered benchmark with the command line's options, recording their times.
inline void RunRecorded(int& argc, char** argv, TRecordingReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}

// Prints "figure / floor = ratio (goal <= limit): met|MISSED"; false when missed.
inline bool ReportRatio(const char* what, double figure, double floor, double limit)
{
    if (figure <= 0 || floor <= 0) {
        std::printf("%s: not measured (goal <= %.2f): MISSED\n", what, limit);
        return false;
    }
    const double ratio = figure / floor;
    const bool met = ratio <= limit;
    std::printf("%s: figure %.6g s, floor %.6g s, ratio %.2f (goal <= %.2f): %s\n", what, figure,
                floor, ratio, limit, met ? "met" : "MISSED");
    return met;
}
