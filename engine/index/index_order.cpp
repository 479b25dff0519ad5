#include "engine/index/index_order.h"

#include <algorithm>
#include <cstdio>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_sql.h"
#include "engine/storage/store_dialect.h"
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
    for (ExprPtr& operand : node->args) FlattenPlus(std::move(operand), terms);
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

// A server cuts names at 63 bytes, which could give two orders one index:
// a longer name keeps its start and gains a hash of the whole.
std::string ServerIndexName(const std::string& table, const std::string& order) {
  std::string name = SqliteIndexName(LowerAscii(table), order);
  constexpr size_t kMaxName = 63;
  if (name.size() <= kMaxName) return name;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  char tail[18];
  std::snprintf(tail, sizeof tail, "_%016llx", static_cast<unsigned long long>(hash));
  return name.substr(0, kMaxName - 17) + tail;
}

bool IsNumberLiteral(const ExprNode& node, double value) {
  return node.kind == ExprNode::Kind::kNumber && node.number == value;
}

// Why a server would compute the key segment `node` otherwise than SQLite,
// or "" when it computes the same bytes for every row. The server's
// translation (SqlDialect::kPostgres) gives SQLite's answers for the rest,
// through the IMMUTABLE helpers of postgres_sqlite_forms.h.
std::string ServerKeyMismatch(const ExprNode& node, const ExprContext& context) {
  for (const ExprPtr& arg : node.args) {
    std::string why = ServerKeyMismatch(*arg, context);
    if (!why.empty()) return why;
  }
  if (node.kind != ExprNode::Kind::kCall) return {};
  const std::string& f = node.text;
  size_t n = node.args.size();
  if (f == "DATE" || f == "TODAY" || f == "NOW") return f + "() changes with the clock";
  // SQLite compares strings of a case-insensitive field without letter case,
  // and keeps the first of two that differ in case alone.
  if ((f == "MAX" || f == "MIN") && n == 2 &&
      (TranslateExpression(*node.args[0], context).case_insensitive ||
       TranslateExpression(*node.args[1], context).case_insensitive))
    return f + " of a case-insensitive field compares otherwise there";
  if (f == "CHR" && !(n == 1 && node.args[0]->kind == ExprNode::Kind::kNumber &&
                      node.args[0]->number >= 0 && node.args[0]->number < 128))
    return "CHR of other than an ASCII code gives other characters there";
  if ((f == "PADL" || f == "PADR" || f == "PADC") && n > 0 &&
      TranslateExpression(*node.args[0], context).type != ExprType::kString)
    return f + " of a value that is no string writes it otherwise there";
  // SQLite's printf reads digits off a long double: the server writes the
  // same digits where at most 14 significant ones show.
  if (f == "STR" && n >= 2 && node.args[1]->kind == ExprNode::Kind::kNumber) {
    bool decimals = n == 3 && !IsNumberLiteral(*node.args[2], 0);
    if (node.args[1]->number - (decimals ? 1 : 0) > 14)
      return "STR wider than 14 digits may round otherwise there";
  }
  if (f == "ROUND" && !(n == 2 && IsNumberLiteral(*node.args[1], 0)))
    return "ROUND to decimals may round otherwise there";
  return {};
}

bool OrderNamed(StoreSession& session, const std::string& table, const std::string& name) {
  auto exists = session.Prepare(
      "SELECT 1 FROM _nce_index_orders WHERE upper(table_name) = upper(?1) AND "
      "upper(order_name) = upper(?2)");
  exists->Bind(1, Value::Text(table));
  exists->Bind(2, Value::Text(name));
  return exists->Step();
}

bool IndexFileExists(StoreSession& session, const std::string& table, const std::string& file) {
  auto stmt = session.Prepare(
      "SELECT 1 FROM _nce_index_files WHERE upper(table_name) = upper(?1) AND "
      "upper(file_name) = upper(?2)");
  stmt->Bind(1, Value::Text(table));
  stmt->Bind(2, Value::Text(file));
  return stmt->Step();
}

