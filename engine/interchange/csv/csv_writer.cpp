#include "engine/interchange/csv/csv_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "engine/base/errors.h"
#include "engine/interchange/csv/csv_file.h"
#include "engine/interchange/csv/csv_values.h"
#include "engine/interchange/text_encoding.h"

namespace nce {
namespace {

constexpr size_t kFlushBytes = 64 * 1024;

// Whether a field's text must go in quotes to read back as it is.
bool NeedsQuotes(std::string_view text) {
  if (text.empty()) return true;  // "" is the empty text, an empty field NULL
  if (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t')
    return true;
  return text.find_first_of(",\"\r\n") != std::string_view::npos;
}

// Line breaks inside a quoted field: LF, CRLF and a lone CR are one each.
uint64_t LineBreaks(std::string_view text) {
  uint64_t n = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++n;
  return n;
}

// The file written until it is complete: removed when it goes unless kept.
struct TemporaryFile {
  std::string path;
  int fd = -1;
  bool kept = false;  // renamed into place
  ~TemporaryFile() {
    if (fd >= 0) ::close(fd);
    if (!path.empty() && !kept) ::unlink(path.c_str());
  }
};

class CsvRowWriter : public RowSink {
 public:
  CsvRowWriter(const std::string& path, const TableShape& shape, const CsvWriteOptions& options)
      : path_(path),
        shape_(shape),
        encoding_(options.encoding.empty() ? "UTF-8" : options.encoding) {
    RequireAsciiCompatible(encoding_);
    OpenTemporary();
    for (size_t i = 0; i < shape_.columns.size(); ++i) {
      if (i > 0) out_ += ',';
      PutText(i, shape_.columns[i].name, false);
    }
    EndRecord();
  }

  void Write(const TableRow& row, bool deleted) override {
    if (deleted) throw EngineError(NDS_E_NOT_SUPPORTED, "CSV files have no mark for deleted rows.");
    if (file_.kept || row.size() != shape_.columns.size())
      throw EngineError(NDS_E_INVALID_ARGUMENT,
                        path_ + ": a row of " + std::to_string(row.size()) + " values for " +
                            std::to_string(shape_.columns.size()) + " columns");
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out_ += ',';
      const Value& value = row[i];
      const FieldSpec& spec = shape_.columns[i].shape;
      if (value.kind == Value::Kind::kNull || value.kind == Value::Kind::kUnset) continue;
      if (IsCsvTextType(spec.type) && value.kind == Value::Kind::kText) {
        PutText(i, value.bytes, true);
        continue;
      }
      field_.clear();
      if (!AppendCsvText(spec, value, &field_))
        Refuse(i, "the value does not suit the column's type (engine type " +
                      std::to_string(spec.type) + ")");
      out_ += field_;  // the forms of other types are ASCII, never quoted
    }
    EndRecord();
  }

  void Finish() override {
    if (file_.kept) return;
    Flush();
    if (::fsync(file_.fd) != 0) Fail("writing the file failed");
    const int fd = file_.fd;
    file_.fd = -1;
    if (::close(fd) != 0) Fail("writing the file failed");
    if (::rename(file_.path.c_str(), path_.c_str()) != 0) Fail("the file cannot be made");
    file_.kept = true;
  }

 private:
  // Makes the temporary file beside the target, with a name no other
  // writer has, readable as the user's umask allows.
  void OpenTemporary() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path_ + ".tmp" + std::to_string(random() % 1000000000);
      file_.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (file_.fd >= 0) {
        file_.path = std::move(name);
        return;
      }
      if (errno != EEXIST) break;
    }
    Fail("the file cannot be made");
  }

  // Appends a text field, encoded and quoted where needed.
  void PutText(size_t column, std::string_view utf8, bool is_value) {
    if (!encoding_.FromUtf8(utf8, &encoded_))
      Refuse(column, std::string(is_value ? "the value" : "the name") +
                         (IsUtf8(utf8) ? " holds a character " + encoding_.name() + " does not have"
                                       : " is not UTF-8 text"));
    // A UTF-8 byte order mark at the very start of the file would be taken
    // for the file's own and passed over: the name keeps it in quotes.
    const bool starts_file = !wrote_any_ && out_.empty();
    if (!NeedsQuotes(encoded_) && !(starts_file && encoded_.starts_with("\xEF\xBB\xBF"))) {
      out_ += encoded_;
      return;
    }
    out_ += '"';
    for (char c : encoded_) {
      if (c == '"') out_ += '"';
      out_ += c;
    }
    out_ += '"';
    record_breaks_ += LineBreaks(encoded_);
  }

  void EndRecord() {
    wrote_any_ = true;
    out_ += "\r\n";
    line_ += 1 + record_breaks_;
    record_breaks_ = 0;
    if (out_.size() >= kFlushBytes) Flush();
  }

  void Flush() {
    size_t done = 0;
    while (done < out_.size()) {
      ssize_t n = ::write(file_.fd, out_.data() + done, out_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("writing the file failed");
      done += static_cast<size_t>(n);
    }
    out_.clear();
  }

  [[noreturn]] void Refuse(size_t column, const std::string& what) const {
    throw EngineError(
        NDS_E_VALUE_INVALID,
        PlacedMessage(FilePlace{path_, line_, "\"" + shape_.columns[column].name + "\""}, "line",
                      "column", what));
  }

  [[noreturn]] void Fail(const char* what) const {
    throw EngineError(NDS_E_INVALID_PATH,
                      PlacedMessage(FilePlace{path_, 0, {}}, "line", "column",
                                    std::string(what) + ": " + std::strerror(errno)));
  }

  std::string path_;
  TableShape shape_;
  TextEncoding encoding_;
  TemporaryFile file_;          // written until Finish renames it to path_
  std::string out_;             // records not yet written to the file
  std::string field_;           // one value's text, reused
  std::string encoded_;         // one text in the file's encoding, reused
  bool wrote_any_ = false;      // a record has been ended (the header at least)
  uint64_t line_ = 1;           // the line where the record being written starts
  uint64_t record_breaks_ = 0;  // line breaks inside the record's quoted fields
};

}  // namespace

std::unique_ptr<RowSink> OpenCsvWriter(const std::string& path, const TableShape& shape,
                                       const CsvWriteOptions& options) {
  return std::make_unique<CsvRowWriter>(path, shape, options);
}

}  // namespace nce
