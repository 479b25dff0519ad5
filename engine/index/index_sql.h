// CREATE INDEX and DROP INDEX in the engine's SQL: index orders made and
// dropped through SQL text.
//
//   CREATE [UNIQUE] INDEX [IF NOT EXISTS] name ON table (key [ASC|DESC], ...)
//     [WHERE condition] [IN FILE 'file.cdx']
//
// Each key is an expression of the engine's expression language (a column,
// UPPER(NAME), LAST+FIRST, DTOS(D)+NAME ...), one segment each; the
// condition is one too. All keys descending make a descending order.
#ifndef ENGINE_INDEX_INDEX_SQL_H
#define ENGINE_INDEX_INDEX_SQL_H

#include <optional>
#include <string>
#include <string_view>

#include "engine/schema/catalog.h"
#include "engine/storage/store_session.h"

namespace nce {

bool IsCreateIndexStatement(std::string_view sql);
// Reads the statement without running it; throws EngineError for a
// malformed one.
void CheckCreateIndexStatement(std::string_view sql);
// The table the statement names.
std::string CreateIndexTable(std::string_view sql);
// Makes the order in the store through its session (inside the caller's
// transaction): `table` is the table the statement names as that store
// describes it (nullopt when it has none), compiled for that store's dialect.
void RunCreateIndexStatement(StoreSession& session, const std::optional<TableDesc>& table,
                             std::string_view sql);
// True when `sql` is a DROP INDEX naming an engine order.
bool IsDropOrderStatement(StoreSession& session, std::string_view sql);
// Drops the engine order a DROP INDEX names; false when it names none (the
// statement then goes to the store as it is).
bool RunDropIndexStatement(StoreSession& session, std::string_view sql);

}  // namespace nce

#endif  // ENGINE_INDEX_INDEX_SQL_H
