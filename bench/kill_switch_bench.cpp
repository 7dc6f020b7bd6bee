// The kill switch of a desk with 1,000 resting orders over 100 accounts (ten strategy
// orders, each on every account, all numbered by the terminal), pacing off: the time from
// the command to the last withdrawal line in the transaction import file, through the
// program's core over SQLite files. The command writes its lines before it returns; each
// run checks that all 1,000 are in the file. Goal: at most 100 ms.
//
// The same desk paced at 20 lines a second (burst 5) while a new order's 100 lines wait in
// the queue: the time from the command to the first withdrawal line in the file, the
// core's own drain timer writing; every line written after the command must be a
// withdrawal (the waiting new-order lines are dropped, none goes out ahead of a
// withdrawal). Goal: at most 60 ms.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

const int Accounts = 100;
const int StrategyOrders = 10;
const int Resting = Accounts * StrategyOrders;

// The desk's resting orders: the alert rows they came from and their report rows.
void RestingDesk(TBenchCore& bench)
{
    TBenchConnection alerts(bench.AlertsPath);
    alerts.Rows(ActiveInsert(), QList<QVariantList>(StrategyOrders));
    TBenchConnection bridge(bench.BridgePath);
    QList<QVariantList> report;
    for (int i = 0; i < Resting; ++i)
        report << QVariantList{i, 1 + i / Accounts, DemoClientCode(1 + i % Accounts), 500000 + i};
    bridge.Rows(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code, status, order_number) "
                               "VALUES (?, ?, 0, ?, 3, ?)"),
                report);
}

void KillSwitch(benchmark::State& state)
{
    TBenchCore bench(Accounts);
    RestingDesk(bench);
    TBenchConnection bridge(bench.BridgePath);
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    for (auto _ : state) {
        core.actKillSwitchExecute();
        state.PauseTiming();
        if (bench.TriLineCount() != Resting) {
            state.SkipWithError("not every resting order got its withdrawal line");
            break;
        }
        // Each run starts from the same desk: the withdrawals forgotten, trading resumed.
        QFile(core.Settings().edtTRI).resize(0);
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber WHERE trans_id >= ?"), {Resting});
        core.actResumeTradingExecute();
        state.ResumeTiming();
    }
}
BENCHMARK(KillSwitch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

double PacedFirstMs = -1;
int PacedLinesAfter = 0;
bool PacedOnlyWithdrawals = false;

void KillSwitchPaced(benchmark::State& state)
{
    TBenchCore bench(Accounts);
    RestingDesk(bench);
    TMainCore& core = *bench.Core;
    core.Settings().TxPerSecond = 20;
    core.Settings().TxBurst = 5;
    bench.StartWatching();
    // A new order to every account: its first lines go at once, the rest wait their turn.
    core.Dispatcher().ProcessOrder(FilledEntry(1), &TOrderBuilder::NewOrder, true);
    if (core.Writer().QueuedCount() == 0) {
        state.SkipWithError("no new-order line waits in the paced queue");
        return;
    }
    QFile tri(core.Settings().edtTRI);
    for (auto _ : state) {
        const qint64 before = QFileInfo(tri.fileName()).size();
        QElapsedTimer clock;
        clock.start();
        core.actKillSwitchExecute();
        QByteArray after;
        while (clock.elapsed() < 2000) {
            if (tri.open(QIODevice::ReadOnly)) {
                tri.seek(before);
                after = tri.readAll();
                tri.close();
            }
            if (PacedFirstMs < 0 && after.contains("ACTION=KILL_"))
                PacedFirstMs = double(clock.nsecsElapsed()) / 1e6;
            if (PacedFirstMs >= 0 && clock.elapsed() > PacedFirstMs + 500)
                break; // a few more lines, to see what follows the first
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        state.SetIterationTime(PacedFirstMs / 1000);
        const QList<QByteArray> lines = after.split('\n');
        PacedOnlyWithdrawals = true;
        for (const QByteArray& line : lines) {
            if (line.trimmed().isEmpty())
                continue;
            ++PacedLinesAfter;
            PacedOnlyWithdrawals = PacedOnlyWithdrawals && line.contains("ACTION=KILL_");
        }
    }
    state.counters["first_ms"] = PacedFirstMs;
    state.counters["lines_after"] = PacedLinesAfter;
}
BENCHMARK(KillSwitchPaced)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    const double seconds = reporter.Time("KillSwitch");
    const bool met = seconds > 0 && seconds <= 0.100;
    std::printf("kill switch, 1,000 resting orders over 100 accounts, pacing off: command to last withdrawal "
                "line %.1f ms (goal <= 100 ms): %s\n",
                seconds * 1000, met ? "met" : "MISSED");
    std::printf("kill switch, the same desk paced at 20 lines/s (burst 5) behind 100 waiting new-order lines: "
                "first withdrawal line %.1f ms after the command, %d lines in the next 0.5 s, %s (goal <= 60 ms, "
                "none behind a new order): %s\n",
                PacedFirstMs, PacedLinesAfter, PacedOnlyWithdrawals ? "all withdrawals" : "NOT all withdrawals",
                PacedFirstMs >= 0 && PacedFirstMs <= 60 && PacedOnlyWithdrawals ? "met" : "MISSED");
    return 0;
}
