#include "data/DatMod.h"

#include "base/Error.h"

#include <memory>

namespace {

QString Decimal(qint64 number)
{
    return QString::number(number); // plain decimal digits, no grouping
}

} // namespace

TDatMod::TDatMod(TEnvironment& environment)
    : tFilledOrders(conOmega, QStringLiteral("FilledOrders")),
      tActiveOrders(conOmega, QStringLiteral("ActiveOrders")),
      tCanceledOrders(conOmega, QStringLiteral("CanceledOrders")),
      tOpenPisitions(conOmega, QStringLiteral("OpenPositions")),
      qFilledOrders(conOmega),
      qActiveOrders(conOmega),
      qCanceledOrders(conOmega),
      qUpdateOrderNumber(conOmega),
      qLastID(conOmega),
      tParam(conQuikData, QStringLiteral("tParam"), true),
      tPortfolio(conQuikData, QStringLiteral("tPortfolio"), true),
      tSecCode(conQuikData, QStringLiteral("tSecCode")),
      tWorkSpaces(conQuikData, QStringLiteral("tWorkSpaces")),
      tStrategy(conQuikData, QStringLiteral("tStrategy")),
      tOrderNumber(conQuikData, QStringLiteral("tOrderNumber")),
      tClients(conQuikData, QStringLiteral("tclients")),
      tClientOpenPositions(conQuikData, QStringLiteral("tClientOpenPositions")),
      qSecCode(conQuikData),
      qSecCodeSum(conQuikData),
      qPortfolio(conQuikData),
      qPortfolioSum(conQuikData),
      qActiveClients(conQuikData),
      qExitQty(conQuikData),
      qQuikData(conQuikData),
      FEnvironment(environment)
{
    qSecCodeSum.SQL = {
        QStringLiteral("Select Count(Traded) as SumTraded,  Sum(FixVol) as SumFixVol, Sum(Part) as SumPart"),
        QStringLiteral("From tSecCode"),
        QStringLiteral("Where Traded =  True")};
    qPortfolioSum.SQL = {
        QStringLiteral("Select Count(id_client) as SumId_client,  Sum(openassets) as SumOpenAssets,"),
        QStringLiteral("Sum(shorts) as SumShorts, Sum(longs) as Sumlongs, Sum(CurAssets) as SumCurAssets,"),
        QStringLiteral("Sum(OpenAllAssets) as SumOpenAllAssets, Sum(CurAllAssets) as SumCurAllAssets,"),
        QStringLiteral("Avg(margin) as AvgMargin, Avg(curLeverage) as AvgCurLeverage,"),
        QStringLiteral("Sum(profitloss) as SumProfitLoss, Avg(change) as AvgChange"),
        QStringLiteral("From tPortfolio")};
    qActiveClients.SQL = {
        QStringLiteral("SELECT *"),
        QStringLiteral("FROM tClients"),
        QStringLiteral("WHERE [tClients].[Active] = True")};
    qExitQty.SQL = {
        QStringLiteral("SELECT Quantity"),
        QStringLiteral("FROM tClientOpenPositions"),
        QStringLiteral("WHERE code=:code and symbol=:symbol and system=:system and workspace=:workspace and "
                       "[tClientOpenPositions].[interval] = :interval and [tClientOpenPositions].[position] =:position")};

    tSecCode.BeforePost = [this](TTable&) { return tSecCodeBeforePost(); };
    tSecCode.AfterPost = [this](TTable&) { tSecCodeAfterPost(); };
    tSecCode.AfterDelete = [this](TTable&) { tSecCodeAfterPost(); };
}

int TDatMod::GetLastId(TTable& table)
{
    if (!table.Active())
        return -1;
    // The greatest id is the last row's id in the order the platform adds rows; it is
    // read from the database so that rows added since the last refresh count too.
    TQuery* query = &qLastID;
    std::unique_ptr<TQuery> other;
    if (&table.Connection() != &conOmega) {
        other = std::make_unique<TQuery>(table.Connection());
        query = other.get();
    }
    try {
        query->Close();
        query->Clear();
        query->Add(QStringLiteral("SELECT MAX(id) AS LastId"));
        query->Add(QStringLiteral("FROM [") + table.TableName() + QLatin1Char(']'));
        query->Open();
        const int result = query->IsEmpty() ? 0 : query->FieldByName(QStringLiteral("LastId")).AsInteger();
        query->Close();
        return result;
    } catch (const std::exception&) {
        query->Close();
        return -1;
    }
}

void TDatMod::ClearOrderNumbers()
{
    tOrderNumber.Close();
    qQuikData.Close();
    qQuikData.Clear();
    qQuikData.Add(QStringLiteral("DELETE"));
    qQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    qQuikData.ExecSQL();
    tOrderNumber.Open();
}

bool TDatMod::tSecCodeBeforePost()
{
    ++FSecuritiesEdits;
    // Only an empty code is refused; blanks are the operator's choice.
    if (tSecCode.FieldByName(QStringLiteral("SecCode")).AsString().isEmpty()) {
        FEnvironment.ShowMessage(QStringLiteral("Введите данные в поле \"Код в Quik`е\""));
        return false;
    }
    return true;
}

