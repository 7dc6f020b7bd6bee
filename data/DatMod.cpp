#include "data/DatMod.h"

#include "base/Error.h"
#include "data/Batch.h"
#include "data/RiskLimitsData.h"
#include "data/SecurityLimits.h"

#include <algorithm>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace {

// The table of one row that keeps the highest transaction number ever issued.
const QString TransIdTable = QStringLiteral("tLastTransId");
// The accounts of dispatches whose lines are not yet all in the import file.
const QString PendingTable = QStringLiteral("tPendingDispatch");
// The last handled id of each alert table, by the table's name.
const QString LastHandledTable = QStringLiteral("tLastHandledId");

// An exchange order number as the report keeps it (a number, or a text on some bridge
// files): 0 when there is none or it does not read as a number above 0.
qint64 OrderNumberOf(const TField& field)
{
    if (field.IsNull())
        return 0;
    bool ok = false;
    const qint64 value = field.AsString().trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

QString Decimal(qint64 number)
{
    return QString::number(number); // plain decimal digits, no grouping
}

void OpenIfClosed(TTable& table)
{
    if (!table.Active())
        table.Open();
}

std::optional<qint32> OptionalInteger(TDataSet& dataSet, const QString& column)
{
    const TField field = dataSet.FieldByName(column);
    if (field.IsNull())
        return std::nullopt;
    return field.AsInteger();
}

std::optional<double> OptionalFloat(TDataSet& dataSet, const QString& column)
{
    const TField field = dataSet.FieldByName(column);
    if (field.IsNull())
        return std::nullopt;
    return field.AsFloat();
}

} // namespace

TDatMod::TDatMod(TEnvironment& environment)
    : TDatMod(environment, FNoEvents)
{
}

