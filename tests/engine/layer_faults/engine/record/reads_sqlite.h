// A record file that reads an SQLite column itself: the layer check must
// refuse it (EngineLayers.RefusesSqliteInLayersKeptFreeOfIt).
#include <sqlite3.h>

inline long long FirstColumn(sqlite3_stmt* stmt) {
  return sqlite3_column_int64(stmt, 0);
}
