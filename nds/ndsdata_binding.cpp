// Handing the values of a parameter list to a prepared engine statement.
// Binding is by position: the parameter at index i is statement parameter
// i + 1, whatever its name.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/datetime.h"
#include "dataset/exceptions.h"
#include "dataset/params.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// Puts a signed 32-bit value into four bytes, least significant first.
void StoreLittleEndian(std::int32_t value, unsigned char* out) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

enum class BindKind {
  kRefuseUnknown,
  kText,
  kLogical,
  kDouble,
  kDate,
  kTime,
  kDateTime,
  kBinary,
  kRefuseUnsupported,
  kSkip
};

BindKind KindOf(dataset::TFieldType type) {
  using namespace dataset;
  switch (type) {
    case ftUnknown:
      return BindKind::kRefuseUnknown;
    case ftString:
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBCD:
    case ftAutoInc:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
    case ftLargeint:
      return BindKind::kText;
    case ftBoolean:
      return BindKind::kLogical;
    case ftFloat:
    case ftCurrency:
      return BindKind::kDouble;
    case ftDate:
      return BindKind::kDate;
    case ftTime:
      return BindKind::kTime;
    case ftDateTime:
      return BindKind::kDateTime;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
      return BindKind::kBinary;
    case ftOraBlob:
    case ftOraClob:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
    case ftGuid:
    case ftTimeStamp:
    case ftFMTBcd:
      return BindKind::kSkip;
    default:
      // ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftWideString, ftADT,
      // ftArray, ftReference, ftDataSet and any type added later.
      return BindKind::kRefuseUnsupported;
  }
}

}  // namespace

void BindParams(NDSHANDLE statement, dataset::TParams& params, const TNdsDataSet* reportFor) {
  for (int index = 0; index < params.Count(); ++index) {
    dataset::TParam& param = *params.Items(index);
    const NDSFIELD position = NDS_FIELD_ORDINAL(index + 1);
    if (param.IsNull()) {
      CheckEngineCode(reportFor, NdsSetEmpty(statement, position));
      continue;
    }
    switch (KindOf(param.DataType())) {
      case BindKind::kRefuseUnknown:
        throw ENDSDatabaseError(reportFor, NDS_E_COMPONENT,
                                "The field named: '" + param.Name() +
                                    "' has the DataType of ftUnknown, which is invalid.");
      case BindKind::kRefuseUnsupported:
        throw ENDSDatabaseError(
            reportFor, NDS_E_COMPONENT,
            "The field named: '" + param.Name() + "' has a DataType that is not supported.");
      case BindKind::kSkip:
        break;
      case BindKind::kText: {
        const std::string text = param.AsString();
        CheckEngineCode(reportFor, NdsSetString(statement, position, text.c_str(),
                                                static_cast<std::uint32_t>(text.size())));
        break;
      }
      case BindKind::kLogical:
        CheckEngineCode(reportFor, NdsSetLogical(statement, position, param.AsBoolean() ? 1 : 0));
        break;
      case BindKind::kDouble:
        CheckEngineCode(reportFor, NdsSetDouble(statement, position, param.AsFloat()));
        break;
      case BindKind::kDate:
        CheckEngineCode(reportFor, NdsSetJulian(statement, position,
                                                dataset::DateTimeToJulianDay(param.AsDateTime())));
        break;
      case BindKind::kTime:
        CheckEngineCode(reportFor,
                        NdsSetMilliseconds(statement, position,
                                           dataset::DateTimeToTimeMSecs(param.AsDateTime())));
        break;
      case BindKind::kDateTime: {
        const double value = param.AsDateTime();
        unsigned char stamp[8];
        StoreLittleEndian(dataset::DateTimeToJulianDay(value), stamp);
        StoreLittleEndian(dataset::DateTimeToTimeMSecs(value), stamp + 4);
        CheckEngineCode(reportFor, NdsSetTimeStampRaw(statement, position, stamp, sizeof stamp));
        break;
      }
      case BindKind::kBinary: {
        // A buffer of its own, released also when the engine call fails.
        const dataset::TBytes data = param.GetData();
        const auto size = static_cast<std::uint32_t>(data.size());
        CheckEngineCode(reportFor, NdsSetBinary(statement, position, NDS_BINARY_DATA, size, 0,
                                                data.data(), size));
        break;
      }
    }
  }
}

}  // namespace nds
