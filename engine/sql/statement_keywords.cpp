#include "engine/sql/statement_keywords.h"

#include <algorithm>
#include <array>

namespace nce {
namespace {

template <size_t N>
bool Among(const std::array<std::string_view, N>& words, std::string_view keyword) {
  return std::find(words.begin(), words.end(), keyword) != words.end();
}

constexpr std::array<std::string_view, 6> kChangesRows = {"INSERT",  "UPDATE", "DELETE",
                                                          "REPLACE", "MERGE",  "WITH"};
constexpr std::array<std::string_view, 8> kManagesTransaction = {
    "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE", "START", "VACUUM"};
constexpr std::array<std::string_view, 4> kOnlyReads = {"SELECT", "VALUES", "EXPLAIN", "SHOW"};

}  // namespace

bool ChangesRows(std::string_view keyword) {
  return Among(kChangesRows, keyword);
}

bool ManagesTransaction(std::string_view keyword) {
  return Among(kManagesTransaction, keyword);
}

bool OnlyReads(std::string_view keyword) {
  return Among(kOnlyReads, keyword);
}

}  // namespace nce
