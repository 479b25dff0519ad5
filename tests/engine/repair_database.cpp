#include "tests/engine/repair_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

#include "tests/engine/engine_test_support.h"

namespace nce_test {

void BuildRepairDatabase(NDSHANDLE connection, Damage damage, uint32_t seed) {
  std::mt19937 random(seed);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  std::string sql;
  int table_number = 0;
  for (const TablePair& pair : RepairPairs()) {
    ++table_number;
    // Some pairs key on text, the rest on integers, as the application's do.
    bool text_key = table_number % 4 == 0;
    std::string key_type = text_key ? "CHAR(12)" : "INTEGER";
    std::string live = pair.live, archive = std::string("a_") + pair.live;
    for (const std::string& table : {live, archive})
      sql += "CREATE TABLE " + table + "(" + pair.key + " " + key_type +
             ", Note CHAR(20), Amount NUMERIC(8,2), Made DATE);\n";
    auto key = [&](int k) { return text_key ? "'K" + std::to_string(k) + "'" : std::to_string(k); };
    auto row = [&](const std::string& table, const std::string& k, int n) {
      sql += "INSERT INTO " + table + " VALUES(" + k + ", 'row " + std::to_string(n) + "', " +
             std::to_string(n) + ".25, '2024-01-" + std::to_string(10 + n % 18) + "');\n";
    };
    int n = 0;
    switch (damage) {
      case Damage::kNone:
        for (int k = 1; k <= 5; ++k) row(live, key(k), ++n);
        for (int k = 6; k <= 8; ++k) row(archive, key(k), ++n);
        break;
      case Damage::kOverlapAndCopies:
        for (int k = 1; k <= 6; ++k) row(live, key(k), ++n);
        for (int copy = 0; copy < 3; ++copy) row(archive, key(2), ++n);
        row(archive, key(4), ++n);
        row(archive, key(9), ++n);
        row(archive, key(9), ++n);
        break;
      case Damage::kNullKeys:
        row(live, "NULL", ++n);
        row(live, key(1), ++n);
        row(live, "NULL", ++n);
        row(archive, "NULL", ++n);
        row(archive, key(1), ++n);
        row(archive, "NULL", ++n);
        row(archive, "NULL", ++n);
        break;
      case Damage::kEmptyArchives:
        for (int k = 1; k <= 4; ++k) row(live, key(k), ++n);
        if (table_number % 2) {
          row(archive, key(3), ++n);
          row(archive, key(3), ++n);
        }
        break;
      case Damage::kRandom:
        for (int i = 0; i < 40; ++i) {
          std::string k = chance(5) ? "NULL" : key(static_cast<int>(random() % 30));
          row(chance(50) ? live : archive, k, ++n);
        }
        break;
    }
  }
  RunSqlOrFail(connection, sql);
}

std::string DumpUserTables(const std::string& store_file) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(store_file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::vector<std::string> tables;
  sqlite3_stmt* list = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                     "'\\_nce\\_%' ESCAPE '\\' ORDER BY name",
                     -1, &list, nullptr);
  while (sqlite3_step(list) == SQLITE_ROW)
    tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
  sqlite3_finalize(list);
  std::string dump;
  for (const std::string& table : tables) {
    dump += "[" + table + "]\n";
    sqlite3_stmt* rows = nullptr;
    std::string sql = "SELECT * FROM (SELECT rowid AS r, * FROM \"" + table + "\") ORDER BY r";
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &rows, nullptr), SQLITE_OK);
    int columns = sqlite3_column_count(rows);
    while (sqlite3_step(rows) == SQLITE_ROW) {
      for (int c = 0; c < columns; ++c) {
        const unsigned char* text = sqlite3_column_text(rows, c);
        dump += (c ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL") +
                ":" + std::to_string(sqlite3_column_type(rows, c));
      }
      dump += "\n";
    }
    sqlite3_finalize(rows);
  }
  sqlite3_close(db);
  return dump;
}

}  // namespace nce_test
