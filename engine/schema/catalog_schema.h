// The store's file format: what the engine keeps in an SQLite file beyond the
// user's tables, and the names of its catalog tables. Every reader and writer
// of a catalog table follows this page; engine/storage/sqlite_catalog_schema.h
// is the one piece of code that creates them in an SQLite store.
//
// A store is one SQLite file (WAL journal). Each engine table is an SQLite
// table of the same name with one column per field, holding natural values:
// integers, reals, texts, blobs, dates as 'YYYY-MM-DD', times as
// 'HH:MM:SS.mmm', timestamps as 'YYYY-MM-DD HH:MM:SS.mmm'. The record number
// is the SQLite rowid; the engine never vacuums, so numbers stay stable.
//
// Names beginning with "_nce_" (any letter case) are the engine's own and are
// never shown as user tables. Table names in the catalog compare without
// regard to letter case, as SQLite compares names.
//
// Catalog of every store, created together when a connection first opens it
// (EnsureCatalog), in one transaction:
//
//   _nce_tables              one row per table made through the engine's DDL
//     name                   table name
//     table_type             1 NTX, 2 CDX (DBF kinds, text record images),
//                            3 NDT (binary record images)
//     char_type              1 ANSI, 2 OEM
//
//   _nce_fields              one row per field of a catalogued table
//     table_name, position   the table and the field's 1-based place
//     name                   field name as declared (also the column name)
//     field_type             engine field type code (NDS_STRING ... in nce.h)
//     length                 bytes of the field in the record image
//     decimals               decimal places of a numeric field, else 0
//
//   _nce_autoinc             counters of AUTOINC fields; never go back, so a
//     table_name, field_name deleted number is not handed out again. Kept up
//     last_value             to date by a trigger per field, named
//                            _nce_autoinc_<table>_<field>
//
//   _nce_index_files         index files of a table (the structural file is
//     table_name, file_name  named after the table)
//
//   _nce_index_orders        one row per index order
//     table_name, file_name  the table and the index file holding the order
//     order_name             the order's (tag) name
//     position               its place among the table's orders, from 1
//     expression             key expression as given
//     condition              condition as given, '' for none
//     flags                  NDS_INDEX_* bits (descending, unique, ...)
//     sqlite_index           the SQLite expression index, _nce_ix_<table>_<order>,
//                            over the engine's key function nce_key(...)
//
//   _nce_users               data dictionary users; while it is empty, a
//     name                   dictionary connection is trusted
//     password_hash          salted hash, libsodium's crypto_pwhash_str form
//     groups                 group names separated by ";"
//
// Data dictionary tables, created when a dictionary connection first reads
// its rights (EnsureDictionaryTables):
//
//   _nce_groups (name)       groups of users; ADMIN administers
//   _nce_rights              rights granted to a user or group
//     grantee, table_name    who, on which table
//     column_name            '' for the table as a whole
//     rights                 bits: 1 read, 2 update, 4 insert, 8 delete,
//                            16 alter (on the database: create), 32 read revoked;
//                            table_name '' holds rights on the database
//   _nce_table_properties    table properties set through the dictionary
//     table_name, property   the table and the property's number
//     value                  the property's value as text
//   _nce_links (name, path)  links to other dictionaries
//   _nce_rights_version      one row: a counter that triggers on _nce_users,
//     version                _nce_groups and _nce_rights move on with every
//                            change (RightsVersion)
//
// Tables created on first use:
//
//   _nce_deleted             records marked deleted in DBF-kind tables
//     table_name, record     (WITHOUT ROWID); created when a live cursor
//                            opens such a table (EnsureDeletedMarks)
//   _nce_row_versions        counters of ROWVERSION fields, per table
//     table_name             (upper-cased), created by the first write of a
//     last_value             table with such a field (EnsureRowVersions)
//
// Names used only while a connection lives (never stored): temporary tables
// _nce_cursor_<n> (static cursors, in the connection's scratch database) and
// temp._nce_aof_<n> (optimized filter snapshots); savepoints _nce_run,
// _nce_rename and _nce_create_order.
#ifndef ENGINE_SCHEMA_CATALOG_SCHEMA_H
#define ENGINE_SCHEMA_CATALOG_SCHEMA_H

#include <cstdint>
#include <string>
#include <string_view>

namespace nce {

// Prefix of every name the engine reserves in a store.
inline constexpr std::string_view kReservedPrefix = "_nce_";

// The table of deleted marks of DBF-kind tables. Marks are keyed by the
// table's name in upper case.
const std::string& DeletedMarksTable();

// The table of ROWVERSION counters.
const std::string& RowVersionsTable();

}  // namespace nce

#endif  // ENGINE_SCHEMA_CATALOG_SCHEMA_H
