// The index orders, scopes and filters of one open cursor. Each order the
// cursor has open is an object of its own with a handle (NDS_HANDLE_INDEX_ORDER);
// navigating through an order's handle walks the cursor in that order with
// that order's scopes, navigating through the cursor's own handle walks it
// in record-number order. Filters and optimized filters belong to the cursor
// and apply in every order.
#ifndef ENGINE_INDEX_INDEX_CURSOR_H
#define ENGINE_INDEX_INDEX_CURSOR_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/handles.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor.h"
#include "engine/index/index_order.h"
#include "engine/storage/walk_statement.h"

namespace nce {

class IndexOrder : public Object {
 public:
  IndexOrder(std::weak_ptr<Cursor> cursor, std::shared_ptr<Connection> connection, OrderPtr def)
      : Object(ObjectKind::kIndexOrder),
        cursor_(std::move(cursor)),
        connection_(std::move(connection)),
        def_(std::move(def)) {}
  ~IndexOrder() override;

  // The cursor the order belongs to; throws NDS_E_INVALID_HANDLE once it is closed.
  std::shared_ptr<Cursor> cursor() const;
  const OrderDef& def() const { return *def_; }

  // Scope ends as key bytes (prefixes); nullopt while that end is open.
  std::optional<std::string> top, bottom;

  // A field value given for a raw key (NdsSetField and friends on the order).
  struct KeyField {
    Value value;  // the value in stored form
    uint32_t given_length =
        0;  // length of a string as given: shorter than the field is a partial key
  };
  std::map<size_t, KeyField> key_fields;  // by field index

  // Statements kept for seeks and for building raw keys (a search builds a
  // key, then seeks, every time): re-prepared when their text or session
  // changes. The seek runs where the rows are (the cursor's SQLite database
  // or its server session); a key is a computation over given values, which
  // `session` makes as SQLite makes it (KeySession).
  WalkStatement& SeekStatement(Cursor& cursor, const std::string& sql);
  StoreStatement& KeyStatement(StoreSession& session, const std::string& sql);
  // Drops the kept statements; before a server session they ran on goes.
  void DropStatements();

 private:
  std::weak_ptr<Cursor> cursor_;               // the cursor the order was opened on
  std::shared_ptr<Connection> connection_;     // its connection, whose lock the statements need
  OrderPtr def_;                               // what the order is
  std::unique_ptr<WalkStatement> seek_;        // prepared seek
  std::string seek_sql_;                       // its text
  const StoreSession* seek_store_ = nullptr;   // the store's session when it was prepared
  std::unique_ptr<StoreStatement> key_;        // prepared key evaluation
  std::string key_sql_;                        // its text
  const StoreSession* key_session_ = nullptr;  // the session it was prepared on
};

struct CursorOrders {
  bool loaded = false;                              // the structural file was opened
  std::vector<std::shared_ptr<IndexOrder>> orders;  // open orders, in opening order
  std::shared_ptr<IndexOrder> active;               // order the cursor walks in; null: natural
  bool exact = false;                               // NdsSetExact22
  std::string filter;                               // NdsSetFilter text, "" for none
  std::string aof;                                  // NdsSetAOF text, "" for none
  uint16_t aof_options = 0;                         // its options
  std::string aof_snapshot;                         // temp table of a keyset or fixed AOF
};

// The cursor's orders, opening its structural index file on first use.
CursorOrders& OrdersOf(Cursor& cursor);

// The order of `handle`; throws NDS_E_INVALID_HANDLE for any other handle.
std::shared_ptr<IndexOrder> RequireOrder(NDSHANDLE handle);
// The cursor behind a cursor or order handle (for functions that accept both).
std::shared_ptr<Cursor> CursorOfOrder(const std::shared_ptr<Object>& order);

// Opens the orders of index file `path` (directory part ignored) on the
// cursor; orders already open are given again. Throws NDS_E_INVALID_PATH
// when the table has no such file.
std::vector<std::shared_ptr<IndexOrder>> OpenIndexFile(Cursor& cursor, const std::string& path);
// Closes every order of the file `order` belongs to; a closed active order
// returns the cursor to record-number order.
void CloseIndexFile(Cursor& cursor, const IndexOrder& order);
// Creates an order on the cursor's table and opens it on the cursor.
std::shared_ptr<IndexOrder> CreateOrderOnCursor(Cursor& cursor, const std::string& file,
                                                const std::string& name,
                                                const std::string& expression,
                                                const std::string& condition, uint32_t flags);
// Forgets the cursor's orders and their handles (the cursor closes).
void ReleaseOrders(Cursor& cursor);

// Walks the cursor in `order` (null: record-number order), keeping its place.
// With `repositions` the caller moves the cursor right after, as a seek does
// (see CursorWalk::Reattach).
void UseOrder(Cursor& cursor, const std::shared_ptr<IndexOrder>& order, bool repositions = false);
// Rebuilds the walk's conditions from the active order's scopes and the
// cursor's filters, keeping the cursor's place.
void ApplyConditions(Cursor& cursor, bool repositions = false);

// The session on which the cursor's rows are: the server's (connected again
// when it was lost outside a transaction), the store's own for a table, or
// the connection's private database for the rows of a static cursor.
StoreSession& RowsSession(Cursor& cursor);
// The session that computes keys over given values as the SQLite store's
// key function does: the store's own, or on a server the connection's
// private database.
StoreSession& KeySession(Cursor& cursor);

// Resolves a navigation handle: an order handle makes that order active, a
// cursor handle makes the cursor walk in record-number order.
std::shared_ptr<Cursor> NavigationCursor(NDSHANDLE handle);

}  // namespace nce

#endif  // ENGINE_INDEX_INDEX_CURSOR_H
