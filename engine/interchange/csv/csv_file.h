// A CSV file opened for reading: its header line read and checked, its
// records checked to have one field per column, and its fields decoded from
// the file's encoding into UTF-8. Type inference and the row reader both
// read through it.
#ifndef ENGINE_INTERCHANGE_CSV_CSV_FILE_H
#define ENGINE_INTERCHANGE_CSV_CSV_FILE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/interchange/csv/csv_tokenizer.h"
#include "engine/interchange/text_encoding.h"

namespace nce {

class CsvFile {
 public:
  // Opens `path` and reads its header line. `encoding` is an iconv name,
  // empty for UTF-8 (whose byte order mark at the start is passed over).
  // Throws EngineError: NDS_E_INVALID_PATH for a file that cannot be read,
  // NDS_E_INVALID_OPTION for an encoding iconv does not know or one that
  // does not write ASCII as ASCII (the separators would not be found),
  // NDS_E_BAD_FILE for a file without a header line or a header with an
  // empty name or a name twice (letter case aside), naming line 1 and the
  // column.
  CsvFile(const std::string& path, const std::string& encoding);
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  // The column names of the header, UTF-8, blanks around unquoted names
  // removed.
  const std::vector<std::string>& names() const { return names_; }

  // Reads the next record; false at the end of the file. Throws the
  // tokenizer's refusals, and NDS_E_BAD_FILE for a record with more or
  // fewer fields than the header has names.
  bool Next();

  // Field `i` of the record as the file holds it, and whether it was quoted.
  std::string_view raw(size_t i) const { return tokens_.field(i); }
  bool quoted(size_t i) const { return tokens_.quoted(i); }
  // Field `i` in UTF-8, valid until the next call. Throws NDS_E_BAD_FILE,
  // naming the line and the column, for bytes that are not text of the
  // file's encoding.
  std::string_view Text(size_t i);

  // Throws EngineError `number` naming the file, the current record's line
  // and column `i`.
  [[noreturn]] void Refuse(uint32_t number, size_t i, const std::string& what) const;

  uint64_t line() const { return tokens_.line(); }
  const std::string& path() const { return tokens_.path(); }
  uint64_t bytes_read() const { return tokens_.bytes_read(); }
  uint64_t bytes_total() const { return tokens_.bytes_total(); }

 private:
  void ReadHeader();

  TextEncoding encoding_;  // made first: it decides whether a byte order mark is passed over
  CsvTokenizer tokens_;
  std::vector<std::string> names_;
  std::string decoded_;  // the last field Text decoded, reused
};

// Throws EngineError NDS_E_INVALID_OPTION for an encoding that does not
// write the characters of CSV structure, numbers and dates as ASCII does
// (UTF-16, UTF-7): separators and quotes would not be found.
void RequireAsciiCompatible(const TextEncoding& encoding);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_FILE_H
