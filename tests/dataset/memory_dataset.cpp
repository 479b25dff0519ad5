// The in-memory test dataset.
#include "memory_dataset.h"

#include <algorithm>
#include <cstring>

#include "dataset/stream.h"

namespace dataset_test {

namespace {

// Bytes of a definition's value form (see dataset/fields.h).
int ValueSize(const TFieldDef& def) {
  switch (def.DataType()) {
    case ftString:
    case ftFixedChar:
      return def.Size() + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      return 8;
    case ftBCD:
    case ftFMTBcd:
      return sizeof(TBcd);
    case ftBytes:
      return def.Size();
    case ftVarBytes:
      return def.Size() + 2;
    default:
      return 0;
  }
}

// A stream over one blob cache of a record buffer.
class TCacheStream : public TStream {
 public:
  TCacheStream(TField& field, std::string* cache, TBlobStreamMode mode)
      : field_(field), cache_(cache), mode_(mode) {
    if (mode_ == bmWrite && cache_) {
      cache_->clear();
      modified_ = true;
    }
  }
  ~TCacheStream() override {
    if (modified_) {
      if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
    }
  }
  int64_t Read(void* buffer, int64_t count) override {
    if (!cache_ || position_ >= static_cast<int64_t>(cache_->size())) return 0;
    int64_t n = std::min<int64_t>(count, cache_->size() - position_);
    std::memcpy(buffer, cache_->data() + position_, n);
    position_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (mode_ == bmRead) throw EDatabaseError("Error modifying read only blob.");
    if (!cache_) throw EDatabaseError("Cannot write to blob in current state.");
    if (position_ + count > static_cast<int64_t>(cache_->size())) cache_->resize(position_ + count);
    std::memcpy(cache_->data() + position_, buffer, count);
    position_ += count;
    modified_ = true;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t size = cache_ ? static_cast<int64_t>(cache_->size()) : 0;
    int64_t base = origin == soBeginning ? 0 : (origin == soCurrent ? position_ : size);
    if (base + offset < 0) throw EStreamError("Invalid stream position");
    position_ = base + offset;
    return position_;
  }

 private:
  TField& field_;
  std::string* cache_;  // null when the state has no buffer
  TBlobStreamMode mode_;
  int64_t position_ = 0;
  bool modified_ = false;
};

}  // namespace

TMemoryDataSet::~TMemoryDataSet() {
  Destroying();
  Close();
}

// ---- Buffers ----------------------------------------------------------------

TMemoryDataSet::Info& TMemoryDataSet::InfoOf(TRecordBuffer buffer) const {
  return *reinterpret_cast<Info*>(buffer + info_offset_);
}

TRecordBuffer TMemoryDataSet::AllocateRecordBuffer() {
  auto* buffer = new uint8_t[buffer_size_]();
  int blobs = 0;
  for (int slot : blob_slots_) blobs += slot >= 0 ? 1 : 0;
  blob_caches_[buffer].assign(blobs, std::string());
  return buffer;
}

void TMemoryDataSet::ReleaseRecordBuffer(TRecordBuffer& buffer) {
  blob_caches_.erase(buffer);
  delete[] buffer;
  buffer = nullptr;
}

void TMemoryDataSet::ClearRecordImage(TRecordBuffer buffer) {
  std::memset(buffer, 0, image_size_);
  for (std::string& blob : blob_caches_[buffer]) blob.clear();
}

// ---- Opening ------------------------------------------------------------------

void TMemoryDataSet::EstablishCursor() {
  if (!fail_open.empty()) {
    std::string message = fail_open;
    fail_open.clear();
    open_ = true;  // half open: the close step must cope
    throw EDatabaseError(message);
  }
  FieldDefs().SetUpdated(false);
  FieldDefs().Update();
  offsets_.clear();
  blob_slots_.clear();
  image_size_ = 0;
  int blobs = 0;
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    TFieldDef* def = FieldDefs().Items(i);
    offsets_.push_back(image_size_);
    image_size_ += 1 + ValueSize(*def);
    blob_slots_.push_back(IsBlobFieldType(def->DataType()) ? blobs++ : -1);
  }
  if (DefaultFields()) CreateFields();
  BindFields(true);
  // The record information is read in place, so it starts aligned.
  info_offset_ = (image_size_ + CalcFieldsSize() + 7) / 8 * 8;
  buffer_size_ = info_offset_ + static_cast<int>(sizeof(Info));
  SetBookmarkSize(sizeof(int32_t));
  position_ = -1;
  open_ = true;
}

