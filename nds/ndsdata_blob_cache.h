// Blob contents of the cursor dataset. Memo, binary, image and varchar
// values (engine types 5 to 8) are not part of the record image: the image
// holds only a presence marker at the field's place (-1 holds data, 0 empty
// or NULL). Each record buffer keeps one TNdsBlobCache per blob field,
// loaded from the engine when a stream asks for it and stored in the engine
// when the record is posted; TNdsBlobCaches keeps them for a dataset.
#ifndef NDS_NDSDATA_BLOB_CACHE_H_
#define NDS_NDSDATA_BLOB_CACHE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "dataset/dataset_types.h"
#include "dataset/stream.h"
#include "nds/nce.h"
#include "nds/ndsdata_engine_fields.h"
#include "nds/ndsdata_types.h"

namespace nds {

// The value of one blob field for the record a buffer shows: a memory
// stream that remembers whose contents it holds and whether they were
// written since they were loaded.
class TNdsBlobCache : public dataset::TMemoryStream {
 public:
  TNdsBlobCache() = default;
  TNdsBlobCache(const TNdsBlobCache&) = delete;
  TNdsBlobCache& operator=(const TNdsBlobCache&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Writes as a memory stream does and marks the contents modified.
  std::int64_t Write(const void* buffer, std::int64_t count) override;

  // Makes the cache hold engine field `fieldNumber` of record
  // `recordNumber` of the cursor `table`. Contents already held for that
  // table, record and field stay (pending changes remain visible) unless
  // `force`; either way the position returns to 0. Record 0, a record the
  // engine does not have yet, leaves the cache empty. May move the engine
  // cursor to the record. The engine's answers "no current record" (5068)
  // and "bad record" (5022) leave the cache empty; other engine failures
  // raise ENDSDatabaseError for no dataset and leave it empty too.
  void Load(NDSHANDLE table, std::uint32_t fieldNumber, bool force, std::uint32_t recordNumber);
  // Modified contents become the field's value in the engine's record
  // being edited or appended on the cache's cursor. Unmodified contents
  // are not stored. The contents stay modified until MarkPosted: a post
  // that fails after this store sends them again.
  void Store();
  // The engine wrote the record the contents were stored into.
  void MarkPosted() { modified_ = false; }
  // Empties the contents and marks them modified: the value is replaced.
  void ClearForWriting();
  // Empties the contents and makes them field `fieldNumber` of record
  // `recordNumber` of `table`, modified: the field's stored value is
  // replaced by an empty one without reading it first.
  void ClearForWriting(NDSHANDLE table, std::uint32_t fieldNumber, std::uint32_t recordNumber);
  // Empties the contents and forgets whose they were; unstored changes are
  // dropped.
  void Reset();
  bool Modified() const { return modified_; }

  std::uint32_t FieldNumber() const { return fieldNumber_; }

 private:
  void ReadFromEngine();

  NDSHANDLE table_ = kNoHandle;     // cursor the contents belong to; kNoHandle: none
  std::uint32_t fieldNumber_ = 0;   // engine field number (1-based); 0: none
  std::uint32_t recordNumber_ = 0;  // engine record number; 0: none
  bool modified_ = false;           // written and not yet stored
};

// The blob caches of one dataset's record buffers: one TNdsBlobCache per
// blob field of every record buffer, made and freed with the buffer. A
// buffer refers to its caches through slots in its own bytes, 4 bytes per
// blob field from the layout's slot offset on: slot N holds 1 + the index of
// its cache for blob field N in this table. Each entry names its buffer, so
// a slot is trusted only in that buffer; a buffer that is not a record
// buffer (a key buffer, the old record image) has no caches. Free entries
// are reused.
class TNdsBlobCaches {
 public:
  TNdsBlobCaches() = default;
  TNdsBlobCaches(const TNdsBlobCaches&) = delete;
  TNdsBlobCaches& operator=(const TNdsBlobCaches&) = delete;

  // Where the slots begin in a record buffer and how many there are (the
  // dataset's blob fields); set whenever the record buffer layout is
  // computed, before buffers of that layout are made.
  void SetLayout(std::uint16_t slotOffset, std::uint16_t slotCount);
  std::uint16_t SlotCount() const { return slotCount_; }

  // Gives `buffer` an empty cache per slot; when that fails it has none.
  void Attach(dataset::TRecordBuffer buffer);
  // Frees every cache of `buffer`, by owner rather than by slot: the layout
  // may have changed since the buffer was made.
  void Detach(dataset::TRecordBuffer buffer);
  // The cache of blob field `blobIndex` (0-based, the framework's blob
  // numbering) in `buffer`; null when `buffer` has none.
  TNdsBlobCache* Of(dataset::TRecordBuffer buffer, int blobIndex) const;
  // Whether `buffer` was given caches here (a buffer of another kind, or
  // none, was not).
  bool Owns(dataset::TRecordBuffer buffer) const;
  // The cache of blob field `blobIndex` in `buffer` when it holds written,
  // unstored contents; null otherwise.
  const TNdsBlobCache* Modified(dataset::TRecordBuffer buffer, int blobIndex) const;

  // The editing steps over every cache of `buffer`; a buffer without caches
  // is left alone. Storing: for each modified cache, the presence marker in
  // `buffer`'s record image at the field's place (`fields`: -1 holds data,
  // 0 empty), then its contents into the engine's record being edited or
  // appended. Marking posted: the engine wrote that record, the stored
  // contents are no longer pending. Resetting: every cache forgets its
  // contents (a record read into the buffer, a new record).
  void StoreModified(dataset::TRecordBuffer buffer, const TNCEFieldDefs& fields);
  void MarkPosted(dataset::TRecordBuffer buffer);
  void Reset(dataset::TRecordBuffer buffer);

 private:
  struct TEntry {
    dataset::TRecordBuffer buffer = nullptr;  // owner; null: free entry
    std::unique_ptr<TNdsBlobCache> cache;
  };
  std::vector<TEntry> entries_;   // every buffer's caches
  std::uint16_t slotOffset_ = 0;  // first slot's byte in a record buffer
  std::uint16_t slotCount_ = 0;   // slots per buffer: the blob fields
};

}  // namespace nds

#endif  // NDS_NDSDATA_BLOB_CACHE_H_
