// Keys and conditions of index orders computed alike on a SQLite store and
// on a server: a table of awkward values (negative and half-way numbers,
// empty and NULL values, dates at the ends of the calendar, texts beyond
// ASCII and at their full width in bytes), an order for each of a list of
// key expressions, and for each the records walked and every record's key
// bytes compared between the two stores.
#include <sqlite3.h>

#include "engine/index/index_order.h"
#include "engine/schema/catalog.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_functions.h"
#include "index_test_support.h"

namespace nce_test {
namespace {

const char* const kRows[] = {
    "1, 'Smith', 'anna', 2.675, -7, 12.5, '1990-05-01', '10:00:00', '1990-05-01 10:00:00.5', 1",
    "2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL",
    "3, '', '', 0, 0, 0, '0001-01-01', '00:00:00', '0001-01-01 00:00:00', 0",
    "4, 'éclair', 'Ärger', -0.5, -2147483647, -1234.5678, '9999-12-31', '23:59:59.999', "
    "'9999-12-31 23:59:59.999', 1",
    "5, 'éééééab', 'ÅÅÅÅ', 1e15, 2147483647, 0.0001, '2000-02-29', '12:00:00', "
    "'2000-02-29 12:00:00', 0",
    "6, 'zeta', 'Zeta', -0.00001, 5, 99.995, '1969-12-31', '00:00:00.001', "
    "'1969-12-31 23:59:59', 1",
    "7, 'ABC', 'abc', 0.5, -1, -0.5, '0999-06-15', '01:02:03', '0999-06-15 01:02:03', 0",
    "8, '  lead', 'x', 1.5, 3, 2.5, '2024-03-05', '13:14:15.5', '2024-03-05 00:00:00', 1",
    "9, 'smith', 'ANNA', -123456.789, 100, 1e11, '2024-03-04', '13:14:15', "
    "'2024-03-04 23:59:59.999', 0",
    "10, 'ΩΩΩΩΩΩ', '中文', -2.5, -32768, -0.0001, '1990-05-01', NULL, NULL, NULL",
};

// Key expressions, each made an order; a second order of the first few
// walks them descending.
const char* const kKeys[] = {
    "s",
    "UPPER(s)",
    "c",
    "LOWER(c)",
    "s + c",
    "TRIM(s) + c",
    "SUBSTR(s, 2, 4)",
    "SUBSTR(s, -3, 2)",
    "SUBSTR(s, 0, 3)",
    "LEFT(s, 3)",
    "RIGHT(s, 4)",
    "RIGHT(c, 3)",
    "PADL(TRIM(s), 14)",
    "PADR(ALLTRIM(s), 6)",
    "LTRIM(s)",
    "UPPER(SUBSTR(c, 2, 3)) + DTOS(d)",
    "STR(n, 10, 2)",
    "STR(n, 15, 3)",
    "STR(i)",
    "STR(y, 14, 4)",
    "STR(n)",
    "DTOS(d)",
    "DTOC(d)",
    "DTOS(d) + STR(n, 8, 1)",
    "DTOS(ts)",
    "YEAR(d)",
    "MONTH(d) * 100 + DAY(d)",
    "DOW(d)",
    "d + 30",
    "d - 1.5",
    "d - CTOD('01/01/2000')",
    "n",
    "-n",
    "n * 3 + i",
    "i / 3",
    "y * 2",
    "INT(n)",
    "ROUND(n, 0)",
    "ABS(n)",
    "MOD(i, 7)",
    "ts",
    "t",
    "l",
    "IIF(n < 0, 'neg', 'pos') + s",
    "IIF(l, s, c)",
    "IIF(EMPTY(d), STR(i, 11), DTOS(d))",
    "VAL(s)",
    "LEN(TRIM(s))",
    "AT('a', s)",
    "ASC(c)",
    "EMPTY(s)",
    "'ith' $ s",
    "CTOD(DTOC(d))",
    "c;n;d",
    "MAX(n, y)",
    "MIN(i, 0)",
    "MAX(d, CTOD('01/01/2000'))",
    "MIN(s, 'm') + STR(i)",
};
constexpr size_t kDescending = 6;

// Conditions of conditional orders, each over the key "s".
const char* const kConditions[] = {
    "n > 0",          "EMPTY(d)",          "DTOS(d) >= '2000'",       "'é' $ s",
    "l .AND. i < 10", "UPPER(c) = 'ANNA'", "STR(n, 6, 2) = '  2.68'", "SUBSTR(s, -2, 2) = 'ir'",
};

class KeysOnBothStores : public IndexTest {
 protected:
  KeysOnBothStores() : sqlite_(StoreKind::kSqlite), server_(StoreKind::kServer) {
    for (const TestStore* store : {&sqlite_, &server_}) {
      NDSHANDLE connection = store->Connect();
      RunSqlOrFail(connection,
                   "CREATE TABLE odd (id INTEGER, s CHAR(12), c CICHAR(8), n DOUBLE, i INTEGER, "
                   "y MONEY, d DATE, t TIME, ts TIMESTAMP, l LOGICAL)");
      for (const char* row : kRows)
        RunSqlOrFail(connection, std::string("INSERT INTO odd VALUES (") + row + ")");
      connections_.push_back(connection);
    }
  }
  ~KeysOnBothStores() override {
    for (NDSHANDLE connection : connections_) NdsDisconnect(connection);
  }

