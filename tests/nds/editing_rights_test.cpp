// Rights of a data dictionary user over editing: the table's update and
// insert rights decide whether a record can be edited or added at all, the
// column rights whether a field can be assigned, and nothing refused
// reaches the store.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;

class EditingRights : public ::testing::Test {
 protected:
  void SetUp() override {
    dictionary_ = db_.Dir() + "/app.ndd";
    std::ofstream(dictionary_).close();  // an empty file becomes a new dictionary
    // The first connection, made while the dictionary has no users, sets up
    // the table, the users and their rights.
    nds::TNdsConnection& admin = Connect("", "");
    for (const char* sql :
         {"CREATE TABLE parts (code CHAR(6), name CHAR(20), qty INTEGER)",
          "INSERT INTO parts VALUES ('P1', 'Bolt', 10)", "CREATE USER reader PASSWORD 'r'",
          "GRANT SELECT ON parts TO reader", "CREATE USER clerk PASSWORD 'c'",
          "GRANT SELECT ON parts TO clerk", "GRANT UPDATE ON parts (qty) TO clerk",
          "GRANT INSERT ON parts (code) TO clerk"})
      admin.ExecuteStatement(sql, nullptr, false, nullptr);
    admin.Disconnect();
  }

  nds::TNdsConnection& Connect(const std::string& user, const std::string& password) {
    nds::TNdsConnection& connection =
        *connections_.emplace_back(std::make_unique<nds::TNdsConnection>(nullptr));
    connection.SetLoginPrompt(false);
    connection.SetConnectPath(dictionary_);
    connection.SetUsername(user);
    connection.SetPassword(password);
    connection.Connect();
    return connection;
  }

  // A live query over parts as `user`, on its first record.
  nds::TNdsQuery& OpenAs(const std::string& user, const std::string& password) {
    nds::TNdsQuery& query = *queries_.emplace_back(std::make_unique<nds::TNdsQuery>(nullptr));
    query.SetName("Q");
    query.SetNdsConnection(&Connect(user, password));
    query.SetRequestLive(true);
    nds_test::SetText(query, "select * from parts");
    query.Open();
    return query;
  }

  static std::uint32_t CodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const nds::ENDSDatabaseError& error) {
      return error.EngineErrorCode();
    }
    return 0;
  }

  // The stored records, read afresh as the reading user.
  std::string Parts() {
    nds::TNdsQuery& query = OpenAs("reader", "r");
    std::string rows;
    for (; !query.Eof(); query.Next())
      for (dataset::TField* field : query.Fields())
        rows += (field->IsNull() ? "-" : field->AsString()) + (field->Index() == 2 ? ";" : " ");
    return rows;
  }

  nds_test::QueryDatabase db_;
  std::string dictionary_;
  std::vector<std::unique_ptr<nds::TNdsConnection>> connections_;
  std::vector<std::unique_ptr<nds::TNdsQuery>> queries_;
};

TEST_F(EditingRights, AUserWithoutTableRightsCanNeitherEditNorAdd) {
  nds::TNdsQuery& query = OpenAs("reader", "r");
  EXPECT_EQ(MessageOf([&] { query.Edit(); }), "Q: Update permission not granted on this table.");
  EXPECT_EQ(CodeOf([&] { query.Edit(); }), NDS_E_RIGHTS);
  EXPECT_EQ(MessageOf([&] { query.Append(); }), "Q: Insert permission not granted on this table.");
  EXPECT_EQ(CodeOf([&] { query.Insert(); }), NDS_E_RIGHTS);
  EXPECT_EQ(query.State(), dataset::dsBrowse);
  EXPECT_EQ(Parts(), "P1 Bolt 10;");
}

TEST_F(EditingRights, ColumnRightsDecideWhichFieldsCanBeAssigned) {
  nds::TNdsQuery& query = OpenAs("clerk", "c");
  query.Edit();
  EXPECT_EQ(MessageOf([&] { query.FieldByName("name")->SetAsString("Nut"); }),
            "Q: Update permission not granted on this field: name.");
  query.FieldByName("qty")->SetAsInteger(11);
  query.Post();

  query.Append();
  query.FieldByName("code")->SetAsString("P2");
  EXPECT_EQ(CodeOf([&] { query.FieldByName("qty")->SetAsInteger(1); }), NDS_E_RIGHTS);
  EXPECT_EQ(MessageOf([&] { query.FieldByName("name")->SetAsString("Nut"); }),
            "Q: Insert permission not granted on this field: name.");
  query.Post();
  EXPECT_EQ(Parts(), "P1 Bolt 11;P2 - -;");
}

}  // namespace