TDatMod::TDatMod(TEnvironment& environment, TCoreEvents& events)
    : FEvents(events),
      FEnvironment(environment),
      FtFilledOrders(FconOmega, QStringLiteral("FilledOrders")),
      FtActiveOrders(FconOmega, QStringLiteral("ActiveOrders")),
      FtCanceledOrders(FconOmega, QStringLiteral("CanceledOrders")),
      FtOpenPisitions(FconOmega, QStringLiteral("OpenPositions")),
      FqFilledOrders(FconOmega),
      FqActiveOrders(FconOmega),
      FqCanceledOrders(FconOmega),
      FqUpdateOrderNumber(FconOmega),
      FqLastID(FconOmega),
      FtParam(FconQuikData, QStringLiteral("tParam"), true),
      FtPortfolio(FconQuikData, QStringLiteral("tPortfolio"), true),
      FtSecCode(FconQuikData, QStringLiteral("tSecCode")),
      FtWorkSpaces(FconQuikData, QStringLiteral("tWorkSpaces")),
      FtStrategy(FconQuikData, QStringLiteral("tStrategy")),
      FtOrderNumber(FconQuikData, QStringLiteral("tOrderNumber")),
      FtClients(FconQuikData, QStringLiteral("tclients")),
      FtClientOpenPositions(FconQuikData, QStringLiteral("tClientOpenPositions")),
      FqSecCode(FconQuikData),
      FqSecCodeSum(FconQuikData),
      FqPortfolio(FconQuikData),
      FqPortfolioSum(FconQuikData),
      FqActiveClients(FconQuikData),
      FqExitQty(FconQuikData),
      FqQuikData(FconQuikData),
      FTransIdTable{TransIdTable, QStringLiteral("(trans_id INTEGER)"), std::nullopt, false},
      FPendingTable{PendingTable,
                    QStringLiteral("(id_order INTEGER, filled INTEGER, kill INTEGER, code TEXT COLLATE NOCASE)"),
                    std::nullopt, false},
      FLastHandledTable{LastHandledTable, QStringLiteral("(alert_table TEXT COLLATE NOCASE, last_id INTEGER)"),
                        std::nullopt, false},
      FRefusalsTable{RiskRefusalsTable(), RiskRefusalsColumns(), std::nullopt, false},
      FtRiskRefusals(FconQuikData, RiskRefusalsTable(), true),
      FqPortfolioRows(FconQuikData),
      FqBookOrderNumber(FconQuikData),
      FqBookOpenPosition(FconQuikData)
{
    FqBookOrderNumber.SQL = {
        QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code)"),
        QStringLiteral("VALUES (:trans_id, :id_order, :filled, :code)")};
    FqBookOpenPosition.SQL = {
        QStringLiteral("INSERT INTO tClientOpenPositions"),
        QStringLiteral("(quantity, symbol, code, [system], signal, [interval], workspace, [position])"),
        QStringLiteral("VALUES (:quantity, :symbol, :code, :system, :signal, :interval, :workspace, :position)")};
    FqSecCodeSum.SQL = {
        QStringLiteral("Select Count(Traded) as SumTraded,  Sum(FixVol) as SumFixVol, Sum(Part) as SumPart"),
        QStringLiteral("From tSecCode"),
        QStringLiteral("Where Traded =  True")};
    FqPortfolioSum.SQL = {
        QStringLiteral("Select Count(id_client) as SumId_client,  Sum(openassets) as SumOpenAssets,"),
        QStringLiteral("Sum(shorts) as SumShorts, Sum(longs) as Sumlongs, Sum(CurAssets) as SumCurAssets,"),
        QStringLiteral("Sum(OpenAllAssets) as SumOpenAllAssets, Sum(CurAllAssets) as SumCurAllAssets,"),
        QStringLiteral("Avg(margin) as AvgMargin, Avg(curLeverage) as AvgCurLeverage,"),
        QStringLiteral("Sum(profitloss) as SumProfitLoss, Avg(change) as AvgChange"),
        QStringLiteral("From tPortfolio")};
    FqActiveClients.SQL = {
        QStringLiteral("SELECT *"),
        QStringLiteral("FROM tClients"),
        QStringLiteral("WHERE [tClients].[Active] = True")};
    FqExitQty.SQL = {
        QStringLiteral("SELECT Quantity"),
        QStringLiteral("FROM tClientOpenPositions"),
        QStringLiteral("WHERE code=:code and symbol=:symbol and system=:system and workspace=:workspace and "
                       "[tClientOpenPositions].[interval] = :interval and [tClientOpenPositions].[position] =:position")};

    FtSecCode.BeforePost = [this](TTable&) { return tSecCodeBeforePost(); };
    FtSecCode.AfterPost = [this](TTable&) { tSecCodeAfterPost(); };
    FtSecCode.AfterDelete = [this](TTable&) { tSecCodeAfterPost(); };

    // A cell edited in a grid that cannot be stored is shown to the operator in the
    // standard error box, as a failed command would be; the grid keeps the stored value.
    for (TTable* table : {&FtFilledOrders, &FtActiveOrders, &FtCanceledOrders, &FtOpenPisitions, &FtParam,
                          &FtPortfolio, &FtSecCode, &FtWorkSpaces, &FtStrategy, &FtOrderNumber, &FtClients,
                          &FtClientOpenPositions}) {
        QObject::connect(table, &TDataSet::EditFailed, table, [this, table](const QString& text) {
            FEnvironment.ReportError(QStringLiteral("Изменение в таблице %1 не сохранено:").arg(table->TableName())
                                     + QStringLiteral("\r\n") + text);
        });
    }

    FtRiskRefusals.Sort(QStringLiteral("newest_first"));

    FBookedRefresh.setSingleShot(true);
    QObject::connect(&FBookedRefresh, &QTimer::timeout, &FBookedRefresh, [this] { RefreshBookedTables(); });
}

qint64 TDatMod::GetLastId(TTable& table)
{
    if (!table.Active())
        return -1;
    // The greatest id is the last row's id in the order the platform adds rows; it is
    // read from the database so that rows added since the last refresh count too.
    TQuery* query = &FqLastID;
    std::unique_ptr<TQuery> other;
    if (&table.Connection() != &FconOmega) {
        other = std::make_unique<TQuery>(table.Connection());
        query = other.get();
    }
    try {
        query->Close();
        query->Clear();
        query->Add(QStringLiteral("SELECT MAX(id) AS LastId"));
        query->Add(QStringLiteral("FROM [") + table.TableName() + QLatin1Char(']'));
        query->Open();
        const qint64 result = query->IsEmpty() ? 0 : query->FieldByName(QStringLiteral("LastId")).AsLargeInt();
        query->Close();
        return result;
    } catch (const std::exception&) {
        query->Close();
        return -1;
    }
}

std::optional<qint64> TDatMod::MaxOfColumn(const QString& table, const QString& column)
{
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("SELECT MAX(") + column + QStringLiteral(") AS Highest"));
    FqQuikData.Add(QStringLiteral("FROM ") + table);
    FqQuikData.Open();
    const TField highest = FqQuikData.FieldByName(QStringLiteral("Highest"));
    const std::optional<qint64> result =
        FqQuikData.IsEmpty() || highest.IsNull() ? std::nullopt : std::optional<qint64>(highest.AsLargeInt());
    FqQuikData.Close();
    return result;
}

