// Builds the demo database through the client engine: one transaction that
// creates the 36 tables and fills them, then the nds.ini naming it.
#include "tools/demo_database.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "nce/nce.h"
#include "tools/demo_tables.h"

namespace demo {

namespace {

namespace fs = std::filesystem;

// The engine's last error as text, for a failure of `what`.
[[noreturn]] void RaiseEngineError(const std::string& what, NDSRESULT code) {
  uint32_t number = code;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  uint16_t length = sizeof text - 1;
  if (NdsGetLastError(&number, text, &length) != NDS_SUCCESS) text[0] = '\0';
  throw DemoDatabaseError(what + ": " +
                          (text[0] ? std::string(text) : "engine error " + std::to_string(code)));
}

// An engine connection with one statement handle, closed on every path.
class EngineSession {
 public:
  explicit EngineSession(const std::string& path) {
    // A directory is opened as before; a server URI needs the remote bit.
    const uint16_t kinds = IsServerUri(path) ? NDS_REMOTE_SERVER : NDS_LOCAL_SERVER;
    if (NDSRESULT rc = NdsConnect60(path.c_str(), kinds, "", "", 0, &connection_))
      RaiseEngineError("cannot open " + path, rc);
    if (NDSRESULT rc = NdsCreateSQLStatement(connection_, &statement_)) {
      NdsDisconnect(connection_);
      RaiseEngineError("cannot create a statement", rc);
    }
  }
  ~EngineSession() {
    if (in_transaction_) NdsRollbackTransaction(connection_);
    NdsCloseSQLStatement(statement_);
    NdsDisconnect(connection_);
  }
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  void Begin() {
    if (NDSRESULT rc = NdsBeginTransaction(connection_))
      RaiseEngineError("cannot begin a transaction", rc);
    in_transaction_ = true;
  }
  void Commit() {
    if (NDSRESULT rc = NdsCommitTransaction(connection_)) RaiseEngineError("cannot commit", rc);
    in_transaction_ = false;
  }
  void Execute(const std::string& sql, const std::string& what) {
    NDSHANDLE cursor = 0;
    if (NDSRESULT rc = NdsExecuteSQLDirect(statement_, sql.c_str(), &cursor))
      RaiseEngineError(what, rc);
    if (cursor != 0) NdsCloseTable(cursor);
  }

