#include "engine/storage/postgres/postgres_statement.h"

#include <cctype>

#include "engine/base/sql_text.h"

namespace nce {

std::string FirstWord(std::string_view sql) {
  size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return std::string();
  size_t end = start;
  while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
  return UpperAscii(sql.substr(start, end - start));
}

bool IsTransactionControl(std::string_view sql) {
  std::string word = FirstWord(sql);
  if (word.empty()) return false;
  // PREPARE TRANSACTION ends the transaction; PREPARE name AS ... does not.
  if (word == "PREPARE") {
    std::string_view rest = sql.substr(sql.find_first_not_of(" \t\r\n") + word.size());
    return FirstWord(rest) == "TRANSACTION";
  }
  for (const char* control :
       {"BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "SAVEPOINT", "RELEASE"})
    if (word == control) return true;
  return false;
}

// What a failed write ran into, told apart by the SQLSTATE in the error's
// text: an empty NOT NULL column (23502, "null value in column "c" ..."), or
// a record number another row has (23505 on the rowid key).
WriteRefusal RefusalOf(const EngineError& error) {
  static constexpr std::string_view kNullIn = "SQLSTATE 23502; null value in column \"";
  WriteRefusal refusal;
  const std::string& text = error.text();
  if (size_t at = text.find(kNullIn); at != std::string::npos) {
    size_t begin = at + kNullIn.size(), end = text.find('"', begin);
    refusal.kind = WriteRefusal::Kind::kEmptyColumn;
    refusal.column = text.substr(begin, end == std::string::npos ? end : end - begin);
  } else if (text.find("SQLSTATE 23505;") != std::string::npos &&
             text.find("(Key (rowid)=") != std::string::npos) {
    refusal.kind = WriteRefusal::Kind::kNumberTaken;
  }
  return refusal;
}

}  // namespace nce
