// Fuzzes the readings of schema and insert statements that decide what a
// server's catalog does with a statement: the column change of an ALTER
// TABLE, where an INSERT naming no columns would name them, and the renaming
// of a field in an order's expression. Any text must be read without
// crashing, and what they report lies in the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/base/errors.h"
#include "engine/expr/expr_tree.h"
#include "engine/schema/ddl.h"
#include "engine/sql/insert_columns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sql(reinterpret_cast<const char*>(data), size);
  const nce::ColumnChange change = nce::ReadColumnChange(sql);
  if (change.definition.size() > sql.size() || change.column.size() > sql.size() ||
      change.new_name.size() > sql.size())
    std::abort();
  if (change.kind == nce::ColumnChange::Kind::kAdd && change.definition.empty()) std::abort();
  for (const char* keyword : {"INSERT", "WITH"}) {
    size_t at = nce::MissingColumnListAt(sql, keyword);
    if (at != std::string::npos && at > sql.size()) std::abort();
  }
  try {
    // Renaming to a name of the same length changes no length.
    if (nce::RenameField(sql, "a", "b").size() != sql.size()) std::abort();
  } catch (const nce::EngineError&) {
    // Text the expression language cannot read.
  }
  return 0;
}
