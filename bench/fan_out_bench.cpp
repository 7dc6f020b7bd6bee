// One accepted strategy order dispatched to 1,000 active clients in the group mode, through
// the program's core over SQLite files with the main window attached (shown offscreen, its
// log view and grids listening to the core): the time until every client's line is in the
// transaction import file and the event loop has served what the dispatch left for the
// window. Against two floors written on SQLite's own interface: the bare one, 1,000
// prepared inserts in one database transaction and the 1,000 lines in one write; and the
// must-do one, what the bridge must do for its crash safety (see MustDoFloor). The same dispatch again with the bridge tables as a desk fills them: a
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

// The 1,000 lines of a dispatch as one piece: the writer appends them in one write.
QByteArray FloorLines(const QByteArray& line)
{
    QByteArray lines;
    lines.reserve(line.size() * Clients);
    for (int i = 0; i < Clients; ++i)
        lines += line;
    return lines;
}

// The bare floor: the bookings of 1,000 transactions as prepared inserts in one transaction
// over the same kind of file (the journal the program sets on a bridge file: WAL, one sync
// per checkpoint), through SQLite's own interface, and the 1,000 lines appended to an open
// file in one write. Into an empty report, or into the filled one.
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
        file.write(FloorLines(line));
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

// The must-do floor: what the bridge must do for its crash safety, on SQLite's own
// interface over the same kind of file. In one transaction the pending record naming every
// account, and per account a portfolio lookup and two bookings (the report row and the
// open position); the commit; the 1,000 lines in one write and the 1,000 log lines in one
// write; then the pending record cleared in a second commit.
void MustDoFloor(benchmark::State& state)
{
    TBenchCore bench(0);
    {
        TBenchConnection bridge(bench.BridgePath);
        QList<QVariantList> portfolio;
        for (int i = 1; i <= Clients; ++i)
            portfolio << QVariantList{QStringLiteral("C%1").arg(i), 1000000.0 + i};
        bridge.Rows(QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES (?, ?)"), portfolio);
        bridge.Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS tPendingDispatch "
                                   "(id_order INTEGER, filled INTEGER, kill INTEGER, code TEXT COLLATE NOCASE)"));
    }
    QFile tri(bench.Quik(QStringLiteral("floor.tri")));
    QFile log(bench.Dir.filePath(QStringLiteral("floor.log")));
    if (!tri.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
        || !log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        state.SkipWithError("cannot open the floor's files");
        return;
    }
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(bench.BridgePath.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the bridge file");
        sqlite3_close(database);
        return;
    }
    sqlite3_exec(database, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_stmt* pending = nullptr;
    sqlite3_stmt* clearPending = nullptr;
    sqlite3_stmt* lookUp = nullptr;
    sqlite3_stmt* bookNumber = nullptr;
    sqlite3_stmt* bookPosition = nullptr;
    bool failed =
        sqlite3_prepare_v2(database, "INSERT INTO tPendingDispatch (id_order, filled, kill, code) VALUES (?, 1, 0, ?)",
                           -1, &pending, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database, "DELETE FROM tPendingDispatch WHERE id_order = ? AND filled = 1 AND kill = 0",
                              -1, &clearPending, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database, "SELECT curallassets FROM tPortfolio WHERE id_client = ?", -1, &lookUp,
                              nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database, "INSERT INTO tOrderNumber (trans_id, id_order, filled, code) VALUES (?, ?, 1, ?)",
                              -1, &bookNumber, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database,
                              "INSERT INTO tClientOpenPositions (quantity, symbol, code, [system], signal, [interval], "
                              "workspace, [position]) VALUES (1, 'SBER', ?, 'Trend(5,10)', 'Entry', '5 min', "
                              "'C:\\Omega\\Demo.wsp', 'Long')",
                              -1, &bookPosition, nullptr) != SQLITE_OK;
    QList<QByteArray> codes;
    for (int i = 1; i <= Clients; ++i)
        codes << "C" + QByteArray::number(i);
    const QByteArray allCodes = codes.join(',');
    const QByteArray lines = FloorLines(
        "TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=L01-00000F01;SECCODE=SBER;CLASSCODE=TQBR;CLIENT_CODE=C1;"
        "OPERATION=B;PRICE=250.75;STOPPRICE=250.75;Order_key=;Stop_Order_key=;QUANTITY=1\r\n");
    // The log lines of a dispatch, as the file takes them (Windows-1251, one byte a letter).
    const QByteArray logLines = [] {
        QByteArray text;
        for (int i = 0; i < Clients; ++i)
            text += "09.12.2008 10:30:05 Transaction number 0000000 [B 1 SBER at 250.75] by account C1 sent to Quik.\r\n";
        return text;
    }();
    auto step = [&](sqlite3_stmt* statement, int expected) {
        failed = failed || sqlite3_step(statement) != expected;
        sqlite3_reset(statement);
    };
    int transId = 0;
    int orderId = 0;
    for (auto _ : state) {
        ++orderId;
        failed = failed || sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK;
        sqlite3_bind_int(pending, 1, orderId);
        sqlite3_bind_text(pending, 2, allCodes.constData(), int(allCodes.size()), SQLITE_STATIC);
        step(pending, SQLITE_DONE);
        for (int i = 0; i < Clients && !failed; ++i) {
            const QByteArray& code = codes[i];
            sqlite3_bind_text(lookUp, 1, code.constData(), int(code.size()), SQLITE_STATIC);
            step(lookUp, SQLITE_ROW);
            sqlite3_bind_int(bookNumber, 1, transId++);
            sqlite3_bind_int(bookNumber, 2, orderId);
            sqlite3_bind_text(bookNumber, 3, code.constData(), int(code.size()), SQLITE_STATIC);
            step(bookNumber, SQLITE_DONE);
            sqlite3_bind_text(bookPosition, 1, code.constData(), int(code.size()), SQLITE_STATIC);
            step(bookPosition, SQLITE_DONE);
        }
        failed = failed || sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK;
        tri.write(lines);
        log.write(logLines);
        failed = failed || sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK;
        sqlite3_bind_int(clearPending, 1, orderId);
        step(clearPending, SQLITE_DONE);
        failed = failed || sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK;
        state.PauseTiming();
        tri.resize(0);
        log.resize(0);
        sqlite3_exec(database, "DELETE FROM tOrderNumber; DELETE FROM tClientOpenPositions", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        if (failed) {
            state.SkipWithError(sqlite3_errmsg(database));
            break;
        }
    }
    for (sqlite3_stmt* statement : {pending, clearPending, lookUp, bookNumber, bookPosition})
        sqlite3_finalize(statement);
    sqlite3_close(database);
}
BENCHMARK(MustDoFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// The fan-out against both floors.
void ReportFloors(const TRecordingReporter& reporter)
{
    ReportRatio("fan-out of one order to 1,000 clients, window attached, against the bare floor (inserts in one "
                "transaction, lines in one write)",
                reporter.Time("FanOut"), reporter.Time("Floor"), 3.0);
    ReportRatio("fan-out of one order to 1,000 clients, window attached, against the must-do floor (pending "
                "record, portfolio lookup and two bookings per account, two commits, lines and log in one write each)",
                reporter.Time("FanOut"), reporter.Time("MustDoFloor"), 1.5);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportFloors(reporter);
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
