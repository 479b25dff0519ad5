// Helpers for the query and statement tests: a connection to a fresh engine
// database in a temporary directory, reading values straight from the store
// with SQLite, and the tables the archive repair script works on.
#ifndef TESTS_NDS_QUERY_TEST_SUPPORT_H_
#define TESTS_NDS_QUERY_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/nds_test_support.h"
#include "tests/support/repair_script.h"
#include "tests/support/store_sql.h"

namespace nds_test {

// Gives `query` the SQL text `text` (lines separated by line breaks).
inline void SetText(nds::TNdsQuery& query, const std::string& text) {
  dataset::TStringList lines;
  lines.SetText(text);
  query.SetSQL(&lines);
}

// A closed connection whose ConnectPath is a fresh database directory.
class QueryDatabase {
 public:
  QueryDatabase() : dir_(temp_.MakeDir("db")) {
    connection_ = std::make_unique<nds::TNdsConnection>(nullptr);
    connection_->SetName("Conn");
    connection_->SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_LOCAL});
    connection_->SetLoginPrompt(false);
    connection_->SetConnectPath(dir_);
  }

  nds::TNdsConnection& Connection() { return *connection_; }
  const std::string& Dir() const { return dir_; }
  TempDir& Temp() { return temp_; }

  // Runs `sql` through the connection (connecting it when closed).
  void Exec(const std::string& sql) { connection_->ExecuteStatement(sql, nullptr, false, nullptr); }

  // The first column of every row `select` yields, as text, read from the
  // store with SQLite itself ("NULL" for null, "<type>:" prefixed when
  // `withType`).
  std::vector<std::string> Column(const std::string& select, bool withType = false) const {
    try {
      test_support::StoreSql store(dir_ + "/nce.db", test_support::StoreSql::Access::kReadOnly);
      std::vector<std::string> values = store.Column(select, withType);
      if (values.size() == 1 && values[0].rfind("<error>", 0) == 0) {
        ADD_FAILURE() << values[0] << " in " << select;
        return {};
      }
      return values;
    } catch (const std::runtime_error& error) {
      ADD_FAILURE() << error.what();
      return {};
    }
  }

  long Count(const std::string& table) const {
    const auto v = Column("select count(*) from " + table);
    return v.empty() ? -1 : std::stol(v[0]);
  }

 private:
  TempDir temp_;
  std::string dir_;
  std::unique_ptr<nds::TNdsConnection> connection_;
};

// The 18 live tables of the archive repair, their archive tables and keys.
struct ArchivePair {
  const char* table;
  const char* key;
};
inline const std::vector<ArchivePair>& ArchivePairs() {
  static const std::vector<ArchivePair> pairs = {
      {"acftcomp", "Rec_No"},        {"acftcrpt", "Rec_No"},     {"acftlog", "ALog_No"},
      {"acftmaint", "Rec_No"},       {"chkrides", "ChkRide_No"}, {"dmico", "Rec_No"},
      {"dutyschedule", "Entry_No"},  {"fltleg", "Leg_No"},       {"fltsqk", "SqkNo"},
      {"passenger", "Passenger_No"}, {"pdlog", "Entry_No"},      {"pilotlog", "Entry_No"},
      {"ratings", "Rating_No"},      {"schedule", "Entry_No"},   {"shiftlog", "Entry_No"},
      {"squawk", "Rec_No"},          {"wcpartchange", "Rec_No"}, {"workcard", "Rec_No"}};
  return pairs;
}

using test_support::RepairScriptLines;

}  // namespace nds_test

#endif  // TESTS_NDS_QUERY_TEST_SUPPORT_H_
