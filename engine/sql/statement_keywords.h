// What a statement does, as its leading keyword (upper-cased, LeadingKeyword
// in sql_script.h) says, the same on every store: one list per question.
// A keyword only one store knows is classed all the same (REPLACE is
// SQLite's, MERGE and SHOW the server's); the other store refuses its
// statement when it checks or runs it.
#ifndef ENGINE_SQL_STATEMENT_KEYWORDS_H
#define ENGINE_SQL_STATEMENT_KEYWORDS_H

#include <string_view>

namespace nce {

// Statements that insert, change or delete rows, whose count the execution
// reports: INSERT (also ... ON CONFLICT), UPDATE, DELETE, REPLACE, MERGE,
// and WITH, which may lead into any of them.
bool ChangesRows(std::string_view keyword);

// Statements that begin, end or shape a transaction, or that a store runs
// outside any transaction (VACUUM): the execution opens no transaction or
// savepoint of its own around them.
bool ManagesTransaction(std::string_view keyword);

// Statements that change nothing: the execution needs no transaction of
// its own, and they may read what the user sees.
bool OnlyReads(std::string_view keyword);

}  // namespace nce

#endif  // ENGINE_SQL_STATEMENT_KEYWORDS_H
