// Enumerations and small types shared by the dataset, its fields and its
// data links. They live apart from dataset.h so that fields.h and
// data_source.h can use them without including each other.
#ifndef DATASET_DATASET_TYPES_H
#define DATASET_DATASET_TYPES_H

#include <cstdint>
#include <vector>

#include "dataset/set.h"

namespace dataset {

class TDataSet;
class TField;

// What a dataset is doing. Browse, edit, insert and set-key are the states a
// user sees; calc-fields, filter, new-value, old-value, current-value and
// internal-calc are temporary states entered around one piece of work and
// left again (also when the work fails); opening lasts while the cursor is
// being established.
enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening,
};

// Notifications a dataset sends to its data sources and their links, listed
// in the order data links are documented to handle them. The meaning of the
// info argument that travels with an event:
//   deFieldChange, deRecordChange: the TField* concerned, or 0 (whole record)
//   deDataSetScroll: how many buffer positions the window's contents moved
//                    (negative: towards the top)
//   every other event: 0
enum TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
};

// Fetch modes of FetchRecord and its answers.
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

// Where a record buffer stands. Stored by the dataset in each buffer
// (WriteBookmarkFlag); the values 0..3 are those the cursor dataset keeps in
// its record information byte.
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

// Options of Resync: exact raises "Record not found" when the current record
// cannot be fetched; centre puts the active record in the middle of the
// window.
enum TResyncModeFlag { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeFlag>;

// Options of Locate.
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

// How a blob stream is opened.
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

// Where a field's value comes from.
enum TFieldKind {
  fkData,          // a field of the dataset's records
  fkCalculated,    // computed in OnCalcFields, kept in the calculated-field area
  fkLookup,        // looked up in another dataset, kept in the calculated-field area
  fkInternalCalc,  // computed, but stored by the dataset like a data field
};

// Answers of the OnEditError/OnPostError/OnDeleteError events.
enum TDataAction { daFail, daAbort, daRetry };

// The provider interface's update kinds and actions (OnUpdateRecord).
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };

// A record buffer: a block whose size and layout the dataset decides.
using TRecordBuffer = uint8_t*;

// A bookmark: a copy of the bookmark bytes of a record buffer (BookmarkSize
// bytes). Empty means no bookmark.
using TBookmark = std::vector<uint8_t>;

}  // namespace dataset

#endif  // DATASET_DATASET_TYPES_H
