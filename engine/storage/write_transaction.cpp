#include "engine/storage/write_transaction.h"

#include "engine/base/errors.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_session.h"

namespace nce {

void BeginWriting(StoreSession& session) {
  auto* sqlite = dynamic_cast<SqliteSession*>(&session);
  if (!sqlite) return session.Begin();
  if (sqlite->InTransaction())
    throw EngineError(NDS_E_TRANSACTION_OPEN, "A transaction is already open.");
  ExecSql(sqlite->db(), "BEGIN IMMEDIATE");
}

}  // namespace nce