bool TDatMod::BookkeepingTableKept(TBookkeepingTable& table)
{
    const quint64 session = FconQuikData.Session();
    if (table.Session == session)
        return table.Kept;
    const QSqlDatabase database = FconQuikData.Database();
    table.Kept = database.tables(QSql::Tables).contains(table.Name, Qt::CaseInsensitive);
    if (!table.Kept && FconQuikData.Engine() == TConnection::TEngine::Sqlite) {
        QSqlQuery create(database);
        table.Kept = create.exec(QStringLiteral("CREATE TABLE ") + table.Name + QLatin1Char(' ') + table.Columns);
    }
    table.Session = session;
    return table.Kept;
}

bool TDatMod::TransIdKept()
{
    return BookkeepingTableKept(FTransIdTable);
}

int TDatMod::HighestTransId()
{
    qint64 highest = MaxOfColumn(QStringLiteral("tOrderNumber"), QStringLiteral("trans_id")).value_or(-1);
    if (TransIdKept())
        highest = std::max(highest, MaxOfColumn(TransIdTable, QStringLiteral("trans_id")).value_or(-1));
    return int(std::clamp<qint64>(highest, -1, std::numeric_limits<qint32>::max()));
}

void TDatMod::KeepHighestTransId(int transId)
{
    if (!TransIdKept())
        return;
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("UPDATE ") + TransIdTable);
    FqQuikData.Add(QStringLiteral("SET trans_id = :trans_id"));
    FqQuikData.Add(QStringLiteral("WHERE trans_id IS NULL OR trans_id < :lower_than"));
    FqQuikData.SetParam(QStringLiteral("trans_id"), transId);
    FqQuikData.SetParam(QStringLiteral("lower_than"), transId);
    if (FqQuikData.ExecSQL() > 0)
        return;
    // No row was raised: either the number kept is not lower, or the table has no row
    // yet (just made, or emptied by hand).
    if (MaxOfColumn(TransIdTable, QStringLiteral("trans_id")))
        return;
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("INSERT INTO ") + TransIdTable + QStringLiteral(" (trans_id)"));
    FqQuikData.Add(QStringLiteral("VALUES (:trans_id)"));
    FqQuikData.SetParam(QStringLiteral("trans_id"), transId);
    FqQuikData.ExecSQL();
}

bool TDatMod::PendingDispatchKept()
{
    return BookkeepingTableKept(FPendingTable);
}

void TDatMod::RecordPendingDispatch(qint64 orderId, bool filled, bool kill, const QStringList& codes)
{
    if (codes.isEmpty() || !PendingDispatchKept())
        return;
    // One transaction: the whole intent is on disk before the first line is booked.
    TBatch record(FconQuikData);
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("INSERT INTO ") + PendingTable + QStringLiteral(" (id_order, filled, kill, code)"));
    FqQuikData.Add(QStringLiteral("VALUES (:id_order, :filled, :kill, :code)"));
    // A SQLite text has no length limit: one row names every account, as the report
    // names them, and a dispatch to a thousand accounts writes and clears one row, not a
    // thousand. A table through ODBC keeps the width its maker gave the column: a row
    // per account.
    const QStringList rows = FconQuikData.Engine() == TConnection::TEngine::Sqlite
        ? QStringList{codes.join(TPendingDispatch::CodeSeparator())}
        : codes;
    for (const QString& code : rows) {
        FqQuikData.SetParam(QStringLiteral("id_order"), orderId);
        FqQuikData.SetParam(QStringLiteral("filled"), filled ? 1 : 0);
        FqQuikData.SetParam(QStringLiteral("kill"), kill ? 1 : 0);
        FqQuikData.SetParam(QStringLiteral("code"), code);
        FqQuikData.ExecSQL();
    }
    record.Commit();
}

void TDatMod::ClearPendingDispatch(qint64 orderId, bool filled, bool kill)
{
    if (!PendingDispatchKept())
        return;
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("DELETE FROM ") + PendingTable);
    FqQuikData.Add(QStringLiteral("WHERE id_order = :id_order AND filled = :filled AND kill = :kill"));
    FqQuikData.SetParam(QStringLiteral("id_order"), orderId);
    FqQuikData.SetParam(QStringLiteral("filled"), filled ? 1 : 0);
    FqQuikData.SetParam(QStringLiteral("kill"), kill ? 1 : 0);
    FqQuikData.ExecSQL();
}