void TMemoryDataSet::CloseEngineCursor() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  open_ = false;
}

// ---- Fetching --------------------------------------------------------------------

void TMemoryDataSet::LoadRow(int index, TRecordBuffer buffer) {
  const Row& row = rows_[index];
  std::memcpy(buffer, row.image.data(), image_size_);
  blob_caches_[buffer] = row.blobs;
  InfoOf(buffer).id = row.id;
  InfoOf(buffer).flag = bfCurrent;
}

bool TMemoryDataSet::Accepted(TRecordBuffer buffer) {
  if (!Filtered() || !OnFilterRecord()) return true;
  TempState filter(*this, dsFilter);
  TRecordBuffer saved = filter_buffer_;
  filter_buffer_ = buffer;
  bool accept = true;
  try {
    OnFilterRecord()(*this, accept);
  } catch (...) {
    filter_buffer_ = saved;
    HandleEventException();
    return false;
  }
  filter_buffer_ = saved;
  return accept;
}

TGetResult TMemoryDataSet::FetchRecord(TRecordBuffer buffer, TGetMode mode) {
  if (!open_ || State() == dsInsert) return grError;
  const int count = static_cast<int>(rows_.size());
  for (;;) {
    if (mode == gmNext) ++position_;
    if (mode == gmPrior) --position_;
    if (position_ >= count) {
      position_ = count;
      return grEOF;
    }
    if (position_ < 0) {
      position_ = -1;
      return mode == gmCurrent ? grEOF : grBOF;
    }
    LoadRow(position_, buffer);
    CalculateFields(buffer);
    if (Accepted(buffer)) return grOK;
    if (mode == gmCurrent) return grError;
  }
}

int TMemoryDataSet::IndexOfId(int32_t id) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

void TMemoryDataSet::GoToBookmark(const void* bookmark) {
  int32_t id;
  std::memcpy(&id, bookmark, sizeof id);
  int index = IndexOfId(id);
  // A bookmark of a deleted record leaves the cursor on no record.
  position_ = index >= 0 ? index : static_cast<int>(rows_.size());
}

void TMemoryDataSet::GoToBufferRecord(TRecordBuffer buffer) {
  int32_t id = InfoOf(buffer).id;
  GoToBookmark(&id);
}

// ---- Bookmarks ------------------------------------------------------------------------

void TMemoryDataSet::CopyBookmarkOut(TRecordBuffer buffer, void* bookmark) {
  std::memcpy(bookmark, &InfoOf(buffer).id, sizeof(int32_t));
}

void TMemoryDataSet::CopyBookmarkIn(TRecordBuffer buffer, const void* bookmark) {
  std::memcpy(&InfoOf(buffer).id, bookmark, sizeof(int32_t));
}

TBookmarkFlag TMemoryDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(InfoOf(buffer).flag);
}

void TMemoryDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  InfoOf(buffer).flag = flag;
}

bool TMemoryDataSet::BookmarkIsValid(const void* bookmark) {
  if (!bookmark) return false;
  int32_t id;
  std::memcpy(&id, bookmark, sizeof id);
  return IndexOfId(id) >= 0;
}

