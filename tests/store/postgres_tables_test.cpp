// Engine tables on a PostgreSQL server hold what the engine's SQLite tables
// hold and refuse what they refuse: the same table made on both stores, the
// same inserts on both, the same values back or the same refusals.
#include "engine/storage/postgres/postgres_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/base/errors.h"
#include "engine/schema/catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_session.h"
#include "nce/nce.h"
#include "tests/store/test_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/type_misfits.h"

namespace {

using nce::Value;

// The fields of every type: those of the SQLite guards' suite and the ones
// without guards there.
std::string AllTypesTable() {
  std::string sql = test_support::kAllTypes;
  sql.pop_back();
  return sql + ", mo MEMO, v VARCHAR(10), bl BLOB, im IMAGE, cu CURDOUBLE, rv ROWVERSION, " +
         "mt MODTIME)";
}

// What an insert of one value gave: the value read back, or the refusal.
struct Outcome {
  bool refused = false;
  uint32_t number = 0;
  std::string text;
  Value value;
};

class ServerTables : public ::testing::Test {
 protected:
  void SetUp() override {
    NDSHANDLE connection = 0, statement = 0, cursor = 0;
    ASSERT_EQ(NdsConnect60(dir_.str().c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection), 0u);
    ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), 0u);
    ASSERT_EQ(NdsExecuteSQLDirect(statement, AllTypesTable().c_str(), &cursor), 0u);
    NdsCloseSQLStatement(statement);
    NdsDisconnect(connection);
    sqlite_ = nce::SqliteSession::OpenFile((dir_.path() / "nce.db").string());
    table_ = *nce::DescribeTable(sqlite_->db(), "b");
    try {
      server_ =
          nce::PostgresSession::Connect(test_support::ServerUri(test_support::FreshDatabase()));
      server_->Execute(nce::PostgresCreateTable(table_));
    } catch (const nce::EngineError& error) {
      FAIL() << error.text();
    }
  }

  // Inserts `value` (an SQL literal, or the value bound when `literal` is
  // empty) into `column` alone on `store`, and reads the row back.
  Outcome Insert(nce::StoreSession& store, bool server, const std::string& column,
                 const std::string& literal, const Value& value = Value::Null()) {
    Outcome outcome;
    try {
      store.Execute("DELETE FROM b");
      auto insert = store.Prepare("INSERT INTO b (" + column + ") VALUES (" +
                                  (literal.empty() ? "?1" : literal) + ")");
      if (literal.empty()) insert->Bind(1, value);
      insert->Step();
      auto read = store.Prepare("SELECT " + column + " FROM b");
      if (read->Step()) outcome.value = read->Column(0);
    } catch (const nce::EngineError& error) {
      std::optional<nce::EngineError> refusal;
      if (server) refusal = nce::PostgresGuardRefusal(table_, error);
      outcome.refused = true;
      outcome.number = refusal ? refusal->number() : error.number();
      outcome.text = refusal ? refusal->text() : error.text();
    }
    return outcome;
  }

  test_support::TempDir dir_;
  std::unique_ptr<nce::SqliteSession> sqlite_;
  std::unique_ptr<nce::PostgresSession> server_;
  nce::TableDesc table_;
};

// Whether the server gave back `server` where SQLite gave `local`: the same
// value, or the same number as a numeric column's text for a real.
bool Same(const Value& server, const Value& local) {
  if (server.kind == Value::Kind::kText && local.kind == Value::Kind::kReal) {
    char* end = nullptr;
    return std::strtod(server.bytes.c_str(), &end) == local.real && *end == 0;
  }
  return server.kind == local.kind && server.integer == local.integer &&
         std::memcmp(&server.real, &local.real, sizeof local.real) == 0 &&
         server.bytes == local.bytes;
}