QList<TPendingDispatch> TDatMod::TakePendingDispatches()
{
    QList<TPendingDispatch> pending;
    if (!PendingDispatchKept())
        return pending;
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("SELECT id_order, filled, kill, code FROM ") + PendingTable);
    FqQuikData.Open();
    for (FqQuikData.First(); !FqQuikData.Eof(); FqQuikData.Next()) {
        TPendingDispatch row;
        row.IdOrder = FqQuikData.FieldByName(QStringLiteral("id_order")).AsLargeInt();
        row.Filled = FqQuikData.FieldByName(QStringLiteral("filled")).AsInteger() != 0;
        row.Kill = FqQuikData.FieldByName(QStringLiteral("kill")).AsInteger() != 0;
        row.Code = FqQuikData.FieldByName(QStringLiteral("code")).AsString();
        pending << row;
    }
    FqQuikData.Close();
    if (!pending.isEmpty()) {
        FqQuikData.Clear();
        FqQuikData.Add(QStringLiteral("DELETE FROM ") + PendingTable);
        FqQuikData.ExecSQL();
    }
    return pending;
}

std::optional<qint64> TDatMod::KeptLastId(const QString& alertTable)
{
    if (!BookkeepingTableKept(FLastHandledTable))
        return std::nullopt;
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("SELECT last_id FROM ") + LastHandledTable);
    FqQuikData.Add(QStringLiteral("WHERE alert_table = :alert_table"));
    FqQuikData.SetParam(QStringLiteral("alert_table"), alertTable);
    FqQuikData.Open();
    std::optional<qint64> kept;
    if (!FqQuikData.IsEmpty()) {
        FqQuikData.First();
        const TField id = FqQuikData.FieldByName(QStringLiteral("last_id"));
        if (!id.IsNull())
            kept = id.AsLargeInt();
    }
    FqQuikData.Close();
    return kept;
}

void TDatMod::KeepLastId(const QString& alertTable, qint64 id)
{
    if (!BookkeepingTableKept(FLastHandledTable))
        return;
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("UPDATE ") + LastHandledTable);
    FqQuikData.Add(QStringLiteral("SET last_id = :last_id"));
    FqQuikData.Add(QStringLiteral("WHERE alert_table = :alert_table"));
    FqQuikData.SetParam(QStringLiteral("last_id"), id);
    FqQuikData.SetParam(QStringLiteral("alert_table"), alertTable);
    if (FqQuikData.ExecSQL() > 0)
        return;
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("INSERT INTO ") + LastHandledTable + QStringLiteral(" (alert_table, last_id)"));
    FqQuikData.Add(QStringLiteral("VALUES (:alert_table, :last_id)"));
    FqQuikData.SetParam(QStringLiteral("alert_table"), alertTable);
    FqQuikData.SetParam(QStringLiteral("last_id"), id);
    FqQuikData.ExecSQL();
}

bool TDatMod::ActiveOrderExists(qint64 id)
{
    FqActiveOrders.Close();
    FqActiveOrders.Clear();
    FqActiveOrders.ClearParams();
    FqActiveOrders.Add(QStringLiteral("SELECT ID FROM ActiveOrders"));
    FqActiveOrders.Add(QStringLiteral("WHERE ID = :id"));
    FqActiveOrders.SetParam(QStringLiteral("id"), id);
    FqActiveOrders.Open();
    const bool found = !FqActiveOrders.IsEmpty();
    FqActiveOrders.Close();
    return found;
}

QList<TReportRow> TDatMod::SentTransactions(qint64 orderId, bool filled)
{
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.ClearParams();
    FqQuikData.Add(QStringLiteral("SELECT trans_id, code, status, order_number"));
    FqQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    FqQuikData.Add(QStringLiteral("WHERE id_order = :id_order and Filled = :filled"));
    FqQuikData.Add(QStringLiteral("ORDER BY trans_id"));
    FqQuikData.SetParam(QStringLiteral("id_order"), orderId);
    FqQuikData.SetParam(QStringLiteral("filled"), filled);
    FqQuikData.Open();
    QList<TReportRow> sent;
    for (FqQuikData.First(); !FqQuikData.Eof(); FqQuikData.Next()) {
        TReportRow row;
        row.TransId = FqQuikData.FieldByName(QStringLiteral("trans_id")).AsInteger();
        row.Code = FqQuikData.FieldByName(QStringLiteral("code")).AsString();
        const TField status = FqQuikData.FieldByName(QStringLiteral("status"));
        if (!status.IsNull())
            row.Status = status.AsInteger();
        row.OrderNumber = OrderNumberOf(FqQuikData.FieldByName(QStringLiteral("order_number")));
        sent << row;
    }
    FqQuikData.Close();
    return sent;
}

