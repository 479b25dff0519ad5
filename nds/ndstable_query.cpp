// TNdsQuery: construction and destruction, the SQL text and its parameters,
// the query's own table-type and database-name rules, and the master link.
#include <string>

#include "dataset/data_source.h"
#include "dataset/params.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace nds {

namespace {

constexpr const char kNoNtxMessage[] =
    "The TNdsQuery component does not support the NTX table type";

}  // namespace

// ---------------------------------------------------------------------------
// The master link.

TNdsQueryDataLink::TNdsQueryDataLink(TNdsQuery& query) : query_(query) {}

dataset::TDataSet* TNdsQueryDataLink::DetailDataSet() const {
  return &query_;
}

void TNdsQueryDataLink::ActiveChanged() {
  if (query_.Active()) query_.RefreshFromMaster();
}

void TNdsQueryDataLink::RecordChanged(dataset::TField* field) {
  // A change of one field leaves the query alone; a new record of the
  // master (a scroll) re-runs it.
  if (field == nullptr && query_.Active()) query_.RefreshFromMaster();
}

void TNdsQueryDataLink::CheckBrowseMode() {
  if (query_.Active()) query_.CheckBrowseMode();
}

// ---------------------------------------------------------------------------
// Construction and destruction.

TNdsQuery::TNdsQuery(dataset::TComponent* owner)
    : TNdsExtendedDataSet(owner),
      sql_(std::make_unique<dataset::TStringList>()),
      params_(std::make_unique<dataset::TParams>(this)),
      dataLink_(std::make_unique<TNdsQueryDataLink>(*this)) {
  sql_->OnChange = [this](dataset::TObject*) { SQLChanged(); };
}

TNdsQuery::~TNdsQuery() {
  // Closed here, while the query's own close step can still run.
  try {
    Close();
  } catch (const dataset::Exception&) {
    // A destructor cannot report; the cursor is closed by the close step
    // whatever the events did.
  }
  sql_->OnChange = nullptr;
  const bool connected = NdsConnection() != nullptr && NdsConnection()->IsConnected();
  // A statement of a connection that is gone ended with it: only a living
  // connection is asked to close it.
  if (statement_ != kNoHandle &&
      (connected || (pathConnection_ != kNoHandle && pathConnection_ > 0))) {
    try {
      CloseStatement(true);
    } catch (const dataset::Exception&) {
    }
  }
  statement_ = kNoHandle;
}

// ---------------------------------------------------------------------------
// SQL text and parameters.

std::string TNdsQuery::SQLText() const {
  std::string text;
  for (int i = 0; i < sql_->Count(); ++i) {
    text += (*sql_)[i];
    text += "\r\n";
  }
  return text;
}

void TNdsQuery::SetSQL(const dataset::TStrings* value) {
  std::string newText;
  if (value != nullptr)
    for (int i = 0; i < value->Count(); ++i) newText += (*value)[i] + "\r\n";
  if (newText == SQLText()) return;
  Close();
  MarkUnprepared();
  sql_->BeginUpdate();
  try {
    if (value != nullptr)
      sql_->Assign(value);
    else
      sql_->Clear();
  } catch (...) {
    sql_->EndUpdate();
    throw;
  }
  sql_->EndUpdate();
}

void TNdsQuery::SQLChanged() {
  const std::string text = SQLText();
  // The engine lists the markers it sees; the list can never be longer
  // than the text itself, so this buffer always suffices.
  std::string markers(text.size() + 2, '\0');
  auto length = static_cast<std::uint32_t>(markers.size());
  CheckEngineCode(this, NdsGetSQLStmtParams(text.c_str(), markers.data(), &length));
  // While loading, the parameter list comes from "ParamData".
  if (IsLoading()) return;
  Close();
  MarkUnprepared();
  binaryData_.reset();
  if (paramCheck_ || IsDesigning()) {
    dataset::TParams parsed(this);
    // The parser's rewritten text is not used: the engine always receives
    // the text as written.
    parsed.ParseSQL(text, true);
    parsed.AssignValues(*params_);
    params_->Clear();
    params_->Assign(&parsed);
  }
  NotifyDataEvent(dataset::dePropertyChange, 0);
}

void TNdsQuery::SetParams(const dataset::TParams* value) {
  if (value != nullptr) params_->AssignValues(*value);
}

int TNdsQuery::ParamCount() const {
  return params_->Count();
}

dataset::TParam* TNdsQuery::ParamByName(const std::string& name) const {
  return params_->ParamByName(name);
}

// ---------------------------------------------------------------------------
// Table type and database name.

