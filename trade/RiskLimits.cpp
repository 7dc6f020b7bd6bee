#include "trade/RiskLimits.h"

#include "base/Error.h"
#include "base/LogText.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "trade/PositionSize.h"

#include <bit>
#include <cmath>

namespace {

QString Number(double value)
{
    return QString::number(value, 'g', 15);
}

void RequireNumber(const QString& rule, double limit)
{
    if (std::isnan(limit))
        throw TError(QStringLiteral("Поле %1 не является числом: лимит не может быть проверен").arg(rule));
}

// The deviation of a price from the last one, in percent of the last.
double DeviationPercent(double price, double last)
{
    return std::fabs(price - last) / std::fabs(last) * 100;
}

} // namespace

bool LimitSet(const std::optional<double>& limit)
{
    return limit && (std::isnan(*limit) || *limit > 0);
}

std::optional<TRiskRefusal> CheckEntryLine(const TEntryLine& line, const TSecurityLimitsRow& security)
{
    if (LimitSet(line.MaxLoss)) {
        RequireNumber(RiskRule::MaxLoss, *line.MaxLoss);
        if (line.ProfitLoss && *line.ProfitLoss <= -*line.MaxLoss)
            return TRiskRefusal{RiskRule::MaxLoss, -*line.ProfitLoss, *line.MaxLoss};
    }
    if (LimitSet(security.MaxLots)) {
        RequireNumber(RiskRule::MaxLots, *security.MaxLots);
        if (line.Lots > *security.MaxLots)
            return TRiskRefusal{RiskRule::MaxLots, line.Lots, *security.MaxLots};
    }
    if (LimitSet(security.MaxValue)) {
        RequireNumber(RiskRule::MaxValue, *security.MaxValue);
        if (!security.LotSize)
            throw TError(QStringLiteral("Поле LotSize не заполнено: лимит MaxValue не может быть проверен"));
        const double value = line.Price * line.Lots * *security.LotSize;
        if (value > *security.MaxValue)
            return TRiskRefusal{RiskRule::MaxValue, value, *security.MaxValue};
    }
    if (LimitSet(security.PriceBand) && line.Last && *line.Last > 0) {
        RequireNumber(RiskRule::PriceBand, *security.PriceBand);
        double deviation = line.Market ? 0 : DeviationPercent(line.Price, *line.Last);
        if (line.StopPrice)
            deviation = std::max(deviation, DeviationPercent(*line.StopPrice, *line.Last));
        if (deviation > *security.PriceBand)
            return TRiskRefusal{RiskRule::PriceBand, deviation, *security.PriceBand};
    }
    if (LimitSet(security.MaxPosition)) {
        RequireNumber(RiskRule::MaxPosition, *security.MaxPosition);
        const double after = line.HeldLots + line.Lots;
        if (after > *security.MaxPosition)
            return TRiskRefusal{RiskRule::MaxPosition, after, *security.MaxPosition};
    }
    return std::nullopt;
}

qint32 ScaledLots(qint32 lots, double multiplier)
{
    if (!(multiplier >= 0))
        throw TError(QStringLiteral("Поле Multiplier (%1) должно быть числом не меньше 0").arg(Number(multiplier)));
    return WholeLots(std::floor(double(lots) * multiplier));
}

TRiskMemory::TRiskMemory(const TSettings& settings, TOperationLog& log) : FSettings(settings), FLog(log) {}

QString TRiskMemory::LineKey(const TOrder& line)
{
    // The prices by their bits: the same price is the same line, and a dispatch to a
    // thousand accounts makes a thousand keys, so no decimal text is made for them.
    QString key;
    key.reserve(line.ClientCode.size() + line.SecCode.size() + line.ClassCode.size() + line.Operation.size() + 48);
    key.append(line.ClientCode).append(QLatin1Char('\n')).append(line.SecCode).append(QLatin1Char('\n'));
    key.append(line.ClassCode).append(QLatin1Char('\n')).append(line.Operation).append(QLatin1Char('\n'));
    key.append(QString::number(line.Quantity)).append(QLatin1Char('\n'));
    key.append(QString::number(std::bit_cast<quint64>(line.Price), 36)).append(QLatin1Char('\n'));
    key.append(QString::number(std::bit_cast<quint64>(line.StopPrice), 36));
    return key;
}

