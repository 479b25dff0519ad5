// Index orders of a cursor dataset: the index file list, the choice of the
// active order by name, by field list or by the dictionary's default index,
// the index definitions read from the engine and the segment routines that
// keys, ranges and seeks use.
#include <cstddef>

#include "dataset/text.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kNoOwner[] = "TNdsIndexFiles instances require a non-nil owner";
constexpr const char kTableNotActive[] = "Table must be Active.";
constexpr const char kNotIndexFields[] = "Not a valid index field name:";
constexpr const char kNoActiveIndex[] = "Internal Error: GetSegmentFieldNum : No Active Index";
constexpr const char kDefaultIndexName[] = "NDS_DEFAULT";
constexpr const char kNoDefaultIndex[] = "The table has no default index in the data dictionary.";

constexpr std::uint16_t kMaxOrdersPerFile = 50;
constexpr std::uint16_t kFileNameBuffer = 260;
constexpr std::uint16_t kSegmentNameBuffer = 510;
constexpr std::uint16_t kDefaultIndexBuffer = 200;

std::string FilePartOf(const std::string& name) {
  const std::size_t separator = name.find_last_of("/\\");
  return separator == std::string::npos ? name : name.substr(separator + 1);
}

std::string TrimSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The file name (with extension) of the index file holding `index`; empty
// when the engine cannot say.
std::string IndexFileName(NDSHANDLE index) {
  char name[kFileNameBuffer] = {};
  std::uint16_t length = kFileNameBuffer;
  if (NdsGetIndexFilename(index, NDS_BASENAMEANDEXT, name, &length) != NDS_SUCCESS) return {};
  return std::string(name, length);
}

// The engine's index orders open on `cursor`.
std::vector<NDSHANDLE> EngineIndexes(const TNdsDataSet* dataSet, NDSHANDLE cursor) {
  std::uint16_t count = 0;
  CheckEngineCode(dataSet, NdsGetNumIndexes(cursor, &count));
  std::vector<NDSHANDLE> indexes(count);
  if (count == 0) return indexes;
  CheckEngineCode(dataSet, NdsGetAllIndexes(cursor, indexes.data(), &count));
  indexes.resize(count);
  return indexes;
}

// The engine handle of the order named `name` on the dataset's cursor.
NDSHANDLE IndexHandleNamed(const TNdsDataSet* dataSet, const std::string& name) {
  // The engine answers an empty name with the order the cursor walks in;
  // an order chosen by name must name one.
  if (name.empty()) throw ENDSDatabaseError(dataSet, NDS_E_COMPONENT, kNoDefaultIndex);
  NDSHANDLE order = kNoHandle;
  CheckEngineCode(dataSet, NdsGetIndexHandle(dataSet->TableHandle(), name.c_str(), &order));
  return order;
}

}  // namespace

// ---- The index file list ----------------------------------------------------

TNdsIndexFiles::TNdsIndexFiles(TNdsDataSet* owner) : owner_(owner) {
  if (owner == nullptr) throw ENDSDatabaseError(nullptr, NDS_E_COMPONENT, kNoOwner);
  SetSorted(true);
  SetDuplicates(dataset::dupIgnore);
}

int TNdsIndexFiles::Add(const std::string& name) {
  // The file is opened first, so that a file the engine refuses is never
  // listed.
  if (owner_->Active()) owner_->OpenIndexFile(name);
  owner_->IndexDefs().SetUpdated(false);
  return TStringList::Add(name);
}

void TNdsIndexFiles::Insert(int index, const std::string& name) {
  // The sorted list refuses positional insertion before anything opens.
  TStringList::Insert(index, name);
}

void TNdsIndexFiles::Delete(int index) {
  if (owner_->Active()) owner_->CloseIndexFile(Strings(index));
  owner_->IndexDefs().SetUpdated(false);
  TStringList::Delete(index);
}

