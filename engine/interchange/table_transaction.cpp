#include "engine/interchange/table_transaction.h"

namespace nce {

TableTransaction::TableTransaction(Connection& connection, std::string savepoint)
    : connection_(connection) {
  if (connection.in_transaction()) {
    connection.RequireLiveTransaction();
    connection.CreateSavepoint(savepoint);
    savepoint_ = std::move(savepoint);
  } else {
    connection.BeginTransaction();
  }
}

TableTransaction::~TableTransaction() {
  if (done_) return;
  try {
    if (savepoint_.empty()) {
      if (connection_.in_transaction()) connection_.RollbackTransaction();
    } else {
      connection_.RollbackToSavepoint(savepoint_);
      connection_.session().ReleaseSavepoint(savepoint_);
    }
  } catch (const EngineError&) {
    // A lost connection: the store rolled the transaction back itself.
  }
}

void TableTransaction::Commit() {
  connection_.mutex().AssertHeld();  // as the constructor required
  if (savepoint_.empty())
    connection_.CommitTransaction();
  else
    connection_.session().ReleaseSavepoint(savepoint_);
  done_ = true;
}

}  // namespace nce
