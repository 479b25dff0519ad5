// The prepared statements of a cursor walk, kept per shape of the walk.
//
// A shape is everything the walk's statements are built from: the database,
// the table and its columns, the order key and direction, and the
// conditions. A cursor walked in record order and searched through an index
// order changes shape twice per search (to the order for the seek, back for
// the next move); preparing the statements anew on every change cost more
// than the search itself. So the statements of the last few shapes stay
// prepared, and a shape used again gets its own statements back.
//
// A kept shape is found only by the complete texts its statements are built
// from and by its session, so its statements are the ones a fresh prepare
// would give. SQLite prepares a kept statement again by itself, from the
// same text, when the schema has changed since (ALTER TABLE, a table dropped
// and made again, a CREATE undone by a rollback): it then answers what a new
// statement would answer, and fails where a new one would fail.
//
// Every statement handed out must be reset by its user before the next call
// that may change the shape: a kept statement left on a row would hold the
// connection's read snapshot.
#ifndef ENGINE_CURSOR_WALK_STATEMENTS_H
#define ENGINE_CURSOR_WALK_STATEMENTS_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/cursor/navigation_sql.h"
#include "engine/storage/store_session.h"
#include "engine/storage/walk_statement.h"

namespace nce {

// The statements of a walk.
enum class WalkStep {
  kFirst,
  kLast,
  kAfter,
  kBefore,
  kByRowid,
  kVisible,
  kVisibleRow,
  kCount,
  kCountAll,
  kCountBefore,
  kCountScoped,
  kAtOffset,
  kCount_
};

// What the statements of one shape are built from.
struct WalkShape {
  StoreSession* session = nullptr;  // session on the rows' database or server
  WalkSpec walk;                    // rows, order and condition of the walk
  std::string all_rows_where;       // rows a count that ignores filters sees ("" all)
  std::string scoped_rows_where;    // rows a count within the scopes sees ("" all)

  bool operator==(const WalkShape&) const = default;
};

class WalkStatements {
 public:
  WalkStatements();
  ~WalkStatements();
  WalkStatements(const WalkStatements&) = delete;
  WalkStatements& operator=(const WalkStatements&) = delete;

  // Shapes whose statements stay prepared; the least recently used one goes.
  static constexpr size_t kKeptShapes = 4;

  // Makes `shape` the current shape, with the statements it had when it was
  // current before. Returns whether it was kept.
  bool Use(WalkShape shape);
  bool has_shape() const { return !kept_.empty(); }
  // The current shape and its statement texts; only while has_shape().
  const WalkShape& shape() const;
  const NavigationSql& sql() const;
  // The statement of `step` in the current shape, prepared on first use.
  // Throws when the store refuses the text.
  WalkStatement& Get(WalkStep step);
  // Whether the current shape was made sure of the tables its conditions
  // read outside any transaction (so no rollback can take them away), and
  // marking it so.
  bool tables_sure() const;
  void set_tables_sure(bool sure);
  // Finalizes every kept statement.
  void Clear();

 private:
  struct Kept;
  std::vector<std::unique_ptr<Kept>> kept_;  // most recently used first
};

}  // namespace nce

#endif  // ENGINE_CURSOR_WALK_STATEMENTS_H
