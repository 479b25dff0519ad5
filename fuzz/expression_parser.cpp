// Fuzz target: the engine's expression language (filters, index keys and
// conditions, scopes). Any text must parse or be refused with an engine
// error; a parsed tree must translate to SQL, SQLite's and a server's, or
// be refused the same way.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/errors.h"
#include "engine/expr/expr_functions.h"
#include "engine/expr/expr_sql.h"
#include "engine/expr/expr_tree.h"
#include "engine/schema/catalog.h"
#include "nce/nce.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<nce::FieldDesc> fields = [] {
    std::vector<nce::FieldDesc> f(4);
    f[0].name = "NAME", f[0].shape = {NDS_STRING, 10, 0};
    f[1].name = "QTY", f[1].shape = {NDS_INTEGER, 4, 0};
    f[2].name = "DUE", f[2].shape = {NDS_DATE, 4, 0};
    f[3].name = "OK", f[3].shape = {NDS_LOGICAL, 1, 0};
    return f;
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    nce::ExprPtr tree = nce::ParseExpression(text);
    nce::CanonicalText(*tree);
    nce::ExprContext context;
    context.fields = &fields;
    context.exact = size % 2 == 0;
    nce::TranslateExpression(*tree, context);
    context.dialect = nce::SqlDialect::kPostgres;
    nce::TranslateExpression(*tree, context);
  } catch (const nce::EngineError&) {
  }
  nce::SplitKeySegments(text);
  nce::ContainsWords("the quick brown fox", text);
  return 0;
}
