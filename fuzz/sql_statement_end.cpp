// Fuzzes the SQL shell's test for a typed statement being complete: any
// text must be judged without crashing or hanging, and blanks typed after
// it never change the judgement.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/nce_sql/statement_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool ends = nce_sql::EndsStatement(text);
  if (nce_sql::EndsStatement(text + " \n") != ends) std::abort();
  return 0;
}