void TNdsQuery::SetSourceTableType(TNdsTableTypes type) {
  if (type == ttNdsNTX && !IsLoading()) {
    const bool dictionary = NdsConnection() != nullptr && NdsConnection()->IsDictionaryConnection();
    if (!dictionary) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoNtxMessage);
  }
  TNdsExtendedDataSet::SetSourceTableType(type);
}

void TNdsQuery::CheckTableTypeSupported() const {
  if (SourceTableType() != ttNdsNTX) return;
  if (NdsConnection() != nullptr && NdsConnection()->IsDictionaryConnection()) return;
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoNtxMessage);
}

void TNdsQuery::SetDatabaseName(const std::string& name) {
  const bool differs = name != DatabaseName();
  SetNdsConnection(nullptr);
  TNdsExtendedDataSet::SetDatabaseName(name);
  if (differs && pathConnection_ != kNoHandle) {
    // The statement belongs to the old path's connection.
    if (statement_ != kNoHandle) CheckEngineCode(this, NdsCloseSQLStatement(statement_));
    pathConnection_ = kNoHandle;
    statement_ = kNoHandle;
  }
}

// ---------------------------------------------------------------------------
// Master link.

dataset::TDataSource* TNdsQuery::QueryDataSource() const {
  return dataLink_->DataSource();
}

dataset::TDataSource* TNdsQuery::MasterDataSource() {
  return dataLink_->DataSource();
}

void TNdsQuery::SetDataSource(dataset::TDataSource* source) {
  if (source != nullptr && IsLinkedTo(source))
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, dataset::kCircularDataLinkMessage);
  dataLink_->SetDataSource(source);
}

void TNdsQuery::FetchMasterValues() {
  dataset::TDataSource* source = dataLink_->DataSource();
  if (source == nullptr || source->DataSet() == nullptr) return;
  dataset::TDataSet& master = *source->DataSet();
  master.FieldDefs().Update();
  for (int i = 0; i < params_->Count(); ++i) {
    dataset::TParam& param = *params_->Items(i);
    if (param.Bound()) continue;
    const dataset::TField& field = *master.FieldByName(param.Name());
    param.SetDataType(field.DataType());
    param.SetValue(field.Value());
    // Fetched again at the next execution.
    param.SetBound(false);
  }
}

void TNdsQuery::RefreshFromMaster() {
  DisableControls();
  try {
    dataset::TDataSource* source = dataLink_->DataSource();
    if (source != nullptr && source->DataSet() != nullptr && source->DataSet()->Active() &&
        source->DataSet()->State() != dataset::dsSetKey) {
      Close();
      Open();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

void TNdsQuery::GetDetailLinkFields(std::vector<dataset::TField*>& masterFields,
                                    std::vector<dataset::TField*>& detailFields) {
  masterFields.clear();
  detailFields.clear();
  dataset::TDataSource* source = dataLink_->DataSource();
  if (source == nullptr || source->DataSet() == nullptr) return;
  for (int i = 0; i < params_->Count(); ++i) {
    const std::string& name = params_->Items(i)->Name();
    dataset::TField* masterField = source->DataSet()->FindField(name);
    if (masterField == nullptr) continue;
    masterFields.push_back(masterField);
    if (dataset::TField* own = FindField(name)) detailFields.push_back(own);
  }
}

// ---------------------------------------------------------------------------
// Record numbers.

std::int32_t TNdsQuery::CurrentRecordNumber() {
  std::uint32_t number = 0;
  // Unsequenced numbers are physical: no order handle is needed.
  if (!Sequenced()) {
    CheckEngineCode(this, NdsGetRecordNum(TableHandle(), NDS_IGNOREFILTERS, &number));
    return static_cast<std::int32_t>(number);
  }
  NDSHANDLE order = ActiveOrderHandle();
  if (IndexName().empty() && IndexFieldNames().empty())
    CheckEngineCode(this, NdsGetIndexHandle(TableHandle(), nullptr, &order));
  if (order == 0) {
    CheckEngineCode(this, NdsGetRecordNum(TableHandle(), NDS_IGNOREFILTERS, &number));
    return static_cast<std::int32_t>(number);
  }
  if (SequencedLevel() == slExact) {
    CheckEngineCode(this, NdsGetKeyNum(order, NDS_RESPECTFILTERS, &number));
    return static_cast<std::int32_t>(number);
  }
  std::uint32_t count = 0;
  CheckEngineCode(this, NdsGetRecordCount(TableHandle(), NDS_IGNOREFILTERS, &count));
  double position = 0;
  const NDSRESULT rc = NdsGetRelKeyPos(order, &position);
  if (rc == NDS_E_NO_POSITION)
    position = 0;
  else
    CheckEngineCode(this, rc);
  return static_cast<std::int32_t>(count * position);
}

}  // namespace nds
