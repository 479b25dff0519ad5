#include "engine/api/api_support.h"

#include "engine/index/index_cursor.h"

namespace nce {

NDSRESULT NotSupportedYet(const char* function) {
  return Fail(NDS_E_NOT_SUPPORTED, std::string(function) + " is not supported by this engine yet.");
}

std::shared_ptr<Connection> RequireConnection(NDSHANDLE handle) {
  auto connection = HandleTable::Instance().FindAs<Connection>(handle, ObjectKind::kConnection);
  if (!connection || !connection->is_open())
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "Handle " + std::to_string(handle) + " is not an open connection.");
  return connection;
}

std::shared_ptr<Statement> RequireStatement(NDSHANDLE handle) {
  auto statement = HandleTable::Instance().FindAs<Statement>(handle, ObjectKind::kStatement);
  if (!statement)
    throw EngineError(NDS_E_UNKNOWN_STATEMENT,
                      "Handle " + std::to_string(handle) + " is not an SQL statement.");
  return statement;
}

std::shared_ptr<Cursor> RequireCursor(NDSHANDLE handle) {
  std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
  // An index order stands for its cursor.
  if (object && object->kind() == ObjectKind::kIndexOrder) return CursorOfOrder(object);
  if (!object || (object->kind() != ObjectKind::kCursor && object->kind() != ObjectKind::kTable))
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "Handle " + std::to_string(handle) + " is not an open table or cursor.");
  return std::static_pointer_cast<Cursor>(object);
}

void ThrowMissingArgument(const char* what) {
  throw EngineError(NDS_E_INVALID_ARGUMENT,
                    std::string("No place was given for the ") + what + ".");
}

}  // namespace nce
