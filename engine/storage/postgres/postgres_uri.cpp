#include "engine/storage/postgres/postgres_uri.h"

#include <charconv>
#include <climits>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"

namespace nce {

namespace {

constexpr std::string_view kStatementTimeout = "statement_timeout";

int Milliseconds(std::string_view value) {
  int ms = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() || ms < 0)
    throw EngineError(NDS_E_INVALID_PATH,
                      "The server path's statement_timeout must be a whole number of "
                      "milliseconds from 0 to " +
                          std::to_string(INT_MAX) + ", not \"" + std::string(value) + "\".");
  return ms;
}

}  // namespace

ServerUri ReadServerUri(const std::string& uri) {
  ServerUri read;
  const size_t query = uri.find('?');
  if (query == std::string::npos) {
    read.libpq_uri = uri;
    return read;
  }
  std::vector<std::string_view> kept;
  bool timeout_given = false;
  std::string_view rest = std::string_view(uri).substr(query + 1);
  for (;;) {
    const size_t amp = rest.find('&');
    const std::string_view parameter = rest.substr(0, amp);
    const size_t equals = parameter.find('=');
    if (parameter.substr(0, equals) != kStatementTimeout) {
      kept.push_back(parameter);
    } else if (timeout_given) {
      throw EngineError(NDS_E_INVALID_PATH,
                        "The server path gives statement_timeout more than once.");
    } else {
      timeout_given = true;
      read.statement_timeout_ms =
          Milliseconds(equals == std::string_view::npos ? "" : parameter.substr(equals + 1));
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  read.libpq_uri = uri.substr(0, kept.empty() ? query : query + 1);
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i) read.libpq_uri += '&';
    read.libpq_uri += kept[i];
  }
  return read;
}
}  // namespace nce
