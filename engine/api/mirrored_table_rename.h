// Renaming a table of a data dictionary on a PostgreSQL server
// (NdsDDRenameObject): the server's table and everything the engine keeps
// under its name move to the new name in one transaction, as on SQLite.
#ifndef ENGINE_API_MIRRORED_TABLE_RENAME_H
#define ENGINE_API_MIRRORED_TABLE_RENAME_H

#include <string>

namespace nce {

class Connection;
class StoreSession;

// Renames table `from` to `to` on the server of `connection`, whose
// dictionary mirror (session `mirror`) holds the server's tables as they are
// now.
// The table keeps its rows, record numbers, triggers and type guards (the
// server ties them to the table, not its name); the catalog's rows of the
// table (fields, counters, row versions, rights, properties, index files
// and orders) and its orders' indexes take the new name. Runs in the
// caller's transaction under a savepoint, else in one of its own; a
// failure leaves everything as it was. Throws NDS_E_INVALID_TABLE for no
// such table, NDS_E_INVALID_ARGUMENT for a name taken or reserved.
void RenameMirroredTable(Connection& connection, StoreSession& mirror, const std::string& from,
                         const std::string& to);

}  // namespace nce

#endif  // ENGINE_API_MIRRORED_TABLE_RENAME_H
