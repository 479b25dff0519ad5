#include "engine/interchange/csv/csv_file.h"

#include <iconv.h>

#include <cstring>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/interchange/csv/csv_values.h"
#include "engine/interchange/table_rows.h"

namespace nce {
void RequireAsciiCompatible(const TextEncoding& encoding) {
  // What a CSV file's structure is made of, and the characters of numbers,
  // dates and blobs. Through iconv itself: TextEncoding passes ASCII text
  // through unconverted, which holds only for the encodings this admits.
  static constexpr char kProbe[] = ",\"\r\n 0123456789.+-:eETtFfx\\";
  bool same = encoding.is_utf8();
  if (!same) {
    iconv_t cd = iconv_open(encoding.name().c_str(), "UTF-8");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      char in[sizeof kProbe], out[4 * sizeof kProbe + 16];
      std::memcpy(in, kProbe, sizeof kProbe);
      char *src = in, *dst = out;
      size_t src_left = sizeof kProbe - 1, dst_left = sizeof out;
      same = iconv(cd, &src, &src_left, &dst, &dst_left) == 0 &&
             iconv(cd, nullptr, nullptr, &dst, &dst_left) == 0 &&
             static_cast<size_t>(dst - out) == sizeof kProbe - 1 &&
             std::memcmp(out, kProbe, sizeof kProbe - 1) == 0;
      iconv_close(cd);
    }
  }
  if (!same)
    throw EngineError(NDS_E_INVALID_OPTION, "The encoding '" + encoding.name() +
                                                "' does not write ASCII as ASCII, which CSV "
                                                "files need.");
}

CsvFile::CsvFile(const std::string& path, const std::string& encoding)
    : encoding_(encoding.empty() ? "UTF-8" : encoding), tokens_(path, encoding_.is_utf8()) {
  RequireAsciiCompatible(encoding_);
  ReadHeader();
}

void CsvFile::ReadHeader() {
  if (!tokens_.Next())
    throw EngineError(NDS_E_BAD_FILE, PlacedMessage(FilePlace{path(), 1, {}}, "line", "column",
                                                    "the file is empty: it has no header line"));
  for (size_t i = 0; i < tokens_.field_count(); ++i) {
    std::string_view name = Text(i);
    if (!quoted(i)) name = TrimBlanks(name);
    if (name.empty()) Refuse(NDS_E_BAD_FILE, i, "the column has no name");
    for (size_t j = 0; j < names_.size(); ++j)
      if (EqualsNoCase(names_[j], name))
        Refuse(NDS_E_BAD_FILE, i,
               "the name \"" + std::string(name) + "\" is already the name of column " +
                   std::to_string(j + 1));
    names_.emplace_back(name);
  }
  tokens_.set_column_names(names_);
}

bool CsvFile::Next() {
  if (!tokens_.Next()) return false;
  const size_t count = tokens_.field_count();
  if (count != names_.size()) {
    std::string what = std::to_string(count) + (count == 1 ? " field" : " fields") +
                       " where the header has " + std::to_string(names_.size());
    Refuse(NDS_E_BAD_FILE, count > names_.size() ? names_.size() : count,
           count > names_.size() ? "the record has a field beyond the last column: " + what
                                 : "the record ends before this column: " + what);
  }
  return true;
}

std::string_view CsvFile::Text(size_t i) {
  std::string_view bytes = tokens_.field(i);
  if (encoding_.is_utf8()) {
    if (!IsUtf8(bytes)) Refuse(NDS_E_BAD_FILE, i, "the field holds bytes that are not UTF-8 text");
    return bytes;
  }
  if (!encoding_.ToUtf8(bytes, &decoded_))
    Refuse(NDS_E_BAD_FILE, i, "the field holds bytes that are not " + encoding_.name() + " text");
  return decoded_;
}

void CsvFile::Refuse(uint32_t number, size_t i, const std::string& what) const {
  throw EngineError(number, PlacedMessage(FilePlace{path(), line(), tokens_.ColumnLabel(i)}, "line",
                                          "column", what));
}

}  // namespace nce
