// A dispatch to many clients sends one transaction per client; the cost of one send must
// not grow with the rows already in the transaction report and the open positions.

#include "data/DatMod.h"
#include "data/Schemas.h"
#include "data/Settings.h"
#include "shell/OperationLog.h"
#include "trade/TransWriter.h"
#include "trade/TransactionSender.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void FillBridge(const QString& path, int rows)
{
    const QString name = QStringLiteral("bench-fill");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        database.open();
        database.transaction();
        QSqlQuery report(database);
        report.prepare(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code, order_number) "
                                      "VALUES (?, ?, 0, ?, ?)"));
        QSqlQuery positions(database);
        positions.prepare(QStringLiteral("INSERT INTO tClientOpenPositions (symbol, quantity, System, Workspace, "
                                         "Interval, code, Position) VALUES ('SBER', 3, 'Channel(10)', 'Work.wsp', "
                                         "'5 min', ?, 'Long')"));
        for (int i = 0; i < rows; ++i) {
            report.addBindValue(-1 - i);
            report.addBindValue(i);
            report.addBindValue(QStringLiteral("K%1").arg(i));
            report.addBindValue(1000000 + i);
            report.exec();
            positions.addBindValue(QStringLiteral("K%1").arg(i));
            positions.exec();
        }
        database.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// Entries and exits by turns, each for the next client, with the report and positions
// already holding the given number of rows.
void BM_SendTransaction(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QuikData.db"));
    CreateBridgeDatabase(path);
    FillBridge(path, int(state.range(0)));

    TEnvironment environment;
    environment.Regional = TRegional();
    TSettings settings;
    settings.edtTRI = dir.filePath(QStringLiteral("Trans.tri"));
    TOperationLog log(environment);
    log.OpenFile(dir.filePath(QStringLiteral("Zovrant.log")));
    TDatMod datMod(environment);
    datMod.conQuikData.Open(path);
    datMod.tOrderNumber.Open();
    datMod.tClientOpenPositions.Open();
    TTransWriter writer(settings, environment, log);
    TTransactionSender sender(settings, datMod, writer, log);

    TOmegaOrder omega;
    omega.Id = 7;
    omega.Symbol = QStringLiteral("SBER");
    omega.System = QStringLiteral("Channel(10)");
    omega.Workspace = QStringLiteral("C:\\Omega\\Work.wsp");
    omega.Interval = QStringLiteral("5 min");
    TOrder order;
    order.Action = QStringLiteral("NEW_ORDER");
    order.Operation = QStringLiteral("B");
    order.Quantity = 3;
    order.Price = 25.5;
    order.StopPrice = 25.6;
    order.Digits = 2;
    order.Ticker = omega.Symbol;
    order.SecCode = QStringLiteral("SBER");
    order.ClassCode = QStringLiteral("EQBR");
    order.Account = QStringLiteral("L01-00000F00");
    order.OrderId = omega.Id;

    int client = 0;
    for (auto _ : state) {
        order.ClientCode = QStringLiteral("K%1").arg(client++);
        order.OrderType = client % 2 ? QStringLiteral("LE") : QStringLiteral("LX");
        omega.OrderType = order.OrderType;
        sender.SendTransaction(order, omega);
    }
    writer.WriteTransFile();
    QCoreApplication::processEvents(); // the grids' one re-read after the dispatch
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SendTransaction)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMicrosecond)->Complexity();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
