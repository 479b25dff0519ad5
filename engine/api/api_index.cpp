// Engine functions of index files and index orders: creating, opening,
// closing and describing them.
#include "engine/api/api_index_support.h"
#include "engine/base/sql_text.h"

using namespace nce;

namespace {

template <class T>
T& Out(T* place, const char* what) {
  RequireArgument(place, what);
  return *place;
}

// Copies order handles into the caller's array of *count places; fewer
// places than orders answers NDS_E_INSUFFICIENT_BUFFER with the full count.
NDSRESULT CopyHandles(const std::vector<std::shared_ptr<IndexOrder>>& orders, NDSHANDLE* handles,
                      uint16_t* count) {
  uint16_t& room = Out(count, "count");
  size_t n = std::min<size_t>(orders.size(), room);
  if (n && !handles)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "No place was given for the order handles.");
  for (size_t i = 0; i < n; ++i) handles[i] = orders[i]->handle();
  bool fits = orders.size() <= room;
  room = static_cast<uint16_t>(orders.size());
  if (!fits)
    throw EngineError(NDS_E_INSUFFICIENT_BUFFER, "The cursor has " + std::to_string(orders.size()) +
                                                     " index orders; the array holds fewer.");
  return NDS_SUCCESS;
}

uint16_t Flag(const IndexOrder& order, uint32_t bit) {
  return (order.def().flags & bit) ? 1 : 0;
}

}  // namespace