QString TDatMod::BridgeQuickCheck()
{
    if (FconQuikData.Engine() != TConnection::TEngine::Sqlite)
        return {};
    QSqlQuery check(FconQuikData.Database());
    if (!check.exec(QStringLiteral("PRAGMA quick_check")))
        return check.lastError().text();
    QStringList found;
    while (check.next())
        found << check.value(0).toString();
    return found == QStringList{QStringLiteral("ok")} ? QString() : found.join(QStringLiteral("\r\n"));
}

bool TDatMod::tSecCodeBeforePost()
{
    ++FSecuritiesEdits;
    // Only an empty code is refused; blanks are the operator's choice.
    if (FtSecCode.FieldByName(QStringLiteral("SecCode")).AsString().isEmpty()) {
        FEnvironment.ShowMessage(QStringLiteral("Введите данные в поле \"Код в Quik`е\""));
        return false;
    }
    // Values no price can be made with would refuse every order of the security.
    std::optional<qint32> digits;
    const TField digitsField = FtSecCode.FieldByName(QStringLiteral("Digits"));
    if (!digitsField.IsNull()) // narrowed so that a value far out of range stays out of range
        digits = static_cast<qint32>(std::clamp(digitsField.AsFloat(), -1e6, 1e6));
    std::optional<double> slippage;
    const TField slippageField = FtSecCode.FieldByName(QStringLiteral("Slippage"));
    if (!slippageField.IsNull())
        slippage = slippageField.AsFloat();
    const QString problem = SecurityPriceValuesProblem(digits, slippage);
    if (!problem.isEmpty()) {
        FEnvironment.ShowMessage(problem);
        return false;
    }
    return true;
}

void TDatMod::tSecCodeAfterPost()
{
    ++FSecuritiesEdits;
    FEvents.SecuritiesChanged();
}

void TDatMod::OpenBridgeTables()
{
    FtWorkSpaces.Open();
    FtStrategy.Open();
    FtSecCode.Open();
    FtOrderNumber.Open();
    FtClientOpenPositions.Open();
    FtClients.Open();
    if (BookkeepingTableKept(FRefusalsTable))
        FtRiskRefusals.Open();
}

void TDatMod::OpenNewOrders(TQuery& query, const QString& tableName, qint64 afterId, qint64 upToId)
{
    query.Close();
    query.Clear();
    query.Add(QStringLiteral("SELECT *"));
    query.Add(QStringLiteral("FROM ") + tableName);
    query.Add(QStringLiteral("WHERE id >") + Decimal(afterId) + QStringLiteral(" and id <=") + Decimal(upToId));
    query.Open();
}

void TDatMod::UpdateOrderNumber(bool filled, qint64 id)
{
    // The column is text: the number goes in as its decimal digits. The numbers are
    // bound, so that one prepared statement per table serves every result line.
    FqUpdateOrderNumber.Close();
    FqUpdateOrderNumber.Clear();
    FqUpdateOrderNumber.Add(filled ? QStringLiteral("UPDATE FilledOrders") : QStringLiteral("UPDATE ActiveOrders"));
    FqUpdateOrderNumber.Add(QStringLiteral("SET [order number] = :order_number"));
    FqUpdateOrderNumber.Add(QStringLiteral("WHERE id = :id"));
    FqUpdateOrderNumber.SetParam(QStringLiteral("order_number"), Decimal(id));
    FqUpdateOrderNumber.SetParam(QStringLiteral("id"), id);
    FqUpdateOrderNumber.ExecSQL();
}

void TDatMod::OpenSecCode(const QString& ticker)
{
    FqSecCode.Close();
    FqSecCode.Clear();
    FqSecCode.Add(QStringLiteral("SELECT *"));
    FqSecCode.Add(QStringLiteral("FROM tSecCode"));
    FqSecCode.Add(QStringLiteral("WHERE Ticker= :ticker"));
    FqSecCode.SetParam(QStringLiteral("ticker"), ticker);
    FqSecCode.Open();
}

void TDatMod::OpenPortfolio(const QString& clientCode)
{
    FqPortfolio.Close();
    FqPortfolio.Clear();
    FqPortfolio.Add(QStringLiteral("SELECT *"));
    FqPortfolio.Add(QStringLiteral("FROM tPortfolio"));
    FqPortfolio.Add(QStringLiteral("WHERE id_client= :id_client"));
    FqPortfolio.SetParam(QStringLiteral("id_client"), clientCode);
    FqPortfolio.Open();
}

void TDatMod::SetExitQtyParams(const TPositionKey& key)
{
    FqExitQty.SetParam(QStringLiteral("code"), key.Code);
    FqExitQty.SetParam(QStringLiteral("symbol"), key.Symbol);
    FqExitQty.SetParam(QStringLiteral("system"), key.System);
    FqExitQty.SetParam(QStringLiteral("workspace"), key.Workspace);
    FqExitQty.SetParam(QStringLiteral("interval"), key.Interval);
    FqExitQty.SetParam(QStringLiteral("position"), key.Position);
}

