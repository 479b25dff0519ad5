// Fuzzes the recogniser of simple single-table SELECTs (live cursors): any
// text is read without a crash; an accepted text has a table name, and
// columns unless it selects "*".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/cursor/cursor_live.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  nce::SimpleSelect select;
  if (nce::ParseSimpleSelect(text, &select)) {
    if (select.table.empty()) std::abort();
    if (!select.all_columns && select.columns.empty()) std::abort();
  }
  return 0;
}
