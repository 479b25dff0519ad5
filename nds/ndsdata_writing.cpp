// Writing field values of the cursor dataset: a value the application
// assigns is checked against the state, the field and the user's rights,
// then stored in the record image of the current state in the form the
// engine keeps in its record. Nothing reaches the engine here; PostRecord
// sends the fields marked modified.
#include <charconv>
#include <cstring>
#include <string>

#include "dataset/bcd.h"
#include "dataset/database_error.h"
#include "dataset/text.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr std::int64_t kJulianOfDayZero = 1721425;  // Julian day of the framework's day 0
constexpr double kMSecsPerDay = 86400000.0;
constexpr std::uint16_t kDateTextRoom = 13;  // NdsConvertJulianToString's text buffer

constexpr const char kNotInEditMode[] = "Dataset not in edit mode";
constexpr const char kNumericOutOfRange[] = "Numeric out of range.";
constexpr const char kBadDateFunctions[] = "Something's wrong with NDS date functions";

template <typename T>
T Load(const void* value) {
  T result;
  std::memcpy(&result, value, sizeof result);
  return result;
}

template <typename T>
void Store(std::uint8_t* place, T value) {
  std::memcpy(place, &value, sizeof value);
}

void StoreWords(std::uint8_t* place, std::uint32_t first, std::uint32_t second) {
  Store(place, first);
  Store(place + 4, second);
}

// The engine's empty form of a field, by table family and engine type.
void StoreNull(std::uint8_t* place, std::uint32_t length, std::uint16_t type, bool ndt) {
  if (!ndt) {
    const bool binary = (type >= NDS_MEMO && type <= NDS_SHORTINT) || type == NDS_CURDOUBLE;
    std::memset(place, binary ? 0 : ' ', length);
    return;
  }
  switch (type) {
    case 0:
      return;
    case NDS_LOGICAL:
      place[0] = ' ';
      return;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      StoreWords(place, 0x00000020u, 0x80000000u);
      return;
    case NDS_INTEGER:
      Store<std::uint32_t>(place, 0x80000000u);
      return;
    case NDS_SHORTINT:
      Store<std::uint16_t>(place, 0x8000u);
      return;
    case NDS_TIME:
    case NDS_AUTOINC:
      Store<std::uint32_t>(place, 0xFFFFFFFFu);
      return;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      StoreWords(place, 0, 0xFFFFFFFFu);
      return;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      StoreWords(place, 0, 0x80000000u);
      return;
    default:
      std::memset(place, 0, length);
      return;
  }
}

// "YYYYMMDD" as a compact date's 3 bytes: year * 512 + month * 32 + day,
// most significant byte first.
void PackCompactDate(const std::string& text, std::uint8_t* dest) {
  auto number = [&](std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    if (text.size() >= at + count)
      std::from_chars(text.data() + at, text.data() + at + count, value);
    return value;
  };
  const std::uint32_t packed = number(0, 4) * 512 + number(4, 2) * 32 + number(6, 2);
  dest[0] = static_cast<std::uint8_t>(packed >> 16);
  dest[1] = static_cast<std::uint8_t>(packed >> 8);
  dest[2] = static_cast<std::uint8_t>(packed);
}

// The decimal text of a number value in a numeric field, right-aligned;
// refuses a number the field cannot hold.
void StoreNumericText(const TNdsDataSet* dataSet, const TNCEFieldDef& def, dataset::TFieldType type,
                      const void* value, std::uint8_t* place) {
  const auto length = static_cast<int>(def.length);
  const int decimals = def.decimals;
  std::string text;
  try {
    switch (type) {
      case dataset::ftSmallint:
        text = std::to_string(Load<std::int16_t>(value));
        break;
      case dataset::ftBCD:
      case dataset::ftFMTBcd:
        text = dataset::BcdToStrFixed(Load<dataset::TBcd>(value),
                                      decimals == 0 ? length - 1 : length - 2, decimals);
        // A text that fills the field without a sign has more digits than
        // the field's precision.
        if (text.empty() || (static_cast<int>(text.size()) == length && text[0] != '-'))
          throw ENDSDatabaseError(dataSet, NDS_E_COMPONENT, kNumericOutOfRange);
        break;
      default:
        // The shortest decimal of the double, so that 0.1 is written as
        // 0.1 and not as the nearest binary fraction.
        text = dataset::BcdToStrFixed(dataset::DoubleToBcd(Load<double>(value)),
                                      decimals == 0 ? length : length - 1, decimals);
        break;
    }
  } catch (const dataset::EBcdException&) {
    // Not a number, an infinity, or more digits than any field holds.
    throw ENDSDatabaseError(dataSet, NDS_E_COMPONENT, kNumericOutOfRange);
  }
  if (static_cast<int>(text.size()) > length || text.find('E') != std::string::npos)
    throw ENDSDatabaseError(dataSet, NDS_E_COMPONENT, kNumericOutOfRange);
  std::memset(place, ' ', length - text.size());
  std::memcpy(place + (length - text.size()), text.data(), text.size());
}