void TDatMod::OpenExitQty(const TPositionKey& key)
{
    FqExitQty.Close();
    FqExitQty.SQL[0] = QStringLiteral("SELECT Quantity");
    SetExitQtyParams(key);
    FqExitQty.Open();
}

int TDatMod::DeleteExitQty(const TPositionKey& key)
{
    FqExitQty.Close();
    FqExitQty.SQL[0] = QStringLiteral("DELETE");
    SetExitQtyParams(key);
    const int deleted = FqExitQty.ExecSQL();
    ShowBooked(FPositionsBooked);
    return deleted;
}

void TDatMod::OpenTransaction(int transId)
{
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.Add(QStringLiteral("SELECT trans_id, id_order, filled, code, order_number"));
    FqQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    FqQuikData.Add(QStringLiteral("WHERE trans_id = :trans_id"));
    FqQuikData.SetParam(QStringLiteral("trans_id"), transId);
    FqQuikData.Open();
}

int TDatMod::BookTransactionResult(int transId, int status, const QString& transName,
                                   const QString& description, std::optional<qint64> orderNumber)
{
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.Add(QStringLiteral("UPDATE tOrderNumber"));
    // Every value is bound: the statement is prepared once (twice: with and without an
    // order number) for every result line of the run.
    QString set = QStringLiteral("SET status =:status,trans_name= :trans_name ,description= :description");
    if (orderNumber)
        set += QStringLiteral(", order_number=:order_number");
    FqQuikData.Add(set);
    FqQuikData.Add(QStringLiteral("WHERE trans_id = :trans_id"));
    FqQuikData.SetParam(QStringLiteral("status"), status);
    FqQuikData.SetParam(QStringLiteral("trans_name"), transName);
    FqQuikData.SetParam(QStringLiteral("description"), description);
    if (orderNumber)
        FqQuikData.SetParam(QStringLiteral("order_number"), *orderNumber);
    FqQuikData.SetParam(QStringLiteral("trans_id"), transId);
    return FqQuikData.ExecSQL();
}

void TDatMod::OpenOrderNumbers(qint64 orderId, bool filled, const QString& clientCode)
{
    FqQuikData.Close();
    FqQuikData.Clear();
    FqQuikData.Add(QStringLiteral("SELECT Order_Number"));
    FqQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    FqQuikData.Add(QStringLiteral("WHERE id_order = ") + Decimal(orderId) + QStringLiteral(" and Filled=")
                  + (filled ? QStringLiteral("True") : QStringLiteral("False")) + QStringLiteral(" and code= :code"));
    FqQuikData.Add(QStringLiteral("ORDER BY trans_id"));
    FqQuikData.SetParam(QStringLiteral("code"), clientCode);
    FqQuikData.Open();
}

void TDatMod::ReadNewOrders(const QString& tableName, qint64 afterId, qint64 upToId,
                            const std::function<void(TDataSet& row)>& eachRow)
{
    TQuery* query = nullptr;
    if (tableName == FtFilledOrders.TableName())
        query = &FqFilledOrders;
    else if (tableName == FtActiveOrders.TableName())
        query = &FqActiveOrders;
    else if (tableName == FtCanceledOrders.TableName())
        query = &FqCanceledOrders;
    else
        throw TError(QStringLiteral("Таблица %1 не является таблицей ордеров.").arg(tableName));
    OpenNewOrders(*query, tableName, afterId, upToId);
    for (query->First(); !query->Eof(); query->Next())
        eachRow(*query);
}

std::optional<TSecurityRow> TDatMod::FindSecurity(const QString& ticker)
{
    OpenIfClosed(FtSecCode);
    OpenSecCode(ticker);
    if (FqSecCode.IsEmpty())
        return std::nullopt;
    FqSecCode.First();
    TSecurityRow row;
    row.SecCode = FqSecCode.FieldByName(QStringLiteral("SecCode")).AsString();
    row.ClassCode = FqSecCode.FieldByName(QStringLiteral("Class_Code")).AsString();
    row.Digits = OptionalInteger(FqSecCode, QStringLiteral("Digits"));
    row.Traded = FqSecCode.FieldByName(QStringLiteral("Traded")).AsBoolean();
    row.Slippage = OptionalFloat(FqSecCode, QStringLiteral("Slippage"));
    row.LotSize = OptionalInteger(FqSecCode, QStringLiteral("LotSize"));
    row.FixVol = OptionalFloat(FqSecCode, QStringLiteral("FixVol"));
    row.Part = OptionalFloat(FqSecCode, QStringLiteral("Part"));
    return row;
}