extern "C" {

NDSRESULT NdsCreateIndex(NDSHANDLE cursorHandle, const char* indexFile, const char* orderName,
                         const char* expression, const char* condition, uint32_t options,
                         NDSHANDLE* order) {
  return Guarded("NdsCreateIndex", [&] {
    RequireArgument(orderName, "order name");
    RequireArgument(expression, "key expression");
    Out(order, "order handle") = 0;
    std::shared_ptr<Cursor> cursor = RequireCursor(cursorHandle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    auto created = CreateOrderOnCursor(*cursor, indexFile ? indexFile : "", orderName, expression,
                                       condition ? condition : "", options);
    *order = created->handle();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsOpenIndex(NDSHANDLE cursorHandle, const char* indexFile, NDSHANDLE* orders,
                       uint16_t* count) {
  return Guarded("NdsOpenIndex", [&] {
    RequireArgument(indexFile, "index file name");
    std::shared_ptr<Cursor> cursor = RequireCursor(cursorHandle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    return CopyHandles(OpenIndexFile(*cursor, indexFile), orders, count);
  });
}

NDSRESULT NdsCloseIndex(NDSHANDLE handle) {
  return WithOrder("NdsCloseIndex", handle, [&](IndexOrder& order, Cursor& cursor) {
    CloseIndexFile(cursor, order);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetNumIndexes(NDSHANDLE handle, uint16_t* count) {
  return WithAnyCursor("NdsGetNumIndexes", handle, [&](Cursor& cursor) {
    Out(count, "count") = static_cast<uint16_t>(OrdersOf(cursor).orders.size());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetAllIndexes(NDSHANDLE handle, NDSHANDLE* orders, uint16_t* count) {
  return WithAnyCursor("NdsGetAllIndexes", handle, [&](Cursor& cursor) {
    return CopyHandles(OrdersOf(cursor).orders, orders, count);
  });
}

NDSRESULT NdsGetIndexHandle(NDSHANDLE handle, const char* orderName, NDSHANDLE* order) {
  return WithAnyCursor("NdsGetIndexHandle", handle, [&](Cursor& cursor) {
    Out(order, "order handle") = 0;
    if (orderName == nullptr || *orderName == '\0') {
      // Without a name: the order the cursor walks in, 0 for record-number order.
      if (const auto& active = OrdersOf(cursor).active) *order = active->handle();
      return NDS_SUCCESS;
    }
    for (const auto& o : OrdersOf(cursor).orders) {
      if (EqualsNoCase(o->def().name, orderName)) {
        *order = o->handle();
        return NDS_SUCCESS;
      }
    }
    throw EngineError(
        NDS_E_INVALID_ARGUMENT,
        "The cursor on " + cursor.desc.name + " has no open index order named " + orderName + ".");
  });
}

NDSRESULT NdsGetIndexName(NDSHANDLE handle, char* name, uint16_t* length) {
  return WithOrder("NdsGetIndexName", handle, [&](IndexOrder& order, Cursor&) {
    return CopyOut(order.def().name, name, length);
  });
}

NDSRESULT NdsGetIndexFilename(NDSHANDLE handle, uint16_t option, char* name, uint16_t* length) {
  return WithOrder("NdsGetIndexFilename", handle, [&](IndexOrder& order, Cursor& cursor) {
    const std::string& file = order.def().file;
    switch (option) {
      case NDS_BASENAME:
        return CopyOut(file.substr(0, file.rfind('.')), name, length);
      case NDS_BASENAMEANDEXT:
        return CopyOut(file, name, length);
      case NDS_FULLPATHNAME:
        return CopyOut(cursor.connection().location().database_path + "/" + file, name, length);
      default:
        throw EngineError(NDS_E_INVALID_OPTION,
                          "Unknown file name option " + std::to_string(option) + ".");
    }
  });
}

NDSRESULT NdsGetIndexPageSize(NDSHANDLE handle, uint32_t* pageSize) {
  return WithOrder("NdsGetIndexPageSize", handle, [&](IndexOrder& order, Cursor&) {
    Out(pageSize, "page size") = order.def().table_type == NDS_NTX ? 1024 : 512;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetIndexFlags(NDSHANDLE handle, uint32_t* flags) {
  return WithOrder("NdsGetIndexFlags", handle, [&](IndexOrder& order, Cursor&) {
    Out(flags, "flags") = order.def().flags;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetIndexCondition(NDSHANDLE handle, char* condition, uint16_t* length) {
  return WithOrder("NdsGetIndexCondition", handle, [&](IndexOrder& order, Cursor&) {
    return CopyOut(order.def().condition, condition, length);
  });
}

NDSRESULT NdsGetNumSegments(NDSHANDLE handle, uint16_t* count) {
  return WithOrder("NdsGetNumSegments", handle, [&](IndexOrder& order, Cursor&) {
    Out(count, "count") = static_cast<uint16_t>(order.def().segments.size());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetSegmentFieldname(NDSHANDLE handle, uint16_t segment, char* name, uint16_t* length) {
  return WithOrder("NdsGetSegmentFieldname", handle, [&](IndexOrder& order, Cursor&) {
    const auto& segments = order.def().segments;
    // Answered without throwing: callers read the segments until this answer.
    if (segment >= segments.size())
      return Fail(NDS_E_INVALID_FIELD,
                  "The order " + order.def().name + " has " + std::to_string(segments.size()) +
                      " segment(s); segment " + std::to_string(segment) + " does not exist.");
    return CopyOut(segments[segment].name, name, length);
  });
}

NDSRESULT NdsIsIndexDescending(NDSHANDLE handle, uint16_t* descending) {
  return WithOrder("NdsIsIndexDescending", handle, [&](IndexOrder& order, Cursor&) {
    Out(descending, "answer") = Flag(order, NDS_INDEX_DESCENDING);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsIndexUnique(NDSHANDLE handle, uint16_t* unique) {
  return WithOrder("NdsIsIndexUnique", handle, [&](IndexOrder& order, Cursor&) {
    Out(unique, "answer") = Flag(order, NDS_INDEX_UNIQUE);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsIndexPrimaryKey(NDSHANDLE handle, uint16_t* primaryKey) {
  return WithOrder("NdsIsIndexPrimaryKey", handle, [&](IndexOrder& order, Cursor&) {
    Out(primaryKey, "answer") = Flag(order, NDS_INDEX_PRIMARY);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsIndexCustom(NDSHANDLE handle, uint16_t* custom) {
  return WithOrder("NdsIsIndexCustom", handle, [&](IndexOrder&, Cursor&) {
    Out(custom, "answer") = 0;  // every order is kept up to date by the engine
    return NDS_SUCCESS;
  });
}

}  // extern "C"
