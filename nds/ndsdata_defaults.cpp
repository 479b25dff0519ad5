// The per-field initialisation of a cleared record image: which fields a
// post will send, the engine's mark for autoincrement fields, and the
// fields' DefaultExpression values read by engine type.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "dataset/bcd.h"
#include "dataset/datetime.h"
#include "dataset/text.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// The engine numbers an autoincrement field itself; this mark asks it to.
constexpr std::uint32_t kAutoIncMark = 0xFFFFFFFFu;

bool IsBlobType(std::uint16_t type) {
  return type >= NDS_MEMO && type <= NDS_VARCHAR;
}

// "Numeric out of range:" followed by the expression. Raised without a
// dataset: the caller wraps it in a message naming the field.
[[noreturn]] void DefaultOutOfRange(const std::string& expression) {
  throw ENDSDatabaseError(nullptr, 0, "Numeric out of range:" + expression);
}

}  // namespace

void TNdsDataSet::ApplyDefaultExpressions(std::uint8_t* image, bool writeEveryField) {
  // Most tables have no default expressions: then no field is looked up by name.
  const bool anyDefault = std::any_of(Fields().begin(), Fields().end(), [](dataset::TField* f) {
    return !f->DefaultExpression().empty();
  });
  for (int i = 0; i < engineFields_->Count(); ++i) {
    TNCEFieldDef& def = *engineFields_->Items(i);
    def.fieldModified = writeEveryField;
    if (def.engineType == NDS_AUTOINC) {
      std::memcpy(image + def.offset, &kAutoIncMark, sizeof kAutoIncMark);
      continue;
    }
    if (!anyDefault || IsBlobType(def.engineType)) continue;
    dataset::TField* field = FindField(def.name);
    if (field == nullptr || field->DefaultExpression().empty()) continue;
    try {
      StoreDefaultValue(def, dataset::Trim(field->DefaultExpression()), image);
    } catch (const dataset::Exception& error) {
      throw ENDSDatabaseError(this, 0,
                              "Error setting default field value. (" + field->DisplayName() +
                                  ")\r\n" + error.Message());
    }
    def.fieldModified = true;
  }
}

void TNdsDataSet::StoreDefaultValue(const TNCEFieldDef& def, const std::string& expression,
                                    std::uint8_t* image) {
  const std::uint16_t number = def.fieldNumber;
  switch (def.engineType) {
    case NDS_LOGICAL: {
      const std::string upper = dataset::UpperCase(expression);
      const std::int16_t value =
          (upper == "TRUE" || upper == "T" || upper == ".T." || upper == "1") ? -1 : 0;
      ConvertToEngineValue(number, dataset::ftBoolean, &value, image);
      return;
    }
    case NDS_NUMERIC:
      if (engineTableType_ == NDS_NDT && !tableOptions_->NdsNumericsAsFloats()) {
        const dataset::TBcd value = dataset::StrToBcd(expression);
        ConvertToEngineValue(number, dataset::ftBCD, &value, image);
        return;
      }
      [[fallthrough]];
    case NDS_DOUBLE:
    case NDS_CURDOUBLE: {
      const double value = dataset::StrToFloat(expression);
      ConvertToEngineValue(number, dataset::ftFloat, &value, image);
      return;
    }
    case NDS_DATE:
    case NDS_COMPACTDATE: {
      const std::int32_t day = dataset::DateTimeToTimeStamp(dataset::StrToDate(expression)).Date;
      ConvertToEngineValue(number, dataset::ftDate, &day, image);
      return;
    }
    case NDS_STRING:
    case NDS_CISTRING:
      // Only a quoted text is a string default; anything else writes nothing.
      if (expression.size() >= 2 && expression.front() == '\'' && expression.back() == '\'') {
        const std::string text = expression.substr(1, expression.size() - 2);
        ConvertToEngineValue(number, dataset::ftString, text.c_str(), image);
      }
      return;
    case NDS_INTEGER:
    case NDS_SHORTINT: {
      const std::int32_t value = dataset::StrToInt(expression);
      // The smallest values are the engine's empty forms.
      if (value == INT32_MIN ||
          (def.engineType == NDS_SHORTINT && (value < -32767 || value > 32767)))
        DefaultOutOfRange(expression);
      if (def.engineType == NDS_SHORTINT) {
        const auto shortValue = static_cast<std::int16_t>(value);
        ConvertToEngineValue(number, dataset::ftSmallint, &shortValue, image);
      } else {
        ConvertToEngineValue(number, dataset::ftInteger, &value, image);
      }
      return;
    }
    case NDS_TIME: {
      const dataset::TDateTime time = dataset::StrToTime(expression);
      const auto msecs = static_cast<std::int32_t>(
          std::lround((time - std::trunc(time)) * static_cast<double>(dataset::kMSecsPerDay)));
      ConvertToEngineValue(number, dataset::ftTime, &msecs, image);
      return;
    }
    case NDS_TIMESTAMP:
    case NDS_MODTIME: {
      const double msecs = (dataset::StrToDateTime(expression) + dataset::kDateDelta) *
                           static_cast<double>(dataset::kMSecsPerDay);
      ConvertToEngineValue(number, dataset::ftDateTime, &msecs, image);
      return;
    }
    case NDS_MONEY:
    case NDS_ROWVERSION: {
      const dataset::TBcd value = dataset::StrToBcd(expression);
      ConvertToEngineValue(number, dataset::ftBCD, &value, image);
      return;
    }
    default:
      return;
  }
}

}  // namespace nds
