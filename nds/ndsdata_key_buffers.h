// TNdsKeyBuffers: the key buffers of a cursor dataset, where SetKey,
// SetRangeStart, SetRangeEnd and a master link assemble the keys that
// searches and ranges hand to the engine.
#ifndef NDS_NDSDATA_KEY_BUFFERS_H_
#define NDS_NDSDATA_KEY_BUFFERS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "nds/nce.h"
#include "nds/ndsdata_types.h"

namespace nds {

class TNdsDataSet;

// Six blocks, made when the cursor opens and freed when it closes. Each
// holds a header, a record image in engine form and one 16-bit mark per
// engine field: kMarkNotSet for a field no value was given for, else the
// length of the text given (1 for other types).
class TNdsKeyBuffers {
 public:
  // The buffers by role. The current range buffers hold what the engine
  // was last given; the saved one a copy taken as key editing begins.
  enum TRole : int {
    kLookup,
    kRangeStart,
    kRangeEnd,
    kCurrentRangeStart,
    kCurrentRangeEnd,
    kSaved,
    kRoleCount
  };
  static constexpr std::uint16_t kMarkNotSet = 0xFFFF;

  TNdsKeyBuffers() = default;
  TNdsKeyBuffers(const TNdsKeyBuffers&) = delete;
  TNdsKeyBuffers& operator=(const TNdsKeyBuffers&) = delete;

  // Makes the six buffers for records of `recordSize` bytes with
  // `fieldCount` engine fields, each cleared. `cursor` must stay open until
  // Free; engine failures raise ENDSDatabaseError for `reportFor`, which
  // must outlive the buffers.
  void Allocate(NDSHANDLE cursor, std::uint16_t recordSize, int fieldCount,
                const TNdsDataSet* reportFor);
  void Free();
  bool Allocated() const { return !blocks_.empty(); }

  // Buffer `which` becomes unmodified, without a field count, the cursor's
  // null record, with no mark set.
  void Clear(int which);
  std::uint8_t* RecordImage(int which) const;
  std::uint16_t Mark(int which, int fieldIndex) const;
  // Records that engine field `fieldIndex` (0-based) of buffer `which` was
  // given (`mark`: the text length, or 1).
  void SetMark(int which, int fieldIndex, std::uint16_t mark);
  // Whether the key is to be applied (set when key editing posts).
  bool Modified(int which) const;
  void SetModified(int which, bool value);
  // How many leading segments a master link gave; 0 when not counted.
  std::uint32_t FieldCount(int which) const;
  void SetFieldCount(int which, std::uint32_t count);
  // Whether two buffers hold the same key (header and record image).
  bool SameKey(int a, int b) const;
  void Copy(int from, int to);

  // Key editing. The buffer the set-key state writes into; the buffer the
  // next BeginEdit takes (the lookup buffer unless SetNext chose another).
  int Current() const { return current_; }
  void SetCurrent(int which) { current_ = which; }
  void SetNext(int which) { next_ = which; }
  // The next buffer becomes current and a copy of it is saved.
  void BeginEdit();
  // Ends editing: keeps the key with `modified` as its modified mark, or
  // (not `keep`) restores it from the saved copy.
  void EndEdit(bool keep, bool modified);

 private:
  std::uint8_t* Block(int which) const { return blocks_[which].get(); }

  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;  // by TRole; empty while closed
  std::uint32_t blockSize_ = 0;                          // header + image + marks
  std::uint16_t recordSize_ = 0;                         // the cursor's record image
  int fieldCount_ = 0;                                   // engine fields: one mark each
  NDSHANDLE cursor_ = kNoHandle;                         // gives the null record
  const TNdsDataSet* reportFor_ = nullptr;               // the dataset engine failures name
  int current_ = kLookup;                                // the buffer key editing writes
  int next_ = kLookup;                                   // the buffer the next edit takes
};

}  // namespace nds

#endif  // NDS_NDSDATA_KEY_BUFFERS_H_
