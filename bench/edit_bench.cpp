// Editing through a live TNdsQuery against plain SQLite and Qt SQL:
//  - appending 100 000 records in one transaction (Append, four fields set,
//    Post) against a prepared sqlite3 INSERT of the same rows and against
//    Qt SQL's prepared QSqlQuery::exec() loop, each into a plain table and
//    (the "guarded" runs) into the table the engine creates, which checks
//    every value it stores;
//  - editing one field of a random record and posting it (the move to the
//    record included) against a prepared UPDATE ... WHERE rowid = ? and
//    against Qt's QSqlTableModel (setData, submit), all inside one
//    transaction so that the commit's sync does not hide the cost of the
//    path itself;
//  - the same edit of every record in order (Edit, set, Post, Next over the
//    whole table) against the prepared UPDATE by rowid in record order and
//    QSqlTableModel row after row.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QVariant>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "query_support.h"

namespace {

constexpr int kAppends = 100000;      // records per append iteration
constexpr int kEditRecords = 100000;  // records of the edited table
constexpr int kEdits = 5000;          // edits per edit iteration

const char* kCreate = "CREATE TABLE grow (id INTEGER, name CHAR(20), amount DOUBLE, day DATE)";

// The i-th row's values, the same for every contender.
std::string NameOf(int i) {
  return "name " + std::to_string(i % 1000);
}
double AmountOf(int i) {
  return i / 100.0;
}
std::string DayOf(int i) {
  return "2024-03-" + std::to_string(10 + i % 19);
}

// `grow` created by the engine in `dir`: the table then carries the engine's
// type guards. Returns the store file.
std::string EngineTable(const bench::TempDirectory& dir) {
  NDSHANDLE connection = 0;
  if (NdsConnect(dir.path.c_str(), &connection) != 0) std::abort();
  bench::RunSql(connection, kCreate);
  NdsDisconnect(connection);
  return (dir.path / "nce.db").string();
}

// The file the anchors insert into: a plain table in a new file, or the
// engine's guarded table (the same definition the appends write to).
enum class Table { kPlain, kGuarded };
std::string AnchorFile(const bench::TempDirectory& dir, Table table, const char* plain_name) {
  if (table == Table::kGuarded) return EngineTable(dir);
  return (dir.path / plain_name).string();
}

void QueryAppend(benchmark::State& state) {
  bench::TempDirectory dir("nds_edit_bench");
  EngineTable(dir);
  bench::OpenQuery q(dir.path.string(), "select * from grow");
  q.query.Open();
  dataset::TField* id = q.query.FieldByName("id");
  dataset::TField* name = q.query.FieldByName("name");
  dataset::TField* amount = q.query.FieldByName("amount");
  dataset::TField* day = q.query.FieldByName("day");
  for (auto _ : state) {
    q.connection.StartTransaction();
    for (int i = 0; i < kAppends; ++i) {
      q.query.Append();
      id->SetAsInteger(i);
      name->SetAsString(NameOf(i));
      amount->SetAsFloat(AmountOf(i));
      day->SetAsString(DayOf(i));
      q.query.Post();
    }
    q.connection.CommitTransaction();
  }
  state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(QueryAppend)->Unit(benchmark::kMillisecond)->Iterations(3);

void SqliteInsert(benchmark::State& state, Table table) {
  bench::TempDirectory dir("nds_edit_bench");
  sqlite3* db = nullptr;
  if (sqlite3_open(AnchorFile(dir, table, "plain.db").c_str(), &db) != SQLITE_OK) std::abort();
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  if (table == Table::kPlain) sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO grow (id, name, amount, day) VALUES (?1, ?2, ?3, ?4)", -1,
                     &insert, nullptr);
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < kAppends; ++i) {
      const std::string name = NameOf(i), day = DayOf(i);
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_text(insert, 2, name.c_str(), static_cast<int>(name.size()), SQLITE_STATIC);
      sqlite3_bind_double(insert, 3, AmountOf(i));
      sqlite3_bind_text(insert, 4, day.c_str(), static_cast<int>(day.size()), SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError("insert failed");
      sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kAppends);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}
BENCHMARK_CAPTURE(SqliteInsert, plain, Table::kPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(SqliteInsert, guarded, Table::kGuarded)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void QtSqlInsert(benchmark::State& state, Table table) {
  bench::TempDirectory dir("nds_edit_bench");
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "edit_bench");
    db.setDatabaseName(QString::fromStdString(AnchorFile(dir, table, "qt.db")));
    if (!db.open()) {
      state.SkipWithError("Qt SQL's SQLite driver is missing (libqt6sql6-sqlite)");
      return;
    }
    QSqlQuery setup(db);
    setup.exec("PRAGMA journal_mode=WAL");
    setup.exec("PRAGMA synchronous=FULL");
    if (table == Table::kPlain) setup.exec(kCreate);
    for (auto _ : state) {
      db.transaction();
      QSqlQuery insert(db);
      insert.prepare("INSERT INTO grow (id, name, amount, day) VALUES (?, ?, ?, ?)");
      for (int i = 0; i < kAppends; ++i) {
        insert.bindValue(0, i);
        insert.bindValue(1, QString::fromStdString(NameOf(i)));
        insert.bindValue(2, AmountOf(i));
        insert.bindValue(3, QString::fromStdString(DayOf(i)));
        if (!insert.exec()) state.SkipWithError("insert failed");
      }
      db.commit();
    }
    db.close();
  }
  QSqlDatabase::removeDatabase("edit_bench");
  state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK_CAPTURE(QtSqlInsert, plain, Table::kPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(QtSqlInsert, guarded, Table::kGuarded)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A database directory with `grow` filled with kEditRecords rows.
struct EditDatabase {
  bench::TempDirectory dir{"nds_edit_bench"};
  EditDatabase() {
    NDSHANDLE connection = 0;
    if (NdsConnect(dir.path.c_str(), &connection) != 0) std::abort();
    bench::RunSql(connection, kCreate);
    bench::RunSql(connection,
                  "INSERT INTO grow SELECT x, 'name ' || x, x / 100.0, '2024-03-10' FROM (WITH "
                  "RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                      std::to_string(kEditRecords) + ") SELECT x FROM c)");
    NdsDisconnect(connection);
  }
  std::string Store() const { return (dir.path / "nce.db").string(); }
};

// The records edited, the same sequence for both contenders.
std::vector<int> RandomRecords() {
  std::mt19937 generator(20261208);
  std::uniform_int_distribution<int> pick(1, kEditRecords);
  std::vector<int> records(kEdits);
  for (int& record : records) record = pick(generator);
  return records;
}

void QueryEditPost(benchmark::State& state) {
  EditDatabase db;
  bench::OpenQuery q(db.dir.path.string(), "select * from grow");
  q.query.Open();
  dataset::TField* amount = q.query.FieldByName("amount");
  const std::vector<int> records = RandomRecords();
  for (auto _ : state) {
    q.connection.StartTransaction();
    for (int record : records) {
      q.query.SetRecNo(record);
      q.query.Edit();
      amount->SetAsFloat(record + 0.5);
      q.query.Post();
    }
    q.connection.CommitTransaction();
  }
  state.SetItemsProcessed(state.iterations() * kEdits);
}
BENCHMARK(QueryEditPost)->Unit(benchmark::kMillisecond)->Iterations(5);

// Prepared UPDATEs of the amount of `records` by rowid, one transaction an
// iteration, each setting the amount `amount_of` gives for the record.
template <typename AmountOf>
void RunSqliteUpdates(benchmark::State& state, const std::vector<int>& records,
                      AmountOf amount_of) {
  EditDatabase db;
  sqlite3* handle = nullptr;
  if (sqlite3_open(db.Store().c_str(), &handle) != SQLITE_OK) std::abort();
  sqlite3_exec(handle, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  sqlite3_stmt* update = nullptr;
  sqlite3_prepare_v2(handle, "UPDATE grow SET amount = ?1 WHERE rowid = ?2", -1, &update, nullptr);
  for (auto _ : state) {
    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    for (int record : records) {
      sqlite3_bind_double(update, 1, amount_of(record));
      sqlite3_bind_int(update, 2, record);
      if (sqlite3_step(update) != SQLITE_DONE) state.SkipWithError("update failed");
      sqlite3_reset(update);
    }
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records.size()));
  sqlite3_finalize(update);
  sqlite3_close(handle);
}

void SqliteUpdate(benchmark::State& state) {
  RunSqliteUpdates(state, RandomRecords(), [](int record) { return record + 0.5; });
}
BENCHMARK(SqliteUpdate)->Unit(benchmark::kMillisecond)->Iterations(5);

// Edit, set, Post and Next over every record of the table, in order.
void QueryEditNext(benchmark::State& state) {
  EditDatabase db;
  bench::OpenQuery q(db.dir.path.string(), "select * from grow");
  q.query.Open();
  dataset::TField* amount = q.query.FieldByName("amount");
  int64_t edits = 0;
  for (auto _ : state) {
    q.connection.StartTransaction();
    for (q.query.First(); !q.query.Eof(); q.query.Next()) {
      q.query.Edit();
      amount->SetAsFloat(static_cast<double>(edits++) + 0.5);
      q.query.Post();
    }
    q.connection.CommitTransaction();
  }
  if (edits != kEditRecords * static_cast<int64_t>(state.iterations()))
    state.SkipWithError("records missing");
  state.SetItemsProcessed(edits);
}
BENCHMARK(QueryEditNext)->Unit(benchmark::kMillisecond)->Iterations(3);

void SqliteUpdateInOrder(benchmark::State& state) {
  std::vector<int> records(kEditRecords);
  for (int i = 0; i < kEditRecords; ++i) records[i] = i + 1;
  int64_t edits = 0;
  RunSqliteUpdates(state, records, [&](int) { return static_cast<double>(edits++) + 0.5; });
}
BENCHMARK(SqliteUpdateInOrder)->Unit(benchmark::kMillisecond)->Iterations(3);

// Qt's editable table model over a plain copy of the table whose `id` is
// its primary key (without one the model finds a row by all its values),
// every row fetched before the timing; each edit is setData and submit
// (edit strategy OnRowChange), which updates the row and reads it back.
struct QtModelTable {
  bench::TempDirectory dir{"nds_edit_bench"};
  QSqlDatabase db;
  std::unique_ptr<QSqlTableModel> model;
  int amount_column = -1;

