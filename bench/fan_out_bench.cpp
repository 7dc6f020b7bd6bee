// One accepted strategy order dispatched to 1,000 active clients in the group mode, through
// the program's core over SQLite files with the main window attached (shown offscreen, its
// log view and grids listening to the core): the time until every client's line is in the
// transaction import file and the event loop has served what the dispatch left for the
// window. Its floor is the least such a dispatch must do, written against SQLite's own
// interface: 1,000 prepared inserts in one database transaction and 1,000 lines appended
// to a file. The same dispatch again with the bridge tables as a desk fills them: a
// portfolio row per client (1,000) and a transaction report of 100,000 rows from earlier in
// the session, against the same floor over the same report (its inserts then go into a
// table of 100,000 rows and its indexes, as the dispatch's do), in CPU time (the commit's
// disk sync swings the wall time). The ratio against the floor over an empty report is
// printed as well.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>

namespace {

const int Clients = 1000;

// CPU seconds of this thread so far.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

TOmegaOrder FilledEntry(qint32 id)
{
    TOmegaOrder order;
    order.Id = id;
    order.Symbol = QStringLiteral("SBER");
    order.Description = QStringLiteral("Сбербанк");
    order.OrderType = QStringLiteral("LE");
    order.Order = QStringLiteral("Buy 10 at 250.50 Market");
    order.System = QStringLiteral("Trend(5,10)");
    order.Workspace = QStringLiteral("C:\\Omega\\Demo.wsp");
    order.Signal = QStringLiteral("Entry");
    order.Interval = QStringLiteral("5 min");
    order.FillPrice = 250.5;
    order.Filled = true;
    return order;
}

// Transaction numbers of the report rows booked before the dispatch measured: far above
// the numbers the dispatches take.
const int EarlierTransactions = 1000000000;

void DispatchEach(benchmark::State& state, TBenchCore& bench)
{
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    // The window as the operator has it: shown, on its first tab, the log view following
    // the end.
    TfmMain window(core);
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();
    TBenchConnection bridge(bench.BridgePath);
    qint32 id = 1;
    double dispatchCpu = 0;
    double windowCpu = 0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        core.Dispatcher().ProcessOrder(FilledEntry(id++), &TOrderBuilder::NewOrder, true);
        const double dispatched = ThreadCpuSeconds();
        // What the dispatch left for the window: the log's new lines, the status bar, the
        // grids of the bookings.
        QApplication::processEvents();
        dispatchCpu += dispatched - start;
        windowCpu += ThreadCpuSeconds() - dispatched;
        state.PauseTiming();
        if (bench.TriLineCount() != Clients) {
            state.SkipWithError("not every client's line reached the import file");
            break;
        }
        // Each dispatch starts from the same files.
        QFile(core.Settings().edtTRI).resize(0);
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber WHERE trans_id < ?"), {EarlierTransactions});
        bridge.Exec(QStringLiteral("DELETE FROM tClientOpenPositions"));
        // The grids let go of the removed rows here, not in the next dispatch's time: a
        // refresh looks for rows gone one slice of the table at a time.
        const int reportRows = bridge.Scalar(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt();
        for (int round = 0; round < 1000 && core.DatMod().tOrderNumber().RecordCount() != reportRows; ++round)
            RefreshTable(core.DatMod().tOrderNumber());
        RefreshTable(core.DatMod().tClientOpenPositions());
        QApplication::processEvents();
        state.ResumeTiming();
    }
    if (state.iterations() > 0) {
        state.counters["dispatch_cpu_ms"] = dispatchCpu * 1000 / double(state.iterations());
        state.counters["window_cpu_ms"] = windowCpu * 1000 / double(state.iterations());
    }
}

// The report of a desk some hours into the session: 100,000 rows of earlier transactions
// (of 100 other strategy orders to the same clients).
void FillReport(TBenchConnection& bridge)
{
    QList<QVariantList> report;
    for (int i = 0; i < 100000; ++i)
        report << QVariantList{EarlierTransactions + i, 100000 + i / Clients, QStringLiteral("C%1").arg(1 + i % Clients),
                               200000 + i};
    bridge.Rows(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code, status, order_number) "
                               "VALUES (?, ?, 1, ?, 3, ?)"),
                report);
}

