#include "engine/index/index_order.h"

#include <algorithm>

#include "engine/base/errors.h"
#include "engine/base/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/base/sqlite_stmt.h"
#include "engine/expr/expr_sql.h"
#include "nce/nce.h"

namespace nce {
namespace {

// Widest key an order may have, as scope and key buffers are this long.
constexpr uint32_t kMaxKeyLength = 4082;

void CollectFields(const ExprNode& node, std::set<std::string>& fields) {
  if (node.kind == ExprNode::Kind::kField) fields.insert(UpperAscii(node.text));
  for (const ExprPtr& arg : node.args) CollectFields(*arg, fields);
}

// The terms of a top-level chain of '+'.
void FlattenPlus(ExprPtr node, std::vector<ExprPtr>& terms) {
  if (node->kind == ExprNode::Kind::kBinary && node->text == "+") {
    FlattenPlus(std::move(node->args[0]), terms);
    FlattenPlus(std::move(node->args[1]), terms);
    return;
  }
  terms.push_back(std::move(node));
}

OrderSegment MakeSegment(ExprPtr node, const ExprContext& context, const std::string& text) {
  OrderSegment segment;
  SqlExpr e = TranslateExpression(*node, context);
  if (e.type == ExprType::kString && !e.fixed_length && e.length == 0)
    throw EngineError(
        NDS_E_BAD_EXPRESSION,
        "Error in expression at position " + std::to_string(node->position) +
            ": a key of a memo or variable-length value needs a width (use SUBSTR or LEFT)");
  segment.shape.type = KeyTypeLetter(e.type);
  segment.shape.width = e.length;
  // Keys of case-insensitive strings sort without regard to letter case.
  segment.sql = e.case_insensitive ? "upper(" + e.sql + ")" : e.sql;
  CollectFields(*node, segment.fields);
  const ExprNode* inner = node.get();
  if (inner->kind == ExprNode::Kind::kField) {
    segment.bare_field = true;
    for (const FieldDesc& f : *context.fields)
      if (EqualsNoCase(f.name, inner->text)) segment.name = f.name;
  } else {
    segment.name = text;
  }
  segment.node = std::move(node);
  return segment;
}

std::string SqliteIndexName(const std::string& table, const std::string& order) {
  return std::string(kReservedPrefix) + "ix_" + table + "_" + order;
}

}  // namespace

bool OrderDef::descending() const {
  return flags & NDS_INDEX_DESCENDING;
}
bool OrderDef::unique() const {
  return flags & NDS_INDEX_UNIQUE;
}

uint32_t OrderDef::key_length() const {
  uint32_t length = 0;
  for (const OrderSegment& s : segments) length += KeySegmentWidth(s.shape);
  return length;
}

std::string OrderDef::VisibleRowsSql() const {
  std::string sql = condition_sql;
  if (unique() && table_type != NDS_NDT) {
    std::string first_only = "NOT EXISTS (SELECT 1 FROM " + QuoteIdentifier(table) +
                             " AS _nce_u WHERE " + key_sql + " = " + outer_key_sql +
                             " AND _nce_u.rowid < " + QuoteIdentifier(table) + ".rowid)";
    sql = sql.empty() ? first_only : "(" + sql + ") AND " + first_only;
  }
  return sql;
}

std::string StructuralIndexFile(const TableDesc& table) {
  if (table.table_type == NDS_NTX) return {};
  return table.name + "." + IndexFileExtension(table.table_type);
}

std::string DefaultIndexFile(const TableDesc& table, const std::string& order_name) {
  if (table.table_type == NDS_NTX) return order_name + ".ntx";
  return StructuralIndexFile(table);
}

std::string IndexFileExtension(uint16_t table_type) {
  switch (table_type) {
    case NDS_CDX:
      return "cdx";
    case NDS_NTX:
      return "ntx";
    default:
      return "ndi";
  }
}

OrderPtr CompileOrder(const TableDesc& table, const std::string& file, const std::string& name,
                      const std::string& expression, const std::string& condition, uint32_t flags) {
  if (name.empty() || name.size() > 128)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "An index order needs a name of 1 to 128 characters.");
  if (flags & NDS_INDEX_CUSTOM)
    throw EngineError(NDS_E_INVALID_OPTION,
                      "This engine keeps every order up to date; custom orders are not offered.");
  if (flags & ~(NDS_INDEX_UNIQUE | NDS_INDEX_DESCENDING | NDS_INDEX_PRIMARY))
    throw EngineError(NDS_E_INVALID_OPTION, "Unknown index options " + std::to_string(flags) + ".");
  auto order = std::make_shared<OrderDef>();
  order->table = table.name;
  order->table_type = table.table_type;
  order->file = file;
  order->name = name;
  order->expression = expression;
  order->condition = condition;
  order->flags = flags;
  order->sqlite_index = SqliteIndexName(table.name, name);
  ExprContext context;
  context.fields = &table.fields;
  context.exact = true;

