#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Rows of the bridge database as plain values, as the data module hands them to the
// parts that translate, size and book orders.

// One client's codes (a row of the clients table, or the single account of the settings).
struct TClientAccount {
    QString Code;          // client code
    QString AccountMicex;  // stock-market account
    QString AccountFORTS;  // derivatives-market account
    // The client's limits where the clients table has their columns (none in the SINGLE
    // mode): the factor of the sized quantity (none: 1; 0: the client gets no line) and
    // the loss at which the client's entries are refused (none or 0: no limit).
    std::optional<double> Multiplier = std::nullopt;
    std::optional<double> MaxLoss = std::nullopt;
};

// The values of a security's row in the securities table. A number the row leaves empty
// is absent; sizing fails when it needs an absent value.
struct TSecurityRow {
    QString SecCode;
    QString ClassCode;
    std::optional<qint32> Digits;
    bool Traded = false;
    std::optional<double> Slippage;  // percent
    std::optional<qint32> LotSize;   // securities per lot
    std::optional<double> FixVol;    // roubles, mode 3
    std::optional<double> Part;      // percent, mode 4
};

// The values of a client's row in the portfolio table the terminal exports.
struct TPortfolioRow {
    std::optional<double> CurAllAssets;
    std::optional<double> ProfitLoss = std::nullopt;  // the client's profit (negative: loss) so far
};

// The pre-trade limits of a security from its row in the securities table (each absent
// where the bridge database has no such column or the row leaves it empty; 0 or below is
// no limit; NaN where the value is no number) and its last price from the quotes table (absent: no quote, or not asked for
// because no price band is set).
struct TSecurityLimitsRow {
    std::optional<qint32> LotSize;
    std::optional<double> MaxLots;      // lots per line
    std::optional<double> MaxValue;     // price x lots x LotSize per line
    std::optional<double> PriceBand;    // percent from the last price
    std::optional<double> MaxPosition;  // lots a client may hold after the line
    std::optional<double> Last;
};

// A line the pre-trade limits refused, as the table of refusals keeps it: when, the
// strategy order and its table, the client (empty for a whole order), the rule (the name
// of its column or setting), the value found and the limit it broke.
struct TRefusalRow {
    QDateTime Time;
    qint64 IdOrder = 0;
    bool Filled = false;
    QString Code;
    QString Rule;
    double Value = 0;
    double Limit = 0;
};

// A transaction report row as a result is matched to it: the strategy order it came from
// and whether that order is in the filled-orders table (true) or the active-orders table,
// the client it went to, and the exchange order number booked for it so far (0 when none).
struct TTransactionRow {
    qint64 IdOrder = 0;
    bool Filled = false;
    QString Code;
    qint64 OrderNumber = 0;
};

// A transaction sent for a strategy order as the report holds it: its number, client,
// status (none before the terminal answered) and exchange order number (0 when none).
struct TReportRow {
    qint32 TransId = 0;
    QString Code;
    std::optional<qint32> Status;
    qint64 OrderNumber = 0;
};

// A dispatch whose lines had not all reached the import file when it was recorded: the
// strategy order, its table, whether it withdraws, and its accounts: one, or several
// (every account of the order, on a SQLite file) separated by CodeSeparator().
struct TPendingDispatch {
    qint64 IdOrder = 0;
    bool Filled = false;
    bool Kill = false;
    QString Code;

    static QString CodeSeparator() { return QStringLiteral(", "); }
};