void TDatMod::ReleasePortfolio() noexcept
{
    if (FPortfolioKeepDepth > 0 && --FPortfolioKeepDepth == 0)
        FKeptPortfolio.reset();
}

const QHash<QString, TPortfolioRow>& TDatMod::KeptPortfolio()
{
    if (FKeptPortfolio)
        return *FKeptPortfolio;
    FqPortfolioRows.Close();
    FqPortfolioRows.Clear();
    FqPortfolioRows.Add(QStringLiteral("SELECT id_client, CurAllAssets, profitloss"));
    FqPortfolioRows.Add(QStringLiteral("FROM tPortfolio"));
    FqPortfolioRows.Open();
    QHash<QString, TPortfolioRow> rows;
    rows.reserve(FqPortfolioRows.RecordCount());
    FqPortfolioRows.First();
    if (!FqPortfolioRows.Eof()) {
        // The columns are found once; each field reads the current row.
        const TField client = FqPortfolioRows.FieldByName(QStringLiteral("id_client"));
        const TField assets = FqPortfolioRows.FieldByName(QStringLiteral("CurAllAssets"));
        const TField profitLoss = FqPortfolioRows.FieldByName(QStringLiteral("profitloss"));
        for (; !FqPortfolioRows.Eof(); FqPortfolioRows.Next()) {
            if (client.IsNull()) // a statement's "id_client = code" never finds such a row
                continue;
            const QString key = client.AsString().toCaseFolded();
            if (rows.contains(key))
                continue; // the first row of a client is the one a statement finds
            rows.insert(key, TPortfolioRow{assets.IsNull() ? std::nullopt : std::optional<double>(assets.AsFloat()),
                                           profitLoss.IsNull() ? std::nullopt
                                                               : std::optional<double>(profitLoss.AsFloat())});
        }
    }
    FqPortfolioRows.Close();
    return FKeptPortfolio.emplace(std::move(rows));
}

std::optional<TPortfolioRow> TDatMod::FindPortfolio(const QString& clientCode)
{
    OpenIfClosed(FtPortfolio);
    if (FPortfolioKeepDepth > 0) {
        const QHash<QString, TPortfolioRow>& rows = KeptPortfolio();
        const auto found = rows.constFind(clientCode.toCaseFolded());
        if (found == rows.cend())
            return std::nullopt;
        return *found;
    }
    OpenPortfolio(clientCode);
    if (FqPortfolio.IsEmpty())
        return std::nullopt;
    FqPortfolio.First();
    TPortfolioRow row;
    row.CurAllAssets = OptionalFloat(FqPortfolio, QStringLiteral("CurAllAssets"));
    row.ProfitLoss = OptionalFloat(FqPortfolio, QStringLiteral("profitloss"));
    return row;
}

QList<TClientAccount> TDatMod::ActiveClients()
{
    // The clients are taken in full before the first is served: a dispatch running inside
    // another (from a nested message loop) re-opens the same statement.
    QList<TClientAccount> accounts;
    // Three columns of each row are all a dispatch needs; on a SQLite file only they are
    // read (a dispatch to a thousand accounts read seven thousand values for them).
    QVector<QVector<QVariant>> rows;
    // The client's limits come with the codes where the table has their columns.
    const QStringList limits = RiskColumnsFound().Clients;
    const auto limitOf = [&](const QStringList& names, const QVector<QVariant>& row, const QString& name) {
        const qsizetype at = names.indexOf(name);
        return at < 0 ? std::nullopt : OptionalNumber(row[at]);
    };
    const QStringList names =
        QStringList{QStringLiteral("Code"), QStringLiteral("AccountMicex"), QStringLiteral("AccountFORTS")} + limits;
    if (FqActiveClients.ReadColumns(names, &rows)) {
        accounts.reserve(rows.size());
        for (const QVector<QVariant>& row : std::as_const(rows))
            accounts << TClientAccount{ValueAsString(row[0]), ValueAsString(row[1]), ValueAsString(row[2]),
                                       limitOf(names, row, QStringLiteral("Multiplier")),
                                       limitOf(names, row, QStringLiteral("MaxLoss"))};
        return accounts;
    }
    FqActiveClients.Close();
    FqActiveClients.Open();
    FqActiveClients.First();
    if (FqActiveClients.Eof())
        return accounts;
    // The columns are found once; each field reads the current row.
    const TField code = FqActiveClients.FieldByName(QStringLiteral("Code"));
    const TField accountMicex = FqActiveClients.FieldByName(QStringLiteral("AccountMicex"));
    const TField accountForts = FqActiveClients.FieldByName(QStringLiteral("AccountFORTS"));
    accounts.reserve(FqActiveClients.RecordCount());
    QList<TField> limitFields;
    for (const QString& name : limits)
        limitFields << FqActiveClients.FieldByName(name);
    for (; !FqActiveClients.Eof(); FqActiveClients.Next()) {
        QVector<QVariant> values;
        for (const TField& field : std::as_const(limitFields))
            values << (field.IsNull() ? QVariant() : QVariant(field.AsString()));
        accounts << TClientAccount{code.AsString(), accountMicex.AsString(), accountForts.AsString(),
                                   limitOf(limits, values, QStringLiteral("Multiplier")),
                                   limitOf(limits, values, QStringLiteral("MaxLoss"))};
    }
    return accounts;
}

