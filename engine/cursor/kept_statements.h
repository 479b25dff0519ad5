// The statements of a cursor's writes, record locks and checksums by SQL
// text, kept for the cursor's life: bulk appends and edits would otherwise
// spend most of their time parsing SQL (and on a server, a round trip
// preparing it). With them, the two that the last append and edit ran, by
// the fields they wrote, so that the next one of the same fields finds its
// statement without building the text; and what is known of the columns
// those statements write (record_writer_written.cpp), which holds while they do.
#ifndef ENGINE_CURSOR_KEPT_STATEMENTS_H
#define ENGINE_CURSOR_KEPT_STATEMENTS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/store_session.h"

namespace nce {

class KeptStatements {
 public:
  // Statement `sql`, prepared once on `session` and reset; it stays valid
  // until DropIfMany or Clear next drops the kept ones. SQLite prepares a
  // kept statement again by itself when the schema changes.
  StoreStatement& Get(StoreSession& session, const std::string& sql) {
    auto kept = stmts_.find(sql);
    if (kept != stmts_.end()) {
      kept->second->Reset();
      return *kept->second;
    }
    return *stmts_.emplace(sql, session.Prepare(sql)).first->second;
  }
  // Drops every statement once there are too many (a cursor writing ever
  // new sets of fields). Called where none is in use.
  void DropIfMany() {
    if (stmts_.size() >= kMaxKept) Clear();
  }
  // Drops every statement (the cursor goes away, or its session does).
  void Clear() {
    stmts_.clear();
    last_insert = LastWrite{};
    last_update = LastWrite{};
    columns.trusted.clear();
  }

  // The kept statement of the last append or edit and the fields it wrote.
  struct LastWrite {
    std::vector<size_t> fields;      // field indexes
    StoreStatement* stmt = nullptr;  // a kept one; null when none
    bool sqlite_numbers = false;     // an INSERT that leaves the number to SQLite
  };
  LastWrite last_insert, last_update;
  // What the table's columns do to bound values: the SQLite affinity of
  // each field's column ('I', 'N', 'R', 'T', 'B', 0 for a generated column
  // or none), and the kept statements it was checked for, with their count
  // of SQLite's own re-preparations then.
  struct ColumnsKnown {
    std::vector<char> affinity;
    std::map<const StoreStatement*, int64_t> trusted;
  };
  ColumnsKnown columns;

 private:
  // Kept statements beyond this many are all dropped before the next write;
  // only the inserts and updates vary.
  static constexpr size_t kMaxKept = 32;

  std::map<std::string, std::unique_ptr<StoreStatement>> stmts_;
};

}  // namespace nce

#endif  // ENGINE_CURSOR_KEPT_STATEMENTS_H
