// Engine functions of raw keys, seeks and scopes on index orders.
#include <cstring>

#include "engine/api/api_index_support.h"
#include "engine/index/index_keys.h"

using namespace nce;

namespace {

std::optional<std::string>& ScopeEnd(IndexOrder& order, uint16_t end) {
  if (end == NDS_TOP) return order.top;
  if (end == NDS_BOTTOM) return order.bottom;
  throw EngineError(NDS_E_INVALID_OPTION, "Unknown scope end " + std::to_string(end) + ".");
}

void ApplyIfActive(IndexOrder& order, Cursor& cursor) {
  if (OrdersOf(cursor).active.get() == &order) ApplyConditions(cursor);
}

}  // namespace

extern "C" {

NDSRESULT NdsInitRawKey(NDSHANDLE handle) {
  return WithOrder("NdsInitRawKey", handle, [&](IndexOrder& order, Cursor&) {
    order.key_fields.clear();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsBuildRawKey(NDSHANDLE handle, void* key, uint16_t* length) {
  return WithOrder("NdsBuildRawKey", handle, [&](IndexOrder& order, Cursor& cursor) {
    RequireArgument(length, "key length");
    std::string bytes = BuildRawKey(order, cursor);
    uint16_t room = *length;
    *length = static_cast<uint16_t>(bytes.size());
    if (bytes.size() > room || (!key && !bytes.empty()))
      throw EngineError(NDS_E_INSUFFICIENT_BUFFER, "The key of order " + order.def().name +
                                                       " takes " + std::to_string(bytes.size()) +
                                                       " bytes.");
    if (!bytes.empty()) std::memcpy(key, bytes.data(), bytes.size());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSeek(NDSHANDLE handle, const void* key, uint16_t length, uint16_t keyType,
                  uint16_t seekType, uint16_t* found) {
  return Guarded("NdsSeek", [&] {
    RequireArgument(found, "found flag");
    *found = 0;
    if (seekType != NDS_SOFTSEEK && seekType != NDS_HARDSEEK)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown seek type " + std::to_string(seekType) + ".");
    std::shared_ptr<IndexOrder> order = RequireOrder(handle);
    std::shared_ptr<Cursor> cursor = order->cursor();
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    std::string bytes = KeyFromCaller(*order, key, length, keyType);
    *found = Seek(order, *cursor, bytes, seekType == NDS_HARDSEEK) ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetScope(NDSHANDLE handle, uint16_t scopeEnd, const void* key, uint16_t length,
                      uint16_t keyType) {
  return WithOrder("NdsSetScope", handle, [&](IndexOrder& order, Cursor& cursor) {
    std::optional<std::string>& end = ScopeEnd(order, scopeEnd);
    end = KeyFromCaller(order, key, length, keyType);
    ApplyIfActive(order, cursor);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetScope(NDSHANDLE handle, uint16_t scopeEnd, void* key, uint16_t* length) {
  return WithOrder("NdsGetScope", handle, [&](IndexOrder& order, Cursor&) {
    std::optional<std::string>& end = ScopeEnd(order, scopeEnd);
    // Answered without throwing: a search asks every order for its scopes.
    if (!end)
      return Fail(NDS_E_NO_SCOPE, std::string("The order ") + order.def().name + " has no " +
                                      (scopeEnd == NDS_TOP ? "top" : "bottom") + " scope.");
    return CopyOut(*end, static_cast<char*>(key), length);
  });
}

NDSRESULT NdsClearScope(NDSHANDLE handle, uint16_t scopeEnd) {
  return WithOrder("NdsClearScope", handle, [&](IndexOrder& order, Cursor& cursor) {
    std::optional<std::string>& end = ScopeEnd(order, scopeEnd);
    if (!end)
      throw EngineError(NDS_E_NO_SCOPE, std::string("The order ") + order.def().name + " has no " +
                                            (scopeEnd == NDS_TOP ? "top" : "bottom") + " scope.");
    end.reset();
    ApplyIfActive(order, cursor);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsClearAllScopes(NDSHANDLE handle) {
  return WithAnyCursor("NdsClearAllScopes", handle, [&](Cursor& cursor) {
    for (const auto& order : OrdersOf(cursor).orders) {
      order->top.reset();
      order->bottom.reset();
    }
    if (OrdersOf(cursor).active) ApplyConditions(cursor);
    return NDS_SUCCESS;
  });
}

}  // extern "C"
