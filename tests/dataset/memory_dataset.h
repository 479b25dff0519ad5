// TMemoryDataSet: a small in-memory dataset for the framework's tests. Its
// columns are its field definitions; its records live in a vector. It
// implements the framework's hooks the way a cursor dataset does, so the
// tests drive the real framework through them.
#ifndef TESTS_DATASET_MEMORY_DATASET_H
#define TESTS_DATASET_MEMORY_DATASET_H

#include <map>
#include <string>
#include <vector>

#include "dataset/dataset.h"

namespace dataset_test {

using namespace dataset;

class TMemoryDataSet : public TDataSet {
 public:
  explicit TMemoryDataSet(TComponent* owner = nullptr) : TDataSet(owner) {}
  ~TMemoryDataSet() override;

  // Failures to provoke: the next open, edit, post or delete raises
  // EDatabaseError with this text (cleared once raised).
  std::string fail_open, fail_edit, fail_post, fail_delete;
  bool read_only = false;
  int post_count = 0;  // PostRecord calls that stored a record

  // Number of stored records, visible or not.
  int StoredCount() const { return static_cast<int>(rows_.size()); }
  bool CursorIsOpenForTest() const { return open_; }
  using TDataSet::ActiveBuffer;

 protected:
  TRecordBuffer AllocateRecordBuffer() override;
  void ReleaseRecordBuffer(TRecordBuffer& buffer) override;
  int RecordImageSize() override { return image_size_; }
  void ClearRecordImage(TRecordBuffer buffer) override;

  void EstablishCursor() override;
  void CloseEngineCursor() override;
  bool CursorIsOpen() override { return open_; }
  void LoadFieldDefs() override {}

  TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode) override;
  void GoBeforeFirst() override { position_ = -1; }
  void GoAfterLast() override { position_ = static_cast<int>(rows_.size()); }
  void GoToBookmark(const void* bookmark) override;
  void GoToBufferRecord(TRecordBuffer buffer) override;
  void RefreshCurrentRecord() override {}

  void CopyBookmarkOut(TRecordBuffer buffer, void* bookmark) override;
  void CopyBookmarkIn(TRecordBuffer buffer, const void* bookmark) override;
  TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override;
  void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  bool BookmarkIsValid(const void* bookmark) override;
  int CompareBookmarkValues(const void* a, const void* b) override;

  int ReadRecNo() override;
  void MoveToRecNo(int value) override;
  int CountRecords() override;

  bool ReadFieldValue(TField& field, void* dest) override;
  void WriteFieldValue(TField& field, const void* value) override;

  bool CanModify() override { return !read_only; }
  void BeginEditRecord() override;
  void PostRecord() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void CancelRecordChanges() override {}
  void DeleteCurrentRecord() override;

  bool FindRecord(bool restart, bool go_forward) override;
  bool LocateRecord(const std::string& key_fields, const Variant& key_values,
                    TLocateOptions options) override;
  Variant LookupValues(const std::string& key_fields, const Variant& key_values,
                       const std::string& result_fields) override;
  void BeginKeyEdit() override;
  std::unique_ptr<TStream> OpenBlobStream(TField& field, TBlobStreamMode mode) override;

 private:
  struct Row {
    int32_t id;                      // the bookmark
    std::vector<uint8_t> image;      // record image
    std::vector<std::string> blobs;  // one per blob field
  };
  // Record information after the calculated-field area.
  struct Info {
    int32_t id;
    uint8_t flag;
  };

  Info& InfoOf(TRecordBuffer buffer) const;
  int IndexOfId(int32_t id) const;
  TRecordBuffer CurrentStateBuffer();
  bool Accepted(TRecordBuffer buffer);
  void LoadRow(int index, TRecordBuffer buffer);
  // Index of the first visible row from `start` stepping by `step` that
  // satisfies `match` (read under the filter state), or -1.
  template <typename Match>
  int Scan(int start, int step, Match match);

  std::vector<Row> rows_;
  int32_t next_id_ = 1;
  int position_ = -1;  // -1 before the first, size() after the last
  bool open_ = false;
  std::vector<int> offsets_;     // per field definition: null byte, then value
  std::vector<int> blob_slots_;  // per field definition: blob number or -1
  int image_size_ = 0;
  int info_offset_ = 0;  // where the record information starts
  int buffer_size_ = 0;
  std::map<TRecordBuffer, std::vector<std::string>> blob_caches_;  // per buffer
  TRecordBuffer filter_buffer_ = nullptr;                          // buffer of the filter state
  std::vector<uint8_t> old_image_;                                 // the record as editing began
  std::vector<uint8_t> key_buffer_;                                // buffer of the set-key state
};

}  // namespace dataset_test

#endif  // TESTS_DATASET_MEMORY_DATASET_H
