#include "engine/interchange/csv/csv_tokenizer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/base/errors.h"
#include "engine/interchange/table_rows.h"

namespace nce {
namespace {

constexpr size_t kPieceBytes = 64 * 1024;

// The bytes that end a run of an unquoted field: separator, quote and the
// line breaks.
struct SpecialBytes {
  bool is[256] = {};
  constexpr SpecialBytes() {
    is[static_cast<unsigned char>(',')] = true;
    is[static_cast<unsigned char>('"')] = true;
    is[static_cast<unsigned char>('\r')] = true;
    is[static_cast<unsigned char>('\n')] = true;
  }
};
constexpr SpecialBytes kSpecial;

[[noreturn]] void CannotRead(const std::string& path, const char* what, int error) {
  throw EngineError(NDS_E_INVALID_PATH,
                    PlacedMessage(FilePlace{path, 0, {}}, "line", "column",
                                  std::string(what) + ": " + std::strerror(error)));
}

}  // namespace

CsvTokenizer::CsvTokenizer(const std::string& path, bool skip_bom)
    : path_(path), buffer_(new char[kPieceBytes]) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) CannotRead(path, "the file cannot be opened", errno);
  struct stat st;
  int error = ::fstat(fd_, &st) != 0 ? errno
              : S_ISREG(st.st_mode)  ? 0
              : S_ISDIR(st.st_mode)  ? EISDIR
                                     : EINVAL;
  if (error != 0) {
    ::close(fd_);
    CannotRead(path, "the file cannot be read", error);
  }
  size_ = static_cast<uint64_t>(st.st_size);
  try {
    Fill();
  } catch (...) {
    ::close(fd_);
    throw;
  }
  if (skip_bom && end_ >= 3 && std::memcmp(buffer_.get(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
}

CsvTokenizer::~CsvTokenizer() {
  if (fd_ >= 0) ::close(fd_);
}

bool CsvTokenizer::Fill() {
  consumed_ += end_;
  pos_ = end_ = 0;
  while (!at_end_ && end_ < kPieceBytes) {
    ssize_t n = ::read(fd_, buffer_.get() + end_, kPieceBytes - end_);
    if (n < 0) {
      if (errno == EINTR) continue;
      CannotRead(path_, "reading the file failed", errno);
    }
    if (n == 0) at_end_ = true;
    end_ += static_cast<size_t>(n);
  }
  return end_ > 0;
}

std::string CsvTokenizer::ColumnLabel(size_t i) const {
  return i < column_names_.size() ? "\"" + column_names_[i] + "\"" : std::to_string(i + 1);
}

void CsvTokenizer::Refuse(const std::string& what) const {
  throw EngineError(NDS_E_BAD_FILE,
                    PlacedMessage(FilePlace{path_, record_line_, ColumnLabel(fields_.size())},
                                  "line", "column", what));
}

void CsvTokenizer::Grow(size_t more) {
  if (record_.size() + more > kMaxRecordBytes)
    Refuse("the record is longer than " + std::to_string(kMaxRecordBytes >> 20) +
           " MB (a quote left open?)");
}

void CsvTokenizer::EndField(size_t begin, bool quoted) {
  fields_.push_back(
      Field{static_cast<uint32_t>(begin), static_cast<uint32_t>(record_.size() - begin), quoted});
}

// Counts the line breaks among data bytes: LF, CRLF and a lone CR are one
// each, also where a CRLF is split between two pieces.
void CsvTokenizer::CountBreaks(const char* from, const char* to) {
  for (const char* p = from; p < to; ++p) {
    if (*p == '\r') {
      ++line_;
      after_cr_ = true;
    } else {
      if (*p == '\n' && !after_cr_) ++line_;
      after_cr_ = false;
    }
  }
}

bool CsvTokenizer::Next() {
  record_.clear();
  fields_.clear();
  if (pos_ == end_ && !Fill()) return false;
  record_line_ = line_;
  enum class State { kFieldStart, kUnquoted, kQuoted, kAfterQuote };
  State state = State::kFieldStart;
  size_t field_begin = 0;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (state == State::kQuoted)
        Refuse("a quoted field is not closed before the end of the file");
      EndField(field_begin, state == State::kAfterQuote);
      return true;
    }
    const char* p = buffer_.get() + pos_;
    const char* const e = buffer_.get() + end_;
    char c;
    switch (state) {
      case State::kFieldStart:
        if (*p == '"') {
          ++pos_;
          state = State::kQuoted;
          after_cr_ = false;
          continue;
        }
        state = State::kUnquoted;
        continue;
      case State::kUnquoted: {
        const char* q = p;
        while (q < e && !kSpecial.is[static_cast<unsigned char>(*q)]) ++q;
        Grow(q - p);
        record_.append(p, q);
        pos_ += q - p;
        if (q == e) continue;
        c = *q;
        if (c == '"') Refuse("a quote inside a field that does not start with one");
        break;
      }
      case State::kQuoted: {
        const char* q = static_cast<const char*>(std::memchr(p, '"', e - p));
        if (!q) q = e;
        Grow(q - p);
        CountBreaks(p, q);
        record_.append(p, q);
        pos_ += q - p;
        if (q < e) {
          ++pos_;
          after_cr_ = false;
          state = State::kAfterQuote;
        }
        continue;
      }
      case State::kAfterQuote:
        c = *p;
        if (c == '"') {  // a doubled quote stands for one
          Grow(1);
          record_ += '"';
          ++pos_;
          state = State::kQuoted;
          continue;
        }
        if (c != ',' && c != '\r' && c != '\n') Refuse("text follows the closing quote of a field");
        break;
    }
    // A separator or a line break ends the field.
    ++pos_;
    EndField(field_begin, state == State::kAfterQuote);
    if (c == ',') {
      field_begin = record_.size();
      state = State::kFieldStart;
      continue;
    }
    ++line_;
    if (c == '\r' && (pos_ < end_ || Fill()) && buffer_[pos_] == '\n') ++pos_;
    return true;
  }
}

}  // namespace nce
