// Reading what a provider needs from an SQL text: the table after the first
// FROM, and the columns of the ORDER BY clause as an index definition.
// The text is outside input; every routine accepts any text and answers
// "nothing found" rather than failing.
#ifndef DATASET_SQL_TEXT_H
#define DATASET_SQL_TEXT_H

#include <memory>
#include <string>
#include <vector>

#include "dataset/index_defs.h"

namespace dataset {

class TDataSet;

// One token of an SQL text. Comments (-- to the end of the line, /* */)
// and white space are skipped; a quoted identifier ("a b" or [a b]) is one
// word token holding the name without its quotes.
struct TSqlToken {
  enum Kind { kWord, kQuotedName, kNumber, kString, kSymbol };
  Kind kind;
  std::string text;  // a string literal keeps its quotes; a symbol is one character
};
std::vector<TSqlToken> TokenizeSql(const std::string& sql);

// The table named after the first FROM, a dotted name whole
// ("archive.acftlog"); empty when there is none or a sub-query follows.
std::string TableNameFromSQL(const std::string& sql);

// A column of the last top-level ORDER BY clause: a name (the last part of
// a dotted name) or a 1-based column number, and its direction.
struct TOrderByColumn {
  std::string name;  // empty for a column given by number
  int position = 0;  // 1-based, 0 for a column given by name
  bool descending = false;
};
// Columns that are expressions are left out; empty without ORDER BY.
std::vector<TOrderByColumn> OrderByColumns(const std::string& sql);

// An index definition (no name, not in a collection) over the ORDER BY
// columns that are fields of `dataset`: a number names the field at that
// position, descending columns are also listed in DescFields. Null when no
// column names a field.
std::unique_ptr<TIndexDef> IndexDefForOrderBy(const std::string& sql, const TDataSet& dataset);

}  // namespace dataset

#endif  // DATASET_SQL_TEXT_H
