// Helpers for the query and statement tests: a connection to a fresh engine
// database in a temporary directory, reading values straight from the store
// with SQLite, and the archive repair script with the tables it works on.
#ifndef TESTS_NDS_QUERY_TEST_SUPPORT_H_
#define TESTS_NDS_QUERY_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/nds_test_support.h"

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
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dir_ + "/nce.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
      sqlite3_close(db);
      ADD_FAILURE() << "cannot open the store";
      return values;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << select;
    } else {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string value;
        if (withType) value = std::string(TypeName(sqlite3_column_type(stmt, 0))) + ":";
        if (sqlite3_column_type(stmt, 0) == SQLITE_NULL) {
          value += "NULL";
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_blob(stmt, 0));
          value +=
              std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
        }
        values.push_back(value);
      }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return values;
  }

  long Count(const std::string& table) const {
    const auto v = Column("select count(*) from " + table);
    return v.empty() ? -1 : std::stol(v[0]);
  }

 private:
  static const char* TypeName(int type) {
    switch (type) {
      case SQLITE_INTEGER:
        return "integer";
      case SQLITE_FLOAT:
        return "real";
      case SQLITE_TEXT:
        return "text";
      case SQLITE_BLOB:
        return "blob";
      default:
        return "null";
    }
  }

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

// The archive repair script as the repair window stores it: 125 lines.
inline std::vector<std::string> ArchiveRepairScript() {
  const auto& p = ArchivePairs();
  const std::string tab = "\t   ";
  std::vector<std::string> lines;
  auto live = [&](size_t i, bool semicolon) {
    lines.push_back(std::string("delete from ") + p[i].table + " where " + p[i].key +
                    " in (select " + p[i].key + " from a_" + p[i].table + ")" +
                    (semicolon ? ";" : ""));
  };
  auto dedup = [&](size_t i) {
    lines.push_back(std::string("delete from a_") + p[i].table);
    lines.push_back("where rowid not in ");
    lines.push_back(std::string("     (select min(rowid) from a_") + p[i].table + " ");
    lines.push_back(std::string("       group by ") + p[i].key + ");");
  };
  for (size_t i = 0; i < 6; ++i) {
    live(i, true);
    lines.push_back("");
  }  // 1-12
  for (size_t i = 0; i < 12; ++i) {
    dedup(i);
    lines.push_back("");
  }                      // 13-72
  dedup(12);             // 73-76
  dedup(13);             // 77-80
  lines.push_back(tab);  // 81
  for (size_t i = 14; i < 18; ++i) {
    dedup(i);
    lines.push_back("");
  }  // 82-101
  for (size_t i = 6; i < 13; ++i) {
    live(i, true);
    lines.push_back("");
  }                      // 102-115
  live(13, true);        // 116
  lines.push_back(tab);  // 117
  for (size_t i = 14; i < 17; ++i) {
    live(i, true);
    lines.push_back("");
  }                                  // 118-123
  live(17, false);                   // 124
  lines.push_back(tab + tab + tab);  // 125
  return lines;
}

}  // namespace nds_test

#endif  // TESTS_NDS_QUERY_TEST_SUPPORT_H_
