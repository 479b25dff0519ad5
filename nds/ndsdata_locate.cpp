// Locate and Lookup of the cursor dataset. Both rest on one search: the
// search values are written into a filter buffer in engine form; then an
// index whose leading segments are exactly the search fields answers with a
// seek, or else the engine evaluates an expression built from the values, as
// a temporary filter or record by record. A search that finds nothing, or
// fails, leaves the engine cursor where it was.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dataset/text.h"
#include "nds/ndsdata.h"
#include "nds/ndsdata_filter_text.h"
#include "nds/ndsdata_record_search.h"

namespace nds {

namespace {

constexpr const char kBuildFilterOutsideFilterState[] = "Internal Error, << BuildFilterString >>";
constexpr const char kOneValuePerField[] = "Expected one search value for each search field";
constexpr std::uint16_t kKeyRoom = 4082;
constexpr std::uint16_t kScopeRoom = 4082;
constexpr std::uint16_t kSegmentNameRoom = 510;
constexpr std::uint16_t kConditionRoom = 10;
// Most indexes a table can have the search look at.
constexpr std::uint16_t kMaxIndexes = 256;

// The search value of field `i` of `count`: a single field takes a plain
// value or an array's first element; several fields one element each.
const dataset::Variant& SearchValue(const dataset::Variant& values, std::size_t i,
                                    std::size_t count) {
  if (count == 1) return values.IsArray() && values.ArrayLength() > 0 ? values[0] : values;
  return values[static_cast<int>(i)];
}

std::size_t TrailingSpaces(const std::uint8_t* text, std::uint32_t length) {
  std::size_t count = 0;
  while (count < length && text[length - 1 - count] == ' ') ++count;
  return count;
}

}  // namespace

// ---- The search expression ----------------------------------------------------------

std::string TNdsDataSet::BuildFilterString(const std::vector<dataset::TField*>& fields,
                                           bool caseInsensitive) {
  if (State() != dataset::dsFilter)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kBuildFilterOutsideFilterState);
  std::string expression;
  for (dataset::TField* field : fields) {
    const std::uint16_t type =
        field->FieldNo() > 0 ? engineFields_->Items(field->FieldNo() - 1)->engineType : 0;
    const bool isNull = field->IsNull();
    std::string text;
    if (!isNull) text = type == NDS_LOGICAL ? (field->AsBoolean() ? "T" : "F") : field->AsString();
    if (!expression.empty()) expression += " AND ";
    expression += FilterTerm(field->FieldName(), type, isNull, text, caseInsensitive);
  }
  return expression;
}

// ---- Facts of an index order -------------------------------------------------------

bool IndexHasScope(const TNdsDataSet& reportFor, NDSHANDLE index) {
  for (std::uint16_t end : {NDS_TOP, NDS_BOTTOM}) {
    char scope[kScopeRoom] = {};
    std::uint16_t length = kScopeRoom;
    const NDSRESULT rc = NdsGetScope(index, end, scope, &length);
    if (rc == NDS_E_NO_SCOPE) continue;
    CheckEngineCode(&reportFor, rc);
    return true;
  }
  return false;
}

bool IndexHasCondition(const TNdsDataSet& reportFor, NDSHANDLE index) {
  char condition[kConditionRoom] = {};
  std::uint16_t length = kConditionRoom;
  const NDSRESULT rc = NdsGetIndexCondition(index, condition, &length);
  if (rc == NDS_E_INSUFFICIENT_BUFFER) return true;
  CheckEngineCode(&reportFor, rc);
  return length > 0 && condition[0] != '\0';
}