std::optional<qint32> TDatMod::FindExitQuantity(const TPositionKey& key)
{
    OpenIfClosed(FtClientOpenPositions);
    OpenExitQty(key);
    if (FqExitQty.IsEmpty())
        return std::nullopt;
    FqExitQty.First();
    return OptionalInteger(FqExitQty, QStringLiteral("Quantity"));
}

void TDatMod::InsertOrderNumber(int transId, qint64 idOrder, bool filled, const QString& code)
{
    FqBookOrderNumber.SetParam(QStringLiteral("trans_id"), transId);
    FqBookOrderNumber.SetParam(QStringLiteral("id_order"), idOrder);
    FqBookOrderNumber.SetParam(QStringLiteral("filled"), filled);
    FqBookOrderNumber.SetParam(QStringLiteral("code"), code);
    FqBookOrderNumber.ExecSQL();
    ShowBooked(FOrderNumbersBooked);
}

void TDatMod::InsertOpenPosition(const TPositionKey& key, qint32 quantity, const QString& signal)
{
    FqBookOpenPosition.SetParam(QStringLiteral("quantity"), quantity);
    FqBookOpenPosition.SetParam(QStringLiteral("symbol"), key.Symbol);
    FqBookOpenPosition.SetParam(QStringLiteral("code"), key.Code);
    FqBookOpenPosition.SetParam(QStringLiteral("system"), key.System);
    FqBookOpenPosition.SetParam(QStringLiteral("signal"), signal);
    FqBookOpenPosition.SetParam(QStringLiteral("interval"), key.Interval);
    FqBookOpenPosition.SetParam(QStringLiteral("workspace"), key.Workspace);
    FqBookOpenPosition.SetParam(QStringLiteral("position"), key.Position);
    FqBookOpenPosition.ExecSQL();
    ShowBooked(FPositionsBooked);
}

std::optional<TTransactionRow> TDatMod::FindTransaction(int transId)
{
    OpenTransaction(transId);
    if (FqQuikData.IsEmpty())
        return std::nullopt;
    FqQuikData.First();
    TTransactionRow found;
    found.IdOrder = FqQuikData.FieldByName(QStringLiteral("id_order")).AsLargeInt();
    found.Filled = FqQuikData.FieldByName(QStringLiteral("filled")).AsBoolean();
    found.Code = FqQuikData.FieldByName(QStringLiteral("code")).AsString();
    found.OrderNumber = OrderNumberOf(FqQuikData.FieldByName(QStringLiteral("order_number")));
    return found;
}

QString TDatMod::LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode)
{
    OpenOrderNumbers(orderId, filled, clientCode);
    if (FqQuikData.IsEmpty())
        return {};
    // The rows come oldest transaction first: the last one was sent last.
    FqQuikData.Last();
    const TField number = FqQuikData.FieldByName(QStringLiteral("order_number"));
    return number.IsNull() ? QString() : number.AsString();
}

void TDatMod::ShowBooked(bool& changed)
{
    changed = true;
    if (!FBookedRefresh.isActive())
        FBookedRefresh.start(0);
}

void TDatMod::RefreshBookedTables() noexcept
{
    if (FconQuikData.Busy()) {
        // Served inside a database call's message loop: try again when it has returned.
        FBookedRefresh.start(100);
        return;
    }
    // A closed table is opened: the grid then shows the booked rows.
    if (std::exchange(FOrderNumbersBooked, false))
        RefreshTable(FtOrderNumber);
    if (std::exchange(FPositionsBooked, false))
        RefreshTable(FtClientOpenPositions);
    if (std::exchange(FRefusalsBooked, false))
        RefreshTable(FtRiskRefusals);
}
