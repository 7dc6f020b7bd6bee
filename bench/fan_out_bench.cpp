// One accepted strategy order dispatched to 1,000 active clients in the group mode, through
// the program's core over SQLite files: the time until every client's line is in the
// transaction import file. Its floor is the least such a dispatch must do: 1,000
// prepared inserts in one database transaction and 1,000 lines appended to a file.

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"

#include <QCoreApplication>
#include <QFile>

namespace {

const int Clients = 1000;

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

void FanOut(benchmark::State& state)
{
    TBenchCore bench(Clients);
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    TBenchConnection bridge(bench.BridgePath);
    qint32 id = 1;
    for (auto _ : state) {
        core.Dispatcher().ProcessOrder(FilledEntry(id++), &TOrderBuilder::NewOrder, true);
        state.PauseTiming();
        if (bench.TriLineCount() != Clients) {
            state.SkipWithError("not every client's line reached the import file");
            break;
        }
        // The grids' re-read after a dispatch runs from the event loop, after the lines
        // are out; then each dispatch starts from the same files.
        QCoreApplication::processEvents();
        QFile(core.Settings().edtTRI).resize(0);
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber"));
        bridge.Exec(QStringLiteral("DELETE FROM tClientOpenPositions"));
        RefreshTable(core.DatMod().tOrderNumber());
        RefreshTable(core.DatMod().tClientOpenPositions());
        state.ResumeTiming();
    }
}
BENCHMARK(FanOut)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The floor: the bookings of 1,000 transactions as prepared inserts in one transaction
// over the same kind of file, and 1,000 lines appended one by one to an open file.
void Floor(benchmark::State& state)
{
    TBenchCore bench(0);
    TBenchConnection bridge(bench.BridgePath);
    QFile file(bench.Quik(QStringLiteral("floor.tri")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        state.SkipWithError("cannot open the floor's file");
        return;
    }
    const QByteArray line =
        "TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=L01-00000F01;SECCODE=SBER;CLASSCODE=TQBR;CLIENT_CODE=C1;"
        "OPERATION=B;PRICE=250.75;STOPPRICE=250.75;Order_key=;Stop_Order_key=;QUANTITY=1\r\n";
    int transId = 0;
    for (auto _ : state) {
        QSqlDatabase database = bridge.Database();
        database.transaction();
        {
            QSqlQuery insert(database);
            insert.prepare(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code) VALUES (?, ?, ?, ?)"));
            for (int i = 0; i < Clients; ++i) {
                insert.bindValue(0, transId++);
                insert.bindValue(1, 7);
                insert.bindValue(2, true);
                insert.bindValue(3, QStringLiteral("C%1").arg(i));
                insert.exec();
            }
        }
        database.commit();
        for (int i = 0; i < Clients; ++i)
            file.write(line);
        state.PauseTiming();
        file.resize(0);
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber"));
        state.ResumeTiming();
    }
}
BENCHMARK(Floor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("fan-out of one order to 1,000 clients", reporter.Time("FanOut"), reporter.Time("Floor"), 3.0);
    return 0;
}
