// The components on a database of the test server whose link breaks while
// a query is open: outside a transaction at most the call that finds it
// broken raises and the next connects again; inside one the next statement
// raises within a moment instead of hanging, nothing is committed, and a new
// connection works.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"
#include "tests/store/test_server.h"
#include "tests/support/link_relay.h"

namespace nds_test {
namespace {

TEST(ServerLink, CutUnderAnOpenQueryRaisesAtOnceAndANewConnectionWorks) {
  const std::string database = test_support::FreshDatabase();
  test_support::LinkRelay relay("127.0.0.1", std::stoi(test_support::ServerPort()));
  const std::string uri = test_support::ThroughRelay(test_support::ServerUri(database), relay);
  auto connect = [&](nds::TNdsConnection& connection) {
    connection.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE});
    connection.SetLoginPrompt(false);
    connection.SetConnectPath(uri);
    connection.Connect();
  };
  nds::TNdsConnection connection(nullptr);
  connect(connection);
  nds::TNdsQuery setup(nullptr);
  setup.SetNdsConnection(&connection);
  SetText(setup, "CREATE TABLE crew (id INTEGER, name CHAR(10)); INSERT INTO crew VALUES (1, 'a')");
  setup.ExecSQL();

  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(&connection);
  SetText(query, "SELECT id, name FROM crew");
  query.Open();
  // Outside a transaction at most the call that finds the link broken
  // raises, and the next one connects again by itself.
  relay.Cut();
  int raised = 0;
  for (int call = 0; call < 3; ++call) {
    try {
      connection.StartTransaction();
      break;
    } catch (const std::exception&) {
      ++raised;
    }
  }
  EXPECT_LE(raised, 1);

  // Inside the transaction the link breaks again: the next statement raises
  // at once, and nothing of the transaction is committed.
  SetText(setup, "INSERT INTO crew VALUES (2, 'b')");
  setup.ExecSQL();
  relay.Cut();
  SetText(setup, "INSERT INTO crew VALUES (3, 'c')");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_ANY_THROW(setup.ExecSQL());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_ANY_THROW(connection.CommitTransaction());
  query.Close();

  nds::TNdsConnection again(nullptr);
  connect(again);
  nds::TNdsQuery read(nullptr);
  read.SetNdsConnection(&again);
  SetText(read, "SELECT name FROM crew");
  read.Open();
  EXPECT_EQ(read.FieldByName("name")->AsString(), "a");
  EXPECT_EQ(read.RecordCount(), 1);
  read.Close();
}

}  // namespace
}  // namespace nds_test
