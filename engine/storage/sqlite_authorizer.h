// SQLite's authorizer in the engine's own terms: while a statement is
// prepared, the store asks an authorizer about each action it would take
// (reading a column, changing rows of a table, defining an object), and the
// authorizer allows it, refuses the statement, or lets a read see NULL.
// Servers have no such hook; the data dictionary checks their statements in
// a private SQLite database under the same authorizer (dictionary_mirror.h).
#ifndef ENGINE_STORAGE_SQLITE_AUTHORIZER_H
#define ENGINE_STORAGE_SQLITE_AUTHORIZER_H

#include <string_view>

namespace nce {

class StoreSession;

// The actions an authorizer decides on; every other action is kOther.
enum class StoreAction : unsigned char {
  kRead,    // table, column
  kInsert,  // table
  kUpdate,  // table, column
  kDelete,  // table
  kCreateTable,
  kCreateView,
  kCreateVirtualTable,  // the new object, -
  kDropTable,
  kDropView,
  kDropVirtualTable,  // the object, -
  kCreateIndex,
  kDropIndex,
  kCreateTrigger,
  kDropTrigger,  // the index or trigger, its table
  kAlterTable,   // the schema, the table
  kOther,
};

enum class Authorization : unsigned char {
  kAllow,
  kDeny,    // the statement fails to prepare with NDS_E_RIGHTS
  kIgnore,  // a read sees NULL; any other action is left undone
};

// One action a statement would take. The names are null where the action
// has none; `trigger` names the trigger whose body takes it, if any.
struct ActionRequest {
  StoreAction action;
  const char* first;    // see StoreAction
  const char* second;   // see StoreAction
  const char* trigger;  // null outside a trigger's body
};

class StoreAuthorizer {
 public:
  virtual ~StoreAuthorizer() = default;
  virtual Authorization Authorize(const ActionRequest& request) = 0;
};

// Makes `authorizer` decide on every statement prepared on `session` from
// now on; null removes it. The authorizer must outlive its installation.
// Installing expires the session's prepared statements, which then prepare
// again under the new authorizer when they next run. Throws
// NDS_E_NOT_SUPPORTED on a session that is not over SQLite.
void SetStoreAuthorizer(StoreSession& session, StoreAuthorizer* authorizer);

// Prepares `sql` on `session` under `authorizer` alone and removes it again:
// throws what preparing throws (NDS_E_RIGHTS for a refusal). A text that
// holds no statement passes.
void CheckUnderAuthorizer(StoreSession& session, StoreAuthorizer& authorizer, std::string_view sql);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_AUTHORIZER_H