void TNdsIndexFiles::Clear() {
  if (owner_->Active())
    for (int i = 0; i < Count(); ++i) owner_->CloseIndexFile(Strings(i));
  TStringList::Clear();
}

// ---- Opening and closing index files ----------------------------------------

void TNdsDataSet::OpenIndexFile(const std::string& name) {
  if (!Active()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kTableNotActive);
  const bool hasPath = name.find_first_of("/\\") != std::string::npos;
  const std::string path = hasPath ? name : ResolveDatabasePath() + "\\" + name;
  // The orders belong to the cursor; their handles are not kept.
  NDSHANDLE orders[kMaxOrdersPerFile];
  std::uint16_t count = kMaxOrdersPerFile;
  CheckEngineCode(this, NdsOpenIndex(tableHandle_, path.c_str(), orders, &count));
  IndexDefs().SetUpdated(false);
}

void TNdsDataSet::CloseIndexFile(const std::string& name) {
  if (!Active()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kTableNotActive);
  const std::string file = dataset::UpperCase(FilePartOf(name));
  const bool activeInFile =
      IndexIsActive() && dataset::UpperCase(IndexFileName(activeOrderHandle_)) == file;
  for (NDSHANDLE index : EngineIndexes(this, tableHandle_)) {
    if (dataset::UpperCase(IndexFileName(index)) != file) continue;
    if (activeInFile) {
      // The active order goes with its file: back to natural order before
      // the handle becomes invalid.
      SetIndexName(std::string());
    }
    CheckEngineCode(this, NdsCloseIndex(index));
    IndexDefs().SetUpdated(false);
    return;
  }
}

// ---- Choosing the active order ------------------------------------------------

void TNdsDataSet::SetIndexFieldNames(const std::string& names) {
  if (Active()) CheckBrowseMode();
  if (scoped_) SetScoped(false);
  const std::string value = TrimSpaces(names);
  // A refused order leaves the previous one in force, whichever property
  // chose it.
  const std::string oldName = indexName_;
  const std::string oldNames = indexFieldNames_;
  const TNdsIndexKind oldKind = indexKind_;
  indexFieldNames_ = value;
  indexName_.clear();
  indexKind_ = value.empty() ? TNdsIndexKind::Natural : TNdsIndexKind::ByFields;
  if (tableHandle_ == kNoHandle) return;
  try {
    SelectActiveIndex();
  } catch (...) {
    indexName_ = oldName;
    indexFieldNames_ = oldNames;
    indexKind_ = oldKind;
    throw;
  }
  if (Active()) Resync({});
}

void TNdsDataSet::SetIndexName(const std::string& name) {
  if (Active()) CheckBrowseMode();
  const std::string oldName = indexName_;
  const std::string oldNames = indexFieldNames_;
  const TNdsIndexKind oldKind = indexKind_;
  indexName_ = name;
  indexFieldNames_.clear();
  indexKind_ = name.empty() ? TNdsIndexKind::Natural : TNdsIndexKind::ByName;
  if (dataset::UpperCase(name) == kDefaultIndexName) indexKind_ = TNdsIndexKind::DictionaryDefault;
  if (tableHandle_ == kNoHandle) return;
  try {
    if (scoped_) SetScoped(false);
    SelectActiveIndex();
  } catch (...) {
    indexName_ = oldName;
    indexFieldNames_ = oldNames;
    indexKind_ = oldKind;
    throw;
  }
  if (!Active()) return;
  Resync({});
  if (masterLink_->Active() && !masterLink_->Fields().empty()) MasterChanged();
}