namespace {

bool IndexUniqueOrCustom(const TNdsDataSet& reportFor, NDSHANDLE index) {
  if (reportFor.SourceTableType() != ttNdsNDT) {
    std::uint16_t unique = 0;
    CheckEngineCode(&reportFor, NdsIsIndexUnique(index, &unique));
    if (unique == 1) return true;
  }
  std::uint16_t custom = 0;
  const NDSRESULT rc = NdsIsIndexCustom(index, &custom);
  if (rc == NDS_E_NOT_CUSTOM_INDEX) return false;
  CheckEngineCode(&reportFor, rc);
  return custom == 1;
}

bool IndexUsableForSearch(const TNdsDataSet& reportFor, NDSHANDLE index) {
  return !IndexHasScope(reportFor, index) && !IndexHasCondition(reportFor, index) &&
         !IndexUniqueOrCustom(reportFor, index);
}

std::string IndexSegmentFields(NDSHANDLE index) {
  std::string fields;
  for (std::uint16_t segment = 0;; ++segment) {
    char name[kSegmentNameRoom] = {};
    std::uint16_t length = kSegmentNameRoom;
    if (NdsGetSegmentFieldname(index, segment, name, &length) != NDS_SUCCESS) return fields;
    if (segment > 0) fields += ';';
    fields += std::string(name, strnlen(name, length));
  }
}

}  // namespace

NDSHANDLE TNdsRecordSearch::SearchIndex(const std::string& keyFields,
                                        dataset::TLocateOptions options, std::string& lastSegment) {
  if (options.Contains(dataset::loCaseInsensitive)) return kNoHandle;
  if (dataSet_.Filtered() && dataSet_.OnFilterRecord()) return kNoHandle;
  if (dataSet_.IndexIsActive()) {
    // A narrowed active index is the only one that may answer: a seek on
    // another order would leave its narrowing.
    const bool matches = IndexPrefixMatch(dataSet_.ActiveIndexFields(), keyFields, lastSegment);
    if (!IndexUsableForSearch(dataSet_, order_)) return matches ? order_ : kNoHandle;
    if (matches) return order_;
  }
  NDSHANDLE indexes[kMaxIndexes] = {};
  std::uint16_t count = kMaxIndexes;
  const NDSRESULT rc = NdsGetAllIndexes(table_, indexes, &count);
  if (rc != NDS_E_INSUFFICIENT_BUFFER) CheckEngineCode(&dataSet_, rc);
  for (std::uint16_t i = 0; i < count && i < kMaxIndexes; ++i)
    if (IndexPrefixMatch(IndexSegmentFields(indexes[i]), keyFields, lastSegment) &&
        IndexUsableForSearch(dataSet_, indexes[i]))
      return indexes[i];
  return kNoHandle;
}

// ---- The search over one set of values ----------------------------------------------

TNdsRecordSearch::TNdsRecordSearch(TNdsDataSet& dataSet, dataset::TRecordBuffer values)
    : dataSet_(dataSet),
      values_(values),
      table_(dataSet.TableHandle()),
      order_(dataSet.ActiveOrderHandle()) {}

bool TNdsRecordSearch::Find(const std::string& keyFields,
                            const std::vector<dataset::TField*>& fields,
                            dataset::TLocateOptions options) {
  std::string lastSegment;
  const NDSHANDLE index = SearchIndex(keyFields, options, lastSegment);
  return index != kNoHandle
             ? SeekSearchValues(index, fields, options.Contains(dataset::loPartialKey), lastSegment)
             : SearchWithExpression(fields, options);
}

// ---- The two ways of searching ------------------------------------------------------

