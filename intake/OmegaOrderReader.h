#pragma once

#include "trade/OmegaOrder.h"

class TDataSet;

// Fills the record from the data set's current row: the columns of the alert tables,
// matched by name without regard to case; a null column gives an empty text or 0. The
// fill price and fill time are read, and Filled set, only for a row of the filled-orders
// table. Throws TError when a column is missing or does not hold its kind of value.
void ReadOmegaOrder(TOmegaOrder& order, TDataSet& dataSet, bool fromFilledOrders);
