// The query unit: TNdsQuery and its data link, and the path connection list,
// which gives queries that name their database by path in DatabaseName an
// engine connection shared by every query naming the same path.
#ifndef NDS_NDSTABLE_H_
#define NDS_NDSTABLE_H_

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/data_source.h"
#include "dataset/params.h"
#include "dataset/strings.h"
#include "nds/nce.h"
#include "nds/ndsdata.h"
#include "nds/ndsfunc.h"

namespace nds {

// ---------------------------------------------------------------------------
// Path connections.

// One engine connection opened for a path.
class TDynamicConn : public dataset::TObject {
 public:
  TDynamicConn(NDSHANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  NDSHANDLE Handle() const { return handle_; }
  const std::string& Path() const { return path_; }

 private:
  NDSHANDLE handle_;  // the open engine connection
  std::string path_;  // the path it was opened with, unchanged
};

// Engine connections opened on demand, one per distinct path, in order of
// opening. Entries are never removed before the list is destroyed, which
// closes them all. Every operation is serialised by the list's lock.
class TDynamicConnList : public dataset::TObject {
 public:
  TDynamicConnList() = default;
  // Disconnects every entry. A disconnect the engine refuses cannot be
  // reported from here; the remaining entries are still disconnected.
  ~TDynamicConnList() override;

  // The handle of the first entry whose path equals `path` exactly (letter
  // case included: on this platform paths differing in case name different
  // databases); 0 when there is none.
  NDSHANDLE FindPathConnection(const std::string& path) const;

  // Opens a new engine connection for `path` and records it; raises
  // ENDSDatabaseError when the engine refuses. Returns 0 when the entry
  // could not be recorded (the new connection is closed again). Does not
  // look for an existing entry: callers call FindPathConnection first.
  NDSHANDLE AcquirePathConnection(const std::string& path);

  // Number of entries (for diagnostics and tests).
  int Count() const;

 private:
  mutable std::mutex lock_;                             // guards entries_
  std::vector<std::unique_ptr<TDynamicConn>> entries_;  // in order of opening
};

// The process's one path connection list, created on first use and destroyed
// at program end.
TDynamicConnList& PathConnections();

// ---------------------------------------------------------------------------
// The query component.

class TNdsQuery;

// The query's link to its master data source: a scroll or a new record of
// the master re-runs the query with the master's values.
class TNdsQueryDataLink : public dataset::TDetailDataLink {
 public:
  // `query` owns the link and outlives it.
  explicit TNdsQueryDataLink(TNdsQuery& query);

  dataset::TDataSet* DetailDataSet() const override;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(dataset::TField* field) override;

 private:
  TNdsQuery& query_;  // the query this link belongs to
};

// A dataset that runs SQL text against the database server. The text lives
// in SQL; Params is rebuilt from it, one parameter per marker, and bound by
// position. ExecSQL runs a statement without a result set; opening the query
// runs it for its cursor. The engine statement is kept between executions.
class TNdsQuery : public TNdsExtendedDataSet {
 public:
  // `owner` may be null.
  explicit TNdsQuery(dataset::TComponent* owner);
  // Closes the query and its engine statement (when its connection is still
  // there to own it).
  ~TNdsQuery() override;

  // The SQL text, one string per line. Changing it closes the query and
  // rebuilds Params (unless ParamCheck is off); SetSQL with the same text
  // changes nothing.
  dataset::TStrings* SQL() const { return sql_.get(); }
  void SetSQL(const dataset::TStrings* value);
  // The lines joined, each followed by a carriage return and a line feed:
  // the text the engine receives.
  std::string SQLText() const;

  // Parameters, in order of their markers in the text. SetParams copies the
  // values of parameters of the same name; the set of parameters stays.
  dataset::TParams* Params() const { return params_.get(); }
  void SetParams(const dataset::TParams* value);
  int ParamCount() const;
  // Raises the framework's error for an unknown name.
  dataset::TParam* ParamByName(const std::string& name) const;
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool value) { paramCheck_ = value; }

  // Options passed with every execution.
  bool RequestLive() const { return requestLive_; }
  void SetRequestLive(bool value) { requestLive_ = value; }
  bool Constrained() const { return constrained_; }
  void SetConstrained(bool value) { constrained_ = value; }
  bool ReadAllColumns() const { return readAllColumns_; }
  void SetReadAllColumns(bool value) { readAllColumns_ = value; }

  // Master data source whose fields give values to parameters of the same
  // name. Refused with "Circular Data Link" when it depends on this query.
  dataset::TDataSource* QueryDataSource() const;
  void SetDataSource(dataset::TDataSource* source);

