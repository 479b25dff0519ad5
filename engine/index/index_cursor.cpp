#include "engine/index/index_cursor.h"

#include <algorithm>
#include <mutex>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/index/filter_conditions.h"
#include "engine/storage/write_transaction.h"

namespace nce {
namespace {

std::string FilePart(const std::string& path) {
  std::string normal = NormalisePath(path);
  size_t slash = normal.rfind('/');
  return slash == std::string::npos ? normal : normal.substr(slash + 1);
}

// Only tables of the store carry index orders, not the rows of a static cursor.
bool HasOrders(const Cursor& cursor) {
  return cursor.live;
}

std::shared_ptr<IndexOrder> Register(Cursor& cursor, OrderPtr def) {
  auto order = std::make_shared<IndexOrder>(
      std::static_pointer_cast<Cursor>(HandleTable::Instance().Find(cursor.handle())),
      cursor.connection_ptr(), std::move(def));
  HandleTable::Instance().Add(order);
  cursor.orders->orders.push_back(order);
  return order;
}

// The rows the active order shows: inside its scopes, and its own condition.
// A server's session reads the blob literals as bytea.
std::string ScopeSql(const IndexOrder& order) {
  const OrderDef& def = order.def();
  std::vector<std::string> parts;
  const std::string& key = def.key_sql;
  // The first end of a descending order holds the greatest keys.
  const std::optional<std::string>& low = def.descending() ? order.bottom : order.top;
  const std::optional<std::string>& high = def.descending() ? order.top : order.bottom;
  if (low) parts.push_back(key + " >= " + BlobLiteral(*low));
  if (high) {
    std::string next = PrefixSuccessor(*high);
    if (!next.empty()) parts.push_back(key + " < " + BlobLiteral(next));
  }
  std::string visible = def.VisibleRowsSql();
  if (!visible.empty()) parts.push_back(visible);
  std::string sql;
  for (const std::string& p : parts) sql += (sql.empty() ? "" : " AND ") + ("(" + p + ")");
  return sql;
}

// The catalog of the cursor's store: the orders of `file` and whether it exists.
std::vector<OrderPtr> LoadCursorOrders(Cursor& cursor, const std::string& file) {
  return LoadOrders(RowsSession(cursor), cursor.desc, file);
}

bool CursorIndexFileExists(Cursor& cursor, const std::string& file) {
  return IndexFileExists(RowsSession(cursor), cursor.desc, file);
}

// Makes the order in a transaction of its own, or under a savepoint inside
// the caller's, so that a refusal (duplicate keys of a unique order) leaves
// nothing behind.
void CreateOrderInStore(StoreSession& session, const OrderDef& def) {
  const bool own = !session.InTransaction();
  if (own)
    BeginWriting(session);
  else
    session.Savepoint("_nce_create_order");
  try {
    CreateOrder(session, def);
    if (own)
      session.Commit();
    else
      session.ReleaseSavepoint("_nce_create_order");
  } catch (...) {
    if (own) {
      if (session.InTransaction()) session.Rollback();
    } else if (session.InTransaction()) {
      session.RollbackToSavepoint("_nce_create_order");
      session.ReleaseSavepoint("_nce_create_order");
    }
    throw;
  }
}

}  // namespace

IndexOrder::~IndexOrder() {
  // The last holder may be an engine function that has already released the
  // connection's lock, or the cursor closing under it (the lock is recursive).
  RecursiveLockGuard lock(connection_->mutex());
  seek_.reset();
  key_.reset();
}

void IndexOrder::DropStatements() {
  seek_.reset();
  seek_store_ = nullptr;
  key_.reset();
  key_session_ = nullptr;
}

std::shared_ptr<Cursor> IndexOrder::cursor() const {
  std::shared_ptr<Cursor> cursor = cursor_.lock();
  if (!cursor)
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "The index order " + def_->name + " belongs to a closed cursor.");
  return cursor;
}

WalkStatement& IndexOrder::SeekStatement(Cursor& cursor, const std::string& sql) {
  const StoreSession* store = &cursor.connection().session();
  if (seek_ && seek_sql_ == sql && seek_store_ == store) return *seek_;
  seek_.reset();
  seek_store_ = nullptr;
  // A walk statement encodes records straight from the stepped row.
  seek_ = std::make_unique<WalkStatement>(cursor.rows_session(), sql);
  seek_sql_ = sql;
  seek_store_ = store;
  return *seek_;
}

StoreStatement& IndexOrder::KeyStatement(StoreSession& session, const std::string& sql) {
  if (key_ && key_sql_ == sql && key_session_ == &session) return *key_;
  key_.reset();
  key_session_ = nullptr;
  key_ = session.Prepare(sql);
  key_sql_ = sql;
  key_session_ = &session;
  return *key_;
}

StoreSession& RowsSession(Cursor& cursor) {
  return cursor.rows_session();
}

StoreSession& KeySession(Cursor& cursor) {
  // Keys of given values are computed where that costs no round trip.
  StoreSession& store = cursor.connection().session();
  return store.Remote() ? cursor.connection().scratch_session() : store;
}