void TDatMod::tSecCodeAfterPost()
{
    ++FSecuritiesEdits;
    if (UpdateSumList)
        UpdateSumList();
}

void TDatMod::OpenNewOrders(TQuery& query, const QString& tableName, int afterId, int upToId)
{
    query.Close();
    query.Clear();
    query.Add(QStringLiteral("SELECT *"));
    query.Add(QStringLiteral("FROM ") + tableName);
    query.Add(QStringLiteral("WHERE id >") + Decimal(afterId) + QStringLiteral(" and id <=") + Decimal(upToId));
    query.Open();
}

void TDatMod::UpdateOrderNumber(bool filled, int id)
{
    // The column is text; the engine stores the number as its decimal digits.
    qUpdateOrderNumber.Close();
    qUpdateOrderNumber.Clear();
    qUpdateOrderNumber.Add(filled ? QStringLiteral("UPDATE FilledOrders") : QStringLiteral("UPDATE ActiveOrders"));
    qUpdateOrderNumber.Add(QStringLiteral("SET [order number] = ") + Decimal(id));
    qUpdateOrderNumber.Add(QStringLiteral("WHERE id = ") + Decimal(id));
    qUpdateOrderNumber.ExecSQL();
}

void TDatMod::OpenSecCode(const QString& ticker)
{
    qSecCode.Close();
    qSecCode.Clear();
    qSecCode.Add(QStringLiteral("SELECT *"));
    qSecCode.Add(QStringLiteral("FROM tSecCode"));
    qSecCode.Add(QStringLiteral("WHERE Ticker= :ticker"));
    qSecCode.SetParam(QStringLiteral("ticker"), ticker);
    qSecCode.Open();
}

void TDatMod::OpenPortfolio(const QString& clientCode)
{
    qPortfolio.Close();
    qPortfolio.Clear();
    qPortfolio.Add(QStringLiteral("SELECT *"));
    qPortfolio.Add(QStringLiteral("FROM tPortfolio"));
    qPortfolio.Add(QStringLiteral("WHERE id_client= :id_client"));
    qPortfolio.SetParam(QStringLiteral("id_client"), clientCode);
    qPortfolio.Open();
}

void TDatMod::SetExitQtyParams(const TPositionKey& key)
{
    qExitQty.SetParam(QStringLiteral("code"), key.Code);
    qExitQty.SetParam(QStringLiteral("symbol"), key.Symbol);
    qExitQty.SetParam(QStringLiteral("system"), key.System);
    qExitQty.SetParam(QStringLiteral("workspace"), key.Workspace);
    qExitQty.SetParam(QStringLiteral("interval"), key.Interval);
    qExitQty.SetParam(QStringLiteral("position"), key.Position);
}

void TDatMod::OpenExitQty(const TPositionKey& key)
{
    qExitQty.Close();
    qExitQty.SQL[0] = QStringLiteral("SELECT Quantity");
    SetExitQtyParams(key);
    qExitQty.Open();
}

int TDatMod::DeleteExitQty(const TPositionKey& key)
{
    qExitQty.Close();
    qExitQty.SQL[0] = QStringLiteral("DELETE");
    SetExitQtyParams(key);
    return qExitQty.ExecSQL();
}

void TDatMod::OpenTransaction(int transId)
{
    qQuikData.Close();
    qQuikData.Clear();
    qQuikData.Add(QStringLiteral("SELECT trans_id, id_order, filled"));
    qQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    qQuikData.Add(QStringLiteral("WHERE trans_id = ") + Decimal(transId));
    qQuikData.Open();
}

int TDatMod::BookTransactionResult(int transId, int status, const QString& transName,
                                   const QString& description, qint64 orderNumber)
{
    qQuikData.Close();
    qQuikData.Clear();
    qQuikData.Add(QStringLiteral("UPDATE tOrderNumber"));
    qQuikData.Add(QStringLiteral("SET status =") + Decimal(status) + QStringLiteral(",trans_name= :trans_name ,")
                  + QStringLiteral("description= :description, order_number=") + Decimal(orderNumber));
    qQuikData.Add(QStringLiteral("WHERE trans_id = ") + Decimal(transId));
    qQuikData.SetParam(QStringLiteral("trans_name"), transName);
    qQuikData.SetParam(QStringLiteral("description"), description);
    return qQuikData.ExecSQL();
}

void TDatMod::OpenOrderNumbers(int orderId, bool filled, const QString& clientCode)
{
    qQuikData.Close();
    qQuikData.Clear();
    qQuikData.Add(QStringLiteral("SELECT Order_Number"));
    qQuikData.Add(QStringLiteral("FROM tOrderNumber"));
    qQuikData.Add(QStringLiteral("WHERE id_order = ") + Decimal(orderId) + QStringLiteral(" and Filled=")
                  + (filled ? QStringLiteral("True") : QStringLiteral("False")) + QStringLiteral(" and code= :code"));
    qQuikData.Add(QStringLiteral("ORDER BY trans_id"));
    qQuikData.SetParam(QStringLiteral("code"), clientCode);
    qQuikData.Open();
}
