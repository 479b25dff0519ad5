// One statement of a cursor walk, prepared on the store that holds the
// cursor's rows: a SQLite database (the store's own, or the private one of
// static cursors) or a server.
//
// A walk reads every row it shows through these statements. On SQLite they
// keep to SQLite's own calls (the record images are encoded straight from
// the stepped statement); the choice between the two stores is one
// predictable branch per call, and one per row for a whole row (ReadRow).
#ifndef ENGINE_STORAGE_WALK_STATEMENT_H
#define ENGINE_STORAGE_WALK_STATEMENT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store_session.h"

struct sqlite3;
struct sqlite3_stmt;

namespace nce {

// How a row of a walk's row query lies: the record number, the order key
// when `key_column`, one column per field of `desc` (a blob field's column
// is its length), then the deletion mark when `deletion_mark`.
struct WalkRowLayout {
  const TableDesc* desc = nullptr;  // the cursor's fields and record layout
  bool ndt = false;                 // NDT encoding of the fields
  bool key_column = false;          // column 1 is the order key
  bool deletion_mark = false;       // the last column says whether the row is marked
};

// Reads the row `stmt` (any store statement) stands on, laid out as
// `layout` says, as WalkStatement::ReadRow does: for a write that returns
// the row it wrote.
void ReadWalkRow(const StoreStatement& stmt, const WalkRowLayout& layout, int64_t* rowid,
                 Value* key, std::vector<uint8_t>* image);

class WalkStatement {
 public:
  // Prepares `sql` on `session`; on a SQLite session the statement runs
  // through SQLite's own calls. Throws when the store refuses the text.
  WalkStatement(StoreSession& session, const std::string& sql);
  ~WalkStatement();
  WalkStatement(const WalkStatement&) = delete;
  WalkStatement& operator=(const WalkStatement&) = delete;

  // Binds parameter ?`index`; bindings stay across Reset. A parameter the
  // text does not use is left alone.
  void Bind(int index, const Value& value);
  void BindInt64(int index, int64_t value);
  // Runs the statement (first call after Reset) or moves to its next row;
  // false when there is none. A failure resets the statement and throws.
  bool Step();
  void Reset();

  // Columns of the current row.
  int64_t Int64(int column) const;
  Value ColumnValue(int column) const;
  // Writes column `column` as field `field` into the record image.
  void Encode(const FieldDesc& field, bool ndt, int column, uint8_t* image);
  // Reads the current row, laid out as `layout` says, into its record
  // number, order key (unset without a key column) and record image.
  void ReadRow(const WalkRowLayout& layout, int64_t* rowid, Value* key,
               std::vector<uint8_t>* image);

 private:
  void PrepareSqlite(sqlite3* db, const std::string& sql);

  sqlite3* db_ = nullptr;                  // SQLite: the database
  sqlite3_stmt* stmt_ = nullptr;           // SQLite: the statement
  std::unique_ptr<StoreStatement> store_;  // a server's statement instead
  Value scratch_;                          // reused for the server's column values
};

}  // namespace nce

#endif  // ENGINE_STORAGE_WALK_STATEMENT_H
