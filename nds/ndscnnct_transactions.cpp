// Transactions on a TNdsConnection: begin, commit, rollback with its dataset
// handling, savepoints.
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

void TNdsConnection::StartTransaction() {
  CheckConnected();
  if (const NDSRESULT rc = NdsBeginTransaction(handle_); rc != NDS_SUCCESS) throw NdsError(rc);
  transactionActive_ = true;
}

void TNdsConnection::CommitTransaction() {
  CheckConnected();
  DoBeforeCommit();
  CloseCachedStatements();
  if (const NDSRESULT rc = NdsCommitTransaction(handle_); rc != NDS_SUCCESS) throw NdsError(rc);
  transactionActive_ = false;
  DoAfterCommit();
}

void TNdsConnection::RollbackTransaction() {
  PerformRollback();
}

void TNdsConnection::PerformRollback() {
  CheckConnected();
  DoBeforeRollback();
  CloseCachedStatements();
  // Pending inserts and edits go before the engine undoes the records they
  // were made on.
  CancelDataSets();
  if (const NDSRESULT rc = NdsRollbackTransaction(handle_); rc != NDS_SUCCESS) throw NdsError(rc);
  transactionActive_ = false;
  RefreshActiveDataSets();
  DoAfterRollback();
}

void TNdsConnection::RollbackToSavepoint(const std::string& name) {
  if (name.empty()) {
    PerformRollback();
    return;
  }
  CheckConnected();
  CheckEngineCode(nullptr, NdsRollbackTransaction80(handle_, name.c_str(), 0));
}

void TNdsConnection::CreateSavepoint(const std::string& name) {
  CheckConnected();
  CheckEngineCode(nullptr, NdsCreateSavepoint(handle_, name.c_str(), 0));
}

}  // namespace nds