 private:
  NDSHANDLE connection_ = 0;  // Engine connection to the database directory
  NDSHANDLE statement_ = 0;   // Statement every SQL text runs on
  bool in_transaction_ = false;
};

std::string CreateTableSql(const std::string& table, const std::vector<Column>& columns) {
  std::string sql = "CREATE TABLE " + table + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += std::string(columns[i].name) + " " + columns[i].type;
  }
  return sql + ")";
}

std::string InsertSql(const std::string& table, const std::vector<Column>& columns,
                      const std::vector<std::string>& values) {
  std::string sql = "INSERT INTO " + table + " (";
  for (size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + std::string(columns[i].name);
  sql += ") VALUES (";
  for (size_t i = 0; i < values.size(); ++i) sql += (i ? ", " : "") + values[i];
  return sql + ");\n";
}

// The rows of one pair: the archive as two archiving runs left it (the
// second appending copies of some keys again), and the live table with the
// rows not yet archived plus the stale ones an interrupted run left behind.
struct PairRows {
  std::string live_sql;
  std::string archive_sql;
};

PairRows RowsOfPair(int index, const TablePair& pair, BuildSummary& summary) {
  const std::vector<Column>& columns = ColumnsOf(pair.live);
  const DamageProfile damage = DamageOf(index);
  const std::string archive = std::string("a_") + pair.live;
  Rng rng(1000u + static_cast<unsigned>(index));
  std::vector<std::vector<std::string>> records(damage.live_count + 1);
  for (int key = 1; key <= damage.live_count; ++key) records[key] = RowValues(columns, rng, key);

  PairRows rows;
  auto every = [](int key, int n) { return n > 0 && key % n == 0; };
  for (int key = 1; key <= damage.archived; ++key)
    rows.archive_sql += InsertSql(archive, columns, records[key]);
  for (int copy = 2; copy <= 3; ++copy) {
    for (int key = 1; key <= damage.archived; ++key) {
      const bool again = copy == 2 ? every(key, damage.dup_every) || every(key, damage.triple_every)
                                   : every(key, damage.triple_every);
      if (!again) continue;
      // A record edited between the two runs was archived with other values.
      rows.archive_sql +=
          InsertSql(archive, columns, key % 2 ? RowValues(columns, rng, key) : records[key]);
      ++summary.duplicate_archive;
    }
  }
  for (int key = 1; key <= damage.live_count; ++key) {
    const bool archived = key <= damage.archived;
    if (archived && !every(key, damage.stale_every)) continue;
    if (archived) ++summary.stale_live_rows;
    rows.live_sql += InsertSql(pair.live, columns, records[key]);
  }
  return rows;
}

int CountStatements(const std::string& sql) {
  int count = 0;
  for (char c : sql) count += c == '\n';
  return count;
}

// Creates and fills the 36 tables in the database at `path` (a directory
// or a server URI) in one transaction.
BuildSummary BuildTables(const std::string& path) {
  BuildSummary summary;
  EngineSession session(path);
  session.Begin();
  const auto& pairs = TablePairs();
  for (size_t i = 0; i < pairs.size(); ++i) {
    const TablePair& pair = pairs[i];
    const std::string archive = std::string("a_") + pair.live;
    const auto& columns = ColumnsOf(pair.live);
    // Creating an existing table fails, so a database already there is
    // refused before anything in it changes.
    session.Execute(CreateTableSql(pair.live, columns),
                    "cannot create table " + std::string(pair.live));
    session.Execute(CreateTableSql(archive, columns), "cannot create table " + archive);
    summary.tables += 2;
    const PairRows rows = RowsOfPair(static_cast<int>(i), pair, summary);
    if (!rows.live_sql.empty())
      session.Execute(rows.live_sql, "cannot fill " + std::string(pair.live));
    if (!rows.archive_sql.empty()) session.Execute(rows.archive_sql, "cannot fill " + archive);
    summary.rows += CountStatements(rows.live_sql) + CountStatements(rows.archive_sql);
  }
  session.Commit();
  return summary;
}

}  // namespace

const std::vector<TablePair>& TablePairs() {
  static const std::vector<TablePair> pairs = {
      {"acftcomp", "Rec_No"},        {"acftcrpt", "Rec_No"},     {"acftlog", "ALog_No"},
      {"acftmaint", "Rec_No"},       {"chkrides", "ChkRide_No"}, {"dmico", "Rec_No"},
      {"dutyschedule", "Entry_No"},  {"fltleg", "Leg_No"},       {"fltsqk", "SqkNo"},
      {"passenger", "Passenger_No"}, {"pdlog", "Entry_No"},      {"pilotlog", "Entry_No"},
      {"ratings", "Rating_No"},      {"schedule", "Entry_No"},   {"shiftlog", "Entry_No"},
      {"squawk", "Rec_No"},          {"wcpartchange", "Rec_No"}, {"workcard", "Rec_No"},
  };
  return pairs;
}

void WriteAliasFile(const std::string& directory, const std::string& path) {
  const fs::path file = fs::path(directory) / "nds.ini";
  std::ofstream out(file, std::ios::trunc);
  out << "[Databases]\n"
      << "VOLANTRAX=" << path << "\n";
  out.close();
  if (!out) throw DemoDatabaseError("cannot write " + file.string());
}

bool IsServerUri(const std::string& path) {
  return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

BuildSummary BuildDemoDatabase(const std::string& directory) {
  if (directory.empty()) throw DemoDatabaseError("no directory given");
  if (IsServerUri(directory)) return BuildTables(directory);
  std::error_code error;
  fs::create_directories(directory, error);
  if (error) throw DemoDatabaseError("cannot create " + directory + ": " + error.message());
  if (!fs::is_directory(directory)) throw DemoDatabaseError(directory + " is not a directory");
  const std::string path = fs::absolute(directory).lexically_normal().string();
  const BuildSummary summary = BuildTables(path);
  WriteAliasFile(path, path);
  return summary;
}

}  // namespace demo
