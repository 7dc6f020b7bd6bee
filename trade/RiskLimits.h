#pragma once

#include "data/BridgeRows.h"
#include "trade/Order.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <deque>
#include <optional>

class TOperationLog;
class TSettings;

// The pre-trade limits a new line may break, named as their columns and settings are.
namespace RiskRule {
inline const QString MaxLots = QStringLiteral("MaxLots");
inline const QString MaxValue = QStringLiteral("MaxValue");
inline const QString PriceBand = QStringLiteral("PriceBand");
inline const QString MaxPosition = QStringLiteral("MaxPosition");
inline const QString MaxLoss = QStringLiteral("MaxLoss");
inline const QString DuplicateMs = QStringLiteral("DuplicateMs");
inline const QString MaxLinesPerOrder = QStringLiteral("MaxLinesPerOrder");
} // namespace RiskRule

// A rule a line broke, the value found and the limit.
struct TRiskRefusal {
    QString Rule;
    double Value = 0;
    double Limit = 0;
};

// What an entry line is checked against besides its security's limits.
struct TEntryLine {
    double Lots = 0;
    double Price = 0;                 // the limit price of the line
    std::optional<double> StopPrice;  // the trigger of a stop order
    bool Market = false;              // a market order's price is no limit price
    double HeldLots = 0;              // lots the client holds in the security now
    std::optional<double> ProfitLoss; // of the client's portfolio row; none without one
    std::optional<double> MaxLoss;    // of the client's row
    std::optional<double> Last;       // the security's last price; none without a quote
};

// Whether a limit is set: a value above 0. NaN (a value that is no number) is set, so
// that the check refuses to work with it instead of letting the line pass.
bool LimitSet(const std::optional<double>& limit);

// The first limit the entry line breaks, in the order MaxLoss, MaxLots, MaxValue,
// PriceBand, MaxPosition; none when it breaks none. A line at a limit passes, except that
// a loss at MaxLoss already refuses. The price band is not applied without a last price,
// nor to a market order's price. Throws TError for a limit that is no number, or for
// MaxValue on a security without its lot size.
std::optional<TRiskRefusal> CheckEntryLine(const TEntryLine& line, const TSecurityLimitsRow& security);

// The sized lots scaled by a client's multiplier, rounded down to whole lots. Throws
// TError for a multiplier that is no number or below 0, or lots out of range.
qint32 ScaledLots(qint32 lots, double multiplier);

// The limits that remember earlier lines, for the life of the program: the identical
// lines sent within DuplicateMs, and the securities whose missing last price was logged.
class TRiskMemory {
public:
    TRiskMemory(const TSettings& settings, TOperationLog& log);

    // DuplicateMs refuses a line identical (client, security, operation, quantity, price)
    // to one sent fewer than that many milliseconds before nowMs.
    std::optional<TRiskRefusal> CheckDuplicate(const TOrder& line, qint64 nowMs) const;
    // A line was sent at nowMs.
    void NoteSent(const TOrder& line, qint64 nowMs);
    // Logs once per security that its price band cannot be applied for want of a quote.
    void NoteNoLastPrice(const QString& ticker);

private:
    static QString LineKey(const TOrder& line);

    const TSettings& FSettings;
    TOperationLog& FLog;
    // When each line was last sent, and the same lines in the order sent: the oldest fall
    // out of the window one by one as new lines come, so a dispatch never looks through
    // the whole day's lines.
    QHash<QString, qint64> FLastSent;
    std::deque<std::pair<qint64, QString>> FSentInOrder;
    QSet<QString> FNoLastLogged;
};

// The operator's texts.
QString RiskValueName(const QString& rule);
QString RefusalMessage(qint64 orderId, const QString& clientCode, const TRiskRefusal& refusal);
QString WholeOrderRefusalMessage(qint64 orderId, const TRiskRefusal& refusal);
QString ZeroMultiplierMessage(qint64 orderId, const QString& clientCode);
QString NoLastPriceMessage(const QString& ticker);
