// A desk that runs for hours, in small: 20 alert rows a second for 10 minutes
// (ZOVRANT_SOAK_SECONDS shortens it for a quick run), committed from a thread of their own
// as the strategy platform commits them, each dispatched to 10 active clients by the
// program's core on its own timers with the main window attached, while a terminal in
// another thread answers every transaction line with an "executed" result. The resident
// memory of the process after the run against after its first minute (after a tenth of a
// shorter run): the goal is at most 1.2, memory that does not grow with the hours. Printed
// with the log file's bytes per order and per transaction line. Nothing may be lost.

#include "bench/BenchCore.h"
#include "bench/BenchPlatform.h"
#include "bench/BenchReport.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>

namespace {

const int Clients = 10;
const int RowsPerSecond = 20;
const double GoalRatio = 1.2;

struct TSoakFigures {
    bool Measured = false;
    int Seconds = 0;
    int Rows = 0;
    double FirstMinuteMB = 0;
    double AfterMB = 0;
    double LogBytes = 0;
} Figures;

int SoakSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ZOVRANT_SOAK_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 600;
}

// The resident memory of the process, in megabytes (Linux: /proc/self/status).
double ResidentMB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// The bytes of every log file in the folder, rotated ones too.
qint64 LogFileBytes(const QString& folder)
{
    qint64 bytes = 0;
    QDirIterator files(folder, {QStringLiteral("Zovrant*.log")}, QDir::Files);
    while (files.hasNext())
        bytes += QFileInfo(files.next()).size();
    return bytes;
}

void Soak(benchmark::State& state)
{
    const int seconds = SoakSeconds();
    const int rows = RowsPerSecond * seconds;
    // The first minute of a full run, a tenth of a shorter one.
    const double firstMs = 1000.0 * std::min(60, std::max(1, seconds / 10));
    TBenchCore bench(Clients, "[Quik]\r\nintTable=1\r\n");
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    TfmMain window(core);
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    const double startMs = 200;
    TTerminalThread terminal(core.Settings().edtTRI, core.Settings().edtTRO, clock);
    TPlatformThread platform(bench.AlertsPath, clock, rows,
                             [&](int i) { return startMs + double(i) * 1000.0 / RowsPerSecond; },
                             [](int) { return true; });
    TLineCounter tri(core.Settings().edtTRI);
    QEventLoop loop;
    double firstMinuteMB = 0;
    auto look = [&] {
        if (firstMinuteMB == 0 && double(clock.nsecsElapsed()) / 1e6 >= startMs + firstMs)
            firstMinuteMB = ResidentMB();
        if (platform.Committed() == rows && tri.Count() == rows * Clients
            && core.ResultReader().TransDoneCount() == rows * Clients)
            loop.quit();
    };
    QTimer poll;
    poll.setInterval(250);
    QObject::connect(&poll, &QTimer::timeout, &loop, look);

    for (auto _ : state) {
        // The stream, then 30 s to catch up at most.
        QTimer::singleShot(int(startMs) + seconds * 1000 + 30000, &loop, [&] { loop.quit(); });
        poll.start();
        loop.exec();
        poll.stop();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    // What the last ticks left for the window, then the figure.
    QApplication::processEvents();
    const double afterMB = ResidentMB();
    const int lines = tri.Count();
    const int booked = core.ResultReader().TransDoneCount();
    if (platform.Failed() || lines != rows * Clients || booked != rows * Clients || firstMinuteMB == 0) {
        std::printf("rows committed %d of %d, lines %d of %d, results booked %d of %d\n", platform.Committed(), rows,
                    lines, rows * Clients, booked, rows * Clients);
        state.SkipWithError("rows or results were lost, doubled or late beyond the run");
        return;
    }
    core.Log().SaveLog();
    Figures.Measured = true;
    Figures.Seconds = seconds;
    Figures.Rows = rows;
    Figures.FirstMinuteMB = firstMinuteMB;
    Figures.AfterMB = afterMB;
    Figures.LogBytes = double(LogFileBytes(bench.Dir.path()));
    state.counters["rss_first_mb"] = firstMinuteMB;
    state.counters["rss_after_mb"] = afterMB;
    state.counters["log_lines_held"] = core.Log().LineCount();
    state.counters["log_blocks_in_memory"] = core.Log().Lines().BlocksInMemory();
}
BENCHMARK(Soak)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    if (!Figures.Measured) {
        std::printf("soak of 20 rows/s to 10 clients: no figure: MISSED\n");
        return 0;
    }
    const double ratio = Figures.AfterMB / Figures.FirstMinuteMB;
    std::printf("soak of 20 rows/s to 10 clients for %d s: resident memory %.1f MB after the run against %.1f MB "
                "after the first %s, ratio %.3f (goal <= %.1f): %s\n",
                Figures.Seconds, Figures.AfterMB, Figures.FirstMinuteMB,
                Figures.Seconds >= 600 ? "minute" : "tenth of the run", ratio, GoalRatio,
                ratio <= GoalRatio ? "met" : "MISSED");
    std::printf("soak: log file %.0f bytes for %d orders: %.0f bytes per order, %.0f bytes per transaction line\n",
                Figures.LogBytes, Figures.Rows, Figures.LogBytes / Figures.Rows,
                Figures.LogBytes / (double(Figures.Rows) * Clients));
    return 0;
}
