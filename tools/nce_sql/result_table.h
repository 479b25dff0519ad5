// Aligned text tables for the SQL shell: a header of column names, a rule,
// then one line per row, each column as wide as its widest entry.
#ifndef TOOLS_NCE_SQL_RESULT_TABLE_H
#define TOOLS_NCE_SQL_RESULT_TABLE_H

#include <ostream>
#include <string>
#include <vector>

namespace nce_sql {

class ResultTable {
 public:
  // `right_aligned[i]` puts column i's entries flush right (numbers).
  ResultTable(std::vector<std::string> headers, std::vector<bool> right_aligned);

  // Adds a row; it must have one entry per column.
  void AddRow(std::vector<std::string> row);
  size_t row_count() const { return rows_.size(); }

  // Writes the table and a "(n rows)" line.
  void Print(std::ostream& out) const;

 private:
  std::vector<std::string> headers_;            // column names
  std::vector<bool> right_aligned_;             // per column
  std::vector<std::vector<std::string>> rows_;  // entries, row by row
};

// Width of a text on a terminal: UTF-8 continuation bytes take no column.
size_t DisplayWidth(const std::string& text);

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_RESULT_TABLE_H