TEST_F(ServerTables, ValuesTheSqliteStoreTakesComeBackAsItGivesThemBack) {
  const std::string longest = "a\xC3\xA4\xE2\x82\xAC";  // 6 bytes, 3 characters
  const std::vector<std::pair<std::string, Value>> values = {
      {"c", Value::Text(longest.substr(1))},
      {"ci", Value::Text("\xE2\x82\xAC")},
      {"mo", Value::Text(longest + longest)},
      {"v", Value::Text("\xC3\xA4 ")},
      {"s", Value::Integer(-32767)},
      {"s", Value::Integer(32767)},
      {"i", Value::Integer(-2147483647)},
      {"i", Value::Integer(2147483647)},
      {"i", Value::Text("12")},
      {"a", Value::Integer(0)},
      {"rv", Value::Integer(INT64_MIN)},
      {"rv", Value::Integer(INT64_MAX)},
      {"l", Value::Integer(0)},
      {"l", Value::Integer(1)},
      {"d", Value::Text("0001-01-01")},
      {"d", Value::Text("9999-12-31")},
      {"cd", Value::Text("2024-02-29")},
      {"d", Value::Text("0999-12-31")},
      {"tm", Value::Text("23:59:59.999")},
      {"tm", Value::Text("00:00:00.000")},
      {"ts", Value::Text("0001-01-01 00:00:00.000")},
      {"ts", Value::Text("0999-12-31 23:59:59.999")},
      {"ts", Value::Text("9999-12-31 23:59:59.999")},
      {"mt", Value::Text("2024-02-29 12:30:00.010")},
      {"f", Value::Real(5e-324)},
      {"f", Value::Real(-1.7976931348623157e308)},
      {"cu", Value::Real(1.7976931348623157e308)},
      {"cu", Value::Integer(-7)},
      {"f", Value::Real(0.1)},
      {"f", Value::Real(0.30000000000000004)},
      {"cu", Value::Real(-1.0 / 3)},
      {"n", Value::Real(2.0 / 3)},
      {"i", Value::Real(-2147483647.0)},
      {"rv", Value::Real(0x1p60)},              // 1152921504606846976, SQLite's whole number
      {"rv", Value::Real(-8.876543210987e18)},  // -8876543210986999808
      {"rv", Value::Real(9007199254740994.0)},
      {"n", Value::Real(99.99)},
      {"n", Value::Real(-9.99)},
      {"m", Value::Text("922337203685477.5807")},
      {"m", Value::Text("-922337203685477.5807")},
      {"m", Value::Real(0.1)},
      {"m", Value::Integer(-12)},
      {"m", Value::Text("123456789012.3456")},
      {"r", Value::Blob(std::string("\0\xff", 2))},
      {"bl", Value::Blob(std::string("\0\0", 2))},
      {"im", Value::Blob(std::string(70000, '\x80'))},
      {"a", Value::Integer(4294967294)}};  // last: SQLite numbers autoinc fields after it
  for (const auto& [column, value] : values) {
    SCOPED_TRACE(column + " = " + value.bytes.substr(0, 30) + std::to_string(value.integer));
    Outcome local = Insert(*sqlite_, false, column, "", value);
    Outcome server = Insert(*server_, true, column, "", value);
    ASSERT_FALSE(local.refused) << local.text;
    ASSERT_FALSE(server.refused) << server.text;
    EXPECT_TRUE(Same(server.value, local.value)) << server.value.bytes << " " << local.value.bytes;
  }
}

