// Values written into the buffers of searches: the key buffers of key
// editing and ranges, and the filter buffer of Locate and Lookup. A value
// arrives in the framework's form and is stored in the form the engine keeps
// in its record image, so that raw keys and seeks can be built from it.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "dataset/bcd.h"
#include "dataset/datetime.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
constexpr std::int32_t kJulianOfDayZero = 1721425;
constexpr const char kNumericOutOfRange[] = "Numeric out of range.";
constexpr const char kBadDateFunctions[] = "Something's wrong with NDS date functions";

template <typename T>
T LoadValue(const void* value) {
  T v;
  std::memcpy(&v, value, sizeof v);
  return v;
}

template <typename T>
void Store(std::uint8_t* place, T v) {
  std::memcpy(place, &v, sizeof v);
}

// The engine's date text of a framework day number.
std::string EngineDateText(const TNdsDataSet* owner, std::int32_t day, std::uint32_t fieldLength) {
  char text[13] = {};
  std::uint16_t length = sizeof text;
  CheckEngineCode(owner, NdsConvertJulianToString(static_cast<double>(day) + kJulianOfDayZero,
                                                  text, &length));
  if (length > fieldLength) throw ENDSDatabaseError(owner, NDS_E_COMPONENT, kBadDateFunctions);
  return std::string(text, length);
}

// The decimal text of a numeric column value, right-aligned in the field.
std::string NumericText(const TNdsDataSet* owner, const TNCEFieldDef& def,
                        dataset::TFieldType type, const void* value) {
  const int length = static_cast<int>(def.length);
  std::string text;
  if (type == dataset::ftSmallint) {
    text = std::to_string(LoadValue<std::int16_t>(value));
  } else if (type == dataset::ftBCD || type == dataset::ftFMTBcd) {
    const auto bcd = LoadValue<dataset::TBcd>(value);
    text = def.decimals == 0 ? dataset::BcdToStrFixed(bcd, length - 1, 0)
                             : dataset::BcdToStrFixed(bcd, length - 2, def.decimals);
    if (text.empty() || (static_cast<int>(text.size()) == length && text[0] != '-'))
      throw ENDSDatabaseError(owner, NDS_E_COMPONENT, kNumericOutOfRange);
  } else {
    const double number = type == dataset::ftInteger || type == dataset::ftAutoInc
                              ? LoadValue<std::int32_t>(value)
                              : LoadValue<double>(value);
    if (!std::isfinite(number)) throw ENDSDatabaseError(owner, NDS_E_COMPONENT, kNumericOutOfRange);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(def.decimals), number);
    text = buffer;
  }
  if (static_cast<int>(text.size()) > length || text.find_first_of("Ee") != std::string::npos)
    throw ENDSDatabaseError(owner, NDS_E_COMPONENT, kNumericOutOfRange);
  return std::string(static_cast<std::size_t>(length) - text.size(), ' ') + text;
}

void PackCompactDate(const std::string& text, std::uint8_t* place) {
  const auto number = [&](std::size_t at, std::size_t count) {
    return static_cast<std::uint32_t>(std::stoul(text.substr(at, count)));
  };
  const std::uint32_t packed = number(0, 4) * 512 + number(4, 2) * 32 + number(6, 2);
  place[0] = static_cast<std::uint8_t>(packed >> 16);
  place[1] = static_cast<std::uint8_t>(packed >> 8);
  place[2] = static_cast<std::uint8_t>(packed);
}

void WriteNull(std::uint8_t* place, const TNCEFieldDef& def, bool ndt) {
  const std::uint16_t type = def.engineType;
  if (!ndt) {
    const bool zeros = type >= NDS_MEMO && type <= NDS_SHORTINT;
    std::memset(place, zeros || type == NDS_CURDOUBLE ? 0 : ' ', def.length);
    return;
  }
  switch (type) {
    case NDS_LOGICAL:
      place[0] = ' ';
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      Store<std::uint32_t>(place, 0x20u);
      Store<std::uint32_t>(place + 4, 0x80000000u);
      break;
    case NDS_INTEGER:
      Store<std::uint32_t>(place, 0x80000000u);
      break;
    case NDS_SHORTINT:
      Store<std::uint16_t>(place, 0x8000u);
      break;
    case NDS_TIME:
    case NDS_AUTOINC:
      Store<std::uint32_t>(place, 0xFFFFFFFFu);
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      Store<std::uint32_t>(place, 0);
      Store<std::uint32_t>(place + 4, 0xFFFFFFFFu);
      break;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      Store<std::uint32_t>(place, 0);
      Store<std::uint32_t>(place + 4, 0x80000000u);
      break;
    case 0:
      break;
    default:
      std::memset(place, 0, def.length);
      break;
  }
}

}  // namespace

