// Engine functions of transactions and savepoints.
#include "engine/api/api_support.h"

using namespace nce;

namespace {

// Runs `action` on the connection of `handle` under its lock. Clang's
// analysis does not carry the lock into a lambda called here (it misplaces
// the lambda's arguments when checking a REQUIRES on it), so each action
// states that it holds the lock with AssertHeld.
template <class Action>
NDSRESULT OnConnection(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    auto connection = RequireConnection(handle);
    RecursiveLockGuard lock(connection->mutex());
    action(*connection);
    return NDS_SUCCESS;
  });
}

std::string SavepointName(const char* name) {
  if (name == nullptr || *name == '\0')
    throw EngineError(NDS_E_INVALID_ARGUMENT, "A savepoint needs a name.");
  return name;
}

void RequireNoOptions(uint32_t options) {
  if (options != 0)
    throw EngineError(NDS_E_INVALID_OPTION,
                      "Savepoint option " + std::to_string(options) + " is not known.");
}

}  // namespace

extern "C" {

NDSRESULT NdsBeginTransaction(NDSHANDLE connection) {
  return OnConnection("NdsBeginTransaction", connection, [](Connection& c) {
    c.mutex().AssertHeld();
    c.BeginTransaction();
  });
}

NDSRESULT NdsCommitTransaction(NDSHANDLE connection) {
  return OnConnection("NdsCommitTransaction", connection, [](Connection& c) {
    c.mutex().AssertHeld();
    c.CommitTransaction();
  });
}

NDSRESULT NdsRollbackTransaction(NDSHANDLE connection) {
  return OnConnection("NdsRollbackTransaction", connection, [](Connection& c) {
    c.mutex().AssertHeld();
    c.RollbackTransaction();
  });
}

NDSRESULT NdsCreateSavepoint(NDSHANDLE connection, const char* savepoint, uint32_t options) {
  return OnConnection("NdsCreateSavepoint", connection, [&](Connection& c) {
    c.mutex().AssertHeld();
    RequireNoOptions(options);
    c.CreateSavepoint(SavepointName(savepoint));
  });
}

NDSRESULT NdsRollbackTransaction80(NDSHANDLE connection, const char* savepoint, uint32_t options) {
  return OnConnection("NdsRollbackTransaction80", connection, [&](Connection& c) {
    c.mutex().AssertHeld();
    RequireNoOptions(options);
    if (savepoint == nullptr || *savepoint == '\0')
      c.RollbackTransaction();
    else
      c.RollbackToSavepoint(savepoint);
  });
}

NDSRESULT NdsInTransaction(NDSHANDLE connection, uint16_t* inTransaction) {
  return OnConnection("NdsInTransaction", connection, [&](Connection& c) {
    c.mutex().AssertHeld();
    RequireArgument(inTransaction, "answer");
    *inTransaction = c.in_transaction() ? 1 : 0;
  });
}

}  // extern "C"