  std::vector<std::string> texts = SplitKeySegments(expression);
  for (const std::string& text : texts) {
    ExprPtr node = ParseExpression(text);
    SqlExpr whole = TranslateExpression(*node, context);
    std::vector<ExprPtr> terms;
    if (whole.type == ExprType::kString && whole.fixed_length &&
        node->kind == ExprNode::Kind::kBinary && node->text == "+") {
      // "LAST+FIRST": padded strings joined are their segments one after
      // the other, so each term is a segment of its own.
      FlattenPlus(std::move(node), terms);
    } else {
      terms.push_back(std::move(node));
    }
    for (ExprPtr& term : terms) {
      std::string term_text = texts.size() == 1 && terms.size() == 1 ? text : CanonicalText(*term);
      order->segments.push_back(MakeSegment(std::move(term), context, term_text));
    }
  }
  if (order->key_length() > kMaxKeyLength)
    throw EngineError(NDS_E_BAD_EXPRESSION, "The key of order " + name + " is " +
                                                std::to_string(order->key_length()) +
                                                " bytes long; at most " +
                                                std::to_string(kMaxKeyLength) + " are allowed.");
  std::vector<KeySegmentSpec> shapes;
  for (const OrderSegment& s : order->segments) shapes.push_back(s.shape);
  order->key_sql = "nce_key(" + QuoteLiteral(KeySpecText(shapes));
  for (const OrderSegment& s : order->segments) order->key_sql += ", " + s.sql;
  order->key_sql += ")";
  ExprContext outer = context;
  outer.qualifier = table.name;
  order->outer_key_sql = "nce_key(" + QuoteLiteral(KeySpecText(shapes));
  for (const OrderSegment& s : order->segments) {
    SqlExpr e = TranslateExpression(*s.node, outer);
    order->outer_key_sql += ", " + (e.case_insensitive ? "upper(" + e.sql + ")" : e.sql);
  }
  order->outer_key_sql += ")";
  if (!condition.empty()) {
    ExprPtr node = ParseExpression(condition);
    order->condition_sql = TranslateCondition(*node, context);
  }
  return order;
}