void TNdsDataSet::SelectActiveIndex() {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  // A range belongs to the order it was applied on; a master range is
  // applied again on the new order by the master change that follows.
  ClearRange();
  NDSHANDLE order = tableHandle_;
  switch (indexKind_) {
    case TNdsIndexKind::Natural:
      break;
    case TNdsIndexKind::ByName:
      order = IndexHandleNamed(this, indexName_);
      break;
    case TNdsIndexKind::ByFields:
      if (!IndexForFields(indexFieldNames_, order))
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotIndexFields + indexFieldNames_);
      break;
    case TNdsIndexKind::DictionaryDefault:
      order = IndexHandleNamed(this, defaultIndexName_);
      break;
  }
  const NDSHANDLE oldOrder = activeOrderHandle_;
  activeOrderHandle_ = order;
  if (!Active()) {
    try {
      ComputeBufferLayout();
    } catch (...) {
      activeOrderHandle_ = oldOrder;
      throw;
    }
    return;
  }
  ReallocateBuffersForOrder();
}

void TNdsDataSet::ReallocateBuffersForOrder() {
  // The bookmark length depends on the order, so every buffer is made anew.
  SetBufListSize(0);
  try {
    ComputeBufferLayout();
    SetBufListSize(BufferCount() + 1);
  } catch (...) {
    // Without buffers the dataset cannot stay open.
    try {
      Close();
    } catch (const dataset::Exception&) {
      // The first failure is the one to report.
    }
    throw;
  }
}

bool TNdsDataSet::IndexForFields(const std::string& fields, NDSHANDLE& index) {
  IndexDefs().Update();
  const dataset::TIndexDef* found = nullptr;
  for (int i = 0; i < IndexDefs().Count() && found == nullptr; ++i) {
    const dataset::TIndexDef* def = IndexDefs()[i];
    if (!def->Options().Contains(dataset::ixDescending) && dataset::SameText(def->Fields(), fields))
      found = def;
  }
  for (int i = 0; i < IndexDefs().Count() && found == nullptr; ++i) {
    const dataset::TIndexDef* def = IndexDefs()[i];
    if (def->Options().Contains(dataset::ixDescending) || def->Fields().size() <= fields.size())
      continue;
    if (dataset::SameText(def->Fields().substr(0, fields.size()), fields) &&
        def->Fields()[fields.size()] == ';')
      found = def;
  }
  if (found == nullptr) {
    index = kNoHandle;
    return false;
  }
  index = IndexHandleNamed(this, found->Name());
  return true;
}

// ---- Index definitions -------------------------------------------------------

void TNdsDataSet::SetIndexDefs(const dataset::TIndexDefs& defs) {
  IndexDefs().Assign(&defs);
}

void TNdsDataSet::UpdateIndexDefs() {
  if (IndexDefs().Updated()) return;
  const bool temporary = tableHandle_ == kNoHandle;
  const NDSHANDLE cursor = temporary ? OpenEngineCursor() : tableHandle_;
  try {
    dataset::TIndexDefs& defs = IndexDefs();
    defs.Clear();
    for (NDSHANDLE index : EngineIndexes(this, cursor)) {
      char name[kFileNameBuffer] = {};
      std::uint16_t length = kFileNameBuffer;
      CheckEngineCode(this, NdsGetIndexName(index, name, &length));
      std::uint16_t segments = 0;
      CheckEngineCode(this, NdsGetNumSegments(index, &segments));
      std::string fields;
      for (std::uint16_t s = 0; s < segments; ++s) {
        char field[kSegmentNameBuffer] = {};
        std::uint16_t fieldLength = kSegmentNameBuffer;
        CheckEngineCode(this, NdsGetSegmentFieldname(index, s, field, &fieldLength));
        if (s > 0) fields += ';';
        fields.append(field, fieldLength);
      }
      dataset::TIndexOptions options;
      std::uint16_t answer = 0;
      CheckEngineCode(this, NdsIsIndexDescending(index, &answer));
      if (answer == 1) options.Include(dataset::ixDescending);
      CheckEngineCode(this, NdsIsIndexUnique(index, &answer));
      if (answer == 1) options.Include(dataset::ixUnique);
      CheckEngineCode(this, NdsIsIndexPrimaryKey(index, &answer));
      if (answer == 1) options.Include(dataset::ixPrimary);
      defs.Add(std::string(name, length), dataset::UpperCase(fields), options);
    }
    defs.SetUpdated(true);
  } catch (...) {
    if (temporary) NdsCloseTable(cursor);
    throw;
  }
  if (temporary) NdsCloseTable(cursor);
}