// Times written without all three decimals, which both stores take, read
// back from the server as the engine writes them.
TEST_F(ServerTables, ShortTimesReadBackInTheEnginesForm) {
  const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> times = {
      {"tm", {"10:00", "10:00:00.000"}},
      {"tm", {"10:00:00.5", "10:00:00.500"}},
      {"tm", {"23:59:59.25", "23:59:59.250"}},
      {"ts", {"2024-03-05", "2024-03-05 00:00:00.000"}},
      {"ts", {"0999-03-05T10:00:00.1", "0999-03-05 10:00:00.100"}},
      {"mt", {"2024-03-05 10:00:07", "2024-03-05 10:00:07.000"}}};
  for (const auto& [column, text] : times) {
    SCOPED_TRACE(column + " = " + text.first);
    ASSERT_FALSE(Insert(*sqlite_, false, column, "", Value::Text(text.first)).refused);
    Outcome server = Insert(*server_, true, column, "", Value::Text(text.first));
    ASSERT_FALSE(server.refused) << server.text;
    EXPECT_EQ(server.value.bytes, text.second);
  }
}

// An SQL literal in the server's spelling: blobs are '\x..'::bytea there.
std::string ServerLiteral(std::string literal) {
  if (literal.starts_with("x'")) literal = "'\\x" + literal.substr(2) + "::bytea";
  return literal;
}

TEST_F(ServerTables, MisfitsAreRefusedWithTheSqliteStoresNumberAndText) {
  for (const test_support::TypeMisfit& misfit : test_support::kMisfits) {
    SCOPED_TRACE(std::string(misfit.column) + " = " + misfit.value);
    Outcome local = Insert(*sqlite_, false, misfit.column, misfit.value);
    Outcome server = Insert(*server_, true, misfit.column, ServerLiteral(misfit.value));
    ASSERT_TRUE(local.refused);
    ASSERT_EQ(local.number, misfit.error) << local.text;
    if (!server.refused) {
      // The server reads a few spellings of a date that the engine does
      // not write; it takes them as the day they name.
      EXPECT_TRUE(std::string_view(misfit.value).starts_with("'2024-3-05") ||
                  std::string_view(misfit.value).starts_with("'2024-03-05 "))
          << "the server took it as " << server.value.bytes;
      EXPECT_EQ(server.value.bytes, "2024-03-05");
      continue;
    }
    EXPECT_EQ(server.number, local.number) << local.text << " | " << server.text;
    if (server.text.starts_with("Value does not fit table"))
      EXPECT_EQ(local.number, NDS_E_VALUE_INVALID);  // refused by the column's type
    else
      EXPECT_EQ(server.text, local.text);
  }
}

// A real bound for a number field reaches its numeric column with all its
// digits, so that the column's checks refuse what SQLite's guards refuse;
// rounded to 15 digits, each of these would be taken.
TEST_F(ServerTables, RealsForNumberFieldsAreRefusedAsOnSqlite) {
  const std::vector<std::pair<std::string, double>> misfits = {{"m", 0.30000000000000004},
                                                               {"m", -1.00005},
                                                               {"i", 1.0000000000000002},
                                                               {"i", 2147483647.0000002},
                                                               {"s", 32767.000000000004},
                                                               {"a", 4294967294.0000005},
                                                               {"l", 1.0000000000000002},
                                                               {"rv", 0x1p63},
                                                               {"rv", -0x1p63}};
  for (const auto& [column, real] : misfits) {
    SCOPED_TRACE(column + " = " + std::to_string(real));
    Outcome local = Insert(*sqlite_, false, column, "", Value::Real(real));
    Outcome server = Insert(*server_, true, column, "", Value::Real(real));
    ASSERT_TRUE(local.refused);
    ASSERT_TRUE(server.refused) << "the server took it as " << server.value.bytes
                                << server.value.integer;
    EXPECT_EQ(server.number, local.number);
    EXPECT_EQ(server.text, local.text);
  }
  // SQLite refuses an amount of 1e11 or more with decimals given as a real,
  // as its SQL numbers keep 15 digits; the server keeps the real's shortest
  // digits, which read back as the same real.
  Outcome large = Insert(*server_, true, "m", "", Value::Real(123456789012.3456));
  ASSERT_FALSE(large.refused) << large.text;
  EXPECT_EQ(large.value.bytes, "123456789012.3456");
}

}  // namespace
