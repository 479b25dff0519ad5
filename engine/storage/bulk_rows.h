// Many rows into a table, or out of a query, at the store's best speed: the
// path of imports and exports. A SQLite store inserts through one prepared
// statement and reads through one stepped statement; a PostgreSQL server
// takes the rows with COPY ... FROM STDIN and hands them out with COPY ...
// TO STDOUT, never a round trip per row and never the whole result in
// memory at once.
//
// Locks: as for every session call, the caller holds its connection's lock.
#ifndef ENGINE_STORAGE_BULK_ROWS_H
#define ENGINE_STORAGE_BULK_ROWS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/values.h"
#include "engine/storage/store_session.h"

namespace nce {

// Rows going into one table. Each row is numbered by the caller: record
// numbers `first_record`, `first_record` + 1, ... in the order added, so
// that the caller knows every row's number without asking the store.
class BulkInsert {
 public:
  virtual ~BulkInsert() = default;
  // Adds a row: one value per column given when the insert began, in the
  // form the store keeps (an unset value is NULL). A store may hold rows
  // back and refuse one later: a refusal thrown by Add or Finish may be of
  // any row added since the last Finish.
  virtual void Add(const std::vector<Value>& row) = 0;
  // Writes every row added; the rows are then in the store (inside the
  // caller's transaction). The insert can go on after it.
  virtual void Finish() = 0;

 protected:
  BulkInsert() = default;
  BulkInsert(const BulkInsert&) = delete;
  BulkInsert& operator=(const BulkInsert&) = delete;
};

// StoreSession::BeginBulkInsert begins one.

// `name` (of a table or a column) as the store holds it: as given in a
// SQLite store, in lower case on a server, where the engine's tables are
// made with their names folded.
std::string StoredName(StoreSession& session, const std::string& name);

// The record number the next row of `table` takes: one past its highest.
int64_t NextRecordNumber(StoreSession& session, const std::string& table);

// The text of an INSERT of `columns` into `table` with one parameter per
// column (and a first one for the record number when `numbered`).
std::string BulkInsertSql(const std::string& table, const std::vector<std::string>& columns,
                          bool numbered);

}  // namespace nce

#endif  // ENGINE_STORAGE_BULK_ROWS_H
