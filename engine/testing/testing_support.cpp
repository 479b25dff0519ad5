// Read-back of engine state for tests (declared in nce_failpoints.h).
#include <mutex>

#include "engine/base/handles.h"
#include "engine/base/settings.h"
#include "engine/sql/statement.h"
#include "engine/testing/nce_failpoints.h"

namespace nce::testing {

bool GetStatementOptions(NDSHANDLE handle, StatementOptions* options) {
  auto statement = HandleTable::Instance().FindAs<Statement>(handle, ObjectKind::kStatement);
  if (!statement || !options) return false;
  RecursiveLockGuard lock(statement->connection().mutex());
  *options = statement->options;
  return true;
}

bool GetStatementText(NDSHANDLE handle, std::string* text) {
  auto statement = HandleTable::Instance().FindAs<Statement>(handle, ObjectKind::kStatement);
  if (!statement || !text) return false;
  RecursiveLockGuard lock(statement->connection().mutex());
  *text = statement->text();
  return true;
}

void SetBusyTimeout(int milliseconds) {
  g_busy_timeout_ms.store(milliseconds);
}
int BusyTimeout() {
  return g_busy_timeout_ms.load();
}

void SetServerCopyAsText(bool text) {
  g_server_copy_as_text.store(text);
}

size_t LiveHandleCount() {
  return HandleTable::Instance().Count();
}

}  // namespace nce::testing