  // Makes the order on both stores; false (with a failure) where one refuses.
  bool CreateOnBoth(const std::string& name, const std::string& key, const std::string& condition,
                    uint32_t flags) {
    bool made = true;
    for (size_t i = 0; i < 2; ++i) {
      NDSHANDLE cursor = 0, order = 0;
      EXPECT_EQ(NdsOpenTable(connections_[i], "odd", 0, 0, 0, &cursor), NDS_SUCCESS);
      NDSRESULT rc = NdsCreateIndex(cursor, nullptr, name.c_str(), key.c_str(),
                                    condition.empty() ? nullptr : condition.c_str(), flags, &order);
      EXPECT_EQ(rc, NDS_SUCCESS) << (i ? "server: " : "sqlite: ") << key << " " << condition << ": "
                                 << LastErrorText();
      made = made && rc == NDS_SUCCESS;
      NdsCloseTable(cursor);
    }
    return made;
  }

  // The ids in the order's walk, and the count the order shows.
  std::string Walked(size_t store, const std::string& order) {
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsOpenTable(connections_[store], "odd", 0, 0, 0, &cursor), NDS_SUCCESS);
    NDSHANDLE navigation = Order(cursor, order);
    std::string ids;
    for (const std::string& id : Walk(navigation, cursor, "id")) ids += id + " ";
    ids += "| " + std::to_string(Count(navigation, NDS_RESPECTSCOPES));
    NdsCloseTable(cursor);
    return ids;
  }

  // Every record's key bytes in hex, by record number, as the store's own
  // key SQL computes them.
  std::string SqliteKeys(const std::string& key) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(sqlite_.StoreFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    nce::RegisterExpressionFunctions(db);
    std::optional<nce::TableDesc> table = nce::DescribeTable(db, "odd");
    sqlite3_close(db);
    nce::OrderPtr order = nce::CompileOrder(*table, "odd.ndi", "k", key, "", 0);
    return sqlite_.Read("SELECT id, hex(" + order->key_sql + ") FROM odd ORDER BY rowid");
  }
  std::string ServerKeys(const std::string& key) {
    auto session = nce::PostgresSession::Connect(server_.path());
    std::optional<nce::TableDesc> table = nce::DescribeServerTable(*session, "odd");
    nce::OrderPtr order =
        nce::CompileOrder(*table, "odd.ndi", "k", key, "", 0, nce::SqlDialect::kPostgres);
    return server_.Read("SELECT id, upper(encode(" + order->key_sql +
                        ", 'hex')) FROM odd ORDER BY rowid");
  }

  TestStore sqlite_;
  TestStore server_;
  std::vector<NDSHANDLE> connections_;  // one on each store, SQLite's first
};

TEST_F(KeysOnBothStores, EveryKeyExpressionWalksAndKeysAsOnSqlite) {
  for (size_t k = 0; k < std::size(kKeys); ++k) {
    std::string name = "k" + std::to_string(k);
    if (!CreateOnBoth(name, kKeys[k], "", 0)) continue;
    EXPECT_EQ(Walked(1, name), Walked(0, name)) << kKeys[k];
    EXPECT_EQ(ServerKeys(kKeys[k]), SqliteKeys(kKeys[k])) << kKeys[k];
    if (k >= kDescending) continue;
    if (CreateOnBoth(name + "d", kKeys[k], "", NDS_INDEX_DESCENDING)) {
      EXPECT_EQ(Walked(1, name + "d"), Walked(0, name + "d")) << kKeys[k] << " DESC";
    }
  }
}

TEST_F(KeysOnBothStores, ConditionalOrdersShowTheRecordsTheyShowOnSqlite) {
  for (size_t k = 0; k < std::size(kConditions); ++k) {
    std::string name = "c" + std::to_string(k);
    if (CreateOnBoth(name, "s", kConditions[k], 0)) {
      EXPECT_EQ(Walked(1, name), Walked(0, name)) << kConditions[k];
    }
  }
}

}  // namespace
}  // namespace nce_test
