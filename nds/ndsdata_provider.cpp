// Provider support of the cursor dataset: the operations through which a
// provider component runs statements for the dataset, brackets its updates
// in the connection's transactions and applies updates through
// OnUpdateRecord.
#include <memory>
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace nds {

namespace {

// Two spaces after "NdsConnection", as the message has always read.
constexpr const char kProviderNeedsConnection[] =
    "A TNdsConnection component is required for TClientDataSet/IProvider support. Use either "
    "the NdsConnection  property or the Database property to specify a TNdsConnection instance.";

}  // namespace

void TNdsDataSet::ProviderEndTransaction(bool commit) {
  if (connection_ == nullptr) return;
  if (commit)
    connection_->CommitTransaction();
  else
    connection_->RollbackTransaction();
}

int TNdsDataSet::ProviderExecuteStatement(const std::string& sql, dataset::TParams* params,
                                          std::unique_ptr<dataset::TDataSet>* result) {
  if (connection_ == nullptr)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kProviderNeedsConnection);
  const TStmtOptions options{EngineLockTypeCode(tableOptions_->NdsLockType()),
                             EngineCharTypeCode(tableOptions_->NdsCharType()),
                             EngineRightsCode(tableOptions_->NdsRightsCheck()), tableTypeCode_};
  // Kept statements stay in the connection's cache until it is flushed
  // (before every commit and rollback).
  if (result == nullptr)
    return static_cast<int>(
        connection_->ExecuteStatementWithOptions(options, sql, params, true, nullptr));

  NDSHANDLE cursor = 0;
  connection_->ExecuteStatementWithOptions(options, sql, params, true, &cursor);
  auto query = std::make_unique<TNdsQuery>(nullptr);
  TNdsQuery& opened = *query;
  *result = std::move(query);
  // The query owns the cursor from here; a statement without rows leaves
  // it closed.
  opened.OpenOnHandle(cursor);
  return 0;
}

bool TNdsDataSet::ProviderInTransaction() {
  if (connection_ == nullptr || !connection_->IsConnected()) return false;
  return connection_->TransactionIsActive();
}

void TNdsDataSet::ProviderReset() {
  TDataSet::ProviderReset();
  if (!Active()) return;
  CheckEngineCode(this, NdsGotoTop(tableHandle_));
  CursorPosChanged();
}

void TNdsDataSet::ProviderStartTransaction() {
  if (connection_ != nullptr) connection_->StartTransaction();
}

bool TNdsDataSet::ProviderUpdateRecord(dataset::TUpdateKind kind, dataset::TDataSet& delta) {
  if (!OnUpdateRecord) return false;
  dataset::TUpdateAction action = dataset::uaFail;
  OnUpdateRecord(delta, kind, action);
  return action == dataset::uaApplied;
}

}  // namespace nds
