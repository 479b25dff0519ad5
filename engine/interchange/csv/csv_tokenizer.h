// The records of a CSV file as RFC 4180 writes them: fields separated by
// commas, records ended by CRLF (also LF or a lone CR), fields in double
// quotes where they hold commas, quotes (doubled) or line breaks. The file
// is read in 64 KB pieces; only the current record is held, in buffers
// that are reused, so memory stays bounded whatever the file's size.
#ifndef ENGINE_INTERCHANGE_CSV_CSV_TOKENIZER_H
#define ENGINE_INTERCHANGE_CSV_CSV_TOKENIZER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nce {

class CsvTokenizer {
 public:
  // A record longer than this is refused: a quote left open would
  // otherwise take the rest of the file into memory.
  static constexpr size_t kMaxRecordBytes = size_t{64} << 20;

  // Opens `path`; with `skip_bom`, a UTF-8 byte order mark at the start is
  // passed over. Throws EngineError NDS_E_INVALID_PATH when the file cannot
  // be opened.
  CsvTokenizer(const std::string& path, bool skip_bom);
  ~CsvTokenizer();
  CsvTokenizer(const CsvTokenizer&) = delete;
  CsvTokenizer& operator=(const CsvTokenizer&) = delete;

  // Reads the next record; false at the end of the file. Throws EngineError
  // NDS_E_BAD_FILE, naming the file, the line and the column, for an
  // unterminated quote, a quote inside an unquoted field, text after a
  // closing quote or a record beyond kMaxRecordBytes; NDS_E_INVALID_PATH
  // when reading fails.
  bool Next();

  // The current record's fields: their bytes with quotes removed and
  // doubled quotes made single, and whether each was quoted. Valid until
  // the next call of Next.
  size_t field_count() const { return fields_.size(); }
  std::string_view field(size_t i) const {
    return std::string_view(record_.data() + fields_[i].begin, fields_[i].size);
  }
  bool quoted(size_t i) const { return fields_[i].quoted; }
  // The physical line (from 1) where the current record starts.
  uint64_t line() const { return record_line_; }

  // Names for the columns in messages, from the header line; a field
  // beyond them is named by its number.
  void set_column_names(std::vector<std::string> names) { column_names_ = std::move(names); }
  // How message places name the field `i` (0-based): "\"NAME\"" or "7".
  std::string ColumnLabel(size_t i) const;
  const std::string& path() const { return path_; }

  uint64_t bytes_read() const { return consumed_ + pos_; }
  uint64_t bytes_total() const { return size_; }

 private:
  struct Field {
    uint32_t begin;  // offset in record_
    uint32_t size;
    bool quoted;
  };

  bool Fill();  // reads the next piece; false at the end of the file
  void EndField(size_t begin, bool quoted);
  void CountBreaks(const char* from, const char* to);
  void Grow(size_t more);
  [[noreturn]] void Refuse(const std::string& what) const;

  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;               // the file's size at opening
  std::unique_ptr<char[]> buffer_;  // the piece being read
  size_t pos_ = 0;                  // next byte to read in buffer_
  size_t end_ = 0;                  // bytes in buffer_
  uint64_t consumed_ = 0;           // bytes of the file before buffer_
  bool at_end_ = false;             // the last piece has been read
  std::string record_;              // bytes of the current record's fields
  std::vector<Field> fields_;       // the current record's fields
  uint64_t line_ = 1;               // physical line of the next byte
  bool after_cr_ = false;           // the byte before the next was a CR
  uint64_t record_line_ = 0;        // line where the current record starts
  std::vector<std::string> column_names_;
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_TOKENIZER_H
