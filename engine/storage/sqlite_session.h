// The store session over a SQLite connection: a store's own connection, or
// a file this session opens and closes itself.
#ifndef ENGINE_STORAGE_SQLITE_SESSION_H
#define ENGINE_STORAGE_SQLITE_SESSION_H

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/store_session.h"

namespace nce {

class SqliteSession : public StoreSession {
 public:
  // A session on `db`, which stays the caller's and must outlive the session.
  explicit SqliteSession(sqlite3* db) : db_(db) {}
  // Opens (creating it when missing) the SQLite file `path`; throws
  // NDS_E_INVALID_PATH when it cannot.
  static std::unique_ptr<SqliteSession> OpenFile(const std::string& path);
  // A session that owns `db`, an open connection, and closes it when it ends.
  static std::unique_ptr<SqliteSession> Adopt(sqlite3* db);
  ~SqliteSession() override;

  void Execute(std::string_view sql) override;
  std::unique_ptr<StoreStatement> Prepare(std::string_view sql) override;
  void Check(std::string_view sql) override { Prepare(sql); }
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  void Savepoint(const std::string& name) override;
  void ReleaseSavepoint(const std::string& name) override;
  void RollbackToSavepoint(const std::string& name) override;
  bool InTransaction() const override;
  bool EnforcesForeignKeys() const override;
  bool ReadValuePart(const std::string& table, const std::string& column, bool binary,
                     int64_t rowid, uint64_t offset, uint64_t length, std::string* part) override;

  // What the SQL front end asks (sqlite_session_answers.cpp): rights and
  // hidden columns are the authorizer's; rows are stepped as they are read;
  // the record locks are the process's, fenced off by the engine; the
  // catalog follows DDL run as written.
  void BeginWrite() override;
  bool AuthorizesWhilePreparing() const override { return true; }
  bool CanCheck(std::string_view) const override { return true; }
  bool CheckFailureStands(const EngineError& error, bool schema_changed) const override;
  bool ReadsLongDecimalsExactly() const override { return false; }
  bool ReadsWholeResults() const override { return false; }
  bool SelectStarReadsRowid() const override { return false; }
  bool HonoursRecordLocks() const override { return false; }
  bool VacuumKeepsRecordNumbers() const override { return false; }
  std::string LastInsertedRowid() const override { return "last_insert_rowid()"; }
  std::string InsertColumns(std::string_view) override { return {}; }
  std::optional<EngineError> GuardRefusal(std::string_view, const EngineError&) override {
    return std::nullopt;  // the type guards raise the engine's errors themselves
  }
  bool MakeDeclaredTable(std::string_view, uint16_t, uint16_t) override { return false; }
  bool ChangeColumns(std::string_view, const ColumnChange&) override { return false; }
  void BeforeAlterTable(const std::string& table) override;
  bool MoveCatalogRows(const std::string&, const std::string&) override { return false; }
  void SyncCatalog(const std::string& altered, uint16_t new_table_type) override;

  sqlite3* db() const { return db_; }

 private:
  SqliteSession(sqlite3* db, bool owned) : db_(db), owned_(owned) {}
  void RequireTransaction() const;

  sqlite3* db_;
  bool owned_ = false;  // closed with the session
};

// The SQLite connection under `session`; null for another store's session.
// For storage code that offers SQLite's own facilities to the layers above
// through the session they hold.
sqlite3* SqliteDbOf(StoreSession& session);
// The same for code that works on SQLite alone; throws NDS_E_NOT_SUPPORTED
// for a server's session.
sqlite3* RequireSqliteDb(StoreSession& session);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_SESSION_H
