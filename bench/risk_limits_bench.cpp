// What the pre-trade limits cost a fan-out: one strategy entry dispatched to 1,000 active
// clients in the group mode through the program's core over SQLite files, with every
// limit off and with every limit on (the security's lots, value, price band and position,
// each client's multiplier and loss, the desk's duplicate window and lines per order; all
// set so that every line passes, so both runs write the same 1,000 lines). The bridge
// tables are as a desk fills them: a portfolio row per client and an open position per
// client in the security. Each run's order has its own price, so that the duplicate window
// never refuses a line of the next run. The ratio on ÷ off is printed.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

const int Clients = 1000;

// Each run's order has its own price, so that the duplicate window never refuses a line of
// the next run.
TOmegaOrder PricedEntry(qint32 id)
{
    TOmegaOrder order = FilledEntry(id);
    order.FillPrice = 250 + 0.01 * (id % 100);
    return order;
}

void Dispatch(benchmark::State& state, bool limitsOn)
{
    TBenchCore bench(Clients);
    TBenchConnection bridge(bench.BridgePath);
    QList<QVariantList> portfolio;
    QList<QVariantList> positions;
    for (int i = 1; i <= Clients; ++i) {
        portfolio << QVariantList{QStringLiteral("C%1").arg(i), 1000000.0 + i, -100.0};
        positions << QVariantList{QStringLiteral("C%1").arg(i), 5};
    }
    bridge.Rows(QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets, profitloss) VALUES (?, ?, ?)"),
                portfolio);
    const QString heldRow = QStringLiteral(
        "INSERT INTO tClientOpenPositions (code, quantity, symbol, [System], Signal, Workspace, [Interval], Position) "
        "VALUES (?, ?, 'SBER', 'Other(1)', 'Entry', 'Other.wsp', '1 min', 'Long')");
    bridge.Rows(heldRow, positions);
    bridge.Exec(QStringLiteral("INSERT INTO tParam (code, last) SELECT SecCode, 250 FROM tSecCode WHERE Ticker = 'SBER'"));
    if (limitsOn) {
        bridge.Exec(QStringLiteral("UPDATE tSecCode SET MaxLots = 1000, MaxValue = 1e12, PriceBand = 50, "
                                   "MaxPosition = 1000000 WHERE Ticker = 'SBER'"));
        bridge.Exec(QStringLiteral("UPDATE tclients SET Multiplier = 1, MaxLoss = 1e9"));
        bench.Core->Settings().DuplicateMs = 1000;
        bench.Core->Settings().MaxLinesPerOrder = Clients;
    }
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    qint32 id = 1;
    for (auto _ : state) {
        core.Dispatcher().ProcessOrder(PricedEntry(id++), &TOrderBuilder::NewOrder, true);
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (bench.TriLineCount() != Clients) {
            state.SkipWithError("not every client's line reached the import file");
            break;
        }
        // Each dispatch starts from the same files.
        QFile(core.Settings().edtTRI).resize(0);
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber"));
        bridge.Exec(QStringLiteral("DELETE FROM tClientOpenPositions WHERE [System] <> 'Other(1)'"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void LimitsOff(benchmark::State& state)
{
    Dispatch(state, false);
}
BENCHMARK(LimitsOff)->Unit(benchmark::kMillisecond)->Iterations(40);

void LimitsOn(benchmark::State& state)
{
    Dispatch(state, true);
}
BENCHMARK(LimitsOn)->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("fan-out of one entry to 1,000 clients, every limit on against every limit off, CPU time",
                reporter.Cpu("LimitsOn"), reporter.Cpu("LimitsOff"), 1.10);
    return 0;
}
