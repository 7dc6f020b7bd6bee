// The paced import file in real time: one strategy order dispatched to 2,000 active
// clients through the program's core with pacing at 20 lines a second and a burst of 5.
// The dispatch writes what the pace allows at once; the core's drain timer lets out the
// rest. Each line is timed when it is in the file: right after the timer tick (of the
// drain, the table or the alert check) that wrote it, or the dispatch. When 500 new
// orders still wait, a withdrawal is queued as a dispatch queues one and then written.
// Figures: the most lines in any second counted from any line (goal <= 25), the rate
// after the first write (goal within 2 % of 20/s), and how long the withdrawal took to
// reach the file (goal <= 1/20 s + 10 ms). The run takes about 100 s.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const int Clients = 2000;
const int PerSecond = 20;
const int Burst = 5;
const int WaitingAhead = 500;

struct TFigures {
    int MaxInSecond = 0;
    double Rate = 0;
    double WithdrawalMs = -1;
    int Lines = 0;
} Figures;

TOrder Withdrawal()
{
    TOrder order;
    order.Action = QStringLiteral("KILL_ORDER");
    order.Account = QStringLiteral("L01-00000F01");
    order.SecCode = QStringLiteral("SBER");
    order.ClassCode = QStringLiteral("TQBR");
    order.ClientCode = QStringLiteral("C1");
    order.Operation = QStringLiteral("B");
    order.Ticker = QStringLiteral("SBER");
    order.Digits = 2;
    order.OrderKey = QStringLiteral("100001");
    order.Quantity = 1;
    return order;
}

// Follows the import file: each complete line found is timed now.
class TFileWatch {
public:
    explicit TFileWatch(QString path) : FPath(std::move(path)) { FClock.start(); }

    double NowMs() const { return double(FClock.nsecsElapsed()) / 1e6; }
    // The lines found since the last look.
    QList<QByteArray> Look()
    {
        QFile file(FPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        file.seek(FOffset);
        const QByteArray bytes = file.readAll();
        const qsizetype end = bytes.lastIndexOf("\r\n");
        if (end < 0)
            return {};
        FOffset += end + 2;
        const double now = NowMs();
        const QList<QByteArray> lines = bytes.left(end).split('\n');
        Times.insert(Times.end(), lines.size(), now);
        return lines;
    }

    QList<double> Times; // when each line was found, in file order

private:
    QString FPath;
    QElapsedTimer FClock;
    qint64 FOffset = 0;
};

void Pacing(benchmark::State& state)
{
    for (auto _ : state) {
        TBenchCore bench(Clients);
        TMainCore& core = *bench.Core;
        core.Settings().TxPerSecond = PerSecond;
        core.Settings().TxBurst = Burst;
        bench.StartWatching();
        TFileWatch watch(core.Settings().edtTRI);
        QEventLoop loop;
        double withdrawalQueuedMs = -1;
        auto look = [&] {
            for (const QByteArray& line : watch.Look()) {
                if (line.contains("ACTION=KILL_ORDER") && withdrawalQueuedMs >= 0)
                    Figures.WithdrawalMs = watch.NowMs() - withdrawalQueuedMs;
            }
            if (withdrawalQueuedMs < 0 && watch.Times.size() >= Clients - WaitingAhead) {
                withdrawalQueuedMs = watch.NowMs();
                core.RunGuarded([&core] {
                    core.Writer().QueueTransaction(Withdrawal());
                    core.Writer().WriteTransFile();
                });
                for (const QByteArray& line : watch.Look()) {
                    if (line.contains("ACTION=KILL_ORDER"))
                        Figures.WithdrawalMs = watch.NowMs() - withdrawalQueuedMs;
                }
            }
            if (watch.Times.size() >= Clients + 1)
                loop.quit();
        };
        // After the core's own handler of each timer that may write: its lines are in the
        // file when this looks.
        QObject::connect(&core.timDrain(), &QTimer::timeout, &loop, look);
        QObject::connect(&core.timUpdateTable().Timer(), &QTimer::timeout, &loop, look);
        QObject::connect(&core.timAlertsCheck().Timer(), &QTimer::timeout, &loop, look);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(300000);

        core.Dispatcher().ProcessOrder(FilledEntry(1), &TOrderBuilder::NewOrder, true);
        look();
        loop.exec();

        const QList<double>& times = watch.Times;
        Figures.Lines = int(times.size());
        if (times.size() != Clients + 1) {
            state.SkipWithError("not every line reached the import file");
            break;
        }
        for (qsizetype i = 0; i < times.size(); ++i) {
            const auto end = std::lower_bound(times.cbegin() + i, times.cend(), times[i] + 1000.0);
            Figures.MaxInSecond = std::max(Figures.MaxInSecond, int(end - (times.cbegin() + i)));
        }
        const auto firstWrite = std::count(times.cbegin(), times.cend(), times.front());
        Figures.Rate = double(times.size() - firstWrite) * 1000.0 / (times.back() - times.front());
        state.counters["max_in_second"] = Figures.MaxInSecond;
        state.counters["rate_per_s"] = Figures.Rate;
        state.counters["withdrawal_ms"] = Figures.WithdrawalMs;
    }
}
BENCHMARK(Pacing)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    const bool bound = Figures.MaxInSecond > 0 && Figures.MaxInSecond <= PerSecond + Burst;
    std::printf("most lines in any second, %d lines at %d/s burst %d: %d (goal <= %d): %s\n", Figures.Lines,
                PerSecond, Burst, Figures.MaxInSecond, PerSecond + Burst, bound ? "met" : "MISSED");
    const bool rate = Figures.Rate > 0 && std::abs(Figures.Rate - PerSecond) <= PerSecond * 0.02;
    std::printf("rate after the first write: %.3f lines/s (goal %d +- 2 %%): %s\n", Figures.Rate, PerSecond,
                rate ? "met" : "MISSED");
    const double limitMs = 1000.0 / PerSecond + 10;
    const bool withdrawal = Figures.WithdrawalMs >= 0 && Figures.WithdrawalMs <= limitMs;
    std::printf("withdrawal queued behind %d new orders, to the file: %.2f ms (goal <= %.0f ms): %s\n", WaitingAhead,
                Figures.WithdrawalMs, limitMs, withdrawal ? "met" : "MISSED");
    return 0;
}