int TMemoryDataSet::CompareBookmarkValues(const void* a, const void* b) {
  if (!a || !b) return TDataSet::CompareBookmarkValues(a, b);
  int32_t ia, ib;
  std::memcpy(&ia, a, sizeof ia);
  std::memcpy(&ib, b, sizeof ib);
  int pa = IndexOfId(ia), pb = IndexOfId(ib);
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

// ---- Record numbers ---------------------------------------------------------------------

int TMemoryDataSet::ReadRecNo() {
  CheckActive();
  TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (!buffer || IsEmpty()) return 0;
  return IndexOfId(InfoOf(buffer).id) + 1;
}

void TMemoryDataSet::MoveToRecNo(int value) {
  CheckBrowseMode();
  Fire(BeforeScroll);
  position_ = std::clamp(value - 1, 0, static_cast<int>(rows_.size()));
  Resync({rmCenter});
  Fire(AfterScroll);
}

int TMemoryDataSet::CountRecords() {
  CheckActive();
  return static_cast<int>(rows_.size());
}

// ---- Field values -------------------------------------------------------------------------

TRecordBuffer TMemoryDataSet::CurrentStateBuffer() {
  switch (State()) {
    case dsBrowse:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return filter_buffer_;
    case dsOldValue:
      return old_image_.empty() ? nullptr : old_image_.data();
    case dsSetKey:
      return key_buffer_.empty() ? nullptr : key_buffer_.data();
    default:
      return nullptr;
  }
}

bool TMemoryDataSet::ReadFieldValue(TField& field, void* dest) {
  TRecordBuffer buffer = CurrentStateBuffer();
  if (!buffer) return false;
  if (field.FieldNo() <= 0) {
    if (State() == dsOldValue || State() == dsSetKey) return false;
    return ReadCalcSlot(buffer, field, dest);
  }
  int index = field.FieldNo() - 1;
  if (blob_slots_[index] >= 0) {
    auto cache = blob_caches_.find(buffer);
    return cache != blob_caches_.end() && !cache->second[blob_slots_[index]].empty();
  }
  const uint8_t* place = buffer + offsets_[index];
  if (place[0] == 0) return false;
  if (dest) std::memcpy(dest, place + 1, field.DataSize());
  return true;
}

void TMemoryDataSet::WriteFieldValue(TField& field, const void* value) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields &&
      state != dsFilter && state != dsNewValue) {
    DatabaseError("Dataset not in edit mode");
  }
  TRecordBuffer buffer = CurrentStateBuffer();
  if (!buffer) DatabaseError("Dataset not in edit mode");
  if (field.FieldNo() <= 0) {
    WriteCalcSlot(buffer, field, value);
  } else {
    if (state == dsCalcFields) DatabaseError("Dataset not in edit mode");
    if (field.ReadOnly() && state != dsSetKey && state != dsFilter) {
      DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
    }
    if (state == dsEdit || state == dsInsert) field.Validate(value);
    uint8_t* place = buffer + offsets_[field.FieldNo() - 1];
    place[0] = value ? 1 : 0;
    if (value) {
      std::memcpy(place + 1, value, field.DataSize());
    } else {
      std::memset(place + 1, 0, field.DataSize());
    }
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
    NotifyDataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(&field));
  }
}

// ---- Editing ---------------------------------------------------------------------------------

void TMemoryDataSet::BeginEditRecord() {
  if (!fail_edit.empty()) {
    std::string message = fail_edit;
    fail_edit.clear();
    throw EDatabaseError(message);
  }
  TRecordBuffer buffer = ActiveBuffer();
  old_image_.assign(buffer, buffer + buffer_size_);
}

void TMemoryDataSet::PostRecord() {
  if (!fail_post.empty()) {
    std::string message = fail_post;
    fail_post.clear();
    throw EDatabaseError(message);
  }
  TRecordBuffer buffer = ActiveBuffer();
  Row row{0, std::vector<uint8_t>(buffer, buffer + image_size_), blob_caches_[buffer]};
  if (State() == dsEdit) {
    int index = IndexOfId(InfoOf(buffer).id);
    if (index < 0) DatabaseError("Record not found");
    row.id = rows_[index].id;
    rows_[index] = std::move(row);
    position_ = index;
  } else {
    // The cursor stands on the record the new one goes before (or beyond
    // the end for an append).
    row.id = next_id_++;
    int index = std::clamp(position_, 0, static_cast<int>(rows_.size()));
    rows_.insert(rows_.begin() + index, std::move(row));
    position_ = index;
  }
  old_image_.clear();
  ++post_count;
}

void TMemoryDataSet::InternalAddRecord(TRecordBuffer, bool append) {
  if (append) GoAfterLast();
  PostRecord();
}

