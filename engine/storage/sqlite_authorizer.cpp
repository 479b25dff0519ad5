#include "engine/storage/sqlite_authorizer.h"

#include <sqlite3.h>

#include <string>

#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_session.h"

namespace nce {
namespace {

StoreAction ActionOf(int code) {
  switch (code) {
    case SQLITE_READ:
      return StoreAction::kRead;
    case SQLITE_INSERT:
      return StoreAction::kInsert;
    case SQLITE_UPDATE:
      return StoreAction::kUpdate;
    case SQLITE_DELETE:
      return StoreAction::kDelete;
    case SQLITE_CREATE_TABLE:
      return StoreAction::kCreateTable;
    case SQLITE_CREATE_VIEW:
      return StoreAction::kCreateView;
    case SQLITE_CREATE_VTABLE:
      return StoreAction::kCreateVirtualTable;
    case SQLITE_DROP_TABLE:
      return StoreAction::kDropTable;
    case SQLITE_DROP_VIEW:
      return StoreAction::kDropView;
    case SQLITE_DROP_VTABLE:
      return StoreAction::kDropVirtualTable;
    case SQLITE_CREATE_INDEX:
      return StoreAction::kCreateIndex;
    case SQLITE_DROP_INDEX:
      return StoreAction::kDropIndex;
    case SQLITE_CREATE_TRIGGER:
      return StoreAction::kCreateTrigger;
    case SQLITE_DROP_TRIGGER:
      return StoreAction::kDropTrigger;
    case SQLITE_ALTER_TABLE:
      return StoreAction::kAlterTable;
    default:
      return StoreAction::kOther;
  }
}

int Decide(void* data, int code, const char* first, const char* second, const char* /*database*/,
           const char* trigger) {
  Authorization decision =
      static_cast<StoreAuthorizer*>(data)->Authorize({ActionOf(code), first, second, trigger});
  return decision == Authorization::kAllow  ? SQLITE_OK
         : decision == Authorization::kDeny ? SQLITE_DENY
                                            : SQLITE_IGNORE;
}

void Install(sqlite3* db, StoreAuthorizer* authorizer) {
  if (authorizer)
    sqlite3_set_authorizer(db, Decide, authorizer);
  else
    sqlite3_set_authorizer(db, nullptr, nullptr);
}

}  // namespace

void SetStoreAuthorizer(StoreSession& session, StoreAuthorizer* authorizer) {
  Install(RequireSqliteDb(session), authorizer);
}

void CheckUnderAuthorizer(StoreSession& session, StoreAuthorizer& authorizer,
                          std::string_view sql) {
  sqlite3* db = RequireSqliteDb(session);
  Install(db, &authorizer);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  sqlite3_finalize(stmt);
  if (rc == SQLITE_OK) return Install(db, nullptr);
  EngineError refusal = SqlError(db, rc, "checking the rights");
  Install(db, nullptr);
  throw refusal;
}

}  // namespace nce
