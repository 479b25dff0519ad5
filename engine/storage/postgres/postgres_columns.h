// What a result column of the server is: its type as a declared column type
// the engine's catalog reads, and the table column it comes from.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMNS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMNS_H

#include <libpq-fe.h>

#include <map>
#include <string>
#include <utility>

#include "engine/storage/store_session.h"

namespace nce {

class PostgresSession;

// The declared type for the server's type `type` with modifier `modifier`
// (PQftype, PQfmod): DATE, TIME, TIMESTAMP, BOOLEAN, SMALLINT, INTEGER,
// BIGINT, DOUBLE, NUMERIC(p,s), VARCHAR(n), CHAR(n); empty for the others
// (text, bytea, numeric without a size ...), whose values decide.
std::string PostgresDeclaredType(Oid type, int modifier);

// The names of the table columns a result reads, learnt from the server's
// catalog once per table (by its number, PQftable) and kept for the result.
class PostgresOrigins {
 public:
  StoreStatement::Origin Find(PostgresSession& session, const PGresult* result, int column);
  void Clear() { tables_.clear(); }

 private:
  struct Table {
    std::string name;
    std::map<int, std::string> columns;  // by column number (attnum)
  };
  std::map<Oid, Table> tables_;
};

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMNS_H