void TMemoryDataSet::DeleteCurrentRecord() {
  if (!fail_delete.empty()) {
    std::string message = fail_delete;
    fail_delete.clear();
    throw EDatabaseError(message);
  }
  int index = IndexOfId(InfoOf(ActiveBuffer()).id);
  if (index < 0) DatabaseError("Record not found");
  rows_.erase(rows_.begin() + index);
  position_ = index;  // the record that followed
}

// ---- Searching -------------------------------------------------------------------------------

template <typename Match>
int TMemoryDataSet::Scan(int start, int step, Match match) {
  std::vector<uint8_t> scratch(buffer_size_, 0);
  TRecordBuffer buffer = scratch.data();
  blob_caches_[buffer].assign(blob_caches_.empty() ? 0 : blob_caches_.begin()->second.size(), "");
  int found = -1;
  try {
    for (int i = start; i >= 0 && i < static_cast<int>(rows_.size()); i += step) {
      LoadRow(i, buffer);
      CalculateFields(buffer);
      if (!Accepted(buffer)) continue;
      TempState filter(*this, dsFilter);
      filter_buffer_ = buffer;
      bool matched = match();
      filter_buffer_ = nullptr;
      if (matched) {
        found = i;
        break;
      }
    }
  } catch (...) {
    filter_buffer_ = nullptr;
    blob_caches_.erase(buffer);
    throw;
  }
  blob_caches_.erase(buffer);
  return found;
}

bool TMemoryDataSet::FindRecord(bool restart, bool go_forward) {
  CheckBrowseMode();
  Fire(BeforeScroll);
  UpdateCursorPos();
  CursorPosChanged();
  if (!OnFilterRecord()) return false;
  // With Filtered off the filter handler still decides what a search finds.
  const int count = static_cast<int>(rows_.size());
  int start = restart ? (go_forward ? 0 : count - 1) : position_ + (go_forward ? 1 : -1);
  int found = Scan(start, go_forward ? 1 : -1, [this] {
    bool accept = true;
    OnFilterRecord()(*this, accept);
    return accept;
  });
  if (found < 0) return false;
  position_ = found;
  Resync({rmExact, rmCenter});
  Fire(AfterScroll);
  return true;
}

bool TMemoryDataSet::LocateRecord(const std::string& key_fields, const Variant& key_values,
                                  TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> fields = GetFieldList(key_fields);
  int found = Scan(0, 1, [&] { return FieldValuesMatch(fields, key_values, options); });
  if (found < 0) return false;
  Fire(BeforeScroll);
  position_ = found;
  Resync({rmExact, rmCenter});
  Fire(AfterScroll);
  return true;
}

Variant TMemoryDataSet::LookupValues(const std::string& key_fields, const Variant& key_values,
                                     const std::string& result_fields) {
  if (key_values.IsClear()) return Variant::Null();
  std::vector<TField*> fields = GetFieldList(key_fields);
  Variant result = Variant::Null();
  Scan(0, 1, [&] {
    if (!FieldValuesMatch(fields, key_values, {})) return false;
    result = FieldValues(result_fields);
    return true;
  });
  return result;
}

void TMemoryDataSet::BeginKeyEdit() {
  key_buffer_.assign(buffer_size_, 0);
}

std::unique_ptr<TStream> TMemoryDataSet::OpenBlobStream(TField& field, TBlobStreamMode mode) {
  if (mode != bmRead && State() != dsEdit && State() != dsInsert) {
    DatabaseError("Table must be in Edit or Insert state to open blob stream in Write Mode.");
  }
  TRecordBuffer buffer = CurrentStateBuffer();
  std::string* cache = nullptr;
  if (buffer && field.FieldNo() > 0) {
    auto found = blob_caches_.find(buffer);
    if (found != blob_caches_.end()) cache = &found->second[blob_slots_[field.FieldNo() - 1]];
  }
  auto stream = std::make_unique<TCacheStream>(field, cache, mode);
  if (mode == bmWrite) NotifyDataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(&field));
  return stream;
}

}  // namespace dataset_test
