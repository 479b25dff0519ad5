// The road from a TNdsQuery to the engine: obtaining and keeping a
// statement, its options, preparing and executing the text, the cursor that
// comes back and the rows-affected count.
#include <limits>
#include <string>

#include "dataset/exceptions.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace nds {

namespace {

constexpr const char kOpenDataSetMessage[] = "Cannot perform this operation on an open dataset";
constexpr const char kNoDatabaseName[] = "The DatabaseName property has not been assigned a value.";
constexpr const char kInvalidConnectionHandle[] = "Internal Error: invalid connection handle.";
constexpr const char kNoCursorHandle[] =
    "The SQL statement did not generate a cursor handle.  Use TNdsQuery.ExecSQL to execute SQL "
    "statements that are not SELECT statements";

// A table-type setting as the statement option NdsStmtSetTableType takes it:
// NDT 3, CDX 2, every other value 1.
std::uint16_t StatementTableTypeCode(TNdsTableTypes type) {
  switch (type) {
    case ttNdsNDT:
      return NDS_NDT;
    case ttNdsCDX:
      return NDS_CDX;
    default:
      return NDS_NTX;
  }
}

}  // namespace

void TNdsQuery::ExecSQL() {
  const NDSHANDLE cursor = RunStatement();
  if (cursor != kNoHandle) CheckEngineCode(this, NdsCloseTable(cursor));
}

void TNdsQuery::MarkPrepared() {
  if (TableHandle() != kNoHandle)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kOpenDataSetMessage);
  affectedRows_ = -1;
  prepared_ = true;
}

void TNdsQuery::MarkUnprepared() {
  if (TableHandle() != kNoHandle)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kOpenDataSetMessage);
  prepared_ = false;
}

void TNdsQuery::CloseStatement(bool ignoreUnknown) {
  if (statement_ == kNoHandle) return;
  const NDSRESULT rc = NdsCloseSQLStatement(statement_);
  if (!(ignoreUnknown && rc == NDS_E_UNKNOWN_STATEMENT)) CheckEngineCode(this, rc);
}

void TNdsQuery::ReleaseStatement() {
  if (TableHandle() != kNoHandle)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kOpenDataSetMessage);
  CloseStatement(true);
  statement_ = kNoHandle;
  pathConnection_ = kNoHandle;
}

void TNdsQuery::AcquireStatement() {
  if (statement_ != kNoHandle) {
    std::uint16_t type = 0;
    if (NdsGetHandleType(statement_, &type) == NDS_SUCCESS && type == NDS_HANDLE_STATEMENT) return;
  }
  // The engine no longer knows the statement (or there was none).
  statement_ = kNoHandle;
  if (DatabaseName().empty() && NdsConnection() == nullptr)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoDatabaseName);

  NDSHANDLE connectionHandle = kNoHandle;
  if (pathConnection_ == kNoHandle) {
    if (TNdsConnection* connection = NdsConnection()) {
      if (!connection->IsConnected()) connection->SetIsConnected(true);
      connectionHandle = connection->ConnectionHandle();
    } else {
      std::string path = ResolveDatabasePath();
      // A bare drive names the drive's root.
      if (path.size() == 2 && path[1] == ':') path += '\\';
      NDSHANDLE handle = PathConnections().FindPathConnection(path);
      if (handle == 0) handle = PathConnections().AcquirePathConnection(path);
      // Kept only when there is a connection: a refused connect (which
      // raises here) or one the list could not record leaves the query
      // without one, so that the next execution asks again instead of
      // failing for ever with an invalid handle.
      if (handle != 0) pathConnection_ = handle;
      connectionHandle = handle;
    }
  }
  if (connectionHandle == kNoHandle || connectionHandle == 0)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kInvalidConnectionHandle);
  NDSHANDLE statement = 0;
  CheckEngineCode(this, NdsCreateSQLStatement(connectionHandle, &statement));
  statement_ = statement;
}

void TNdsQuery::SetStatementOptions() {
  const TNdsTableOptions& options = *NdsTableOptions();
  CheckEngineCode(this,
                  NdsStmtSetTableLockType(statement_, EngineLockTypeCode(options.NdsLockType())));
  CheckEngineCode(this,
                  NdsStmtSetTableCharType(statement_, EngineCharTypeCode(options.NdsCharType())));
  CheckEngineCode(this,
                  NdsStmtSetTableRights(statement_, EngineRightsCode(options.NdsRightsCheck())));
  CheckEngineCode(this, NdsStmtSetTableReadOnly(
                            statement_, requestLive_ ? NDS_CURSOR_READWRITE : NDS_CURSOR_READONLY));
  if (NdsConnection() != nullptr && NdsConnection()->ReadOnly())
    CheckEngineCode(this, NdsStmtSetTableReadOnly(statement_, NDS_CURSOR_READONLY));
  CheckEngineCode(this, NdsStmtSetTableType(statement_, StatementTableTypeCode(SourceTableType())));
  CheckEngineCode(
      this, NdsStmtConstrainUpdates(statement_, constrained_ ? NDS_CONSTRAIN : NDS_NO_CONSTRAIN));
  CheckEngineCode(
      this, NdsStmtReadAllColumns(
                statement_, readAllColumns_ ? NDS_READ_ALL_COLUMNS : NDS_READ_SELECTED_COLUMNS));
}

