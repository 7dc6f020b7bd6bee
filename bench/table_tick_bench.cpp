// The table tick of the program's core with watching on and the main window shown (offscreen),
// its grids over the tables, over alert tables of 100,000 rows each against tables of 1,000
// rows: with nothing new, and with one new FilledOrders row (added by another connection, as
// the strategy platform adds it) before every tick. Each tick is measured until the event
// loop has served what it set off (the bookings shown in the report grid, the grids
// repainted). Both databases are opened as SQLite files, and again through ODBC as Access
// files are. A tick should cost about the same whatever the tables hold: goal <= 2x, in CPU
// time (the wall time is printed too).

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"
#include "data/Connection.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QTabWidget>

namespace {

enum TEngine { Sqlite = 0, Odbc = 1 };

void FillAlerts(const QString& path, int rows)
{
    TBenchConnection alerts(path);
    const QList<QVariantList> empty(rows);
    alerts.Rows(FilledInsert(), empty);
    alerts.Rows(ActiveInsert(), empty);
    alerts.Rows(CanceledInsert(), empty);
    alerts.Rows(OpenPositionInsert(), empty);
}

QString OdbcSource(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1;NoCreat=1;Timeout=5000;").arg(path);
}

// A core watching in the FilledOrders mode over alert tables of the given size, through
// the given engine, the main window shown on the filled orders' tab, the current row of
// each alert table somewhere in the middle, as an operator leaves it.
struct TWatchingWindow {
    std::unique_ptr<TBenchCore> Bench;
    std::unique_ptr<TfmMain> Window;

    TWatchingWindow(int rows, TEngine engine)
    {
        Bench = std::make_unique<TBenchCore>(3);
        FillAlerts(Bench->AlertsPath, rows);
        if (engine == Odbc) {
            Bench->Core->Settings().edtAlerts = OdbcSource(Bench->AlertsPath);
            Bench->Core->Settings().edtQuikData = OdbcSource(Bench->BridgePath);
        }
        Window = std::make_unique<TfmMain>(*Bench->Core);
        Window->resize(992, 712);
        Window->show();
        Bench->StartWatching();
        for (int i = 0; i < Window->PageControl1->count(); ++i) {
            if (Window->PageControl1->widget(i)->isAncestorOf(Window->RxDBGrid4))
                Window->PageControl1->setCurrentIndex(i);
        }
        TDatMod& datMod = Bench->Core->DatMod();
        for (TTable* table : {&datMod.tFilledOrders(), &datMod.tActiveOrders(), &datMod.tCanceledOrders(), &datMod.tOpenPisitions()})
            table->SetRecNo(rows / 2);
        Tick();
    }
    void Tick()
    {
        Bench->Core->Watch().timTable();
        QApplication::processEvents();
    }
};

void TickNothingNew(benchmark::State& state)
{
    TWatchingWindow watching(int(state.range(0)), TEngine(state.range(1)));
    for (auto _ : state)
        watching.Tick();
    state.counters["rows"] = watching.Bench->Core->DatMod().tFilledOrders().RecordCount();
}
BENCHMARK(TickNothingNew)
    ->Args({1000, Sqlite})->Args({100000, Sqlite})->Args({1000, Odbc})->Args({100000, Odbc})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void TickOneNewRow(benchmark::State& state)
{
    TWatchingWindow watching(int(state.range(0)), TEngine(state.range(1)));
    TBenchCore& bench = *watching.Bench;
    TBenchConnection platform(bench.AlertsPath);
    TBenchConnection bridge(bench.BridgePath);
    const int linesBefore = bench.TriLineCount();
    int64_t ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform.Exec(FilledInsert());
        // Every tick finds the same bridge tables: the bookings of the last tick go.
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber"));
        bridge.Exec(QStringLiteral("DELETE FROM tClientOpenPositions"));
        QApplication::processEvents();
        state.ResumeTiming();
        watching.Tick();
        ++ticks;
    }
    // Each new row went out to the three clients: the tick did its whole work.
    if (bench.TriLineCount() - linesBefore != 3 * ticks)
        state.SkipWithError("a new row was not dispatched");
    state.counters["rows"] = bench.Core->DatMod().tFilledOrders().RecordCount();
}
BENCHMARK(TickOneNewRow)
    ->Args({1000, Sqlite})->Args({100000, Sqlite})->Args({1000, Odbc})->Args({100000, Odbc})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    // CPU time: the machine's other work and the disk's syncs (a new row is dispatched and
    // booked) swing the wall time; the program does all its work on this one thread.
    ReportRatio("table tick with the window, nothing new, 100,000 rows per alert table against 1,000 (CPU time)",
                reporter.Cpu("TickNothingNew/100000/0"), reporter.Cpu("TickNothingNew/1000/0"), 2.0);
    ReportRatio("table tick with the window, one new FilledOrders row, 100,000 rows per alert table against 1,000 (CPU time)",
                reporter.Cpu("TickOneNewRow/100000/0"), reporter.Cpu("TickOneNewRow/1000/0"), 2.0);
    ReportRatio("table tick over ODBC with the window, nothing new, 100,000 rows per alert table against 1,000 (CPU time)",
                reporter.Cpu("TickNothingNew/100000/1"), reporter.Cpu("TickNothingNew/1000/1"), 2.0);
    ReportRatio("table tick over ODBC with the window, one new FilledOrders row, 100,000 rows per alert table against 1,000 (CPU time)",
                reporter.Cpu("TickOneNewRow/100000/1"), reporter.Cpu("TickOneNewRow/1000/1"), 2.0);
    return 0;
}
