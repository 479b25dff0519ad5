#include "engine/dictionary/hidden_column_views.h"

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/storage/store_session.h"

namespace nce {
namespace {

// The view's text for `table` as the server resolves its name now, or empty
// when that is not a table of the database (a temporary table of the
// session's own, which the user filled himself, or nothing at all). Columns
// keep their names, order and types, rowid included.
std::string ViewDefinition(StoreSession& session, const DictionaryState& state,
                           const std::string& table) {
  auto read = session.Prepare(
      "SELECT n.nspname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c "
      "JOIN pg_namespace n ON n.oid = c.relnamespace JOIN pg_attribute a ON a.attrelid = c.oid "
      "WHERE c.oid = to_regclass(quote_ident(?1)) AND c.relkind IN ('r', 'p', 'f') AND "
      "c.relnamespace <> pg_my_temp_schema() AND a.attnum > 0 AND NOT a.attisdropped "
      "ORDER BY a.attnum");
  read->Bind(1, Value::Text(table));
  std::string schema, columns;
  while (read->Step()) {
    schema = read->Column(0).bytes;
    std::string column = QuoteIdentifier(read->Column(1).bytes);
    if (!columns.empty()) columns += ", ";
    if (state.MayRead(table, read->Column(1).bytes))
      columns += column;
    else
      columns += "CAST(NULL AS " + read->Column(2).bytes + ") AS " + column;
  }
  if (columns.empty()) return {};
  return "CREATE TEMPORARY VIEW " + QuoteIdentifier(table) + " AS SELECT " + columns + " FROM " +
         QuoteIdentifier(schema) + "." + QuoteIdentifier(table);
}

}  // namespace

HiddenColumnViews::HiddenColumnViews(StoreSession& session, const DictionaryState& state,
                                     const std::vector<std::string>& tables)
    : session_(session) {
  if (tables.empty()) return;
  if (!session_.InTransaction())
    throw EngineError(NDS_E_GENERAL, "Views hiding columns are made inside a transaction.");
  try {
    for (const std::string& table : tables) {
      std::string definition = ViewDefinition(session_, state, table);
      if (definition.empty()) continue;
      session_.Execute(definition);
      views_.push_back(table);
    }
  } catch (...) {
    try {
      Drop();
    } catch (const EngineError&) {
      // Left to the rollback, as in the destructor.
    }
    throw;
  }
}

HiddenColumnViews::~HiddenColumnViews() {
  try {
    Drop();
  } catch (const EngineError&) {
    // The transaction the views were made in rolls back and takes them.
  }
}

void HiddenColumnViews::Drop() {
  while (!views_.empty()) {
    session_.Execute("DROP VIEW IF EXISTS pg_temp." + QuoteIdentifier(views_.back()));
    views_.pop_back();
  }
}

}  // namespace nce