CursorOrders& OrdersOf(Cursor& cursor) {
  if (!cursor.orders) {
    cursor.orders = std::make_shared<CursorOrders>();
    cursor.release_orders = &ReleaseOrders;
  }
  CursorOrders& orders = *cursor.orders;
  if (!orders.loaded) {
    orders.loaded = true;
    if (HasOrders(cursor)) {
      std::string structural = StructuralIndexFile(cursor.desc);
      if (!structural.empty())
        for (OrderPtr def : LoadCursorOrders(cursor, structural)) Register(cursor, std::move(def));
    }
  }
  return orders;
}

std::shared_ptr<IndexOrder> RequireOrder(NDSHANDLE handle) {
  auto order = HandleTable::Instance().FindAs<IndexOrder>(handle, ObjectKind::kIndexOrder);
  if (!order)
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "Handle " + std::to_string(handle) + " is not an open index order.");
  return order;
}

std::shared_ptr<Cursor> CursorOfOrder(const std::shared_ptr<Object>& object) {
  return std::static_pointer_cast<IndexOrder>(object)->cursor();
}

std::vector<std::shared_ptr<IndexOrder>> OpenIndexFile(Cursor& cursor, const std::string& path) {
  CursorOrders& orders = OrdersOf(cursor);
  std::string file = FilePart(path);
  if (file.empty()) throw EngineError(NDS_E_INVALID_PATH, "No index file name was given.");
  if (!HasOrders(cursor) || !CursorIndexFileExists(cursor, file))
    throw EngineError(NDS_E_INVALID_PATH,
                      "The table " + cursor.desc.name + " has no index file " + file + ".");
  std::vector<std::shared_ptr<IndexOrder>> opened;
  for (OrderPtr def : LoadCursorOrders(cursor, file)) {
    auto same = std::find_if(orders.orders.begin(), orders.orders.end(),
                             [&](const auto& o) { return EqualsNoCase(o->def().name, def->name); });
    opened.push_back(same != orders.orders.end() ? *same : Register(cursor, std::move(def)));
  }
  return opened;
}

void CloseIndexFile(Cursor& cursor, const IndexOrder& order) {
  CursorOrders& orders = OrdersOf(cursor);
  std::string file = order.def().file;
  bool active_closed = false;
  std::vector<std::shared_ptr<IndexOrder>> keep;
  for (std::shared_ptr<IndexOrder>& o : orders.orders) {
    if (EqualsNoCase(o->def().file, file)) {
      active_closed = active_closed || o == orders.active;
      HandleTable::Instance().Remove(o->handle());
    } else {
      keep.push_back(o);
    }
  }
  orders.orders = std::move(keep);
  if (active_closed) UseOrder(cursor, nullptr);
}

std::shared_ptr<IndexOrder> CreateOrderOnCursor(Cursor& cursor, const std::string& file,
                                                const std::string& name,
                                                const std::string& expression,
                                                const std::string& condition, uint32_t flags) {
  OrdersOf(cursor);
  if (!HasOrders(cursor))
    throw EngineError(NDS_E_STATIC_VIEW,
                      "Orders are made on tables; this cursor is a static query result.");
  std::string target = file.empty() ? DefaultIndexFile(cursor.desc, name) : FilePart(file);
  if (target.find('.') == std::string::npos)
    target += "." + IndexFileExtension(cursor.desc.table_type);
  OrderPtr def = CompileOrder(cursor.desc, target, name, expression, condition, flags,
                              cursor.dialect().expressions());
  CreateOrderInStore(RowsSession(cursor), *def);
  return Register(cursor, std::move(def));
}

void ReleaseOrders(Cursor& cursor) {
  if (!cursor.orders) return;
  CursorOrders& orders = *cursor.orders;
  for (const std::shared_ptr<IndexOrder>& o : orders.orders) {
    o->DropStatements();
    HandleTable::Instance().Remove(o->handle());
  }
  orders.orders.clear();
  orders.active.reset();
  DropOptimizedFilterSnapshot(cursor);
}

void UseOrder(Cursor& cursor, const std::shared_ptr<IndexOrder>& order, bool repositions) {
  CursorOrders& orders = OrdersOf(cursor);
  if (orders.active == order) return;
  orders.active = order;
  ApplyConditions(cursor, repositions);
}

void ApplyConditions(Cursor& cursor, bool repositions) {
  CursorOrders& orders = OrdersOf(cursor);
  const std::shared_ptr<IndexOrder>& active = orders.active;
  cursor.walk.SetOrder(active ? active->def().key_sql : std::string(),
                       active && active->def().descending());
  cursor.walk.SetCondition("scope", active ? ScopeSql(*active) : std::string());
  cursor.walk.Reattach(repositions);
}

std::shared_ptr<Cursor> NavigationCursor(NDSHANDLE handle) {
  std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
  if (object && object->kind() == ObjectKind::kIndexOrder) {
    auto order = std::static_pointer_cast<IndexOrder>(object);
    return order->cursor();
  }
  if (!object || (object->kind() != ObjectKind::kCursor && object->kind() != ObjectKind::kTable))
    throw EngineError(NDS_E_INVALID_HANDLE, "Handle " + std::to_string(handle) +
                                                " is not an open table, cursor or index order.");
  return std::static_pointer_cast<Cursor>(object);
}

}  // namespace nce