void CreateOrder(sqlite3* db, const OrderDef& order) {
  SqliteStmt exists(db,
                    "SELECT 1 FROM _nce_index_orders WHERE table_name = ?1 AND order_name = ?2");
  exists.Bind(1, order.table).Bind(2, order.name);
  if (exists.Step())
    throw EngineError(
        NDS_E_INVALID_ARGUMENT,
        "The table " + order.table + " already has an index order named " + order.name + ".");
  std::string create = std::string("CREATE ") +
                       (order.unique() && order.table_type == NDS_NDT ? "UNIQUE " : "") + "INDEX " +
                       QuoteIdentifier(order.sqlite_index) + " ON " + QuoteIdentifier(order.table) +
                       "(" + order.key_sql + ")";
  if (!order.condition_sql.empty()) create += " WHERE " + order.condition_sql;
  ExecSql(db, create.c_str());
  SqliteStmt position(
      db, "SELECT coalesce(max(position), 0) + 1 FROM _nce_index_orders WHERE table_name = ?1");
  position.Bind(1, order.table);
  position.Step();
  int64_t next = position.Int(0);
  SqliteStmt file(db,
                  "INSERT OR IGNORE INTO _nce_index_files(table_name, file_name) VALUES(?1, ?2)");
  file.Bind(1, order.table).Bind(2, order.file).Run();
  SqliteStmt insert(
      db,
      "INSERT INTO _nce_index_orders(table_name, file_name, order_name, position, expression, "
      "condition, flags, sqlite_index) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  insert.Bind(1, order.table)
      .Bind(2, order.file)
      .Bind(3, order.name)
      .Bind(4, next)
      .Bind(5, order.expression)
      .Bind(6, order.condition)
      .Bind(7, static_cast<int64_t>(order.flags))
      .Bind(8, order.sqlite_index)
      .Run();
}

std::vector<OrderPtr> LoadOrders(sqlite3* db, const TableDesc& table, const std::string& file) {
  SqliteStmt stmt(
      db,
      "SELECT file_name, order_name, expression, condition, flags FROM _nce_index_orders "
      "WHERE table_name = ?1 AND (?2 = '' OR file_name = ?2 COLLATE NOCASE) ORDER BY position");
  stmt.Bind(1, table.name).Bind(2, file);
  std::vector<OrderPtr> orders;
  while (stmt.Step())
    orders.push_back(CompileOrder(table, stmt.Text(0), stmt.Text(1), stmt.Text(2), stmt.Text(3),
                                  static_cast<uint32_t>(stmt.Int(4))));
  return orders;
}

bool IndexFileExists(sqlite3* db, const TableDesc& table, const std::string& file) {
  SqliteStmt stmt(
      db, "SELECT 1 FROM _nce_index_files WHERE table_name = ?1 AND file_name = ?2 COLLATE NOCASE");
  stmt.Bind(1, table.name).Bind(2, file);
  return stmt.Step();
}

bool DropOrder(sqlite3* db, const std::string& name) {
  SqliteStmt find(db,
                  "SELECT table_name, order_name, sqlite_index, file_name FROM _nce_index_orders "
                  "WHERE order_name = ?1 OR sqlite_index = ?1 COLLATE NOCASE");
  find.Bind(1, name);
  if (!find.Step()) return false;
  std::string table = find.Text(0), order = find.Text(1), index = find.Text(2), file = find.Text(3);
  if (find.Step())
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "Several tables have an index order named " + name + "; drop it by table.");
  ExecSql(db, ("DROP INDEX IF EXISTS " + QuoteIdentifier(index)).c_str());
  SqliteStmt remove(db, "DELETE FROM _nce_index_orders WHERE table_name = ?1 AND order_name = ?2");
  remove.Bind(1, table).Bind(2, order).Run();
  SqliteStmt empty_file(
      db,
      "DELETE FROM _nce_index_files WHERE table_name = ?1 AND file_name = ?2 AND NOT EXISTS "
      "(SELECT 1 FROM _nce_index_orders WHERE table_name = ?1 AND file_name = ?2)");
  empty_file.Bind(1, table).Bind(2, file).Run();
  return true;
}

void RenameOrdersOfTable(sqlite3* db, const std::string& from, const std::string& to) {
  std::vector<std::pair<std::string, std::string>> renames;  // old index, order name
  {
    SqliteStmt stmt(
        db,
        "SELECT sqlite_index, order_name, file_name FROM _nce_index_orders WHERE table_name = ?1");
    stmt.Bind(1, from);
    while (stmt.Step()) renames.emplace_back(stmt.Text(0), stmt.Text(1));
  }
  // The structural file follows the table's name.
  std::string old_structural_prefix = UpperAscii(from) + ".";
  {
    SqliteStmt files(
        db,
        "UPDATE _nce_index_files SET table_name = ?2, file_name = CASE WHEN upper(file_name) "
        "LIKE ?3 THEN ?2 || substr(file_name, length(?1) + 1) ELSE file_name END WHERE table_name "
        "= ?1");
    files.Bind(1, from).Bind(2, to).Bind(3, old_structural_prefix + "%").Run();
    SqliteStmt orders(
        db,
        "UPDATE _nce_index_orders SET table_name = ?2, file_name = CASE WHEN upper(file_name) "
        "LIKE ?3 THEN ?2 || substr(file_name, length(?1) + 1) ELSE file_name END WHERE table_name "
        "= ?1");
    orders.Bind(1, from).Bind(2, to).Bind(3, old_structural_prefix + "%").Run();
  }
  // SQLite keeps the indexes with the renamed table; their names follow.
  for (const auto& [index, order] : renames) {
    std::string sql;
    {
      // Read and finished before the index is dropped: SQLite refuses to
      // change the schema under a pending read of it.
      SqliteStmt read(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?1");
      read.Bind(1, index);
      if (read.Step()) sql = read.Text(0);
    }
    if (sql.empty()) continue;
    std::string renamed = SqliteIndexName(to, order);
    size_t at = sql.find(QuoteIdentifier(index));
    if (at == std::string::npos) continue;
    sql.replace(at, QuoteIdentifier(index).size(), QuoteIdentifier(renamed));
    ExecSql(db, ("DROP INDEX " + QuoteIdentifier(index)).c_str());
    ExecSql(db, sql.c_str());
    SqliteStmt update(
        db,
        "UPDATE _nce_index_orders SET sqlite_index = ?1 WHERE table_name = ?2 AND order_name = ?3");
    update.Bind(1, renamed).Bind(2, to).Bind(3, order).Run();
  }
}

}  // namespace nce
