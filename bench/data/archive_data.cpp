// bench-archive-data ROWS SEED FILE: builds the 18 live tables of the
// Volantra database and their archive tables in a new SQLite file, ROWS rows
// per table, with the archive damage the repair script mends. The same ROWS
// and SEED give the same file on every machine (the generator is
// std::mt19937_64, whose output the C++ standard fixes; distributions are
// done here by hand because the standard's are implementation-defined).
//
// Per pair: the live table holds keys 1..ROWS. The archive holds about
// ROWS/1.3 distinct keys, about 20% of the live keys among them (records
// archived but never removed from the live table) and the rest keys of
// records only archived; on top of one row per key come about 30% extra
// copies of keys already there. Archive rows are stored in shuffled order, so
// the copy with the lowest rowid is not always the first one written.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tools/demo_database.h"

namespace {

const char* const kWords[] = {
    "Routine.",    "Replaced unit, ops check good.", "Deferred per MEL.", "Crosswind landing.",
    "No remarks.", "Oil pressure fluctuates.",       "Brake wear check.", "Annual inspection."};

using Rng = std::mt19937_64;

// A number in [0, n) from the generator; the tiny modulo bias is irrelevant
// here and keeps the sequence the same on every standard library.
uint64_t Below(Rng& rng, uint64_t n) {
  return rng() % n;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "bench-archive-data: %s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

void Exec(sqlite3* db, const std::string& sql) {
  Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

// One row: the key and three payload columns, a remark, a date and an amount.
void InsertRow(sqlite3* db, sqlite3_stmt* insert, Rng& rng, int64_t key) {
  char date[16];
  const uint64_t day = Below(rng, 28 * 12 * 8);
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", static_cast<int>(2017 + day / (28 * 12)),
                static_cast<int>(day / 28 % 12 + 1), static_cast<int>(day % 28 + 1));
  sqlite3_bind_int64(insert, 1, key);
  sqlite3_bind_text(insert, 2, kWords[Below(rng, std::size(kWords))], -1, SQLITE_STATIC);
  sqlite3_bind_text(insert, 3, date, -1, SQLITE_TRANSIENT);
  sqlite3_bind_double(insert, 4, static_cast<double>(Below(rng, 1000000)) / 100.0);
  Check(sqlite3_step(insert), db, "insert");
  sqlite3_reset(insert);
}

void BuildPair(sqlite3* db, const demo::TablePair& pair, int64_t rows, Rng& rng) {
  const std::string live = pair.live, archive = std::string("a_") + pair.live, key = pair.key;
  for (const std::string& table : {live, archive})
    Exec(db, "CREATE TABLE " + table + " (" + key +
                 " INTEGER, Remarks VARCHAR(40), Entered DATE, Amount DOUBLE)");

  // Archive keys: every live key with probability 0.2, then keys of records
  // that left the live table properly (above ROWS) until ROWS/1.3 are there.
  std::vector<int64_t> keys;
  for (int64_t k = 1; k <= rows; ++k)
    if (Below(rng, 5) == 0) keys.push_back(k);
  const int64_t distinct = rows * 10 / 13;
  for (int64_t k = rows + 1; static_cast<int64_t>(keys.size()) < distinct; ++k) keys.push_back(k);
  std::vector<int64_t> archive_rows = keys;
  while (static_cast<int64_t>(archive_rows.size()) < rows)
    archive_rows.push_back(keys[Below(rng, keys.size())]);
  for (size_t i = archive_rows.size(); i > 1; --i)
    std::swap(archive_rows[i - 1], archive_rows[Below(rng, i)]);

  for (const std::string& table : {live, archive}) {
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, ("INSERT INTO " + table + " VALUES (?1, ?2, ?3, ?4)").c_str(), -1,
                             &insert, nullptr),
          db, "prepare");
    if (table == live) {
      for (int64_t k = 1; k <= rows; ++k) InsertRow(db, insert, rng, k);
    } else {
      for (int64_t k : archive_rows) InsertRow(db, insert, rng, k);
    }
    sqlite3_finalize(insert);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench-archive-data ROWS SEED FILE\n");
    return 64;
  }
  char* end = nullptr;
  const long long rows = std::strtoll(argv[1], &end, 10);
  if (*end != '\0' || rows < 1 || rows > 100000000) {
    std::fprintf(stderr, "bench-archive-data: ROWS must be a number from 1 to 100000000\n");
    return 64;
  }
  const unsigned long long seed = std::strtoull(argv[2], &end, 10);
  if (*end != '\0') {
    std::fprintf(stderr, "bench-archive-data: SEED must be a number\n");
    return 64;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[3], &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "bench-archive-data: cannot create %s\n", argv[3]);
    return 1;
  }
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
  Rng rng(seed);
  for (const demo::TablePair& pair : demo::TablePairs()) BuildPair(db, pair, rows, rng);
  Exec(db, "COMMIT");
  Check(sqlite3_close(db), db, "close");
  return 0;
}