bool TNdsRecordSearch::SeekSearchValues(NDSHANDLE index,
                                        const std::vector<dataset::TField*>& fields, bool partial,
                                        const std::string& lastSegment) {
  CheckEngineCode(&dataSet_, NdsInitRawKey(index));
  for (dataset::TField* field : fields) {
    const TNCEFieldDef& def = *dataSet_.EngineFieldDefs().Items(field->FieldNo() - 1);
    const std::uint8_t* value = values_ + def.offset;
    const bool text = def.engineType == NDS_STRING || def.engineType == NDS_CISTRING;
    std::uint32_t length = def.length;
    if (partial && text && dataset::UpperCase(def.name) == lastSegment)
      length -= static_cast<std::uint32_t>(TrailingSpaces(value, def.length));
    CheckEngineCode(&dataSet_, text ? NdsSetField(index, def.name.c_str(), value, length)
                                    : NdsSetFieldRaw(index, def.name.c_str(), value, length));
  }
  std::uint8_t key[kKeyRoom] = {};
  std::uint16_t keyLength = kKeyRoom;
  CheckEngineCode(&dataSet_, NdsBuildRawKey(index, key, &keyLength));
  std::uint16_t found = 0;
  CheckEngineCode(&dataSet_, NdsSeek(index, key, keyLength, NDS_RAWKEY, NDS_HARDSEEK, &found));
  return found != 0;
}

bool TNdsRecordSearch::ScanWithExpression(const std::string& expression) {
  CheckEngineCode(&dataSet_, NdsGotoTop(order_));
  for (;;) {
    std::uint16_t atEnd = 0;
    CheckEngineCode(&dataSet_, NdsAtEOF(table_, &atEnd));
    if (atEnd) return false;
    std::uint16_t result = 0;
    CheckEngineCode(&dataSet_, NdsEvalLogicalExpr(order_, expression.c_str(), &result));
    if (result == 1) return true;
    CheckEngineCode(&dataSet_, NdsSkip(order_, 1));
  }
}

bool TNdsRecordSearch::EngineFilterIsSet(bool optimized) {
  std::uint16_t length = 0;
  const NDSRESULT rc =
      optimized ? NdsGetAOF(table_, nullptr, &length) : NdsGetFilter(table_, nullptr, &length);
  if (rc == NDS_E_NO_FILTER) return false;
  if (rc == NDS_E_INSUFFICIENT_BUFFER || rc == NDS_SUCCESS) return true;
  CheckEngineCode(&dataSet_, rc);
  return false;
}

bool TNdsRecordSearch::SearchWithExpression(const std::vector<dataset::TField*>& fields,
                                            dataset::TLocateOptions options) {
  const std::string expression =
      dataSet_.BuildFilterString(fields, options.Contains(dataset::loCaseInsensitive));
  const bool aofSet = EngineFilterIsSet(true);
  const bool filterSet = EngineFilterIsSet(false);
  std::uint16_t exact = 0;
  CheckEngineCode(&dataSet_, NdsGetExact22(table_, &exact));
  bool found = false;
  try {
    CheckEngineCode(&dataSet_,
                    NdsSetExact22(table_, options.Contains(dataset::loPartialKey) ? 0 : 1));
    if (aofSet && filterSet) {
      found = ScanWithExpression(expression);
    } else {
      // The user's narrowing stays; the search's own filter of the other
      // kind is added to it for the time of the search.
      CheckEngineCode(&dataSet_, aofSet
                                     ? NdsSetFilter(table_, expression.c_str())
                                     : NdsSetAOF(table_, expression.c_str(), NDS_RESOLVE_DYNAMIC));
      CheckEngineCode(&dataSet_, NdsGotoTop(order_));
      std::uint16_t atEnd = 0;
      CheckEngineCode(&dataSet_, NdsAtEOF(table_, &atEnd));
      found = !atEnd;
      if (found && dataSet_.Filtered() && dataSet_.OnFilterRecord())
        found = dataSet_.ScanWithFilterEvent(true);
    }
  } catch (...) {
    RestoreSearchFilters(exact, aofSet, filterSet);
    throw;
  }
  RestoreSearchFilters(exact, aofSet, filterSet);
  return found;
}

void TNdsRecordSearch::RestoreSearchFilters(std::uint16_t exact, bool aofSet, bool filterSet) {
  // Results ignored: each step undoes what the search may have set, and
  // a failure here must not hide the search's own.
  NdsSetExact22(table_, exact);
  if (!aofSet)
    NdsClearAOF(table_);
  else if (!filterSet)
    NdsClearFilter(table_);
}

