// An engine table on a PostgreSQL server: the CREATE TABLE text, and the
// server's refusals turned back into the engine's.
//
// Each field gets a column type that holds every value the SQLite store
// takes for it exactly, and the engine's type guards as named CHECK
// constraints, so that the server refuses what the SQLite store refuses
// (see sqlite_type_guards.h). A column rowid (bigint identity, primary key), after
// the fields, numbers the records. Whole-number fields (integer, shortint, autoinc,
// rowversion, logical) are numeric columns checked to be whole: an integer
// column would round 1.5 to 2 on assignment, before any check sees it.
//
// The guards are named nce_fFFFF_M (field FFFF from 0, its misfit M): the
// server cuts names at 63 bytes, and checks a row's constraints in the
// order of their names, which is then the field order, as on SQLite.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_TABLES_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_TABLES_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/schema/catalog.h"
#include "engine/storage/declared_table.h"

namespace nce {

// The server's column type for `field`: text, bytea, numeric, double
// precision, date, time or timestamp.
std::string PostgresColumnType(const FieldSpec& field);

// The type a DEFAULT value of `field` is cast to: the column's, with times
// and timestamps to the millisecond the engine's forms hold (the server's
// clock gives microseconds, which the type guards refuse).
std::string PostgresDefaultType(const FieldSpec& field);

// A column's definition in a CREATE TABLE or ALTER TABLE ... ADD COLUMN:
// its name, type and the `rule` its declaration gave it (null: none).
std::string PostgresColumnDefinition(const FieldDesc& field, const ColumnRule* rule);
// The named CHECK constraints guarding `field`, the table's field number
// `position` (from 0): "CONSTRAINT nce_f..._m CHECK (...)".
std::vector<std::string> PostgresFieldGuards(const FieldDesc& field, size_t position);
// The field number a guard's constraint name carries; nullopt for a name
// that is no guard's.
std::optional<size_t> GuardField(std::string_view constraint);
// The name guard `constraint` takes when its field becomes number `field`.
std::string RenumberedGuardName(std::string_view constraint, size_t field);

// The CREATE TABLE statement for `table` on the server, with the `rules`
// its declaration gave each field (declared_table.h).
std::string PostgresCreateTable(const TableDesc& table, const std::vector<ColumnRule>& rules = {});

// The engine's refusal for `error`, a statement writing `table` that the
// server refused for a value: on a guard (SQLSTATE 23514 naming one), the
// number and text the SQLite store gives for the same value ("Value does
// not fit column ..."); on the column's type, which cannot read the value
// (a text that is no number or no date, 22P02, 22007, 22008, 22003),
// NDS_E_VALUE_INVALID as on SQLite, but naming the table and the value, as
// the server names no column; on a value of another type (an integer for a
// date, 42804), the field's misfit of kind, as on SQLite. Nothing for any
// other error.
std::optional<EngineError> PostgresGuardRefusal(const TableDesc& table, const EngineError& error);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_TABLES_H