  explicit QtModelTable(const char* connection_name) {
    db = QSqlDatabase::addDatabase("QSQLITE", connection_name);
    db.setDatabaseName(QString::fromStdString((dir.path / "qt.db").string()));
    if (!db.open()) return;
    QSqlQuery setup(db);
    setup.exec("PRAGMA journal_mode=WAL");
    setup.exec("PRAGMA synchronous=FULL");
    setup.exec(
        "CREATE TABLE grow (id INTEGER PRIMARY KEY, name CHAR(20), amount DOUBLE, day DATE)");
    setup.exec(QString::fromStdString(
        "INSERT INTO grow SELECT x, 'name ' || x, x / 100.0, '2024-03-10' FROM (WITH RECURSIVE "
        "c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(kEditRecords) + ") SELECT x FROM c)"));
    model = std::make_unique<QSqlTableModel>(nullptr, db);
    model->setTable("grow");
    model->setEditStrategy(QSqlTableModel::OnRowChange);
    model->select();
    while (model->canFetchMore()) model->fetchMore();
    amount_column = model->fieldIndex("amount");
  }
  bool Ready() const { return model && model->rowCount() == kEditRecords; }
  bool Edit(int row, double value) {
    return model->setData(model->index(row, amount_column), value) && model->submit();
  }
};

template <typename Rows>
void QtModelEdits(benchmark::State& state, const char* name, Rows rows) {
  {
    QtModelTable table(name);
    if (!table.Ready()) {
      state.SkipWithError("Qt SQL's SQLite driver is missing (libqt6sql6-sqlite)");
    } else {
      int64_t edits = 0;
      for (auto _ : state) {
        table.db.transaction();
        rows([&](int row) {
          if (!table.Edit(row, static_cast<double>(edits++) + 0.5))
            state.SkipWithError("edit failed");
        });
        table.db.commit();
      }
      state.SetItemsProcessed(edits);
    }
    table.model.reset();
    table.db.close();
    table.db = QSqlDatabase();
  }
  QSqlDatabase::removeDatabase(name);
}

void QtModelEditPost(benchmark::State& state) {
  const std::vector<int> records = RandomRecords();
  QtModelEdits(state, "edit_bench_model", [&](auto edit) {
    for (int record : records) edit(record - 1);
  });
}
BENCHMARK(QtModelEditPost)->Unit(benchmark::kMillisecond)->Iterations(5);

// The model keeps every row it submitted in its cache until it selects
// again, and looks through that cache at every edit: its cost per edit grows
// with the edits made. It edits the first kEdits rows, as many as the
// random edits (compare per record).
void QtModelEditNext(benchmark::State& state) {
  QtModelEdits(state, "edit_bench_model_next", [&](auto edit) {
    for (int row = 0; row < kEdits; ++row) edit(row);
  });
}
BENCHMARK(QtModelEditNext)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // SQLite is configured once per process, by whoever uses it first; the
  // engine turns its allocation statistics off. Done here, every contender
  // runs under the same configuration whatever the order of the runs.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