void FanOut(benchmark::State& state)
{
    TBenchCore bench(Clients);
    DispatchEach(state, bench);
}
BENCHMARK(FanOut)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// A portfolio row per client and the filled report. The grids let go of the removed
// bookings between dispatches (outside the time measured), so the runs are few.
void FanOutOverFilledTables(benchmark::State& state)
{
    TBenchCore bench(Clients);
    TBenchConnection bridge(bench.BridgePath);
    QList<QVariantList> portfolio;
    for (int i = 1; i <= Clients; ++i)
        portfolio << QVariantList{QStringLiteral("C%1").arg(i), 1000000.0 + i};
    bridge.Rows(QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES (?, ?)"), portfolio);
    FillReport(bridge);
    DispatchEach(state, bench);
}
BENCHMARK(FanOutOverFilledTables)->Unit(benchmark::kMillisecond)->Iterations(60);

// The floor: the bookings of 1,000 transactions as prepared inserts in one transaction
// over the same kind of file (the journal the program sets on a bridge file: WAL, one sync
// per checkpoint), through SQLite's own interface, and 1,000 lines appended one by one to
// an open file. Into an empty report, or into the filled one.
void RunFloor(benchmark::State& state, bool filledReport)
{
    TBenchCore bench(0);
    if (filledReport) {
        TBenchConnection bridge(bench.BridgePath);
        FillReport(bridge);
    }
    QFile file(bench.Quik(QStringLiteral("floor.tri")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        state.SkipWithError("cannot open the floor's file");
        return;
    }
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(bench.BridgePath.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the bridge file");
        sqlite3_close(database);
        return;
    }
    sqlite3_exec(database, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database, "INSERT INTO tOrderNumber (trans_id, id_order, filled, code) VALUES (?, ?, ?, ?)", -1,
                       &insert, nullptr);
    const QByteArray line =
        "TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=L01-00000F01;SECCODE=SBER;CLASSCODE=TQBR;CLIENT_CODE=C1;"
        "OPERATION=B;PRICE=250.75;STOPPRICE=250.75;Order_key=;Stop_Order_key=;QUANTITY=1\r\n";
    // The floor's own rows go after each run; the filled report's stay.
    const QByteArray clear = "DELETE FROM tOrderNumber WHERE trans_id < " + QByteArray::number(EarlierTransactions);
    int transId = 0;
    bool failed = insert == nullptr;
    for (auto _ : state) {
        sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
        for (int i = 0; i < Clients && !failed; ++i) {
            const QByteArray code = "C" + QByteArray::number(i);
            sqlite3_bind_int(insert, 1, transId++);
            sqlite3_bind_int(insert, 2, 7);
            sqlite3_bind_int(insert, 3, 1);
            sqlite3_bind_text(insert, 4, code.constData(), int(code.size()), SQLITE_TRANSIENT);
            failed = sqlite3_step(insert) != SQLITE_DONE;
            sqlite3_reset(insert);
        }
        failed = failed || sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK;
        for (int i = 0; i < Clients; ++i)
            file.write(line);
        state.PauseTiming();
        file.resize(0);
        sqlite3_exec(database, clear.constData(), nullptr, nullptr, nullptr);
        state.ResumeTiming();
        if (failed) {
            state.SkipWithError(sqlite3_errmsg(database));
            break;
        }
    }
    sqlite3_finalize(insert);
    sqlite3_close(database);
}
void Floor(benchmark::State& state)
{
    RunFloor(state, false);
}
BENCHMARK(Floor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void FloorOverFilledReport(benchmark::State& state)
{
    RunFloor(state, true);
}
BENCHMARK(FloorOverFilledReport)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("fan-out of one order to 1,000 clients, window attached", reporter.Time("FanOut"), reporter.Time("Floor"), 3.0);
    ReportRatio("fan-out of one order to 1,000 clients, 1,000 portfolio rows and 100,000 report rows, window attached, CPU time",
                reporter.Cpu("FanOutOverFilledTables"), reporter.Cpu("FloorOverFilledReport"), 3.0);
    if (reporter.Cpu("Floor") > 0)
        std::printf("the same against the floor over an empty report, CPU time: %.6g s against %.6g s, ratio %.2f\n",
                    reporter.Cpu("FanOutOverFilledTables"), reporter.Cpu("Floor"),
                    reporter.Cpu("FanOutOverFilledTables") / reporter.Cpu("Floor"));
    // What the filled tables add: the same dispatch over empty ones, in CPU time.
    if (reporter.Cpu("FanOut") > 0)
        std::printf("fan-out over filled tables against over empty ones, CPU time: %.6g s against %.6g s, ratio %.2f\n",
                    reporter.Cpu("FanOutOverFilledTables"), reporter.Cpu("FanOut"),
                    reporter.Cpu("FanOutOverFilledTables") / reporter.Cpu("FanOut"));
    return 0;
}
