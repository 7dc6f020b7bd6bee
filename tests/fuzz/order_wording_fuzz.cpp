// The strategy order's wording ("Buy 10 at 25.5 Limit") as the platform may write it in its
// alert database, read under a point or a comma regional separator, and the transaction
// price made from what it gives; the same text also as a workspace path.
#include "tests/fuzz/FuzzCheck.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "data/SecurityLimits.h"
#include "trade/OmegaOrder.h"
#include "trade/Order.h"
#include "trade/Price.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

const TRegional& PointRegional()
{
    static const TRegional regional;
    return regional;
}

const TRegional& CommaRegional()
{
    static const TRegional regional = TRegional::Russian();
    return regional;
}

// A fill price as the filled-orders table may hold it, the odd values included.
double FillPrice(FuzzedDataProvider& input)
{
    constexpr double odd[] = {0, -1, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), 1e300, 5e-324};
    return input.ConsumeBool() ? input.PickValueInArray(odd) : input.ConsumeFloatingPoint<double>();
}

// A price the program writes into a transaction line reads back as a number.
void CheckPriceText(qint32 digits, double price, const TRegional& regional)
{
    QString text;
    try {
        text = FormatPrice(digits, price, regional);
    } catch (const TError&) {
        return; // a price that cannot be written is refused, not sent
    }
    double readBack = 0;
    FuzzCheck(regional.TryParseFloat(text, &readBack), "a written price reads back as a number");
    FuzzCheck(std::isfinite(readBack), "a written price is finite");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const TRegional& regional = input.ConsumeBool() ? CommaRegional() : PointRegional();
    TOmegaOrder omega;
    omega.Filled = input.ConsumeBool();
    omega.FillPrice = FillPrice(input);
    const qint32 digits = input.ConsumeIntegralInRange<qint32>(-MaxPriceDigits, MaxPriceDigits);
    const double slippage = input.ConsumeFloatingPointInRange<double>(0, MaxSlippagePercent - 1);
    omega.Order = QString::fromUtf8(input.ConsumeRemainingBytesAsString());

    // The same text as a workspace path: open positions are booked under its file name.
    const QString workspaceName = WorkspaceFileName(omega.Order);
    FuzzCheck(omega.Order.endsWith(workspaceName) && !workspaceName.contains(QLatin1Char('\\'))
                  && !workspaceName.contains(QLatin1Char(':')),
              "a workspace's file name is the path's last part");

    TOrder order;
    try {
        ConvertOrder(order, omega, regional);
    } catch (const TError&) {
        return 0; // a quantity that does not read refuses the order
    }
    if (!IsUsablePrice(order.Price))
        return 0;
    CheckPriceText(digits, order.Price, regional);
    const double moved = SlippagePrice(order.Operation, order.Price, slippage);
    if (IsUsablePrice(moved))
        CheckPriceText(digits, moved, regional);
    return 0;
}