NDSHANDLE TNdsQuery::RunStatement() {
  // An open query is refused, except at design time or while the component
  // is being updated, where it is closed first.
  if (Active()) {
    if (IsDesigning() || ComponentState().Contains(dataset::csUpdating))
      Close();
    else
      CheckInactive();
  }
  // A table type accepted while the query was read is checked here.
  CheckTableTypeSupported();
  AcquireStatement();
  SetStatementOptions();
  MarkPrepared();
  const std::string text = SQLText();
  CheckEngineCode(this, NdsPrepareSQL(statement_, text.c_str()));
  if (dataLink_->DataSource() != nullptr) FetchMasterValues();
  BindParams(statement_, *params_, this);

  NDSHANDLE cursor = 0;
  try {
    CheckEngineCode(this, NdsExecuteSQL(statement_, &cursor));
  } catch (const dataset::Exception& error) {
    // The engine wants the statement prepared afresh: a new one is taken at
    // the next execution.
    if (error.Message().find("7209") != std::string::npos) ReleaseStatement();
    throw;
  }
  if (cursor == 0) cursor = kNoHandle;

  try {
    if (cursor != kNoHandle) {
      std::uint8_t live = 0;
      CheckEngineCode(this, NdsSqlPeekStatement(cursor, &live));
      SetReadOnlyFlag(live == 0);
      if (live == 1) {
        std::uint16_t charType = 0;
        CheckEngineCode(this, NdsGetTableCharType(cursor, &charType));
        NdsTableOptions()->AdoptCursorCharType(charType == NDS_OEM ? OEM : ANSI);
      }
    }
    std::uint32_t count = 0;
    const NDSRESULT rc = NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &count);
    if (rc == NDS_E_NO_COUNT) {
      affectedRows_ = -1;
    } else {
      CheckEngineCode(this, rc);
      affectedRows_ = static_cast<std::int32_t>(count);
    }
  } catch (...) {
    // Nobody else would ever close the cursor.
    if (cursor != kNoHandle) NdsCloseTable(cursor);
    throw;
  }
  return cursor;
}

NDSHANDLE TNdsQuery::OpenQueryCursor() {
  const NDSHANDLE cursor = RunStatement();
  if (cursor == kNoHandle) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoCursorHandle);
  try {
    std::uint16_t tableType = 0;
    CheckEngineCode(this, NdsGetTableType(cursor, &tableType));
    SetEngineTableType(tableType);
    const dataset::TStrings& indexFiles = *IndexFiles();
    for (int i = 0; i < indexFiles.Count(); ++i) {
      const std::string fileName = ResolveDatabasePath() + "\\" + indexFiles[i];
      // The cursor owns the orders it opens; their handles are not kept.
      NDSHANDLE orders[50];
      std::uint16_t count = 50;
      CheckEngineCode(this, NdsOpenIndex(cursor, fileName.c_str(), orders, &count));
    }
  } catch (...) {
    NdsCloseTable(cursor);
    throw;
  }
  return cursor;
}

void TNdsQuery::CloseEngineCursor() {
  TNdsExtendedDataSet::CloseEngineCursor();
  // The framework's close step must not raise; with the cursor gone the
  // refusals of MarkUnprepared cannot apply.
  prepared_ = false;
  if (IsDesigning()) {
    try {
      CloseStatement(true);
    } catch (const dataset::Exception&) {
      // The dataset is closed regardless; the statement handle is forgotten.
    }
    statement_ = kNoHandle;
    pathConnection_ = kNoHandle;
  }
}

void TNdsQuery::DetachFromConnection() {
  MarkUnprepared();
  statement_ = kNoHandle;
  pathConnection_ = kNoHandle;
}

std::int32_t TNdsQuery::LastAutoIncValue() {
  std::uint32_t value = 0;
  const NDSHANDLE handle = TableHandle() != kNoHandle ? TableHandle() : statement_;
  CheckEngineCode(this, NdsGetLastAutoinc(handle, &value));
  if (value > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
    throw dataset::ERangeError("Range check error");
  return static_cast<std::int32_t>(value);
}

}  // namespace nds
