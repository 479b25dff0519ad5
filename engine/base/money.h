// Money amounts: 64-bit integers counting ten-thousandths, from
// -922337203685477.5808 to 922337203685477.5807. A double holds only about
// fifteen digits, so amounts travel as exact decimal text wherever a number
// would round them, and the store keeps each amount in the most natural
// form that holds it exactly:
//   - a whole amount as an SQLite INTEGER;
//   - an amount below 1e11 as a REAL (at most fifteen significant digits, so
//     the nearest double gives the amount back exactly);
//   - any other amount as its decimal text, such as '922337203685477.5807'.
#ifndef ENGINE_BASE_MONEY_H
#define ENGINE_BASE_MONEY_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/values.h"

namespace nce {

// Amounts of at least this size with a fraction are kept as text.
inline constexpr double kMoneyRealLimit = 1e11;
// Largest whole amount.
inline constexpr int64_t kMoneyWholeLimit = 922337203685477;

enum class MoneyParse { kOk, kNotAnAmount, kTooManyDecimals, kOutOfRange };

// Reads a decimal amount ("-12.5", "922337203685477.5807") exactly into
// ten-thousandths. More than four decimals, or an amount beyond the range,
// is refused rather than rounded.
MoneyParse ParseMoney(std::string_view text, int64_t* scaled);

// The amount as decimal text with four decimals ("-12.5000").
std::string MoneyText(int64_t scaled);

// The amount in its stored form (see above).
Value MoneyValue(int64_t scaled);

// The amount a stored or given value stands for; false when it is none (a
// text that is no amount, a number beyond the range). A REAL rounds to four
// decimals.
bool MoneyFromValue(const Value& value, int64_t* scaled);

}  // namespace nce

#endif  // ENGINE_BASE_MONEY_H
