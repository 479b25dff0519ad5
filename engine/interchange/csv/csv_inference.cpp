#include "engine/interchange/csv/csv_inference.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "engine/interchange/csv/csv_file.h"
#include "engine/interchange/csv/csv_reader.h"
#include "engine/interchange/csv/csv_values.h"

namespace nce {
namespace {

// Digits a double holds exactly (DBL_DIG): whole numbers of at most this
// many digits need no check of their own.
constexpr size_t kExactDigits = 15;

bool IsTrueOrFalse(std::string_view text) {
  bool truth;
  return (text.size() == 4 || text.size() == 5) && ReadCsvLogical(text, &truth);
}

// Whether the whole part is written with a zero before other digits.
bool LeadingZero(std::string_view text) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  return text.size() > 1 && text[0] == '0' && text[1] >= '0' && text[1] <= '9';
}

}  // namespace

void CsvColumnGuess::Observe(std::string_view text) {
  any_ = true;
  longest_ = std::max(longest_, text.size());
  text = TrimBlanks(text);
  if (text.empty()) {
    possible_ = 0;
    return;
  }
  int64_t julian, ms;
  if ((possible_ & kLogical) && !IsTrueOrFalse(text)) possible_ &= ~kLogical;
  if (possible_ & (kDecimal | kDouble)) ObserveNumber(text);
  if ((possible_ & kDate) && !ReadCsvDate(text, &julian)) possible_ &= ~kDate;
  if ((possible_ & kTimestamp) && !ReadCsvTimestamp(text, &julian, &ms)) possible_ &= ~kTimestamp;
  if ((possible_ & kTime) && !ReadCsvTime(text, &ms)) possible_ &= ~kTime;
}

void CsvColumnGuess::ObserveNumber(std::string_view text) {
  if (LeadingZero(text)) {
    possible_ &= ~(kDecimal | kDouble);
    return;
  }
  CsvDecimal d;
  if (!ReadCsvDecimal(text, &d)) {
    possible_ &= ~kDecimal;
  } else {
    const bool negative = d.negative && !IsZero(d);
    widest_whole_ =
        std::max(widest_whole_, (negative ? 1 : 0) + std::max<size_t>(1, d.whole.size()));
    whole_digits_ = std::max(whole_digits_, d.whole.size());
    decimals_ = std::max(decimals_, d.fraction.size());
    if (!d.fraction.empty() || d.whole.size() > 19) {
      fits_integer_ = fits_whole64_ = false;
    } else if (fits_whole64_) {
      uint64_t magnitude = 0;
      const bool parsed =
          d.whole.empty() ||
          std::from_chars(d.whole.data(), d.whole.data() + d.whole.size(), magnitude).ec ==
              std::errc();
      const uint64_t limit = uint64_t{std::numeric_limits<int64_t>::max()} + (negative ? 1 : 0);
      fits_whole64_ = parsed && magnitude <= limit;
      // The smallest 32-bit value is the null form of integer fields.
      fits_integer_ = fits_integer_ && fits_whole64_ && magnitude <= 2147483647;
    }
    if (d.whole.size() + d.fraction.size() <= kExactDigits) return;  // exact as a double too
  }
  if (possible_ & kDouble) {
    double value;
    bool out_of_range;
    if (!ReadCsvDouble(text, &value, &out_of_range) || !DoubleHoldsExactly(text, value))
      possible_ &= ~kDouble;
  }
}

FieldSpec CsvColumnGuess::Result() const {
  auto field = [](uint16_t type, uint32_t length, uint16_t decimals = 0) {
    return FieldSpec{type, length, decimals};
  };
  if (!any_) return field(NDS_STRING, 1);
  if (possible_ & kLogical) return field(NDS_LOGICAL, 1);
  if (possible_ & kDecimal) {
    if (decimals_ == 0 && fits_integer_) return field(NDS_INTEGER, 4);
    if (decimals_ == 0 && fits_whole64_) return field(NDS_NUMERIC, widest_whole_);
    if (decimals_ > 0 && whole_digits_ + decimals_ <= kExactDigits)
      return field(NDS_NUMERIC, widest_whole_ + 1 + decimals_, decimals_);
  }
  if (possible_ & kDouble) return field(NDS_DOUBLE, 8);
  if (possible_ & kDate) return field(NDS_DATE, 4);
  if (possible_ & kTimestamp) return field(NDS_TIMESTAMP, 8);
  if (possible_ & kTime) return field(NDS_TIME, 4);
  if (longest_ > kLongestInferredString) return field(NDS_MEMO, 9);
  return field(NDS_STRING, std::max<uint32_t>(1, longest_));
}

TableShape InferCsvShape(const std::string& path, const CsvReadOptions& options) {
  CsvFile file(path, options.encoding);
  std::vector<CsvColumnGuess> guesses(file.names().size());
  while (file.Next())
    for (size_t i = 0; i < guesses.size(); ++i)
      if (!file.raw(i).empty()) guesses[i].Observe(file.Text(i));
  TableShape shape;
  for (size_t i = 0; i < guesses.size(); ++i)
    shape.columns.push_back(TableColumn{file.names()[i], guesses[i].Result(), true});
  return shape;
}

}  // namespace nce
