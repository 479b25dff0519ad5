// The link benchmark's tables on the server, made straight to the server
// (not through the relay) before anything is timed:
//   walked    (id INTEGER, name CHAR(20), amount NUMERIC(10,2), day DATE,
//              flag LOGICAL, code CHAR(12)): `walk` records, an engine order
//              `by_code` on code and the server's own index `plain_code` on
//              the same column for the plain clients;
//   appended  (id INTEGER, name CHAR(20), amount NUMERIC(10,2), day DATE),
//              emptied before every append run.
// Both are engine tables (made through the engine), so that every contender
// reads and writes the same typed columns with their guards.
#ifndef BENCH_LINK_LINK_TABLES_H_
#define BENCH_LINK_LINK_TABLES_H_

#include <libpq-fe.h>

#include <cstdint>
#include <string>

#include "bench/link/link_work.h"

namespace link_bench {

// A plain libpq connection for setting up and checking, past the relay.
class Admin {
 public:
  // Raises std::runtime_error when the server refuses the connection.
  explicit Admin(const std::string& uri);
  ~Admin();
  Admin(const Admin&) = delete;
  Admin& operator=(const Admin&) = delete;

  // Runs `sql`; raises std::runtime_error with the server's text on failure.
  void Run(const std::string& sql);
  // The first column of the first row of `sql` as a number.
  int64_t Number(const std::string& sql);

 private:
  PGconn* conn_;  // owned
};

// Drops and makes both tables on the database of `uri`.
void MakeTables(const std::string& uri, const Sizes& sizes);

}  // namespace link_bench

#endif  // BENCH_LINK_LINK_TABLES_H_
