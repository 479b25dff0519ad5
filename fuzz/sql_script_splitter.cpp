// Fuzzes the engine's script splitter: any text splits without a crash, and
// every piece is a non-empty part of the input in order. The lock check's
// search for the table a piece writes (also past WITH ...) must not crash
// either.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/sql/sql_script.h"
#include "engine/sql/statement_locks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  const char* previous_end = script.data();
  for (std::string_view piece : nce::SplitScript(script)) {
    if (piece.empty()) std::abort();
    if (piece.data() < previous_end || piece.data() + piece.size() > script.data() + script.size())
      std::abort();
    previous_end = piece.data() + piece.size();
    const std::string keyword = nce::LeadingKeyword(piece);
    (void)nce::WriteTarget(piece, keyword);
    (void)nce::ReplacesRows(piece, keyword);
    (void)nce::WriteTarget(piece, "WITH");
  }
  return 0;
}
