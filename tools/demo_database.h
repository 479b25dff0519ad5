// The demo Volantra database: the 18 live tables of the aviation operations
// application with their archive tables (prefix a_), filled with realistic
// rows and with archive damage of every kind the archive repair script
// mends: live rows whose key is already archived, and archive keys stored
// two or three times. Built through the client engine's SQL, so the tables
// carry the engine's field types.
#ifndef TOOLS_DEMO_DATABASE_H
#define TOOLS_DEMO_DATABASE_H

#include <stdexcept>
#include <string>
#include <vector>

namespace demo {

// One live table of the application and the key column its archive shares.
struct TablePair {
  const char* live;  // live table name; the archive is "a_" + live
  const char* key;   // key column, the same in both tables
};

// The 18 pairs, in the order the archive repair script treats them.
const std::vector<TablePair>& TablePairs();

// A failure to build the database: the message says what and where.
class DemoDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the builder put into the database, for its report.
struct BuildSummary {
  int tables = 0;             // tables created, live and archive
  int rows = 0;               // rows inserted in all of them
  int stale_live_rows = 0;    // live rows whose key is archived
  int duplicate_archive = 0;  // archive rows beyond the first for their key
};

// Builds the demo database in `directory` (created when missing) and writes
// `directory`/nds.ini whose alias VOLANTRAX names it. Refuses a directory
// that already holds any of the tables, so nothing is overwritten. Raises
// DemoDatabaseError.
//
// `directory` may instead be a server URI (IsServerUri): the database must
// exist on the server; the tables are built there, and no nds.ini is
// written, since a server has no directory of the site's.
BuildSummary BuildDemoDatabase(const std::string& directory);

// Whether `path` names a database on a PostgreSQL server (postgresql://...
// or postgres://...) rather than a directory.
bool IsServerUri(const std::string& path);

// Writes `directory`/nds.ini with section Databases and VOLANTRAX=`path`.
void WriteAliasFile(const std::string& directory, const std::string& path);

}  // namespace demo

#endif  // TOOLS_DEMO_DATABASE_H
