#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The price values of a securities row that a transaction price can be made with. A
// price keeps at most 16 significant digits, so more decimals than that (or rounding to
// a multiple wider than that) makes no price; a slippage of 100 percent or more moves a
// price to nothing or below, or out of any range.
inline constexpr qint32 MaxPriceDigits = 15;
inline constexpr double MaxSlippagePercent = 100;

// Why a securities row's Digits or Slippage makes no price; empty when both can be used
// (an empty value is left to the sizing, which asks for it when it needs it).
QString SecurityPriceValuesProblem(std::optional<qint32> digits, std::optional<double> slippage);
