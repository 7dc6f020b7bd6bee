#pragma once

#include <QString>
#include <optional>

// Rows of the bridge database as plain values, as the data module hands them to the
// parts that translate, size and book orders.

// One client's codes (a row of the clients table, or the single account of the settings).
struct TClientAccount {
    QString Code;          // client code
    QString AccountMicex;  // stock-market account
    QString AccountFORTS;  // derivatives-market account
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