// A key segment in the server's SQL. Keys of case-insensitive strings map
// letter case for ASCII letters alone, as SQLite's upper() maps it; the
// server's own upper() would map others too, by its locale.
std::string ServerSegmentSql(const ExprNode& node, const ExprContext& context) {
  ExprContext server = context;
  server.dialect = SqlDialect::kPostgres;
  SqlExpr e = TranslateExpression(node, server);
  if (!e.case_insensitive) return e.sql;
  return "translate(" + e.sql + ", 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')";
}

[[noreturn]] void NotOnServer(const std::string& name, const std::string& what) {
  throw EngineError(NDS_E_NOT_SUPPORTED,
                    "The index order " + name + " is not supported on a server: " + what + ".");
}

// The key function over `segments` of `shapes`. A server's nce_key takes
// its values as text: the server's translation gives dates and times as
// the texts SQLite keeps already, numbers and logical values are cast.
std::string KeySql(const std::vector<KeySegmentSpec>& shapes,
                   const std::vector<std::string>& segments, bool server) {
  std::string sql = "nce_key(" + QuoteLiteral(KeySpecText(shapes));
  for (const std::string& segment : segments)
    sql += server ? ", (" + segment + ")::text" : ", " + segment;
  return sql + ")";
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
    std::string first_only = "NOT EXISTS (SELECT 1 FROM " + quoted_table + " AS _nce_u WHERE " +
                             key_sql + " = " + outer_key_sql + " AND _nce_u.rowid < " +
                             quoted_table + ".rowid)";
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
                      const std::string& expression, const std::string& condition, uint32_t flags,
                      SqlDialect dialect) {
  const bool server = dialect == SqlDialect::kPostgres;
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
  order->server = server;
  order->sqlite_index =
      server ? ServerIndexName(table.name, name) : SqliteIndexName(table.name, name);
  order->quoted_table = QuoteIdentifier(server ? LowerAscii(table.name) : table.name);
  ExprContext context;
  context.fields = &table.fields;
  context.exact = true;
  context.lower_case_names = server;

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
      if (server) {
        std::string mismatch = ServerKeyMismatch(*term, context);
        if (!mismatch.empty()) NotOnServer(name, mismatch);
      }
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
  // A segment's own SQL stays SQLite's, where keys are built from values
  // (BuildRawKey); the key over the table is the store's.
  std::vector<std::string> segment_sql;
  for (const OrderSegment& s : order->segments)
    segment_sql.push_back(server ? ServerSegmentSql(*s.node, context) : s.sql);
  order->key_sql = KeySql(shapes, segment_sql, server);
  ExprContext outer = context;
  outer.qualifier = table.name;
  segment_sql.clear();
  for (const OrderSegment& s : order->segments) {
    if (server) {
      segment_sql.push_back(ServerSegmentSql(*s.node, outer));
      continue;
    }
    SqlExpr e = TranslateExpression(*s.node, outer);
    segment_sql.push_back(e.case_insensitive ? "upper(" + e.sql + ")" : e.sql);
  }
  order->outer_key_sql = KeySql(shapes, segment_sql, server);
  if (!condition.empty()) {
    ExprPtr node = ParseExpression(condition);
    ExprContext condition_context = context;
    if (server) condition_context.dialect = SqlDialect::kPostgres;
    order->condition_sql = TranslateCondition(*node, condition_context);
  }
  return order;
}

namespace {

std::string OneText(StoreStatement& stmt, int column) {
  return stmt.Column(column).bytes;
}

}  // namespace

