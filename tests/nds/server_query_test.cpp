// TNdsConnection and TNdsQuery on a database of the test PostgreSQL server:
// a statement inside a transaction, and a SELECT walked and read through
// its fields, with what the same work gives on a SQLite store; OEM texts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"
#include "tests/store/test_server.h"

namespace nds_test {
namespace {

enum class Store { kSqlite, kServer };

class ServerQuery : public ::testing::TestWithParam<Store> {
 protected:
  void SetUp() override {
    path_ = GetParam() == Store::kServer ? test_support::ServerUri(test_support::FreshDatabase())
                                         : dir_.MakeDir("db");
  }

  // A closed connection to the test's store, as a program sets one up.
  void Configure(nds::TNdsConnection& connection) {
    connection.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE, nds::stNDS_LOCAL});
    connection.SetLoginPrompt(false);
    connection.SetConnectPath(path_);
  }

  // Connects `connection`, makes table `declaration` ("name (columns)") with
  // the rows `values`, and sets `query` up as a live OEM query of all of it.
  void PrepareOemQuery(nds::TNdsConnection& connection, nds::TNdsQuery& query,
                       const std::string& declaration, const std::string& values) {
    Configure(connection);
    connection.Connect();
    Exec(connection, "create table " + declaration);
    const std::string table = declaration.substr(0, declaration.find(' '));
    Exec(connection, "insert into " + table + " values " + values);
    query.SetNdsConnection(&connection);
    query.NdsTableOptions()->SetNdsCharType(nds::OEM);
    query.SetRequestLive(true);
    SetText(query, "select * from " + table);
  }

  // Runs `sql` through a query of `connection`; the rows it reports changed.
  static int Exec(nds::TNdsConnection& connection, const std::string& sql) {
    nds::TNdsQuery query(nullptr);
    query.SetNdsConnection(&connection);
    SetText(query, sql);
    query.ExecSQL();
    return query.AffectedRows();
  }

  // The crew rows, walked First to Eof and read through fields.
  static std::string Crew(nds::TNdsConnection& connection) {
    nds::TNdsQuery query(nullptr);
    query.SetNdsConnection(&connection);
    SetText(query, "select id, name, hired, rate from crew order by id");
    query.Open();
    std::string rows;
    for (query.First(); !query.Eof(); query.Next()) {
      rows +=
          std::to_string(query.FieldByName("id")->AsInteger()) + " " +
          query.FieldByName("name")->AsString() + " " +
          (query.FieldByName("hired")->IsNull() ? "-" : query.FieldByName("hired")->AsString()) +
          " " + std::to_string(query.FieldByName("rate")->AsFloat()) + "\n";
    }
    rows += "count " + std::to_string(query.RecordCount());
    query.Close();
    return rows;
  }

  IniDir dir_;        // Also the current directory, where nds.ini is read
  std::string path_;  // The database directory or the server URI
};

std::string StoreName(const ::testing::TestParamInfo<Store>& store) {
  return store.param == Store::kServer ? "Server" : "Sqlite";
}

INSTANTIATE_TEST_SUITE_P(Stores, ServerQuery, ::testing::Values(Store::kSqlite, Store::kServer),
                         StoreName);

TEST_P(ServerQuery, ExecSqlInATransactionThenWalkASelect) {
  nds::TNdsConnection connection(nullptr);
  Configure(connection);
  connection.Connect();
  ASSERT_TRUE(connection.IsConnected());
  Exec(connection, "create table crew (id autoinc, name char(12), hired date, rate numeric(6,2))");

  connection.StartTransaction();
  EXPECT_EQ(Exec(connection,
                 "insert into crew (name, hired, rate) values ('Ada', '2024-02-29', 12.5), "
                 "('Bo', null, 7)"),
            2);
  connection.CommitTransaction();
  connection.StartTransaction();
  EXPECT_EQ(Exec(connection, "delete from crew"), 2);
  connection.RollbackTransaction();
  EXPECT_FALSE(connection.TransactionIsActive());

  const std::string expected =
      "1 Ada 2024-02-29 12.500000\n"
      "2 Bo - 7.000000\n"
      "count 2";
  EXPECT_EQ(Crew(connection), expected);
  // A second connection, named by an alias of nds.ini, sees the committed
  // rows.
  dir_.WriteIni("[Databases]\nCREW=" + path_ + "\n");
  nds::TNdsConnection other(nullptr);
  Configure(other);
  other.SetAliasName("CREW");
  EXPECT_EQ(Crew(other), expected);
  EXPECT_EQ(other.ServerPath(), path_);
}

// A data dictionary with users checks the login that the components send:
// a .ndd, and the dictionary every database on a server holds.
TEST_P(ServerQuery, TheDictionaryChecksTheLoginTheComponentsSend) {
  if (GetParam() == Store::kSqlite) {
    path_ += "/crew.ndd";
    std::ofstream(path_).close();  // a new dictionary
  }
  nds::TNdsConnection setup(nullptr);
  Configure(setup);
  setup.Connect();
  setup.StartTransaction();
  for (const char* sql :
       {"CREATE GROUP ADMIN", "CREATE USER boss PASSWORD 'secret'", "ADD USER boss TO GROUP ADMIN"})
    Exec(setup, sql);
  setup.CommitTransaction();
  setup.Disconnect();

  auto login_error = [&](const std::string& user, const std::string& password) -> uint32_t {
    nds::TNdsConnection connection(nullptr);
    Configure(connection);
    connection.SetUsername(user);
    connection.SetPassword(password);
    try {
      connection.Connect();
    } catch (const nds::ENDSDatabaseError& e) {
      return e.EngineErrorCode();
    }
    return connection.IsConnected() ? 0u : 1u;
  };
  EXPECT_EQ(login_error("boss", "secret"), 0u);
  EXPECT_EQ(login_error("boss", "wrong"), NDS_E_LOGIN_FAILED);
}