// ---- The search ---------------------------------------------------------------------

bool TNdsDataSet::FindMatchingRecord(const std::string& keyFields, const dataset::Variant& values,
                                     dataset::TLocateOptions options) {
  CheckBrowseMode();
  NDSHANDLE saved = 0;
  const NDSRESULT rc = NdsGetBookmark(tableHandle_, &saved);
  // At either end there is no record to come back to.
  const bool hasPosition = rc == NDS_SUCCESS;
  if (rc != NDS_E_NO_CURRENT_RECORD) CheckEngineCode(this, rc);

  const std::vector<dataset::TField*> fields = GetFieldList(keyFields);
  if (fields.size() > 1 &&
      (!values.IsArray() || values.ArrayLength() != static_cast<int>(fields.size())))
    dataset::DatabaseError(kOneValuePerField);

  bool found = false;
  dataset::TRecordBuffer buffer = AllocateRecordBuffer();
  const dataset::TRecordBuffer savedFilterBuffer = filterBuffer_;
  try {
    filterBuffer_ = buffer;
    TempState state(*this, dataset::dsFilter);
    ClearRecordImage(buffer);
    for (std::size_t i = 0; i < fields.size(); ++i)
      fields[i]->SetAsVariant(SearchValue(values, i, fields.size()));
    found = TNdsRecordSearch(*this, buffer).Find(keyFields, fields, options);
  } catch (...) {
    filterBuffer_ = savedFilterBuffer;
    ReleaseRecordBuffer(buffer);
    if (hasPosition) NdsGotoBookmark(tableHandle_, saved);
    throw;
  }
  filterBuffer_ = savedFilterBuffer;
  ReleaseRecordBuffer(buffer);
  if (!found && hasPosition) NdsGotoBookmark(tableHandle_, saved);
  return found;
}

bool TNdsDataSet::LocateRecord(const std::string& keyFields, const dataset::Variant& values,
                               dataset::TLocateOptions options) {
  Fire(BeforeScroll);
  const bool found = FindMatchingRecord(keyFields, values, options);
  CursorPosChanged();
  if (found) {
    Resync({dataset::rmExact, dataset::rmCenter});
    Fire(AfterScroll);
  }
  return found;
}

dataset::Variant TNdsDataSet::LookupValues(const std::string& keyFields,
                                           const dataset::Variant& values,
                                           const std::string& resultFields) {
  dataset::Variant result = dataset::Variant::Null();
  if (values.IsClear()) return result;
  try {
    if (FindMatchingRecord(keyFields, values, {})) {
      dataset::TRecordBuffer buffer = AllocateRecordBuffer();
      const dataset::TRecordBuffer savedFilterBuffer = filterBuffer_;
      try {
        std::uint32_t length = layout_.BufferSize();
        // A record the dataset hides (a range, a filter) was not found: its
        // buffer holds nothing of it.
        if (ReadCurrentVisibleRecord(buffer, length) == dataset::grOK) {
          // The found record's values are read from its own buffer, as a
          // filter handler reads the record it judges.
          filterBuffer_ = buffer;
          TempState state(*this, dataset::dsFilter);
          const std::vector<dataset::TField*> fields = GetFieldList(resultFields);
          if (fields.size() == 1) {
            result = fields[0]->AsVariant();
          } else {
            std::vector<dataset::Variant> items;
            for (dataset::TField* field : fields) items.push_back(field->AsVariant());
            result = dataset::Variant(items);
          }
        }
      } catch (...) {
        filterBuffer_ = savedFilterBuffer;
        ReleaseRecordBuffer(buffer);
        throw;
      }
      filterBuffer_ = savedFilterBuffer;
      ReleaseRecordBuffer(buffer);
    }
  } catch (...) {
    CursorPosChanged();
    throw;
  }
  CursorPosChanged();
  return result;
}

}  // namespace nds
