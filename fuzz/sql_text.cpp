// Fuzzes the SQL text routines a provider uses (tokens, FROM table, ORDER
// BY columns) and checks what they report against the text.
#include "dataset/sql_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string sql(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (const dataset::TSqlToken& token : dataset::TokenizeSql(sql)) {
    // Symbols are one character; no token is empty except an empty quoted
    // name or string body.
    if (token.kind == dataset::TSqlToken::kSymbol && token.text.size() != 1) std::abort();
    total += token.text.size();
  }
  // Tokens never hold more text than the input.
  if (total > sql.size()) std::abort();
  if (dataset::TableNameFromSQL(sql).size() > sql.size()) std::abort();
  for (const dataset::TOrderByColumn& column : dataset::OrderByColumns(sql)) {
    if (column.name.empty() == (column.position == 0)) std::abort();
  }
  return 0;
}