// Names compare without regard to letter case, as the SQLite catalog's
// NOCASE columns compare them; upper() says so to a server as well.
void CreateOrder(StoreSession& session, const OrderDef& order) {
  if (OrderNamed(session, order.table, order.name))
    throw EngineError(
        NDS_E_INVALID_ARGUMENT,
        "The table " + order.table + " already has an index order named " + order.name + ".");
  std::string create = std::string("CREATE ") +
                       (order.unique() && order.table_type == NDS_NDT ? "UNIQUE " : "") + "INDEX " +
                       QuoteIdentifier(order.sqlite_index) + " ON " + order.quoted_table + "(" +
                       order.key_sql;
  // SQLite's index carries the rowid after the key by itself; a server's
  // needs it named so that walks in (key, rowid) order read the index alone.
  // A unique index keeps the key alone, which is what it makes unique.
  if (order.server && !(order.unique() && order.table_type == NDS_NDT)) create += ", rowid";
  create += ")";
  if (!order.condition_sql.empty()) create += " WHERE " + order.condition_sql;
  session.Execute(create);
  auto position = session.Prepare(
      "SELECT coalesce(max(position), 0) + 1 FROM _nce_index_orders WHERE upper(table_name) = "
      "upper(?1)");
  position->Bind(1, Value::Text(order.table));
  position->Step();
  int64_t next = position->Column(0).integer;
  position.reset();
  if (!IndexFileExists(session, order.table, order.file)) {
    auto file =
        session.Prepare("INSERT INTO _nce_index_files(table_name, file_name) VALUES(?1, ?2)");
    file->Bind(1, Value::Text(order.table));
    file->Bind(2, Value::Text(order.file));
    file->Step();
  }
  auto insert = session.Prepare(
      "INSERT INTO _nce_index_orders(table_name, file_name, order_name, position, expression, "
      "condition, flags, sqlite_index) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  insert->Bind(1, Value::Text(order.table));
  insert->Bind(2, Value::Text(order.file));
  insert->Bind(3, Value::Text(order.name));
  insert->Bind(4, Value::Integer(next));
  insert->Bind(5, Value::Text(order.expression));
  insert->Bind(6, Value::Text(order.condition));
  insert->Bind(7, Value::Integer(static_cast<int64_t>(order.flags)));
  insert->Bind(8, Value::Text(order.sqlite_index));
  insert->Step();
}

std::vector<OrderPtr> LoadOrders(StoreSession& session, const TableDesc& table,
                                 const std::string& file) {
  const SqlDialect dialect = session.dialect().expressions();
  std::string sql =
      "SELECT file_name, order_name, expression, condition, flags FROM _nce_index_orders "
      "WHERE upper(table_name) = upper(?1)";
  if (!file.empty()) sql += " AND upper(file_name) = upper(?2)";
  auto stmt = session.Prepare(sql + " ORDER BY position");
  stmt->Bind(1, Value::Text(table.name));
  if (!file.empty()) stmt->Bind(2, Value::Text(file));
  std::vector<OrderPtr> orders;
  while (stmt->Step())
    orders.push_back(CompileOrder(table, OneText(*stmt, 0), OneText(*stmt, 1), OneText(*stmt, 2),
                                  OneText(*stmt, 3), static_cast<uint32_t>(stmt->Column(4).integer),
                                  dialect));
  return orders;
}

bool IndexFileExists(StoreSession& session, const TableDesc& table, const std::string& file) {
  return IndexFileExists(session, table.name, file);
}

bool OrderExists(StoreSession& session, const std::string& name) {
  auto find = session.Prepare(
      "SELECT 1 FROM _nce_index_orders WHERE upper(order_name) = upper(?1) OR "
      "upper(sqlite_index) = upper(?1)");
  find->Bind(1, Value::Text(name));
  return find->Step();
}

bool DropOrder(StoreSession& session, const std::string& name) {
  std::string table, order, index, file;
  {
    auto find = session.Prepare(
        "SELECT table_name, order_name, sqlite_index, file_name FROM _nce_index_orders "
        "WHERE upper(order_name) = upper(?1) OR upper(sqlite_index) = upper(?1)");
    find->Bind(1, Value::Text(name));
    if (!find->Step()) return false;
    table = OneText(*find, 0), order = OneText(*find, 1), index = OneText(*find, 2);
    file = OneText(*find, 3);
    if (find->Step())
      throw EngineError(NDS_E_INVALID_ARGUMENT,
                        "Several tables have an index order named " + name + "; drop it by table.");
  }
  session.Execute("DROP INDEX IF EXISTS " + QuoteIdentifier(index));
  auto remove =
      session.Prepare("DELETE FROM _nce_index_orders WHERE table_name = ?1 AND order_name = ?2");
  remove->Bind(1, Value::Text(table));
  remove->Bind(2, Value::Text(order));
  remove->Step();
  auto empty_file = session.Prepare(
      "DELETE FROM _nce_index_files WHERE table_name = ?1 AND file_name = ?2 AND NOT EXISTS "
      "(SELECT 1 FROM _nce_index_orders WHERE table_name = ?1 AND file_name = ?2)");
  empty_file->Bind(1, Value::Text(table));
  empty_file->Bind(2, Value::Text(file));
  empty_file->Step();
  return true;
}

namespace {

// The orders of table `from` with their store indexes: (index, order name).
std::vector<std::pair<std::string, std::string>> OrdersOfTable(StoreSession& session,
                                                               const std::string& table) {
  std::vector<std::pair<std::string, std::string>> orders;
  auto read = session.Prepare(
      "SELECT sqlite_index, order_name FROM _nce_index_orders WHERE table_name = ?1");
  read->Bind(1, Value::Text(table));
  while (read->Step()) orders.emplace_back(read->Column(0).bytes, read->Column(1).bytes);
  return orders;
}

// Moves the catalog rows of the orders of table `from` to table `to`; the
// structural file, named after the table, follows its name.
void MoveOrderRows(StoreSession& session, const std::string& from, const std::string& to) {
  for (const char* table : {"_nce_index_files", "_nce_index_orders"}) {
    auto move = session.Prepare(
        std::string("UPDATE ") + table +
        " SET table_name = CAST(?2 AS text), file_name = CASE WHEN upper(file_name) LIKE "
        "CAST(?3 AS text) THEN CAST(?2 AS text) || substr(file_name, length(CAST(?1 AS text)) + "
        "1) ELSE file_name END WHERE table_name = CAST(?1 AS text)");
    move->Bind(1, Value::Text(from));
    move->Bind(2, Value::Text(to));
    move->Bind(3, Value::Text(UpperAscii(from) + ".%"));
    move->Step();
  }
}

void NoteOrderIndex(StoreSession& session, const std::string& table, const std::string& order,
                    const std::string& index) {
  auto update = session.Prepare(
      "UPDATE _nce_index_orders SET sqlite_index = ?1 WHERE table_name = ?2 AND order_name = ?3");
  update->Bind(1, Value::Text(index));
  update->Bind(2, Value::Text(table));
  update->Bind(3, Value::Text(order));
  update->Step();
}

// A store that renames indexes in place (a server's): the names are the
// table's as the store holds them (lower case).
void RenameIndexesInPlace(StoreSession& session, const std::string& from, const std::string& to) {
  std::vector<std::pair<std::string, std::string>> renames = OrdersOfTable(session, from);
  MoveOrderRows(session, from, to);
  // The server keeps the indexes with the renamed table; their names follow.
  for (const auto& [index, order] : renames) {
    std::string renamed = ServerIndexName(to, order);
    session.Execute("ALTER INDEX " + QuoteIdentifier(index) + " RENAME TO " +
                    QuoteIdentifier(renamed));
    NoteOrderIndex(session, to, order, renamed);
  }
}

// SQLite, which cannot rename an index: each is made again under its new
// name.
void RemakeRenamedIndexes(StoreSession& session, const std::string& from, const std::string& to) {
  std::vector<std::pair<std::string, std::string>> renames = OrdersOfTable(session, from);
  MoveOrderRows(session, from, to);
  // SQLite keeps the indexes with the renamed table; their names follow.
  for (const auto& [index, order] : renames) {
    std::string sql;
    {
      // Read and finished before the index is dropped: SQLite refuses to
      // change the schema under a pending read of it.
      auto read =
          session.Prepare("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?1");
      read->Bind(1, Value::Text(index));
      if (read->Step()) sql = OneText(*read, 0);
    }
    if (sql.empty()) continue;
    std::string renamed = SqliteIndexName(to, order);
    size_t at = sql.find(QuoteIdentifier(index));
    if (at == std::string::npos) continue;
    sql.replace(at, QuoteIdentifier(index).size(), QuoteIdentifier(renamed));
    session.Execute("DROP INDEX " + QuoteIdentifier(index));
    session.Execute(sql);
    NoteOrderIndex(session, to, order, renamed);
  }
}

}  // namespace

void RenameOrdersOfTable(StoreSession& session, const std::string& from, const std::string& to) {
  if (session.dialect().renames_indexes())
    RenameIndexesInPlace(session, from, to);
  else
    RemakeRenamedIndexes(session, from, to);
}

}  // namespace nce