// The engine's date text of a Julian day.
std::string EngineDateText(const TNdsDataSet* dataSet, double julian) {
  char text[kDateTextRoom] = {};
  std::uint16_t length = kDateTextRoom;
  CheckEngineCode(dataSet, NdsConvertJulianToString(julian, text, &length));
  return std::string(text, length < kDateTextRoom ? length : kDateTextRoom);
}

}  // namespace

void TNdsStringField::SetAsString(const std::string& value) {
  const dataset::TDataSet* owner = DataSet();
  const bool editing = owner != nullptr &&
                       (owner->State() == dataset::dsEdit || owner->State() == dataset::dsInsert);
  // A cut text would be posted as if it were what the user gave.
  if (editing && static_cast<int>(value.size()) > Size())
    throw ENDSDatabaseError(dynamic_cast<const TNdsDataSet*>(owner), NDS_E_COMPONENT,
                            "Field '" + DisplayName() + "' holds at most " +
                                std::to_string(Size()) + " characters; " +
                                std::to_string(value.size()) + " were given.");
  TStringField::SetAsString(value);
}

void TNdsDataSet::WriteFieldValue(dataset::TField& field, const void* value) {
  const dataset::TDataSetState state = State();
  switch (state) {
    case dataset::dsEdit:
    case dataset::dsInsert:
    case dataset::dsSetKey:
    case dataset::dsCalcFields:
    case dataset::dsFilter:
    case dataset::dsNewValue:
    case dataset::dsInternalCalc:
      break;
    default:
      throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotInEditMode);
  }
  if (state == dataset::dsSetKey &&
      (field.FieldNo() < 0 || (ActiveIndexSegmentCount() > 0 && !IsIndexField(field))))
    dataset::DatabaseError("Field '" + field.DisplayName() +
                           "' is not indexed and cannot be modified");
  // The internal-calc state has no buffer of its own: nothing can be stored.
  // Editing and inserting, the usual states, write the active record.
  const dataset::TRecordBuffer buffer = state == dataset::dsEdit || state == dataset::dsInsert
                                            ? ActiveBuffer()
                                            : CurrentStateBuffer();
  if (buffer == nullptr) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotInEditMode);

  if (field.FieldNo() < 1) {
    WriteCalcSlot(buffer, field, value);
  } else {
    if (state == dataset::dsCalcFields)
      throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotInEditMode);
    if (field.ReadOnly() && state != dataset::dsSetKey && state != dataset::dsFilter)
      dataset::DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
    if (state == dataset::dsEdit || state == dataset::dsInsert) field.Validate(value);
    if (field.FieldKind() != dataset::fkInternalCalc) {
      TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
      if (state == dataset::dsEdit && (def.columnPermissions & NDS_COLUMN_UPDATE) == 0)
        RefuseRights("Update permission not granted on this field: " + field.FieldName() + ".");
      if (state == dataset::dsInsert && (def.columnPermissions & NDS_COLUMN_INSERT) == 0)
        RefuseRights("Insert permission not granted on this field: " + field.FieldName() + ".");
      ConvertToEngineValue(def, field.DataType(), value, buffer);
      def.fieldModified = true;
    }
    if (state == dataset::dsSetKey) {
      // The mark tells the key builder which segments were given.
      const std::uint16_t mark =
          field.DataType() == dataset::ftString
              ? static_cast<std::uint16_t>(
                    value ? strnlen(static_cast<const char*>(value), field.DataSize()) : 0)
              : 1;
      keyBuffers_.SetMark(keyBuffers_.Current(), field.FieldNo() - 1, mark);
    }
  }
  if (state != dataset::dsCalcFields && state != dataset::dsFilter && state != dataset::dsNewValue)
    NotifyDataEvent(dataset::deFieldChange, reinterpret_cast<std::intptr_t>(&field));
}