  // The query supports the NTX table type only on a data dictionary
  // connection. While the query is read from a stored description the
  // refusal waits for the first execution: its connection is bound only at
  // the end of the read, and an alias of nds.ini (";N") must not keep the
  // program that holds the description from starting.
  void SetSourceTableType(TNdsTableTypes type) override;
  // Unbinds NdsConnection first, then binds by name; a query that held a
  // path connection releases its statement when the name changes.
  void SetDatabaseName(const std::string& name) override;

  // Executes the text without keeping a cursor: a cursor that comes back is
  // closed at once.
  void ExecSQL();
  // Rows affected by the last execution; -1 when unknown.
  std::int32_t AffectedRows() const { return affectedRows_; }
  bool Prepared() const { return prepared_; }

  // Statement life cycle. The three refuse with "Cannot perform this
  // operation on an open dataset" while a cursor is open.
  void MarkPrepared();
  void MarkUnprepared();
  void ReleaseStatement();

  // The engine statement (kNoHandle when none) and the connection taken
  // from the path connection list (kNoHandle when none).
  NDSHANDLE StatementHandle() const { return statement_; }
  NDSHANDLE PathConnectionHandle() const { return pathConnection_; }

  std::int32_t LastAutoIncValue() override;
  // Forgets the statement and path connection without calling the engine:
  // the engine's statements end with the connection.
  void DetachFromConnection() override;
  // A query has no dictionary default index.
  void RunDictionaryStep() override {}

  // Master/detail: parameters not bound by the application take the values
  // of the master's fields of the same name; RefreshFromMaster reopens an
  // open query when the master moved.
  void FetchMasterValues();
  void RefreshFromMaster();
  // The master fields that feed parameters, and this query's fields of the
  // same names.
  void GetDetailLinkFields(std::vector<dataset::TField*>& masterFields,
                           std::vector<dataset::TField*>& detailFields);

  // Provider support: ProviderExecute runs ExecSQL. The default order is
  // the framework's, else the ORDER BY columns of the text that are fields
  // of the query; the table name is the one after the text's first FROM.
  // New parameters replace Params only when the list holds some, and the
  // query closes either way; an empty command text changes nothing.
  void ProviderExecute() override;
  std::unique_ptr<dataset::TIndexDef> ProviderDefaultOrder() override;
  dataset::TParams* ProviderParams() override;
  std::string ProviderTableName() override;
  void ProviderSetParams(dataset::TParams& params) override;
  void ProviderSetCommandText(const std::string& text) override;

  // The opaque block stored under "Data"; null when there is none.
  const std::vector<std::uint8_t>* BinaryData() const { return binaryData_.get(); }

  // Stored description: besides the published properties, "Data" (the
  // binary block, when there is one), "ParamData" (the parameter list,
  // always) and "WaitCursor" (read and discarded, never written).
  void DefineProperties(dataset::TFiler& filer) override;

 protected:
  NDSHANDLE OpenEngineCursor() override { return OpenQueryCursor(); }
  // Runs the statement for its cursor; raises when it yields none.
  NDSHANDLE OpenQueryCursor();
  // Closes the cursor, then marks the statement unprepared; in design mode
  // also closes the statement.
  void CloseEngineCursor() override;
  dataset::TDataSource* MasterDataSource() override;
  // Record numbers along the order the cursor walks in, asked of the
  // engine when no index is selected.
  std::int32_t CurrentRecordNumber() override;
  bool PhysicalRecordNumbers() const override { return !Sequenced(); }

 private:
  // Change notification of the SQL list.
  void SQLChanged();
  // Acquire, set options, prepare, bind and execute; answers the cursor or
  // kNoHandle.
  NDSHANDLE RunStatement();
  void AcquireStatement();
  // Refuses NTX unless the bound connection is a data dictionary.
  void CheckTableTypeSupported() const;
  void SetStatementOptions();
  void CloseStatement(bool ignoreUnknown);

  std::unique_ptr<dataset::TStringList> sql_;  // the SQL text
  bool prepared_ = false;                      // set by MarkPrepared
  bool readAllColumns_ = false;
  std::unique_ptr<dataset::TParams> params_;  // one per marker, in order
  bool requestLive_ = false;
  bool constrained_ = false;
  bool paramCheck_ = true;
  std::unique_ptr<TNdsQueryDataLink> dataLink_;            // link to the master source
  NDSHANDLE statement_ = kNoHandle;                        // kept between executions
  NDSHANDLE pathConnection_ = kNoHandle;                   // from the path connection list
  std::int32_t affectedRows_ = -1;                         // of the last execution
  std::unique_ptr<std::vector<std::uint8_t>> binaryData_;  // "Data", never interpreted
};

// Registers TNdsTableOptions, TNdsDataSet, TNdsExtendedDataSet and TNdsQuery
// with their published properties for stored descriptions. Call it before
// reading a description that holds a query; calling it again does nothing.
void RegisterQueryClasses();

}  // namespace nds

#endif  // NDS_NDSTABLE_H_
