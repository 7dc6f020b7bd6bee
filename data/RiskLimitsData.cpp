#include "data/RiskLimitsData.h"

#include "data/DatMod.h"
#include "data/RiskColumns.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <cmath>
#include <limits>

QString RiskRefusalsTable()
{
    return QStringLiteral("tRiskRefusals");
}

QString RiskRefusalsColumns()
{
    return QStringLiteral("(id INTEGER PRIMARY KEY AUTOINCREMENT, ddate DATETIME, id_order INTEGER, "
                          "alert_table TEXT COLLATE NOCASE, code TEXT COLLATE NOCASE, rule TEXT COLLATE NOCASE, "
                          "rule_value DOUBLE, rule_limit DOUBLE, newest_first BIGINT)");
}

std::optional<double> OptionalNumber(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok && value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty())
        return std::nullopt; // an empty text is an empty value
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

namespace {

// A lot size as sizing reads it: none when empty or no whole number of 32 bits.
std::optional<qint32> OptionalWhole(const std::optional<double>& number)
{
    if (!number || !std::isfinite(*number) || *number != std::trunc(*number)
        || std::fabs(*number) > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(*number);
}

} // namespace

const TDatMod::TRiskColumnsFound& TDatMod::RiskColumnsFound()
{
    const quint64 session = FconQuikData.Session();
    if (FRiskColumns.Session == session)
        return FRiskColumns;
    FRiskColumns = TRiskColumnsFound{session, {}, {}};
    const QSqlDatabase database = FconQuikData.Database();
    const QSqlRecord securities = database.record(QStringLiteral("tSecCode"));
    const QSqlRecord clients = database.record(QStringLiteral("tclients"));
    for (const TRiskColumn& column : RiskColumns()) {
        const bool ofSecurities = column.Table == QLatin1String("tSecCode");
        if ((ofSecurities ? securities : clients).contains(column.Name))
            (ofSecurities ? FRiskColumns.Securities : FRiskColumns.Clients) << column.Name;
    }
    return FRiskColumns;
}

std::optional<TSecurityLimitsRow> TDatMod::FindSecurityLimits(const QString& ticker)
{
    const QStringList limits = RiskColumnsFound().Securities;
    if (limits.isEmpty())
        return std::nullopt;
    TQuery query(FconQuikData);
    query.Add(QStringLiteral("SELECT SecCode, LotSize, ") + limits.join(QStringLiteral(", ")));
    query.Add(QStringLiteral("FROM tSecCode"));
    query.Add(QStringLiteral("WHERE Ticker= :ticker"));
    query.SetParam(QStringLiteral("ticker"), ticker);
    query.Open();
    if (query.IsEmpty())
        return std::nullopt;
    query.First();
    const auto number = [&](const QString& column) -> std::optional<double> {
        if (!limits.contains(column) && column != QLatin1String("LotSize"))
            return std::nullopt;
        const TField field = query.FieldByName(column);
        return field.IsNull() ? std::nullopt : OptionalNumber(field.AsString());
    };
    TSecurityLimitsRow row;
    row.LotSize = OptionalWhole(number(QStringLiteral("LotSize")));
    row.MaxLots = number(QStringLiteral("MaxLots"));
    row.MaxValue = number(QStringLiteral("MaxValue"));
    row.PriceBand = number(QStringLiteral("PriceBand"));
    row.MaxPosition = number(QStringLiteral("MaxPosition"));
    const QString secCode = query.FieldByName(QStringLiteral("SecCode")).AsString();
    query.Close();
    // The last price matters only to a price band.
    if (row.PriceBand && *row.PriceBand > 0) {
        TQuery quote(FconQuikData);
        quote.Add(QStringLiteral("SELECT last"));
        quote.Add(QStringLiteral("FROM tParam"));
        quote.Add(QStringLiteral("WHERE code= :code"));
        quote.SetParam(QStringLiteral("code"), secCode);
        quote.Open();
        if (!quote.IsEmpty()) {
            quote.First();
            const TField last = quote.FieldByName(QStringLiteral("last"));
            if (!last.IsNull())
                row.Last = last.AsFloat();
        }
        quote.Close();
    }
    return row;
}

QHash<QString, qint64> TDatMod::HeldLots(const QString& symbol)
{
    TQuery query(FconQuikData);
    query.Add(QStringLiteral("SELECT code, quantity"));
    query.Add(QStringLiteral("FROM tClientOpenPositions"));
    query.Add(QStringLiteral("WHERE symbol= :symbol"));
    query.SetParam(QStringLiteral("symbol"), symbol);
    QHash<QString, qint64> held;
    // On a SQLite file the two columns are read straight from the statement: a desk of a
    // thousand clients holds a thousand rows, which a data set would copy first.
    QVector<QVector<QVariant>> rows;
    if (query.ReadColumns({QStringLiteral("code"), QStringLiteral("quantity")}, &rows)) {
        held.reserve(rows.size());
        for (const QVector<QVariant>& row : std::as_const(rows)) {
            if (!row[0].isNull() && !row[1].isNull())
                held[ValueAsString(row[0]).toCaseFolded()] += row[1].toLongLong();
        }
        return held;
    }
    query.Open();
    query.First();
    if (!query.Eof()) {
        const TField code = query.FieldByName(QStringLiteral("code"));
        const TField quantity = query.FieldByName(QStringLiteral("quantity"));
        for (; !query.Eof(); query.Next()) {
            if (code.IsNull() || quantity.IsNull())
                continue;
            held[code.AsString().toCaseFolded()] += quantity.AsLargeInt();
        }
    }
    query.Close();
    return held;
}

void TDatMod::RecordRefusal(const TRefusalRow& refusal)
{
    if (!BookkeepingTableKept(FRefusalsTable))
        return;
    TQuery query(FconQuikData);
    query.Add(QStringLiteral("INSERT INTO ") + RiskRefusalsTable()
              + QStringLiteral(" (ddate, id_order, alert_table, code, rule, rule_value, rule_limit, newest_first)"));
    query.Add(QStringLiteral("VALUES (:ddate, :id_order, :alert_table, :code, :rule, :rule_value, :rule_limit, "
                             ":newest_first)"));
    query.SetParam(QStringLiteral("ddate"), refusal.Time);
    query.SetParam(QStringLiteral("id_order"), refusal.IdOrder);
    query.SetParam(QStringLiteral("alert_table"),
                   refusal.Filled ? QStringLiteral("FilledOrders") : QStringLiteral("ActiveOrders"));
    query.SetParam(QStringLiteral("code"), refusal.Code);
    query.SetParam(QStringLiteral("rule"), refusal.Rule);
    query.SetParam(QStringLiteral("rule_value"), refusal.Value);
    query.SetParam(QStringLiteral("rule_limit"), refusal.Limit);
    // The grid orders by it: the newest refusal first (those of one moment as recorded).
    query.SetParam(QStringLiteral("newest_first"), -refusal.Time.toMSecsSinceEpoch());
    query.ExecSQL();
    ShowBooked(FRefusalsBooked);
}
