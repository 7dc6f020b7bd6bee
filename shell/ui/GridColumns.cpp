#include "shell/ui/GridColumns.h"

namespace {
#define S QStringLiteral
const QString kPrice = S("### ### ##0.000");
const QString kCount = S("### ### ### ##0");
const QString kAmount = S("### ### ### ##0.00");
} // namespace

QList<TGridColumn> grdClientOpenPositionsColumns()
{
    return {{S("code"), S("Код клиента")}, {S("symbol"), S("Символ")}, {S("Position"), S("Позиция")},
            {S("quantity"), S("Кол-во лот")}, {S("System"), S("Стратегия")}, {S("Signal"), S("Сигнал")},
            {S("Workspace"), S("Рабочая область")}, {S("Interval"), S("Интервал")}};
}

QList<TGridColumn> OpenPositionsColumns()
{
    return {{S("ID"), S("ID позиции")}, {S("Symbol"), S("Символ")}, {S("Description"), S("Описание")},
            {S("Alert String"), S("Позиция")}, {S("Entry Price"), S("Цена входа")}, {S("Last"), S("Посл. цена")},
            {S("Profit"), S("Прибыль")}, {S("Entry Time"), S("Время входа"), kDateTimeFormat}, {S("System"), S("Стратегия")},
            {S("Signal"), S("Сигнал")}, {S("Workspace"), S("Раб. обл.")}, {S("Interval"), S("Интервал")},
            {S("Position Number"), S("Номер позиции")}, {S("Order Number"), S("Номер заявки")}};
}

QList<TGridColumn> ActiveOrdersColumns()
{
    return {{S("ID"), S("ID ордера")}, {S("Symbol"), S("Символ")}, {S("OrderType"), S("Тип ордера")},
            {S("Order"), S("Ордер")}, {S("Last"), S("Цена посл."), S("### ### ### ##0.000")},
            {S("Order Number"), S("Номер заявки")}, {S("Time Placed"), S("Время подачи"), kDateTimeFormat},
            {S("System"), S("Стратегия")}, {S("Signal"), S("Сигнал")}, {S("Workspace"), S("Раб. обл.")},
            {S("Interval"), S("Интервал")}, {S("Position Number"), S("Номер позиции")}};
}

QList<TGridColumn> FilledOrdersColumns()
{
    return {{S("ID"), S("ID ордера")}, {S("Symbol"), S("Символ")}, {S("OrderType"), S("Тип ордера")},
            {S("Order"), S("Ордер")}, {S("Fill Price"), S("Цена испол.")}, {S("Order Number"), S("Номер заявки")},
            {S("Slippage"), S("Проскал.")}, {S("Time Placed"), S("Время подачи"), kDateTimeFormat},
            {S("Time Filled"), S("Время испол."), kDateTimeFormat}, {S("System"), S("Стратегия")}, {S("Signal"), S("Сигнал")},
            {S("Workspace"), S("Раб. область")}, {S("Interval"), S("Интервал")},
            {S("Position Number"), S("Номер позиции")}};
}

QList<TGridColumn> CanceledOrdersColumns()
{
    return {{S("ID"), S("ID ордера")}, {S("Symbol"), S("Символ")}, {S("OrderType"), S("Тип ордера")},
            {S("Order"), S("Ордер")}, {S("Order Number"), S("Номер заявки")}, {S("Time Placed"), S("Время подачи"), kDateTimeFormat},
            {S("Time Canceled"), S("Время отмены"), kDateTimeFormat}, {S("System"), S("Стратегия")}, {S("Signal"), S("Сигнал")},
            {S("Workspace"), S("Раб. обл.")}, {S("Interval"), S("Интервал")},
            {S("Position Number"), S("Номер позиции")}, {S("Canceled Number"), S("Номер заявки на отмену")}};
}

QList<TGridColumn> QuotesColumns()
{
    return {{S("stock"), S("Бумага")}, {S("bid"), S("Спрос"), kPrice}, {S("biddepth"), S("Кол. спрос"), kCount},
            {S("offer"), S("Предл."), kPrice}, {S("offerdepth"), S("Кол. предл."), kCount},
            {S("open"), S("Откр."), kPrice}, {S("high"), S("Макс."), kPrice}, {S("low"), S("Мин."), kPrice},
            {S("last"), S("Цена посл."), kPrice}, {S("lastchange"), S("% изм.")},
            {S("voltoday"), S("Всего бумаг"), kCount}, {S("valtoday"), S("Оборот"), kAmount},
            {S("waprice"), S("Ср. взвес."), kPrice}, {S("lotsize"), S("Лот"), kCount},
            {S("closeprice"), S("closeprice"), kPrice}, {S("lastvalue"), S("Значение"), kPrice},
            {S("currentvalue"), S("Закр."), kPrice}, {S("openvalue"), S("Знач. при откр."), kPrice},
            {S("chngopen"), S("Изм. к откр.")}, {S("chngclose"), S("Изм. к закр.")}, {S("code"), S("Код")}};
}

QList<TGridColumn> OrderNumberColumns()
{
    return {{S("code"), S("Код клиента")}, {S("trans_id"), S("№ транзакции")}, {S("id_order"), S("№ ордера")},
            {S("filled"), S("Рыночный приказ")}, {S("trans_name"), S("Имя транзакции")},
            {S("description"), S("Описание")}, {S("order_number"), S("Номер заявки в квике")},
            {S("status"), S("Статус")}};
}

QList<TGridColumn> grdRiskRefusalsColumns()
{
    return {{S("ddate"), S("Время"), kDateTimeFormat}, {S("id_order"), S("№ ордера")},
            {S("alert_table"), S("Таблица")},           {S("code"), S("Код клиента")},
            {S("rule"), S("Лимит")},                    {S("rule_value"), S("Значение")},
            {S("rule_limit"), S("Предел")}};
}

QList<TGridColumn> PortfolioColumns()
{
    return {{S("id_client"), S("Код")}, {S("openassets"), S("Вход. активы"), kAmount},
            {S("shorts"), S("Шорты"), kAmount}, {S("longs"), S("Лонги"), kAmount},
            {S("curassets"), S("Тек. активы"), kAmount}, {S("openallassets"), S("Вход. средства"), kAmount},
            {S("curallassets"), S("Тек. средства"), kAmount}, {S("margin"), S("Ур. мар."), S("#0.00")},
            {S("leverage"), S("Плечо"), S("0.00")}, {S("curleverage"), S("Тек. плечо"), S("0.00")},
            {S("change"), S("%"), S("0.00")}, {S("profitloss"), S("Прибыль/убыток"), kAmount}};
}
#undef S