std::optional<TRiskRefusal> TRiskMemory::CheckDuplicate(const TOrder& line, qint64 nowMs) const
{
    const int window = FSettings.DuplicateMs;
    if (window <= 0)
        return std::nullopt;
    const auto last = FLastSent.constFind(LineKey(line));
    if (last == FLastSent.cend())
        return std::nullopt;
    const qint64 elapsed = nowMs - *last;
    if (elapsed >= 0 && elapsed < window)
        return TRiskRefusal{RiskRule::DuplicateMs, double(elapsed), double(window)};
    return std::nullopt;
}

void TRiskMemory::NoteSent(const TOrder& line, qint64 nowMs)
{
    const int window = FSettings.DuplicateMs;
    if (window <= 0) {
        FLastSent.clear();
        FSentInOrder.clear();
        return;
    }
    // Lines older than the window can no longer refuse anything: they are let go as the
    // new ones come (a line sent again since keeps its newer time).
    while (!FSentInOrder.empty() && nowMs - FSentInOrder.front().first >= window) {
        const auto& [sentMs, key] = FSentInOrder.front();
        const auto last = FLastSent.constFind(key);
        if (last != FLastSent.cend() && *last == sentMs)
            FLastSent.erase(last);
        FSentInOrder.pop_front();
    }
    QString key = LineKey(line);
    FLastSent.insert(key, nowMs);
    FSentInOrder.emplace_back(nowMs, std::move(key));
}

void TRiskMemory::NoteNoLastPrice(const QString& ticker)
{
    if (FNoLastLogged.contains(ticker))
        return;
    FNoLastLogged.insert(ticker);
    FLog.AddToLog(NoLastPriceMessage(ticker));
}

QString RiskValueName(const QString& rule)
{
    if (rule == RiskRule::MaxLots)
        return QStringLiteral("лотов в заявке");
    if (rule == RiskRule::MaxValue)
        return QStringLiteral("сумма заявки");
    if (rule == RiskRule::PriceBand)
        return QStringLiteral("отклонение цены от последней (%)");
    if (rule == RiskRule::MaxPosition)
        return QStringLiteral("лотов в позиции после заявки");
    if (rule == RiskRule::MaxLoss)
        return QStringLiteral("убыток клиента");
    if (rule == RiskRule::DuplicateMs)
        return QStringLiteral("мс после такой же заявки");
    if (rule == RiskRule::MaxLinesPerOrder)
        return QStringLiteral("строк в рассылке");
    return QStringLiteral("значение");
}

QString RefusalMessage(qint64 orderId, const QString& clientCode, const TRiskRefusal& refusal)
{
    return QStringLiteral("Ордер # %1 не отправлен на счет %2: отказ по лимиту %3 - %4 %5, лимит %6.")
        .arg(orderId)
        .arg(LogFragment(clientCode), refusal.Rule, RiskValueName(refusal.Rule), Number(refusal.Value),
             Number(refusal.Limit));
}

QString WholeOrderRefusalMessage(qint64 orderId, const TRiskRefusal& refusal)
{
    return QStringLiteral("Ордер # %1 не отправлен ни на один счет: отказ по лимиту %2 - %3 %4, лимит %5.")
        .arg(orderId)
        .arg(refusal.Rule, RiskValueName(refusal.Rule), Number(refusal.Value), Number(refusal.Limit));
}

QString ZeroMultiplierMessage(qint64 orderId, const QString& clientCode)
{
    return QStringLiteral("Ордер # %1 не отправлен на счет %2: множитель клиента (Multiplier) равен 0.")
        .arg(orderId)
        .arg(LogFragment(clientCode));
}

QString NoLastPriceMessage(const QString& ticker)
{
    return QStringLiteral("Нет последней цены инструмента %1 в таблице tParam: лимит PriceBand к нему не применяется.")
        .arg(LogFragment(ticker));
}
