// Keys of index orders as callers give them: raw keys built from field
// values (NdsInitRawKey, the value setters, NdsBuildRawKey), string and
// double keys, and seeks.
#ifndef ENGINE_INDEX_INDEX_KEYS_H
#define ENGINE_INDEX_INDEX_KEYS_H

#include <string>

#include "engine/index/index_cursor.h"
#include "nce/nce.h"

namespace nce {

// Keeps a field value for the order's raw key. `function` names the setter
// the value came through: NdsSetField values are text forms, NdsSetFieldRaw
// values record-image forms, the others stored forms. A string shorter than
// its field makes a partial key.
void SetKeyField(IndexOrder& order, Cursor& cursor, NDSFIELD field, const Value& value,
                 const std::string& function);

// The key bytes of the values set so far: segments in order up to the first
// one whose fields are not all set; a partial string ends the key.
std::string BuildRawKey(IndexOrder& order, Cursor& cursor);

// Key bytes of a caller's key of kind NDS_RAWKEY, NDS_STRINGKEY or
// NDS_DOUBLEKEY. Throws NDS_E_INVALID_OPTION for other kinds.
std::string KeyFromCaller(const IndexOrder& order, const void* key, uint16_t length,
                          uint16_t key_type);

// Moves the cursor to the first record of the order whose key is at or
// after `key` (a prefix). Returns whether that record's key begins with
// `key`. A hard seek that finds nothing leaves the cursor past the end.
bool Seek(const std::shared_ptr<IndexOrder>& order, Cursor& cursor, const std::string& key,
          bool hard);

}  // namespace nce

#endif  // ENGINE_INDEX_INDEX_KEYS_H