void TNdsDataSet::ConvertToEngineValue(std::uint16_t fieldNumber, dataset::TFieldType type,
                                       const void* value, std::uint8_t* image) {
  ConvertToEngineValue(*engineFields_->Items(fieldNumber - 1), type, value, image);
}

void TNdsDataSet::ConvertToEngineValue(const TNCEFieldDef& def, dataset::TFieldType type,
                                       const void* value, std::uint8_t* image) {
  std::uint8_t* place = image + def.offset;
  const std::uint32_t length = def.length;
  if (value == nullptr) {
    StoreNull(place, length, def.engineType, engineTableType_ == NDS_NDT);
    return;
  }
  switch (def.engineType) {
    case NDS_LOGICAL:
      place[0] = Load<std::int16_t>(value) != 0 ? 'T' : 'F';
      return;
    case NDS_NUMERIC:
      StoreNumericText(this, def, type, value, place);
      return;
    case NDS_DATE: {
      const std::int64_t julian = Load<std::int32_t>(value) + kJulianOfDayZero;
      if (length == 4) {
        Store(place, static_cast<std::int32_t>(julian));
        return;
      }
      const std::string text = EngineDateText(this, static_cast<double>(julian));
      if (text.size() > length) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kBadDateFunctions);
      std::memcpy(place, text.data(), text.size());
      return;
    }
    case NDS_STRING:
    case NDS_CISTRING: {
      const char* text = static_cast<const char*>(value);
      const std::size_t size = strnlen(text, length);
      // NDT tables keep an empty text as zero bytes, unless spaces are kept.
      const bool zeros = !tableOptions_->NdsPreserveSpaces() && size == 0 && tableType_ == ttNdsNDT;
      std::memset(place, zeros ? 0 : ' ', length);
      std::memcpy(place, text, size);
      return;
    }
    case NDS_COMPACTDATE:
      PackCompactDate(
          EngineDateText(this, static_cast<double>(Load<std::int32_t>(value) + kJulianOfDayZero)),
          place);
      return;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      std::memcpy(place, value, 8);
      return;
    case NDS_INTEGER:
    case NDS_AUTOINC:
      // The smallest integer is the NDT empty form: stored, it would read
      // back as no value.
      if (def.engineType == NDS_INTEGER && engineTableType_ == NDS_NDT &&
          Load<std::int32_t>(value) == INT32_MIN)
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNumericOutOfRange);
      std::memcpy(place, value, 4);
      return;
    case NDS_SHORTINT:
      if (engineTableType_ == NDS_NDT && Load<std::int16_t>(value) == INT16_MIN)
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNumericOutOfRange);
      std::memcpy(place, value, 2);
      return;
    case NDS_TIME:
      std::memcpy(place, value, 4);
      return;
    case NDS_RAW:
      std::memcpy(place, value, length);
      return;
    case NDS_TIMESTAMP:
    case NDS_MODTIME: {
      const double msecs = Load<double>(value);
      const double days = static_cast<double>(static_cast<std::int64_t>(msecs / kMSecsPerDay));
      const auto julian = static_cast<std::int64_t>(days) + kJulianOfDayZero;
      const auto rest = static_cast<std::int64_t>(msecs - days * kMSecsPerDay + 0.5);
      StoreWords(place, static_cast<std::uint32_t>(julian), static_cast<std::uint32_t>(rest));
      return;
    }
    case NDS_MONEY: {
      std::int64_t scaled = 0;
      if (!dataset::BcdToCurr(Load<dataset::TBcd>(value), scaled))
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNumericOutOfRange);
      Store(place, scaled);
      return;
    }
    case NDS_ROWVERSION: {
      std::int64_t number = 0;
      if (!dataset::TryStrToInt64(dataset::BcdToStr(Load<dataset::TBcd>(value)), number))
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNumericOutOfRange);
      Store(place, number);
      return;
    }
    default:
      // Blob contents travel through blob streams; unknown types hold nothing.
      return;
  }
}

}  // namespace nds
