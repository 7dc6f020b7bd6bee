// From an alert row's commit (by a second connection, as the strategy platform commits
// it) to its transaction line in the import file, through the program's core driven by
// its own table timer at a period of 1 s, with rows committed at random phases of the
// period. A row waits half a period on average for the next tick: the goal is a median
// of at most half a period + 10 ms = 510 ms, which is also the floor.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

const int Samples = 20;
const int PeriodMs = 1000;
const double GoalMs = PeriodMs / 2.0 + 10;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Phases spread over the whole period, one at a random place in each of Samples equal
// slices, the slices mirrored about the middle of the period taking mirrored places, in
// random order: random phases whose median is half the period, not left to luck, so the
// figure shows what the program adds to the wait for the next tick.
std::vector<int> RandomPhases()
{
    QRandomGenerator random(20081209);
    std::vector<int> phases(Samples);
    for (int i = 0; i < Samples / 2; ++i) {
        const double place = random.generateDouble();
        phases[i] = int((i + place) * PeriodMs / Samples);
        phases[Samples - 1 - i] = PeriodMs - phases[i];
    }
    std::shuffle(phases.begin(), phases.end(), random);
    return phases;
}

std::vector<double> MeasuredLatencies;


void SignalToLine(benchmark::State& state)
{
    TBenchCore bench(1, "[Quik]\r\nintTable=1\r\n");
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    if (!core.timUpdateTable().Running() || core.timUpdateTable().Period() != PeriodMs) {
        state.SkipWithError("the table timer is not running at 1 s");
        return;
    }
    TBenchConnection platform(bench.AlertsPath);
    const std::vector<int> phases = RandomPhases();
    QElapsedTimer clock;
    clock.start();
    std::vector<double> latencies;
    qint64 committedAt = -1;
    int lines = bench.TriLineCount();
    QEventLoop loop;

    auto commit = [&] {
        platform.Exec(FilledInsert());
        committedAt = clock.nsecsElapsed();
    };
    // Connected after the core's own tick handler: runs when the tick has done its work.
    // The next row is committed at its phase after the end of this tick.
    QObject::connect(&core.timUpdateTable().Timer(), &QTimer::timeout, &loop, [&] {
        if (committedAt >= 0) {
            if (bench.TriLineCount() == lines)
                return; // not out yet
            ++lines;
            latencies.push_back(double(clock.nsecsElapsed() - committedAt) / 1e6);
            committedAt = -1;
        }
        if (latencies.size() == phases.size()) {
            loop.quit();
            return;
        }
        QTimer::singleShot(phases[latencies.size()], Qt::PreciseTimer, &loop, commit);
    });

    for (auto _ : state) {
        QTimer::singleShot(60000 * 2, &loop, [&] { loop.quit(); }); // a stuck core ends the run
        loop.exec();
        state.SetIterationTime(latencies.empty() ? 0 : Median(latencies) / 1000);
    }
    if (latencies.size() != phases.size()) {
        state.SkipWithError("not every committed row reached the import file");
        return;
    }
    MeasuredLatencies = latencies;
    state.counters["median_ms"] = Median(latencies);
    state.counters["min_ms"] = *std::min_element(latencies.begin(), latencies.end());
    state.counters["max_ms"] = *std::max_element(latencies.begin(), latencies.end());
}
BENCHMARK(SignalToLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    if (MeasuredLatencies.empty()) {
        std::printf("signal to line: no figure: MISSED\n");
        return 0;
    }
    const double median = Median(MeasuredLatencies);
    std::printf("signal to line: median %.1f ms over %zu rows (min %.1f, max %.1f), floor = goal %.1f ms "
                "(half the 1 s table period + 10 ms): %s\n",
                median, MeasuredLatencies.size(),
                *std::min_element(MeasuredLatencies.begin(), MeasuredLatencies.end()),
                *std::max_element(MeasuredLatencies.begin(), MeasuredLatencies.end()), GoalMs,
                median <= GoalMs ? "met" : "MISSED");
    return 0;
}
