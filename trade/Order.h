#pragma once

#include "data/BridgeRows.h"

#include "trade/OmegaOrder.h"

#include <QString>
#include <QtGlobal>

struct TRegional;

// One order prepared for the trading terminal. A plain value, copied when handed on.
struct TOrder {
    QString Action;        // "NEW_ORDER", "NEW_STOP_ORDER", "KILL_ORDER", "KILL_STOP_ORDER"
    QString Operation;     // "B" or "S"; empty when the wording starts with neither
    qint32 Quantity = 0;   // parsed from the wording, then the number of lots
    double Price = 0;      // limit price of the transaction
    double StopPrice = 0;  // slippage-adjusted price; for a new stop order the stop price
    bool IsStop = false;
    bool IsMarket = false; // a market order, or one already filled on the platform
    QString ClientCode;
    QString Account;       // chosen by class code
    QString SecCode;
    QString Ticker;        // the platform's ticker
    QString ClassCode;
    QString OrderKey;      // exchange order number to withdraw
    QString StopOrderKey;  // stop order number to withdraw
    QString OrderType;     // "LE", "SE", "LX", "SX"
    qint32 Digits = 0;     // price decimals; negative: rounding to multiples
    qint64 OrderId = 0;    // id of the strategy order
    bool Traded = false;   // the security is marked as traded
};

// Every text empty, every number 0, every flag false.
void ClearOrder(TOrder& order);

// Reads the strategy order's wording into Operation, Quantity, Price, IsStop and IsMarket;
// leaves every other field alone. The price is read with the regional decimal separator.
// Throws TError when the quantity word is not a decimal integer.
void ConvertOrder(TOrder& order, const TOmegaOrder& omega, const TRegional& regional);

// The builders' common start: the strategy order's id, ticker and order type, and the
// client code of the account.
void CopyOrderIdentity(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account);

// The trading account for a class code: the derivatives account for "SPBFUT", the client
// code itself for "GTS", the stock-market account for any other code (exact comparison).
QString AccountByClassCode(const QString& classCode, const TClientAccount& account);

// True when the text is an exchange order number that can be withdrawn: a decimal
// integer of at least 1. Exchange numbers outgrow 32 bits, so 64-bit numbers count.
bool IsOrderNumber(const QString& text);
