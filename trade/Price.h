#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

struct TRegional;

// A price as written into transaction lines and log messages.
// Digits >= 0: fixed-point with exactly that many decimals (at most 16 significant digits,
// the rest written as zeros), no grouping, the regional decimal separator, no separator
// when Digits is 0. Digits < 0: rounded to whole multiples of 10 x (-Digits), ties going
// to the even multiple, written without decimals. Throws TError when a price rounded to
// multiples does not fit 64-bit integers.
QString FormatPrice(qint32 digits, double price, const TRegional& regional);

// FormatPrice keeping the last few texts it made: the transactions of one dispatch write
// the same two prices for every account. A price that cannot be written is not kept, and
// throws each time, as FormatPrice does.
class TPriceTexts {
public:
    QString Format(qint32 digits, double price, const TRegional& regional);

private:
    struct TEntry {
        qint32 Digits;
        quint64 PriceBits; // bit for bit: only the very same value takes a kept text
        QChar DecimalSeparator;
        QString Text;
    };
    QList<TEntry> FEntries; // the most recently used first
};

// Whether a transaction price can go to the terminal: a finite number above 0 with at
// most 16 digits before the decimal point. An unreadable price word leaves a price of 0.
bool IsUsablePrice(double price);

// The log line of a new order refused for its price.
QString UnusablePriceMessage(qint64 orderId, const QString& clientCode, double price);

// Whether a price text as FormatPrice writes it names no price at all: every digit in it
// is 0 ("0.00" for 0.004 at two decimals, "0" for 40 rounded to hundreds).
bool WritesAsZero(const QString& priceText);

// The log line of a new order refused because its price is written as zero.
QString ZeroPriceMessage(qint64 orderId, const QString& clientCode, double price, const QString& priceText);

// The price moved by the slippage (percent) against the trader: up for a buy ("B"),
// down for anything else, so that the limit order still gets filled.
double SlippagePrice(const QString& operation, double price, double slippagePercent);
