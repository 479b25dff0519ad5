// Index orders: key order for strings, numbers, dates and mixed
// concatenations in both directions, orders made through SQL and through the
// engine function, the structural and named index files, conditional and
// unique orders, the description functions, and that navigation seeks in
// the SQLite index instead of scanning it.
#include "engine/index/index_order.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/cursor/navigation_sql.h"
#include "engine/schema/catalog.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_functions.h"
#include "index_test_support.h"

namespace nce_test {
namespace {

struct Person {
  const char* last;  // null for an empty name
  const char* first;
  double age;
  const char* born;  // null for the empty date
};

const Person kPeople[] = {
    {"Smith", "Anna", 34.5, "1990-05-01"}, {"smith", "Bob", -2, "1985-12-31"},
    {"Adams", "Carl", 100, nullptr},       {"Zed", "Dan", 0, "2001-01-01"},
    {"Smith", "Al", 7, "1990-05-01"},      {"Baker", "Eve", -15.5, "1970-07-07"},
    {nullptr, "Fay", 3, "1999-09-09"},     {"Adams", "Gus", 2.25, "1990-05-01"},
};

class Orders : public StoreIndexTest {
 protected:
  Orders() {
    Exec("CREATE TABLE people (last CHAR(10), first CHAR(8), age NUMERIC(6,2), born DATE)");
    for (const Person& p : kPeople) {
      auto text = [](const char* s) {
        return s ? "'" + std::string(s) + "'" : std::string("NULL");
      };
      char age[32];
      std::snprintf(age, sizeof age, "%.2f", p.age);
      Exec("INSERT INTO people VALUES (" + text(p.last) + ", " + text(p.first) + ", " + age + ", " +
           text(p.born) + ")");
    }
  }

  // First names in the order of `key` computed here, ties by record number.
  template <class Key>
  std::vector<std::string> Expected(Key key, bool descending) {
    std::vector<size_t> rows(std::size(kPeople));
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = i;
    std::stable_sort(rows.begin(), rows.end(),
                     [&](size_t a, size_t b) { return key(kPeople[a]) < key(kPeople[b]); });
    if (descending) std::reverse(rows.begin(), rows.end());
    std::vector<std::string> names;
    for (size_t r : rows) names.push_back(kPeople[r].first);
    return names;
  }

