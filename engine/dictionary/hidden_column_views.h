// Columns hidden from a user read as NULL in his queries on a server, as the
// SQLite store's authorizer makes them read. The server has no such hook, so
// while one query runs, each table it reads with a hidden column is shadowed
// by a view of the same name in the session's temporary schema (which the
// server searches first for unqualified names): the view selects the table's
// columns, and NULL typed as the column for each hidden one. The query's
// results, conditions, orderings and subqueries then see NULL alone; the
// table's values never reach the query.
//
// The views live for one query only, so the engine's own SQL (walks, locks,
// catalog reads) never meets them. Statements that write never run through
// them: they are refused when they read a hidden column (RefuseHiddenReads),
// as on SQLite.
#ifndef ENGINE_DICTIONARY_HIDDEN_COLUMN_VIEWS_H
#define ENGINE_DICTIONARY_HIDDEN_COLUMN_VIEWS_H

#include <string>
#include <vector>

namespace nce {

struct DictionaryState;
class StoreSession;

// Shadows `tables` (named as the server names them) for the rights in
// `state` while it lives. Must be made inside a transaction of `session`, so
// that a failure in between takes the views away with its rollback.
// Not copyable: it owns the views.
class HiddenColumnViews {
 public:
  HiddenColumnViews(StoreSession& session, const DictionaryState& state,
                    const std::vector<std::string>& tables);
  // Drops the views still there; a failure is left to the rollback that
  // follows it (the views were made inside the transaction).
  ~HiddenColumnViews();
  HiddenColumnViews(const HiddenColumnViews&) = delete;
  HiddenColumnViews& operator=(const HiddenColumnViews&) = delete;

  // Drops the views now; throws when the server fails to.
  void Drop();

 private:
  StoreSession& session_;           // the session the views live in
  std::vector<std::string> views_;  // views made and not dropped yet
};

}  // namespace nce

#endif  // ENGINE_DICTIONARY_HIDDEN_COLUMN_VIEWS_H
