// The engine's own options of a server URI. libpq refuses query parameters
// it does not know, so the engine takes its own out of the URI before libpq
// reads the rest:
//
//   statement_timeout=MS   the longest a request to the server may take, in
//                          milliseconds (0: no limit; default 300000). The
//                          server cancels a statement running longer; a
//                          server that does not answer at all (a broken
//                          link, a machine gone silent) is given up one
//                          second later, and the connection closed.
//
// Everything else stays as written, in its order.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_URI_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_URI_H

#include <string>

namespace nce {

// The statement timeout of a URI that names none.
inline constexpr int kDefaultStatementTimeoutMs = 300000;

struct ServerUri {
  std::string libpq_uri;  // the URI without the engine's options
  int statement_timeout_ms = kDefaultStatementTimeoutMs;
};

// Splits `uri`; throws EngineError NDS_E_INVALID_PATH, saying which, for an
// engine option whose value is not a whole number of milliseconds up to
// 2147483647, or that is given twice.
ServerUri ReadServerUri(const std::string& uri);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_URI_H
