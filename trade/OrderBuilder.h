#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"

class TOperationLog;
class TSettings;
class TTradeLookup;
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

    // A new order; false when there is nothing to send (quantity 0). A wording whose
    // quantity does not read throws TError.
    bool NewOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account);

    // A withdrawal of the order last sent for this strategy order and client; false when
    // no exchange order number is known for it or the quantity is 0.
    bool KillOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account);

private:
    void SizeFromSecurity(TOrder& order);

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
