// One statement of a cursor walk, prepared on the SQLite database that holds
// the cursor's rows or on the server session that holds them instead.
//
// A walk reads every row it shows through these statements. On SQLite they
// keep to SQLite's own calls (the record images are encoded straight from
// the stepped statement); the choice between the two stores is one
// predictable branch per call.
#ifndef ENGINE_CURSOR_WALK_STATEMENT_H
#define ENGINE_CURSOR_WALK_STATEMENT_H

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store_session.h"

namespace nce {

class WalkStatement {
 public:
  // Prepares `sql` on `db`; throws SqlError when SQLite refuses it.
  WalkStatement(sqlite3* db, const std::string& sql);
  // Prepares `sql` on `session`.
  WalkStatement(StoreSession& session, const std::string& sql);
  ~WalkStatement();
  WalkStatement(const WalkStatement&) = delete;
  WalkStatement& operator=(const WalkStatement&) = delete;

  // The SQLite statement; null for a statement on a server.
  sqlite3_stmt* sqlite() const { return stmt_; }

  // Binds parameter ?`index`; bindings stay across Reset.
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

 private:
  sqlite3* db_ = nullptr;                  // SQLite: the database
  sqlite3_stmt* stmt_ = nullptr;           // SQLite: the statement
  std::unique_ptr<StoreStatement> store_;  // a server's statement instead
  Value scratch_;                          // reused for the server's column values
};

}  // namespace nce

#endif  // ENGINE_CURSOR_WALK_STATEMENT_H
