// Support of the fault drills on a PostgreSQL server: databases copied from
// a pristine one, the sessions a killed client leaves behind, and the 18
// pairs read through the engine, so that a server and a SQLite store are
// compared in the same form.
#ifndef TESTS_DRILLS_SERVER_SUPPORT_H
#define TESTS_DRILLS_SERVER_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <string>

#include "tests/drills/drill_support.h"

namespace drills_test {

// Makes database `to` of the test server an exact copy of `from`, ending
// any session still connected to `to`. Nobody may be connected to `from`.
void CopyServerDatabase(const std::string& from, const std::string& to);

// The client sessions connected to `database` of the test server.
int SessionsOn(const std::string& database);

// The transactions on `database` that the server has rolled back, as its
// statistics count them (a killed client's open transaction among them).
int64_t RolledBackTransactions(const std::string& database);

// Waits until no client session is connected to `database`, at most
// `limit`; false when some still are then.
bool WaitForNoSessions(const std::string& database, std::chrono::milliseconds limit);

// The tables of the 18 pairs in `database` of the test server, read by the
// server itself: every row in rowid order as the server writes the whole
// row as text, rowid included, one value per row. A table that is missing
// is absent from the result.
Snapshot ReadServerPairs(const std::string& database);

// Copies every archive row of `database` onto its table `doublings` times
// over, in one transaction, so that the repair's database work outweighs
// the program's start-up.
void MultiplyArchiveRows(const std::string& database, int doublings);

// The tables of the 18 pairs in the database at `path` (a directory or a
// server URI) read through the engine: every row in rowid order, rowid
// first, each field as the engine gives it as text ("NULL" when empty). A
// table that cannot be read is absent from the result.
Snapshot ReadPairsThroughEngine(const std::string& path);

}  // namespace drills_test

#endif  // TESTS_DRILLS_SERVER_SUPPORT_H
