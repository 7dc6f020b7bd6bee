#include "intake/OmegaOrderReader.h"

#include "data/DataSet.h"

void ReadOmegaOrder(TOmegaOrder& order, TDataSet& dataSet, bool fromFilledOrders)
{
    ClearOmegaOrder(order);
    if (fromFilledOrders) {
        order.FillPrice = dataSet.FieldByName(QStringLiteral("Fill Price")).AsFloat();
        order.TimeFilled = dataSet.FieldByName(QStringLiteral("Time Filled")).AsDateTime();
        order.Filled = true;
    }
    order.Id = dataSet.FieldByName(QStringLiteral("ID")).AsLargeInt();
    order.Symbol = dataSet.FieldByName(QStringLiteral("Symbol")).AsString();
    order.Description = dataSet.FieldByName(QStringLiteral("Description")).AsString();
    order.OrderType = dataSet.FieldByName(QStringLiteral("OrderType")).AsString();
    order.Order = dataSet.FieldByName(QStringLiteral("Order")).AsString();
    order.System = dataSet.FieldByName(QStringLiteral("System")).AsString();
    order.Workspace = dataSet.FieldByName(QStringLiteral("Workspace")).AsString();
    order.Signal = dataSet.FieldByName(QStringLiteral("Signal")).AsString();
    order.Interval = dataSet.FieldByName(QStringLiteral("Interval")).AsString();
    order.OrderNumber = dataSet.FieldByName(QStringLiteral("Order Number")).AsString();
}
