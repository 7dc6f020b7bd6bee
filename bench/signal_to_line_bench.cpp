// From an alert row's commit (by a connection in a thread of its own, as the strategy
// platform commits it from its own process) to its transaction line in the import file, through the program's core driven by
// its own timers: the table tick at a period of 1 s and the look at the alert file's data
// version every 20 ms, which runs the watch cycle as soon as a commit shows. Rows are
// committed at random moments, each some 50-300 ms after the previous row's line is out.
// Goal: a median of at most 50 ms over 30 rows.
//
// The same is measured with transaction mail on ("Отправка транзакции") against a mail
// server that holds every message for 500 ms before it takes it in: the goal is the same,
// as a notification never holds back a line. The mails that reached the server while
// the rows were measured are counted too.

#include "bench/BenchCore.h"
#include "bench/BenchPlatform.h"
#include "bench/BenchReport.h"
#include "tests/support/SmtpTestServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

const int Samples = 30;
const int PeriodMs = 1000;
const double GoalMs = 50;
const int MailDelayMs = 500;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The latencies measured by each benchmark, and the mails the slow server took in.
std::vector<double> MeasuredLatencies;
std::vector<double> MeasuredLatenciesWithMail;
qsizetype MailsDelivered = -1;

void Measure(benchmark::State& state, TBenchCore& bench, std::vector<double>& measured)
{
    TMainCore& core = *bench.Core;
    if (!core.timUpdateTable().Running() || core.timUpdateTable().Period() != PeriodMs || !core.timAlertsCheck().Running()) {
        state.SkipWithError("the table timer is not running at 1 s or the alert file is not looked at");
        return;
    }
    QRandomGenerator random(20081209);
    QElapsedTimer clock;
    clock.start();
    // When each row is due: set once the previous row's line is out.
    std::vector<std::atomic<double>> dueMs(Samples);
    for (auto& due : dueMs)
        due = -1;
    dueMs[0] = 100;
    TPlatformThread platform(bench.AlertsPath, clock, Samples, [&](int i) { return dueMs[size_t(i)].load(); },
                             [&](int i) { return dueMs[size_t(i)] >= 0; });
    TLineCounter tri(core.Settings().edtTRI);
    std::vector<double> latencies;
    const int linesBefore = tri.Count();
    QEventLoop loop;

    // Connected after the core's own handlers: runs when a look or a tick has done its work.
    auto lookedAt = [&] {
        const int out = tri.Count() - linesBefore;
        while (int(latencies.size()) < out) {
            const double now = double(clock.nsecsElapsed()) / 1e6;
            const int row = int(latencies.size());
            while (platform.CommittedMs(row) < 0) // its commit is seen before the platform notes its end
                std::this_thread::yield();
            latencies.push_back(now - platform.CommittedMs(row));
            if (row + 1 < Samples)
                dueMs[size_t(row + 1)] = now + 50 + random.bounded(250);
        }
        if (int(latencies.size()) == Samples || platform.Failed())
            loop.quit();
    };
    QObject::connect(&core.timAlertsCheck().Timer(), &QTimer::timeout, &loop, lookedAt);
    QObject::connect(&core.timUpdateTable().Timer(), &QTimer::timeout, &loop, lookedAt);

    for (auto _ : state) {
        QTimer::singleShot(60000 * 2, &loop, [&] { loop.quit(); }); // a stuck core ends the run
        loop.exec();
        state.SetIterationTime(latencies.empty() ? 0 : Median(latencies) / 1000);
    }
    if (int(latencies.size()) != Samples) {
        state.SkipWithError("not every committed row reached the import file");
        return;
    }
    measured = latencies;
    state.counters["median_ms"] = Median(latencies);
    state.counters["min_ms"] = *std::min_element(latencies.begin(), latencies.end());
    state.counters["max_ms"] = *std::max_element(latencies.begin(), latencies.end());
}

void SignalToLine(benchmark::State& state)
{
    TBenchCore bench(1, "[Quik]\r\nintTable=1\r\n");
    bench.StartWatching();
    Measure(state, bench, MeasuredLatencies);
}
BENCHMARK(SignalToLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void SignalToLineWithMail(benchmark::State& state)
{
    TSmtpTestServer server;
    TSmtpTestServer::TOptions slow;
    slow.Auth = QStringLiteral("optional");
    slow.DelayMs = MailDelayMs;
    const QString error = server.Start(slow);
    if (!error.isEmpty()) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    TBenchCore bench(1, "[Quik]\r\nintTable=1\r\n");
    TSettings& s = bench.Core->Settings();
    s.edtSMTP = QStringLiteral("127.0.0.1");
    s.edtPort = server.PortText();
    s.chAuten = false;
    s.edtFromAddress = QStringLiteral("robot@zovrant.test");
    s.edtEmail1 = QStringLiteral("trader@zovrant.test");
    s.edtEmail2.clear();
    s.chSendTrans_Id = true;
    bench.StartWatching();
    Measure(state, bench, MeasuredLatenciesWithMail);
    MailsDelivered = server.Messages().size();
    state.counters["mails"] = double(MailsDelivered);
}
BENCHMARK(SignalToLineWithMail)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void Report(const char* what, const std::vector<double>& latencies)
{
    if (latencies.empty()) {
        std::printf("%s: no figure: MISSED\n", what);
        return;
    }
    const double median = Median(latencies);
    std::printf("%s: median %.1f ms over %zu rows (min %.1f, max %.1f), table period 1 s "
                "(goal <= %.0f ms): %s\n",
                what, median, latencies.size(), *std::min_element(latencies.begin(), latencies.end()),
                *std::max_element(latencies.begin(), latencies.end()), GoalMs, median <= GoalMs ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    Report("signal to line", MeasuredLatencies);
    if (MailsDelivered >= 0)
        std::printf("with transaction mail on: %lld of %d mails taken in by the server (%d ms each) "
                    "while the rows were measured\n",
                    static_cast<long long>(MailsDelivered), Samples, MailDelayMs);
    Report(QStringLiteral("signal to line, transaction mail on, mail server answering in %1 ms")
               .arg(MailDelayMs).toUtf8().constData(),
           MeasuredLatenciesWithMail);
    return 0;
}
