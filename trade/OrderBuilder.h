#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"
#include "trade/Price.h"
#include "trade/TradeLookup.h"

#include <QLocale>
#include <optional>

class TOperationLog;
class TSettings;
struct TEnvironment;

// Turns a strategy order into the terminal order for one account: the two order builders
// the dispatch calls per account, and the sizing they share. Reads the settings at the
// moment of use; asks the bridge database through the lookup.
class TOrderBuilder {
public:
    TOrderBuilder(const TSettings& settings, const TEnvironment& environment,
                  TOperationLog& log, TTradeLookup& lookup);

    // Security codes, slippage price and quantity in lots. A security or client that is
    // missing, and any failure of the lookups or the arithmetic, is logged and leaves the
    // quantity 0. For an exit with exact closing on, the booked quantity of the position
    // wins; a failure of that lookup reaches the caller. Ends by saving the log.
    void CalcOrder(TOrder& order, const TOmegaOrder& omega);
    // The same, the sized quantity scaled by the client's multiplier (rounded down to whole
    // lots) before exact closing; a multiplier that is no number or below 0 throws TError.
    void CalcOrder(TOrder& order, const TOmegaOrder& omega, const std::optional<double>& multiplier);

    // A new order; false when there is nothing to send (quantity 0). A wording whose
    // quantity does not read throws TError. The account's multiplier scales the quantity.
    bool NewOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account);

    // A withdrawal of the order last sent for this strategy order and client; false when
    // no exchange order number is known for it or the quantity is 0.
    bool KillOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account);

    // For its life, the lookup may keep the securities rows it reads (TTradeLookup::
    // KeepSecurities): the builders called for the accounts of one strategy order then read
    // the order's security once. Held by the dispatch around its accounts.
    class TSecurityReuse {
    public:
        explicit TSecurityReuse(TOrderBuilder& builder) : FLookup(builder.FLookup) { FLookup.KeepSecurities(); }
        ~TSecurityReuse() { FLookup.ReleaseSecurities(); }
        TSecurityReuse(const TSecurityReuse&) = delete;
        TSecurityReuse& operator=(const TSecurityReuse&) = delete;

    private:
        TTradeLookup& FLookup;
    };

private:
    void SizeFromSecurity(TOrder& order);
    // ConvertOrder on an order just cleared. The builders read the same wording for every
    // account of a dispatch, so what the last wording gave is kept with what it depends on
    // and given again for the same inputs. A wording that fails to read is not kept.
    void Convert(TOrder& order, const TOmegaOrder& omega);

    struct TConverted {
        // What ConvertOrder reads...
        QString Wording;
        bool Filled = false;
        double FillPrice = 0;
        QChar DecimalSeparator;
        QLocale Locale;
        // ...and what it fills in.
        QString Operation;
        qint32 Quantity = 0;
        double Price = 0;
        bool IsStop = false;
        bool IsMarket = false;
    };
    std::optional<TConverted> FConverted;
    // The prices of the order at hand as the line will write them, for every account.
    TPriceTexts FPriceTexts;

    const TSettings& FSettings;
    const TEnvironment& FEnvironment;
    TOperationLog& FLog;
    TTradeLookup& FLookup;
};

// Either order builder, as the dispatch takes it: &TOrderBuilder::NewOrder or
// &TOrderBuilder::KillOrder.
using TOrderBuilderMethod = bool (TOrderBuilder::*)(TOrder&, const TOmegaOrder&, const TClientAccount&);

// The finishing steps of a new order once its quantity is positive: the transaction kind,
// the stop order's exchange of limit and stop prices, the market order's price, the account.
void FinishNewOrder(TOrder& order, const TClientAccount& account);

// The finishing steps of a withdrawal once its quantity is positive.
void FinishKillOrder(TOrder& order, const TClientAccount& account);