void TNdsDataSet::NotifyDataEvent(dataset::TDataEvent event, std::intptr_t info) {
  if (event == dataset::dePropertyChange) IndexDefs().SetUpdated(false);
  TDataSet::NotifyDataEvent(event, info);
}

// ---- The dictionary's default index --------------------------------------------

void TNdsDataSet::ReadDictionaryDefaultIndex() {
  if (connection_ == nullptr || !connection_->IsDictionaryConnection() ||
      !connection_->IsConnected() || tableName_.empty())
    return;
  char name[kDefaultIndexBuffer] = {};
  std::uint16_t length = kDefaultIndexBuffer;
  const NDSRESULT rc = NdsDDGetTableProperty(connection_->ConnectionHandle(), tableName_.c_str(),
                                             NDS_DD_TABLE_DEFAULT_INDEX, name, &length);
  if (rc == NDS_SUCCESS) {
    defaultIndexName_.assign(name, length);
    if (indexName_ == kDefaultIndexName || (indexName_.empty() && !IsLoading())) {
      indexKind_ = TNdsIndexKind::DictionaryDefault;
      indexName_ = kDefaultIndexName;
      indexFieldNames_.clear();
    }
  } else if (rc == NDS_E_PROPERTY_NOT_SET && indexName_ == kDefaultIndexName) {
    SetIndexName(std::string());
  }
}

// ---- Segments ----------------------------------------------------------------------

std::string TNdsDataSet::ActiveIndexFields() {
  std::string name;
  switch (indexKind_) {
    case TNdsIndexKind::Natural:
      return {};
    case TNdsIndexKind::ByFields:
      return indexFieldNames_;
    case TNdsIndexKind::ByName:
      name = indexName_;
      break;
    case TNdsIndexKind::DictionaryDefault:
      name = defaultIndexName_;
      break;
  }
  IndexDefs().Update();
  const int position = IndexDefs().IndexOf(name);
  return position < 0 ? std::string() : IndexDefs()[position]->Fields();
}

std::uint16_t TNdsDataSet::ActiveIndexSegmentCount() {
  if (!IndexIsActive()) return 0;
  std::uint16_t count = 0;
  CheckEngineCode(this, NdsGetNumSegments(activeOrderHandle_, &count));
  return count;
}

std::uint16_t TNdsDataSet::SegmentFieldNumber(std::uint16_t segment) {
  if (!IndexIsActive()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoActiveIndex);
  char name[kSegmentNameBuffer] = {};
  std::uint16_t length = kSegmentNameBuffer;
  CheckEngineCode(this, NdsGetSegmentFieldname(activeOrderHandle_, segment, name, &length));
  const int field = engineFields_->FindEngineField(std::string(name, length));
  return field < 0 ? 0 : engineFields_->Items(field)->fieldNumber;
}

dataset::TField* TNdsDataSet::SegmentField(std::uint16_t segment) {
  if (!IndexIsActive()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoActiveIndex);
  char name[kSegmentNameBuffer] = {};
  std::uint16_t length = kSegmentNameBuffer;
  CheckEngineCode(this, NdsGetSegmentFieldname(activeOrderHandle_, segment, name, &length));
  return FieldByName(std::string(name, length));
}

bool TNdsDataSet::IsIndexField(dataset::TField& field) {
  const std::uint16_t segments = ActiveIndexSegmentCount();
  if (State() == dataset::dsSetKey && segments == 0) return true;
  if (field.FieldNo() <= 0) return false;
  for (std::uint16_t s = 0; s < segments; ++s)
    if (SegmentFieldNumber(s) == field.FieldNo()) return true;
  return false;
}

}  // namespace nds
