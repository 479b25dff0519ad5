// Engine functions of SQL statements: creation, options, preparation,
// execution and what an execution leaves behind.
#include "engine/api/api_support.h"
#include "engine/sql/sql_script.h"
#include "engine/storage/record_locks.h"

using namespace nce;

namespace {

// Runs `action` on the statement `handle` under its connection's lock.
template <class Action>
NDSRESULT OnStatement(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    auto statement = RequireStatement(handle);
    RecursiveLockGuard lock(statement->connection().mutex());
    return action(*statement);
  });
}

// Stores one statement option after checking it is one of `allowed`.
NDSRESULT SetOption(const char* function, NDSHANDLE handle, uint16_t value,
                    std::initializer_list<uint16_t> allowed, uint16_t StatementOptions::*field) {
  return OnStatement(function, handle, [&](Statement& statement) {
    bool known = false;
    for (uint16_t a : allowed) known = known || a == value;
    if (!known)
      throw EngineError(NDS_E_INVALID_OPTION, std::string(function) + ": value " +
                                                  std::to_string(value) + " is not known.");
    statement.options.*field = value;
    return NDS_SUCCESS;
  });
}

// Registers a cursor an execution produced and hands out its handle.
void HandOut(Statement& statement, std::shared_ptr<Cursor> cursor, NDSHANDLE* place) {
  if (place) *place = 0;
  if (!cursor) return;
  if (!place) {
    cursor->Release();
    return;
  }
  NDSHANDLE handle = HandleTable::Instance().Add(cursor);
  if (cursor->live) {
    try {
      // A live cursor reaches the table's own records, as a shared open of
      // the table does: an exclusive open keeps it out, and it keeps one out.
      cursor->writer.HoldTable(false);
    } catch (...) {
      HandleTable::Instance().Remove(handle);
      throw;
    }
  }
  statement.connection().mutex().AssertHeld();  // taken by OnStatement
  statement.connection().AddChild(handle);
  *place = handle;
}

}  // namespace

extern "C" {

NDSRESULT NdsCreateSQLStatement(NDSHANDLE connection, NDSHANDLE* statement) {
  return Guarded("NdsCreateSQLStatement", [&] {
    RequireArgument(statement, "statement handle");
    *statement = 0;
    auto owner = RequireConnection(connection);
    RecursiveLockGuard lock(owner->mutex());
    NDSHANDLE handle = HandleTable::Instance().Add(std::make_shared<Statement>(owner));
    owner->AddChild(handle);
    *statement = handle;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsCloseSQLStatement(NDSHANDLE handle) {
  return OnStatement("NdsCloseSQLStatement", handle, [&](Statement& statement) {
    statement.connection().mutex().AssertHeld();  // taken by OnStatement
    statement.connection().RemoveChild(handle);
    HandleTable::Instance().Remove(handle);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsStmtSetTableType(NDSHANDLE statement, uint16_t tableType) {
  return SetOption("NdsStmtSetTableType", statement, tableType, {NDS_NTX, NDS_CDX, NDS_NDT},
                   &StatementOptions::table_type);
}

NDSRESULT NdsStmtSetTableCharType(NDSHANDLE statement, uint16_t charType) {
  return SetOption("NdsStmtSetTableCharType", statement, charType, {NDS_ANSI, NDS_OEM},
                   &StatementOptions::char_type);
}

NDSRESULT NdsStmtSetTableLockType(NDSHANDLE statement, uint16_t lockType) {
  return SetOption("NdsStmtSetTableLockType", statement, lockType,
                   {NDS_COMPATIBLE_LOCKING, NDS_PROPRIETARY_LOCKING}, &StatementOptions::lock_type);
}

NDSRESULT NdsStmtSetTableRights(NDSHANDLE statement, uint16_t checkRights) {
  return SetOption("NdsStmtSetTableRights", statement, checkRights,
                   {NDS_CHECK_RIGHTS, NDS_IGNORE_RIGHTS}, &StatementOptions::rights);
}

NDSRESULT NdsStmtSetTableReadOnly(NDSHANDLE handle, uint16_t readOnly) {
  NDSRESULT rc =
      SetOption("NdsStmtSetTableReadOnly", handle, readOnly,
                {NDS_CURSOR_READONLY, NDS_CURSOR_READWRITE}, &StatementOptions::read_only);
  if (rc == NDS_SUCCESS) {
    if (auto statement =
            HandleTable::Instance().FindAs<Statement>(handle, ObjectKind::kStatement)) {
      RecursiveLockGuard lock(statement->connection().mutex());
      ++statement->options.read_only_calls;
    }
  }
  return rc;
}

NDSRESULT NdsStmtConstrainUpdates(NDSHANDLE statement, uint16_t constrain) {
  return SetOption("NdsStmtConstrainUpdates", statement, constrain,
                   {NDS_CONSTRAIN, NDS_NO_CONSTRAIN}, &StatementOptions::constrain_updates);
}

NDSRESULT NdsStmtReadAllColumns(NDSHANDLE statement, uint16_t readAllColumns) {
  return SetOption("NdsStmtReadAllColumns", statement, readAllColumns,
                   {NDS_READ_ALL_COLUMNS, NDS_READ_SELECTED_COLUMNS},
                   &StatementOptions::read_all_columns);
}

NDSRESULT NdsPrepareSQL(NDSHANDLE handle, const char* sql) {
  return OnStatement("NdsPrepareSQL", handle, [&](Statement& statement) {
    RequireArgument(sql, "SQL text");
    statement.Prepare(sql);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsExecuteSQL(NDSHANDLE handle, NDSHANDLE* cursor) {
  return OnStatement("NdsExecuteSQL", handle, [&](Statement& statement) {
    if (cursor) *cursor = 0;
    HandOut(statement, statement.Execute(), cursor);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsExecuteSQLDirect(NDSHANDLE handle, const char* sql, NDSHANDLE* cursor) {
  return OnStatement("NdsExecuteSQLDirect", handle, [&](Statement& statement) {
    if (cursor) *cursor = 0;
    RequireArgument(sql, "SQL text");
    statement.Prepare(sql);
    HandOut(statement, statement.Execute(), cursor);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetSQLStmtParams(const char* sql, char* names, uint32_t* length) {
  return Guarded("NdsGetSQLStmtParams", [&] {
    RequireArgument(sql, "SQL text");
    std::string list;
    size_t ordinal = 1;
    for (std::string_view statement : SplitScript(sql)) {
      MarkedStatement marked = MarkParameters(statement, ordinal);
      ordinal += marked.markers.size();
      for (const std::string& marker : marked.markers) {
        if (!list.empty()) list += ';';
        list += marker[0] == ':' ? marker.substr(1) : "?";
      }
    }
    if (length == nullptr) return NDS_SUCCESS;
    return CopyOut(list, names, length);
  });
}

NDSRESULT NdsSqlPeekStatement(NDSHANDLE handle, uint8_t* live) {
  return Guarded("NdsSqlPeekStatement", [&] {
    RequireArgument(live, "live flag");
    auto cursor = RequireCursor(handle);
    *live = cursor->live ? 1 : 0;
    return NDS_SUCCESS;
  });
}

}  // extern "C"
