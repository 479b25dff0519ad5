#include "engine/api/mirrored_table_rename.h"

#include <optional>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/index/index_order.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/session_catalog.h"
#include "engine/storage/store_session.h"
#include "nce/nce.h"

namespace nce {

void RenameMirroredTable(Connection& connection, StoreSession& mirror, const std::string& from,
                         const std::string& to) {
  StoreSession& session = connection.LiveSession();
  std::optional<TableDesc> table = DescribeTable(mirror, from);
  if (!table || IsReservedName(table->name))
    throw EngineError(NDS_E_INVALID_TABLE, "The table " + from + " does not exist.");
  const std::string old_name = table->name;  // as the server holds it
  const std::string new_name = LowerAscii(to);
  if (new_name.empty() || IsReservedName(new_name))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "'" + to + "' cannot name a table.");
  // Any relation of that name (a view, a sequence, an index) takes it.
  if (RelationExists(session, new_name))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "A table named " + to + " exists already.");
  const bool own = !session.InTransaction();
  const std::string savepoint = "nce_rename";
  if (own)
    session.Begin();
  else
    session.Savepoint(savepoint);
  try {
    // The rights move too: no dictionary statement may write them meanwhile.
    LockMirroredDictionary(session);
    MoveTable(session, old_name, new_name);
    RenameOrdersOfTable(session, old_name, new_name);
    if (own)
      session.Commit();
    else
      session.ReleaseSavepoint(savepoint);
  } catch (...) {
    try {
      if (own && session.InTransaction()) session.Rollback();
      if (!own) {
        session.RollbackToSavepoint(savepoint);
        session.ReleaseSavepoint(savepoint);
      }
    } catch (const EngineError&) {
      // The connection is gone; the server rolled the work back with it.
    }
    throw;
  }
  ForgetMirroredTableShapes(connection);
  RefreshMirroredDictionaryState(connection);
}

}  // namespace nce
