#include "engine/index/filter_conditions.h"

#include <atomic>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_sql.h"
#include "engine/expr/expr_values.h"
#include "engine/index/index_cursor.h"

namespace nce {
namespace {

void Conjuncts(const ExprNode& node, std::vector<const ExprNode*>& out) {
  if (node.kind == ExprNode::Kind::kBinary && node.text == "AND") {
    for (const ExprPtr& operand : node.args) Conjuncts(*operand, out);
    return;
  }
  out.push_back(&node);
}

// The constant on the right of a comparison, as key input for a segment of
// type `type`; false when it is not a constant of that kind.
bool ConstantKeyInput(const ExprNode& node, char type, KeyInput& input) {
  if (type == 'N') {
    if (node.kind == ExprNode::Kind::kNumber) {
      input.kind = KeyInput::Kind::kNumber;
      input.number = node.number;
      return true;
    }
    if (node.kind == ExprNode::Kind::kUnary && node.text == "-" &&
        node.args[0]->kind == ExprNode::Kind::kNumber) {
      input.kind = KeyInput::Kind::kNumber;
      input.number = -node.args[0]->number;
      return true;
    }
    return false;
  }
  if (type == 'D') {
    const ExprNode* text = &node;
    if (node.kind == ExprNode::Kind::kCall && (node.text == "CTOD" || node.text == "STOD") &&
        node.args.size() == 1)
      text = node.args[0].get();
    if (text->kind != ExprNode::Kind::kString) return false;
    std::optional<std::string> stored = StoredDate(text->text);
    if (!stored || stored->empty()) return false;
    input.kind = KeyInput::Kind::kText;
    input.text = *stored;
    return true;
  }
  if (type == 'S' && node.kind == ExprNode::Kind::kString) {
    input.kind = KeyInput::Kind::kText;
    input.text = node.text;
    return true;
  }
  return false;
}

// Key bytes as a literal of the store's SQL.
std::string KeyLiteral(const Cursor& cursor, const std::string& bytes) {
  return cursor.dialect().BytesLiteral(bytes);
}

// A range on the key of an open order that a comparison implies; "" when
// no order serves.
std::string KeyRange(Cursor& cursor, const ExprNode& comparison, bool exact) {
  static const char* const kOps[] = {"=", "==", "<", "<=", ">", ">="};
  bool known = false;
  for (const char* op : kOps) known = known || comparison.text == op;
  // A chain of comparisons ("a = b = c") compares a logical value last.
  if (comparison.kind != ExprNode::Kind::kBinary || comparison.args.size() != 2 || !known)
    return {};
  std::string left = CanonicalText(*comparison.args[0]);
  for (const auto& order : OrdersOf(cursor).orders) {
    const OrderDef& def = order->def();
    if (!def.VisibleRowsSql().empty() || def.segments.empty())
      continue;  // partial orders do not serve
    const OrderSegment& first = def.segments.front();
    if (CanonicalText(*first.node) != left) continue;
    KeyInput input;
    if (!ConstantKeyInput(*comparison.args[1], first.shape.type, input)) continue;
    std::string low, high;
    const std::string& op = comparison.text;
    if (first.shape.type == 'S') {
      if (op != "=" && op != "==") continue;
      std::string text = input.text;
      if (first.sql.rfind("upper(", 0) == 0) text = UpperAscii(text);
      if (exact || op == "==") {
        while (!text.empty() && text.back() == ' ') text.pop_back();
        text.resize(first.shape.width, ' ');
      } else if (text.size() > first.shape.width) {
        continue;
      }
      low = text;
      high = PrefixSuccessor(text);
    } else {
      std::string value;
      AppendKeyBytes(value, first.shape, input);
      std::string next = PrefixSuccessor(value);
      if (op == "=" || op == "==")
        low = value, high = next;
      else if (op == ">")
        low = next;
      else if (op == ">=")
        low = value;
      else if (op == "<")
        high = value;
      else
        high = next;
    }
    std::string range;
    if (!low.empty()) range = def.key_sql + " >= " + KeyLiteral(cursor, low);
    if (!high.empty())
      range += (range.empty() ? "" : " AND ") + def.key_sql + " < " + KeyLiteral(cursor, high);
    return range;
  }
  return {};
}

std::string NextSnapshotName() {
  static std::atomic<uint64_t> counter{0};
  return std::string(kReservedPrefix) + "aof_" + std::to_string(++counter);
}

// The schema of the connection's temporary tables, as the store names it.
std::string TempSchema(const Cursor& cursor) {
  return cursor.dialect().temp_schema();
}

ExprContext ContextOf(Cursor& cursor) {
  ExprContext context;
  context.fields = &cursor.desc.fields;
  context.exact = OrdersOf(cursor).exact;
  context.dialect = cursor.dialect().expressions();
  return context;
}

// Keeps the record numbers of the rows `sql` selects now in a new temporary
// table of the connection and returns its name. A table that could not be
// filled goes again.
std::string TakeSnapshot(Cursor& cursor, const std::string& sql) {
  StoreSession& session = RowsSession(cursor);
  std::string name = NextSnapshotName();
  std::string table = TempSchema(cursor) + QuoteIdentifier(name);
  session.Execute("CREATE TEMP TABLE " + QuoteIdentifier(name) + " (r " +
                  cursor.dialect().record_number_key() + ")");
  try {
    session
        .Prepare("INSERT INTO " + table + " SELECT rowid FROM " + cursor.QuotedTable() + " WHERE " +
                 sql)
        ->Step();
  } catch (...) {
    try {
      session.Execute("DROP TABLE IF EXISTS " + table);
    } catch (...) {
    }
    throw;
  }
  return name;
}

// Whether `value`, the result of a condition, holds: a number whose whole
// part is not 0, as SQLite reads a number as an integer; NULL counts as false.
bool Holds(const Value& value) {
  if (value.kind == Value::Kind::kReal) return value.real >= 1 || value.real <= -1;
  return value.kind == Value::Kind::kInteger && value.integer != 0;
}

// Whether the current record satisfies the condition `sql` as the table
// holds the record.
bool EvaluateOnStored(Cursor& cursor, const std::string& sql) {
  auto stmt = RowsSession(cursor).Prepare("SELECT (" + sql + ") FROM " + cursor.QuotedTable() +
                                          " WHERE rowid = ?1");
  stmt->Bind(1, Value::Integer(cursor.walk.record_number()));
  if (!stmt->Step())
    throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record no longer exists.");
  return Holds(stmt->Column(0));
}

}  // namespace

void DropOptimizedFilterSnapshot(Cursor& cursor) {
  if (!cursor.orders || cursor.orders->aof_snapshot.empty()) return;
  std::string table = TempSchema(cursor) + QuoteIdentifier(cursor.orders->aof_snapshot);
  cursor.orders->aof_snapshot.clear();
  if (!cursor.connection().is_open()) return;  // the connection's temporary tables went with it
  try {
    // A lost server session took its temporary tables along; it is not
    // connected again for this.
    StoreSession& session =
        cursor.rows_in_store() ? cursor.connection().session() : RowsSession(cursor);
    if (session.Connected()) session.Execute("DROP TABLE IF EXISTS " + table);
  } catch (...) {
    // Left to the session's end, which drops its temporary tables.
  }
}

std::string FilterSql(Cursor& cursor, const std::string& text) {
  ExprPtr node = ParseExpression(text);
  return TranslateCondition(*node, ContextOf(cursor));
}

void SetFilter(Cursor& cursor, const std::string& text) {
  std::string sql = FilterSql(cursor, text);
  CursorOrders& orders = OrdersOf(cursor);
  cursor.walk.SetCondition("filter", sql);
  orders.filter = text;
  ApplyConditions(cursor);
}

void SetOptimizedFilter(Cursor& cursor, const std::string& text, uint16_t options) {
  uint16_t resolve = options & (NDS_RESOLVE_IMMEDIATE | NDS_RESOLVE_DYNAMIC);
  uint16_t type = options & (NDS_AOF_KEYSET | NDS_AOF_FIXED);
  if ((options & ~(NDS_RESOLVE_IMMEDIATE | NDS_RESOLVE_DYNAMIC | NDS_AOF_KEYSET | NDS_AOF_FIXED)) ||
      resolve == (NDS_RESOLVE_IMMEDIATE | NDS_RESOLVE_DYNAMIC) ||
      type == (NDS_AOF_KEYSET | NDS_AOF_FIXED))
    throw EngineError(NDS_E_INVALID_OPTION,
                      "Unknown optimized filter options " + std::to_string(options) + ".");
  CursorOrders& orders = OrdersOf(cursor);
  ExprPtr node = ParseExpression(text);
  ExprContext context = ContextOf(cursor);
  std::string sql = TranslateCondition(*node, context);
  std::vector<const ExprNode*> parts;
  Conjuncts(*node, parts);
  for (const ExprNode* part : parts) {
    std::string range = KeyRange(cursor, *part, context.exact);
    if (!range.empty()) sql = "(" + range + ") AND " + sql;
  }
  DropOptimizedFilterSnapshot(cursor);
  if (type != NDS_AOF_DYNAMIC) {
    // Keyset and fixed filters keep the records that match now.
    orders.aof_snapshot = TakeSnapshot(cursor, sql);
    sql = "rowid IN (SELECT r FROM " + TempSchema(cursor) + QuoteIdentifier(orders.aof_snapshot) +
          ")";
  }
  cursor.walk.SetCondition("aof", sql);
  orders.aof = text;
  orders.aof_options = options;
  ApplyConditions(cursor);
}

bool ClearFilter(Cursor& cursor) {
  CursorOrders& orders = OrdersOf(cursor);
  if (orders.filter.empty()) return false;
  orders.filter.clear();
  cursor.walk.SetCondition("filter", "");
  ApplyConditions(cursor);
  return true;
}

bool ClearOptimizedFilter(Cursor& cursor) {
  CursorOrders& orders = OrdersOf(cursor);
  if (orders.aof.empty()) return false;
  orders.aof.clear();
  orders.aof_options = 0;
  DropOptimizedFilterSnapshot(cursor);
  cursor.walk.SetCondition("aof", "");
  ApplyConditions(cursor);
  return true;
}

bool EvaluateOnCurrent(Cursor& cursor, const std::string& text) {
  std::string sql = FilterSql(cursor, text);
  if (!cursor.walk.on_record())
    throw EngineError(NDS_E_NO_CURRENT_RECORD, "There is no current record.");
  if (!cursor.writer.appending()) return EvaluateOnStored(cursor, sql);
  // An unwritten append is not in the table: its own values stand in.
  Value holds = cursor.writer.EvaluateOnAppended(sql, "");
  if (holds.kind == Value::Kind::kUnset)
    throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record no longer exists.");
  return Holds(holds);
}

}  // namespace nce
