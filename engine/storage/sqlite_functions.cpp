#include "engine/storage/sqlite_functions.h"

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/expr/expr_functions.h"
#include "engine/expr/expr_values.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_values.h"

namespace nce {
namespace {

using KeyShapes = std::vector<KeySegmentSpec>;

void ResultKey(sqlite3_context* context, const KeyShapes& shapes, int argc, sqlite3_value** argv) {
  std::string key;
  for (int i = 1; i < argc && static_cast<size_t>(i - 1) < shapes.size(); ++i)
    AppendKeyBytes(key, shapes[i - 1], KeyInputOf(StoredOf(argv[i])));
  sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

// nce_key(shape, value...): the shape text is parsed once per statement and
// kept as the call's auxiliary data.
void KeyFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* shapes = static_cast<KeyShapes*>(sqlite3_get_auxdata(context, 0));
  if (!shapes) {
    const unsigned char* text = sqlite3_value_text(argv[0]);
    try {
      auto parsed = std::make_unique<KeyShapes>(
          ParseKeySpec(text ? reinterpret_cast<const char*>(text) : ""));
      sqlite3_set_auxdata(context, 0, parsed.release(),
                          [](void* p) { delete static_cast<KeyShapes*>(p); });
      // SQLite may drop the auxiliary data at once; then it has freed it.
      shapes = static_cast<KeyShapes*>(sqlite3_get_auxdata(context, 0));
      if (!shapes) {
        KeyShapes local = ParseKeySpec(text ? reinterpret_cast<const char*>(text) : "");
        return ResultKey(context, local, argc, argv);
      }
    } catch (const EngineError& error) {
      sqlite3_result_error(context, error.text().c_str(), -1);
      return;
    }
  }
  if (static_cast<size_t>(argc - 1) != shapes->size()) {
    sqlite3_result_error(context, "nce_key: the key shape and the values do not match", -1);
    return;
  }
  ResultKey(context, *shapes, argc, argv);
}

void ContainsFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  const unsigned char* text = sqlite3_value_text(argv[0]);
  const unsigned char* pattern = sqlite3_value_text(argv[1]);
  if (!text || !pattern) {
    sqlite3_result_int(context, 0);
    return;
  }
  sqlite3_result_int(context, ContainsWords(reinterpret_cast<const char*>(text),
                                            reinterpret_cast<const char*>(pattern)));
}

template <std::optional<std::string> (*Convert)(std::string_view)>
void TextToStored(sqlite3_context* context, int, sqlite3_value** argv) {
  const unsigned char* text = sqlite3_value_text(argv[0]);
  std::optional<std::string> stored =
      text ? Convert(reinterpret_cast<const char*>(text)) : std::nullopt;
  if (!stored || stored->empty())
    sqlite3_result_null(context);
  else
    sqlite3_result_text(context, stored->c_str(), static_cast<int>(stored->size()),
                        SQLITE_TRANSIENT);
}

// Two numeric arguments, read with SQLite's own conversion (a text such as
// '7' counts as 7); NULL when either is NULL or `Compute` gives none.
template <std::optional<double> (*Compute)(double, double), bool kWholeAsInteger>
void NumberFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(context);
  std::optional<double> r = Compute(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (!r) return sqlite3_result_null(context);
  if (kWholeAsInteger && *r == std::floor(*r) && std::fabs(*r) < 9e15)
    return sqlite3_result_int64(context, static_cast<sqlite3_int64>(*r));
  sqlite3_result_double(context, *r);
}

}  // namespace

void RegisterExpressionFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  struct Function {
    const char* name;
    int args;
    void (*call)(sqlite3_context*, int, sqlite3_value**);
  };
  const Function functions[] = {
      {"nce_key", -1, KeyFunction},
      {"nce_contains", 2, ContainsFunction},
      {"nce_ctod", 1, TextToStored<StoredDate>},
      {"nce_ctot", 1, TextToStored<StoredTime>},
      {"nce_ctots", 1, TextToStored<StoredTimestamp>},
      // A whole remainder comes back as an integer.
      {"nce_mod", 2, NumberFunction<Modulo, true>},
      {"nce_pow", 2, NumberFunction<Power, false>},
  };
  for (const Function& f : functions) {
    int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.call, nullptr,
                                        nullptr, nullptr);
    if (rc != SQLITE_OK) throw SqlError(db, rc, f.name);
  }
}

}  // namespace nce
