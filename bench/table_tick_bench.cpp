// The table tick of the program's core with watching on, over alert tables of 100,000 rows
// each against tables of 1,000 rows: with nothing new, and with one new FilledOrders row
// (added by another connection, as the strategy platform adds it) before every tick.
// A tick should cost about the same whatever the tables hold: goal <= 2x.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>

namespace {

void FillAlerts(const QString& path, int rows)
{
    TBenchConnection alerts(path);
    const QList<QVariantList> empty(rows);
    alerts.Rows(FilledInsert(), empty);
    alerts.Rows(ActiveInsert(), empty);
    alerts.Rows(CanceledInsert(), empty);
    alerts.Rows(OpenPositionInsert(), empty);
}

// A core watching in the FilledOrders mode over alert tables of the given size, the
// current row of each alert table somewhere in the middle, as an operator leaves it.
std::unique_ptr<TBenchCore> WatchingCore(int rows)
{
    auto bench = std::make_unique<TBenchCore>(3);
    FillAlerts(bench->AlertsPath, rows);
    bench->StartWatching();
    TDatMod& datMod = bench->Core->DatMod();
    for (TTable* table : {&datMod.tFilledOrders(), &datMod.tActiveOrders(), &datMod.tCanceledOrders(), &datMod.tOpenPisitions()})
        table->SetRecNo(rows / 2);
    return bench;
}

void TickNothingNew(benchmark::State& state)
{
    auto bench = WatchingCore(int(state.range(0)));
    for (auto _ : state)
        bench->Core->Watch().timTable();
    state.counters["rows"] = bench->Core->DatMod().tFilledOrders().RecordCount();
}
BENCHMARK(TickNothingNew)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void TickOneNewRow(benchmark::State& state)
{
    auto bench = WatchingCore(int(state.range(0)));
    TBenchConnection platform(bench->AlertsPath);
    TBenchConnection bridge(bench->BridgePath);
    const int linesBefore = bench->TriLineCount();
    int64_t ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform.Exec(FilledInsert());
        // Every tick finds the same bridge tables: the bookings of the last tick go.
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber"));
        bridge.Exec(QStringLiteral("DELETE FROM tClientOpenPositions"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        bench->Core->Watch().timTable();
        ++ticks;
    }
    // Each new row went out to the three clients: the tick did its whole work.
    if (bench->TriLineCount() - linesBefore != 3 * ticks)
        state.SkipWithError("a new row was not dispatched");
    state.counters["rows"] = bench->Core->DatMod().tFilledOrders().RecordCount();
}
BENCHMARK(TickOneNewRow)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("table tick, nothing new, 100,000 rows per alert table against 1,000",
                reporter.Time("TickNothingNew/100000"), reporter.Time("TickNothingNew/1000"), 2.0);
    ReportRatio("table tick, one new FilledOrders row, 100,000 rows per alert table against 1,000",
                reporter.Time("TickOneNewRow/100000"), reporter.Time("TickOneNewRow/1000"), 2.0);
    return 0;
}