// A query with the OEM character type shows accented texts exactly as they
// were written, and a memo field tells its filled records from its empty and
// NULL ones, and a NULL text stays NULL, through a walk, an edit, a post and
// a second reading.
TEST_P(ServerQuery, OemTextsAndMemoPresenceReadBackExactlyAfterAnEdit) {
  nds::TNdsConnection connection(nullptr);
  nds::TNdsQuery query(nullptr);
  PrepareOemQuery(connection, query, "notes (id integer, name char(12), memo memo)",
                  "(1, '\u00c4 \u00e9 \u00f1 \u00f8', 'filled'), (2, 'plain', ''), "
                  "(3, '\u00d8re', null), (4, null, null)");
  auto rows = [&] {
    std::string text;
    for (query.First(); !query.Eof(); query.Next()) {
      const dataset::TField& memo = *query.FieldByName("memo");
      const dataset::TField& name = *query.FieldByName("name");
      text += (name.IsNull() ? "null" : name.AsString()) + "|" +
              (memo.IsNull() ? "null" : memo.AsString()) + "\n";
    }
    return text;
  };
  query.Open();
  EXPECT_EQ(rows(), "\u00c4 \u00e9 \u00f1 \u00f8|filled\nplain|null\n\u00d8re|null\nnull|null\n");

  // Every record changes: an accented name, a memo filled, one emptied.
  const std::vector<std::pair<std::string, std::string>> edits = {
      {"\u00f1and\u00fa \u00c4", ""}, {"\u00e9t\u00e9", "\u00f8l"}, {"\u00d8re", "x"}};
  query.First();
  for (const auto& [name, memo] : edits) {
    query.Edit();
    query.FieldByName("name")->SetAsString(name);
    query.FieldByName("memo")->SetAsString(memo);
    query.Post();
    query.Next();
  }
  const std::string edited =
      "\u00f1and\u00fa \u00c4|null\n\u00e9t\u00e9|\u00f8l\n\u00d8re|x\nnull|null\n";
  EXPECT_EQ(rows(), edited);
  query.Close();
  query.Open();
  EXPECT_EQ(rows(), edited);
  // A static result shows the same.
  query.Close();
  query.SetRequestLive(false);
  SetText(query, "select * from notes order by id");
  query.Open();
  EXPECT_EQ(rows(), edited);
}

}  // namespace
}  // namespace nds_test

namespace nds_test {
namespace {

// An OEM query reads every text and blob presence from the record image
// alone: with the engine's per-field reads made to fail, a walk still shows
// accented texts (and characters code page 437 lacks) exactly; a text
// assigned back unchanged and an edit of another field leave the stored
// text as it was.
TEST_P(ServerQuery, OemQueryReadsTextsAndBlobPresenceFromTheImageAlone) {
  nds::TNdsConnection connection(nullptr);
  nds::TNdsQuery query(nullptr);
  PrepareOemQuery(connection, query, "people (id integer, name char(20), note char(8), memo memo)",
                  "(1, 'M\u00fcller \u2554\u2550\u2557', 'a', 'x'), "
                  "(2, '\u00c5ngstr\u00f6m 5\u20ac', 'b', ''), (3, 'fa\u00e7ade', 'c', null)");
  query.Open();
  std::string shown;
  {
    nce::testing::FailpointGuard guard;
    nce::testing::ArmFailpoint("NdsGetField", 5000, "no per-field read", 1000);
    nce::testing::ArmFailpoint("NdsIsEmpty", 5000, "no per-field read", 1000);
    for (query.First(); !query.Eof(); query.Next())
      shown += query.FieldByName("name")->AsString() + "|" +
               (query.FieldByName("memo")->IsNull() ? "null" : "filled") + "\n";
    EXPECT_EQ(
        nce::testing::FailpointHits("NdsGetField") + nce::testing::FailpointHits("NdsIsEmpty"), 0);
  }
  const std::string names =
      "M\u00fcller \u2554\u2550\u2557|filled\n\u00c5ngstr\u00f6m 5\u20ac|null\nfa\u00e7ade|null\n";
  EXPECT_EQ(shown, names);

  for (query.First(); !query.Eof(); query.Next()) {
    query.Edit();
    query.FieldByName("note")->SetAsString("edited");
    if (query.FieldByName("id")->AsInteger() == 2)
      query.FieldByName("name")->SetAsString(query.FieldByName("name")->AsString());
    query.Post();
  }
  query.Close();
  EXPECT_EQ(Exec(connection,
                 "update people set note = 'x' where name = 'M\u00fcller "
                 "\u2554\u2550\u2557' or name = '\u00c5ngstr\u00f6m 5\u20ac'"),
            2);
  query.Open();
  shown.clear();
  for (query.First(); !query.Eof(); query.Next())
    shown += query.FieldByName("name")->AsString() + "|" +
             (query.FieldByName("memo")->IsNull() ? "null" : "filled") + "\n";
  EXPECT_EQ(shown, names);
}

}  // namespace
}  // namespace nds_test