  static std::string Padded(const char* s, size_t width) {
    std::string text = s ? s : "";
    text.resize(width, ' ');
    return text;
  }
};

INSTANTIATE_TEST_SUITE_P(Stores, Orders, BothStores(), StoreKindName);

// Cases that read SQLite's own files or its refusals.
class OrdersOnSqlite : public Orders {};
INSTANTIATE_TEST_SUITE_P(Sqlite, OrdersOnSqlite, ::testing::Values(StoreKind::kSqlite),
                         StoreKindName);

// What a server alone does: refusals of what it does not serve, its plans.
class OrdersOnServer : public Orders {};
INSTANTIATE_TEST_SUITE_P(Server, OrdersOnServer, ::testing::Values(StoreKind::kServer),
                         StoreKindName);

TEST_P(Orders, KeyOrderFollowsTheExpressionForEveryTypeInBothDirections) {
  Exec("CREATE INDEX by_last ON people (last)");
  Exec("CREATE INDEX by_last_desc ON people (last DESC)");
  Exec("CREATE INDEX by_age ON people (age)");
  Exec("CREATE INDEX by_age_desc ON people (age DESC)");
  Exec("CREATE INDEX by_born ON people (born)");
  Exec("CREATE INDEX by_upper ON people (UPPER(last))");
  NDSHANDLE people = OpenTable("people");

  auto last = [](const Person& p) { return Padded(p.last, 10); };
  EXPECT_EQ(Walk(Order(people, "by_last"), people, "first"), Expected(last, false));
  EXPECT_EQ(Walk(Order(people, "by_last_desc"), people, "first"), Expected(last, true));
  EXPECT_EQ(WalkBack(Order(people, "by_last"), people, "first"), Expected(last, true));

  auto age = [](const Person& p) { return p.age; };
  EXPECT_EQ(Walk(Order(people, "by_age"), people, "first"), Expected(age, false));
  EXPECT_EQ(Walk(Order(people, "by_age_desc"), people, "first"), Expected(age, true));

  auto born = [](const Person& p) {
    return std::string(p.born ? p.born : "");
  };  // the empty date first
  EXPECT_EQ(Walk(Order(people, "by_born"), people, "first"), Expected(born, false));

  auto upper = [](const Person& p) {
    std::string s = Padded(p.last, 10);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  EXPECT_EQ(Walk(Order(people, "by_upper"), people, "first"), Expected(upper, false));

  // Record-number order again through the cursor's own handle.
  EXPECT_EQ(Walk(people, people, "first"),
            (std::vector<std::string>{"Anna", "Bob", "Carl", "Dan", "Al", "Eve", "Fay", "Gus"}));
}

TEST_P(Orders, KeysOfConvertedValuesFollowTheirTexts) {
  Exec("CREATE INDEX by_mixed ON people (last + STR(age, 7, 2) + DTOS(born))");
  Exec("CREATE INDEX by_mixed_desc ON people (last + STR(age, 7, 2) + DTOS(born) DESC)");
  NDSHANDLE people = OpenTable("people");
  auto mixed = [](const Person& p) {
    char age_text[16];
    std::snprintf(age_text, sizeof age_text, "%7.2f", p.age);
    std::string date = p.born ? std::string(p.born) : "        ";
    date.erase(std::remove(date.begin(), date.end(), '-'), date.end());
    return Padded(p.last, 10) + age_text + date;
  };
  EXPECT_EQ(Walk(Order(people, "by_mixed"), people, "first"), Expected(mixed, false));
  EXPECT_EQ(Walk(Order(people, "by_mixed_desc"), people, "first"), Expected(mixed, true));
}

TEST_P(Orders, KeysFollowEditsAndNewRecords) {
  Exec("CREATE INDEX by_age ON people (age)");
  Exec("UPDATE people SET age = -99.5 WHERE first = 'Dan'");
  Exec("INSERT INTO people VALUES ('New', 'Hal', 50, NULL)");
  NDSHANDLE people = OpenTable("people");
  std::vector<std::string> walked = Walk(Order(people, "by_age"), people, "first");
  ASSERT_EQ(walked.size(), std::size(kPeople) + 1);
  EXPECT_EQ(walked.front(), "Dan");
  EXPECT_EQ(walked[walked.size() - 2], "Hal");
  EXPECT_EQ(walked.back(), "Carl");
}

TEST_P(Orders, DescribeThemselves) {
  NDSHANDLE people = OpenTable("people");
  NDSHANDLE order = 0;
  ASSERT_NDS_OK(NdsCreateIndex(people, nullptr, "NAMES", "last;first", "age > 0",
                               NDS_INDEX_DESCENDING, &order));
  char text[260];
  uint16_t length = sizeof text;
  ASSERT_NDS_OK(NdsGetIndexName(order, text, &length));
  EXPECT_STREQ(text, "NAMES");
  length = sizeof text;
  ASSERT_NDS_OK(NdsGetIndexFilename(order, NDS_BASENAMEANDEXT, text, &length));
  EXPECT_STREQ(text, "people.ndi");
  length = sizeof text;
  ASSERT_NDS_OK(NdsGetIndexFilename(order, NDS_BASENAME, text, &length));
  EXPECT_STREQ(text, "people");
  uint16_t segments = 0;
  ASSERT_NDS_OK(NdsGetNumSegments(order, &segments));
  EXPECT_EQ(segments, 2);
  length = sizeof text;
  ASSERT_NDS_OK(NdsGetSegmentFieldname(order, 1, text, &length));
  EXPECT_STREQ(text, "first");
  length = sizeof text;
  EXPECT_NDS(NdsGetSegmentFieldname(order, 2, text, &length), NDS_E_INVALID_FIELD);
  uint16_t answer = 9;
  ASSERT_NDS_OK(NdsIsIndexDescending(order, &answer));
  EXPECT_EQ(answer, 1);
  ASSERT_NDS_OK(NdsIsIndexUnique(order, &answer));
  EXPECT_EQ(answer, 0);
  ASSERT_NDS_OK(NdsIsIndexPrimaryKey(order, &answer));
  EXPECT_EQ(answer, 0);
  ASSERT_NDS_OK(NdsIsIndexCustom(order, &answer));
  EXPECT_EQ(answer, 0);
  uint32_t flags = 0;
  ASSERT_NDS_OK(NdsGetIndexFlags(order, &flags));
  EXPECT_EQ(flags, NDS_INDEX_DESCENDING);
  char condition[10];
  length = sizeof condition;
  ASSERT_NDS_OK(NdsGetIndexCondition(order, condition, &length));
  EXPECT_STREQ(condition, "age > 0");
  // A small buffer is told the length it needs.
  char small[4];
  length = sizeof small;
  EXPECT_NDS(NdsGetIndexCondition(order, small, &length), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 7);
  uint32_t page = 0;
  ASSERT_NDS_OK(NdsGetIndexPageSize(order, &page));
  EXPECT_GT(page, 0u);
  // An expression segment is named by its expression.
  NDSHANDLE upper = 0;
  ASSERT_NDS_OK(NdsCreateIndex(people, "extra.cdx", "UP", "UPPER(last)", nullptr, 0, &upper));
  length = sizeof text;
  ASSERT_NDS_OK(NdsGetSegmentFieldname(upper, 0, text, &length));
  EXPECT_STREQ(text, "UPPER(last)");
}

TEST_P(OrdersOnSqlite, AllIndexesAnswerWithTheCountAndRefuseATooSmallArray) {
  Exec("CREATE INDEX a ON people (last)");
  Exec("CREATE INDEX b ON people (age)");
  Exec("CREATE INDEX c ON people (born)");
  NDSHANDLE people = OpenTable("people");
  uint16_t count = 0;
  ASSERT_NDS_OK(NdsGetNumIndexes(people, &count));
  EXPECT_EQ(count, 3);
  NDSHANDLE orders[3] = {};
  count = 2;
  EXPECT_NDS(NdsGetAllIndexes(people, orders, &count), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(count, 3);
  count = 3;
  ASSERT_NDS_OK(NdsGetAllIndexes(people, orders, &count));
  char name[32];
  uint16_t length = sizeof name;
  ASSERT_NDS_OK(NdsGetIndexName(orders[2], name, &length));
  EXPECT_STREQ(name, "c");
  // Without a name the engine answers the order the cursor walks in.
  NDSHANDLE active = 9;
  ASSERT_NDS_OK(NdsGetIndexHandle(people, "", &active));
  EXPECT_EQ(active, 0u);
  ASSERT_NDS_OK(NdsGotoTop(orders[1]));
  ASSERT_NDS_OK(NdsGetIndexHandle(people, nullptr, &active));
  EXPECT_EQ(active, orders[1]);
  EXPECT_NDS(NdsGetIndexHandle(people, "nosuch", &active), NDS_E_INVALID_ARGUMENT);
}

TEST_P(Orders, NamedIndexFilesOpenAndCloseWithTheirOrders) {
  Exec("CREATE INDEX by_first ON people (first) IN FILE 'extra.cdx'");
  Exec("CREATE INDEX by_age ON people (age) IN FILE 'extra.cdx'");
  Exec("CREATE INDEX by_last ON people (last)");
  NDSHANDLE people = OpenTable("people");
  uint16_t count = 0;
  ASSERT_NDS_OK(NdsGetNumIndexes(people, &count));
  EXPECT_EQ(count, 1);  // only the structural file opens with the table
  NDSHANDLE orders[50];
  count = 50;
  ASSERT_NDS_OK(NdsOpenIndex(people, "C:\\data\\EXTRA.CDX", orders, &count));
  EXPECT_EQ(count, 2);
  ASSERT_NDS_OK(NdsGetNumIndexes(people, &count));
  EXPECT_EQ(count, 3);
  // Walking in a file's order, then closing that file: natural order again.
  EXPECT_EQ(Walk(orders[0], people, "first").front(), "Al");
  ASSERT_NDS_OK(NdsCloseIndex(orders[1]));
  ASSERT_NDS_OK(NdsGetNumIndexes(people, &count));
  EXPECT_EQ(count, 1);
  uint16_t type = 0;
  EXPECT_NDS(NdsGetHandleType(orders[0], &type), NDS_E_INVALID_HANDLE);
  char name[8];
  uint16_t length = sizeof name;
  EXPECT_NDS(NdsGetIndexName(orders[0], name, &length), NDS_E_INVALID_HANDLE);
  ASSERT_NDS_OK(NdsSkip(people, 1));
  count = 50;
  EXPECT_NDS(NdsOpenIndex(people, "missing.cdx", orders, &count), NDS_E_INVALID_PATH);
}

TEST_P(Orders, ConditionalOrdersShowOnlyTheirRecords) {
  Exec("CREATE INDEX grown ON people (first) WHERE age >= 18");
  NDSHANDLE people = OpenTable("people");
  NDSHANDLE grown = Order(people, "grown");
  EXPECT_EQ(Walk(grown, people, "first"), (std::vector<std::string>{"Anna", "Carl"}));
  EXPECT_EQ(Count(grown, NDS_RESPECTSCOPES), 2u);
  EXPECT_EQ(Count(people, NDS_RESPECTFILTERS), std::size(kPeople));
}

TEST_P(Orders, UniqueOrdersOfNdtTablesRefuseDuplicateKeys) {
  RunSqlOrFail(connection_, "CREATE TABLE codes (code CHAR(4), name CHAR(10))");
  Exec("CREATE UNIQUE INDEX by_code ON codes (code)");
  Exec("INSERT INTO codes VALUES ('A1', 'first')");
  EXPECT_NE(RunSql(connection_, "INSERT INTO codes VALUES ('A1', 'second')"), NDS_SUCCESS);
  // An order over keys that are already duplicated cannot be unique.
  EXPECT_NE(RunSql(connection_, "CREATE UNIQUE INDEX by_last ON people (last)"), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_index_orders WHERE order_name = 'by_last'"),
            "0\n");
  // The first order stays in force after the refusal of the second.
  EXPECT_NE(RunSql(connection_, "INSERT INTO codes VALUES ('A1', 'third')"), NDS_SUCCESS);
}

TEST_P(Orders, AreKeptAndDroppedThroughSqlAndSurviveReopening) {
  Exec("CREATE INDEX by_age ON people (age DESC)");
  EXPECT_NE(RunSql(connection_, "CREATE INDEX by_age ON people (first)"), NDS_SUCCESS);
  Exec("CREATE INDEX IF NOT EXISTS by_age ON people (first)");
  NdsDisconnect(connection_);
  connection_ = store_.Connect();
  NDSHANDLE people = OpenTable("people");
  EXPECT_EQ(Walk(Order(people, "by_age"), people, "first").front(), "Carl");
  NdsCloseTable(people);
  Exec("DROP INDEX by_age");
  EXPECT_EQ(store_.Read(OnServer() ? "SELECT count(*) FROM pg_indexes WHERE indexname LIKE "
                                     "'\\_nce\\_ix\\_%'"
                                   : "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                                     "name LIKE '\\_nce\\_ix\\_%' ESCAPE '\\'"),
            "0\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_index_orders"), "0\n");
  people = OpenTable("people");
  uint16_t count = 9;
  ASSERT_NDS_OK(NdsGetNumIndexes(people, &count));
  EXPECT_EQ(count, 0);
}

TEST_P(OrdersOnSqlite, BadKeysAndConditionsAreRefusedNamingThePlace) {
  NDSHANDLE people = OpenTable("people");
  NDSHANDLE order = 0;
  EXPECT_NDS(NdsCreateIndex(people, nullptr, "x", "nosuch", nullptr, 0, &order),
             NDS_E_BAD_EXPRESSION);
  EXPECT_NE(LastErrorText().find("position 1"), std::string::npos) << LastErrorText();
  EXPECT_NE(LastErrorText().find("nosuch"), std::string::npos) << LastErrorText();
  EXPECT_NDS(NdsCreateIndex(people, nullptr, "x", "last + age", nullptr, 0, &order),
             NDS_E_BAD_EXPRESSION);
  EXPECT_NDS(NdsCreateIndex(people, nullptr, "x", "last", "age +", 0, &order),
             NDS_E_BAD_EXPRESSION);
  EXPECT_NDS(NdsCreateIndex(people, nullptr, "x", "last", nullptr, NDS_INDEX_CUSTOM, &order),
             NDS_E_INVALID_OPTION);
  EXPECT_NE(RunSql(connection_, "CREATE INDEX y ON people (last, age DESC)"), NDS_SUCCESS);
  EXPECT_NE(RunSql(connection_, "CREATE INDEX y ON people (last) WHERE"), NDS_SUCCESS);
  EXPECT_NE(RunSql(connection_, "CREATE INDEX y ON nosuch (last)"), NDS_SUCCESS);
}

// The step queries of a walk in key order must seek in the SQLite index.
TEST_P(OrdersOnSqlite, NavigationQueriesSeekInTheIndex) {
  Exec("CREATE INDEX by_mixed ON people (UPPER(last) + first)");
  std::string store = store_.StoreFile();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  nce::RegisterExpressionFunctions(db);
  std::optional<nce::TableDesc> table = nce::DescribeTable(db, "people");
  ASSERT_TRUE(table);
  nce::OrderPtr order =
      nce::CompileOrder(*table, "people.ndi", "by_mixed", "UPPER(last) + first", "", 0);
  const std::string& key = order->key_sql;
  std::string step = "EXPLAIN QUERY PLAN SELECT rowid FROM people WHERE " + key + " >= ?1 AND (" +
                     key + " > ?1 OR rowid > ?2) ORDER BY " + key + ", rowid LIMIT 10";
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, step.c_str(), -1, &stmt, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW)
    plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)) + std::string("\n");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  EXPECT_NE(plan.find("USING INDEX _nce_ix_people_by_mixed"), std::string::npos) << plan;
  EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
}

TEST_P(OrdersOnServer, KeysItWouldComputeOtherwiseAreRefusedAndLeaveNothing) {
  EXPECT_EQ(RunSql(connection_, "CREATE INDEX by_text ON people (last + STR(age, 17, 2))"),
            NDS_E_NOT_SUPPORTED);
  EXPECT_NE(LastErrorText().find("STR wider than 14 digits"), std::string::npos) << LastErrorText();
  EXPECT_EQ(RunSql(connection_, "CREATE INDEX grown ON people (first) WHERE age >= 18"),
            NDS_SUCCESS);
  NDSHANDLE people = OpenTable("people");
  NDSHANDLE order = 0;
  for (const char* key : {"ROUND(age, 1)", "PADL(age, 8)", "CHR(age)"})
    EXPECT_NDS(NdsCreateIndex(people, nullptr, "x", key, nullptr, 0, &order), NDS_E_NOT_SUPPORTED)
        << key;
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_index_orders"), "1\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM pg_indexes WHERE tablename = 'people'"), "2\n");
  // Names longer than the server keeps stay apart; dropping the table
  // takes its orders out of the catalog.
  const std::string long_name(100, 'n');
  ASSERT_NDS_OK(
      NdsCreateIndex(people, nullptr, (long_name + "1").c_str(), "first", nullptr, 0, &order));
  ASSERT_NDS_OK(NdsCreateIndex(people, nullptr, (long_name + "2").c_str(), "last", nullptr,
                               NDS_INDEX_DESCENDING, &order));
  EXPECT_EQ(Walk(Order(people, long_name + "1"), people, "first").front(), "Al");
  EXPECT_EQ(Walk(Order(people, long_name + "2"), people, "first").front(), "Bob");  // "smith"
  NdsCloseTable(people);
  Exec("DROP TABLE people");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_index_orders"), "0\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_index_files"), "0\n");
}

// The step and seek queries of a walk in key order must read the server's
// index in key order, neither scanning the table nor sorting it.
TEST_P(OrdersOnServer, WalkStepsAndSeeksReadTheIndex) {
  Exec(
      "INSERT INTO people (last, first, age) SELECT 'n' || g, 'f' || (g % 7), g % 1000 FROM "
      "generate_series(1, 3000) AS g");
  Exec("CREATE INDEX by_name ON people (UPPER(last) + first)");
  Exec("CREATE INDEX by_age ON people (age DESC)");
  Exec("ANALYZE people");
  auto session = nce::PostgresSession::Connect(store_.path());
  std::optional<nce::TableDesc> table = nce::DescribeServerTable(*session, "people");
  ASSERT_TRUE(table);
  for (const char* name : {"by_name", "by_age"}) {
    nce::OrderPtr order =
        nce::LoadOrders(*session, *table, "").at(std::string(name) == "by_name" ? 0 : 1);
    nce::NavigationSql sql(
        nce::WalkSpec{"\"people\"", "\"first\"", order->key_sql, order->descending(), ""});
    std::string seek = "SELECT rowid, " + order->key_sql + " FROM \"people\" WHERE " +
                       order->key_sql + (order->descending() ? " < ?101" : " >= ?101") +
                       " ORDER BY " + order->key_sql + (order->descending() ? " DESC" : "") +
                       ", rowid" + (order->descending() ? " DESC" : "") + " LIMIT 1";
    // A key from the middle of the order, where either way holds many rows.
    auto middle = session->Prepare("SELECT " + order->key_sql +
                                   " FROM \"people\" ORDER BY rowid LIMIT 1 OFFSET 1500");
    ASSERT_TRUE(middle->Step());
    nce::Value key = middle->Column(0);
    for (const std::string& text : {sql.After(), sql.Before(), seek}) {
      auto explain = session->Prepare("EXPLAIN " + text);
      explain->Bind(101, key);
      if (text != seek) {
        explain->Bind(102, nce::Value::Integer(1500));
        explain->Bind(103, nce::Value::Integer(10));
      }
      std::string plan;
      while (explain->Step()) plan += explain->Column(0).bytes + "\n";
      EXPECT_NE(plan.find("Index Scan"), std::string::npos) << text << "\n" << plan;
      EXPECT_NE(plan.find(order->sqlite_index), std::string::npos) << text << "\n" << plan;
      EXPECT_EQ(plan.find("Sort"), std::string::npos) << text << "\n" << plan;
    }
  }
}

TEST_P(Orders, FollowARenamedColumnAndKeepTheColumnsTheyRead) {
  Exec("CREATE INDEX by_upper ON people (UPPER(last) DESC)");
  Exec("CREATE INDEX grown ON people (first) WHERE age >= 18 .AND. last <> 'x'");
  Exec("ALTER TABLE people RENAME COLUMN last TO surname");
  NDSHANDLE people = OpenTable("people");
  auto upper = [](const Person& p) {
    std::string text = Padded(p.last, 10);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  EXPECT_EQ(Walk(Order(people, "by_upper"), people, "first"), Expected(upper, true));
  EXPECT_EQ(Walk(Order(people, "grown"), people, "first"),
            (std::vector<std::string>{"Anna", "Carl"}));
  // An order's column cannot be dropped: the order stays as it was.
  EXPECT_NE(RunSql(connection_, "ALTER TABLE people DROP COLUMN age"), NDS_SUCCESS);
  EXPECT_EQ(Walk(Order(people, "grown"), people, "first"),
            (std::vector<std::string>{"Anna", "Carl"}));
}

}  // namespace
}  // namespace nce_test