void TNdsDataSet::StoreEngineValue(const TNCEFieldDef& def, dataset::TFieldType type,
                                   const void* value, std::uint8_t* image) {
  std::uint8_t* place = image + def.offset;
  const bool ndt = engineTableType_ == NDS_NDT;
  if (value == nullptr) {
    WriteNull(place, def, ndt);
    return;
  }
  switch (def.engineType) {
    case NDS_LOGICAL:
      place[0] = LoadValue<std::int16_t>(value) != 0 ? 'T' : 'F';
      break;
    case NDS_NUMERIC: {
      const std::string text = NumericText(this, def, type, value);
      std::memcpy(place, text.data(), def.length);
      break;
    }
    case NDS_DATE: {
      const auto day = LoadValue<std::int32_t>(value);
      if (def.length == 4) {
        Store<std::int32_t>(place, day + kJulianOfDayZero);
      } else {
        const std::string text = EngineDateText(this, day, def.length);
        std::memcpy(place, text.data(), text.size());
      }
      break;
    }
    case NDS_STRING:
    case NDS_CISTRING: {
      const auto* text = static_cast<const char*>(value);
      const std::size_t size = strnlen(text, def.length);
      const bool zeros =
          !tableOptions_->NdsPreserveSpaces() && size == 0 && tableType_ == ttNdsNDT;
      std::memset(place, zeros ? 0 : ' ', def.length);
      std::memcpy(place, text, size);
      break;
    }
    case NDS_COMPACTDATE:
      PackCompactDate(EngineDateText(this, LoadValue<std::int32_t>(value), 13), place);
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      std::memcpy(place, value, 8);
      break;
    case NDS_INTEGER:
    case NDS_AUTOINC:
    case NDS_TIME:
      std::memcpy(place, value, 4);
      break;
    case NDS_SHORTINT:
      std::memcpy(place, value, 2);
      break;
    case NDS_RAW:
      std::memcpy(place, value, def.length);
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME: {
      const double msecs = LoadValue<double>(value);
      const auto days = static_cast<std::int64_t>(msecs / static_cast<double>(kMSecsPerDay));
      Store<std::uint32_t>(place, static_cast<std::uint32_t>(days + kJulianOfDayZero));
      Store<std::uint32_t>(place + 4, static_cast<std::uint32_t>(std::llround(
                                          msecs - static_cast<double>(days * kMSecsPerDay))));
      break;
    }
    case NDS_MONEY: {
      std::int64_t scaled = 0;
      if (!dataset::BcdToCurr(LoadValue<dataset::TBcd>(value), scaled))
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNumericOutOfRange);
      Store<std::int64_t>(place, scaled);
      break;
    }
    case NDS_ROWVERSION:
      Store<std::int64_t>(place, dataset::BcdToInt64(LoadValue<dataset::TBcd>(value)));
      break;
    default:
      // Blob contents travel through blob streams.
      break;
  }
}

void TNdsDataSet::WriteSearchValue(dataset::TField& field, const void* value) {
  if (State() == dataset::dsSetKey &&
      (field.FieldNo() < 0 || (ActiveIndexSegmentCount() > 0 && !IsIndexField(field))))
    dataset::DatabaseError("Field '" + field.DisplayName() +
                           "' is not indexed and cannot be modified");
  const dataset::TRecordBuffer buffer = CurrentStateBuffer();
  if (buffer == nullptr || field.FieldNo() <= 0)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, "Dataset not in edit mode");
  const TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
  StoreEngineValue(def, field.DataType(), value, buffer);
  if (State() != dataset::dsSetKey) return;
  // The key buffer marks which fields a key gives: the text length of a
  // string, 1 for any other value.
  std::uint16_t mark = 1;
  if (field.DataType() == dataset::ftString && value != nullptr)
    mark = static_cast<std::uint16_t>(strnlen(static_cast<const char*>(value), def.length));
  std::uint8_t* marks = keyBuffers_[currentKeyBuffer_].get() + kKeyHeaderSize + recordSize_;
  std::memcpy(marks + 2 * (field.FieldNo() - 1), &mark, sizeof mark);
  NotifyDataEvent(dataset::deFieldChange, reinterpret_cast<std::intptr_t>(&field));
}

}  // namespace nds
