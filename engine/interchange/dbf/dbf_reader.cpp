#include "engine/interchange/dbf/dbf_reader.h"

#include <cmath>
#include <cstring>

#include "engine/base/errors.h"
#include "engine/interchange/dbf/dbf_bytes.h"
#include "engine/interchange/dbf/dbf_field_map.h"
#include "engine/interchange/dbf/dbf_files.h"
#include "engine/interchange/dbf/dbf_format.h"
#include "engine/interchange/dbf/dbf_memo_file.h"
#include "engine/interchange/dbf/dbf_values.h"
#include "engine/interchange/text_encoding.h"

namespace nce {
namespace {

constexpr size_t kWindow = 64 * 1024;  // bytes of records read at once

void SetNull(Value* v) {
  v->kind = Value::Kind::kNull;
}
void SetInteger(Value* v, int64_t i) {
  v->kind = Value::Kind::kInteger;
  v->integer = i;
}

bool AllBytes(const char* p, size_t n, char c) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != c) return false;
  return true;
}

// dBase 7 stores doubles so that their bytes sort as the numbers do: most
// significant byte first, the sign bit flipped for a positive number and
// every bit for a negative one.
double SortableDouble(const char* p) {
  uint64_t bits = LoadBe64(p);
  bits = (bits & (uint64_t{1} << 63)) ? bits ^ (uint64_t{1} << 63) : ~bits;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

class DbfReader : public RowSource {
 public:
  DbfReader(const std::string& path, const DbfReadOptions& options);

  const TableShape& shape() const override { return shape_; }
  bool Next(TableRow* row) override;
  bool RowDeleted() const override { return deleted_; }
  uint64_t BytesRead() const override {
    return header_.header_length + next_record_ * header_.record_length;
  }
  uint64_t BytesTotal() const override { return file_.size(); }
  std::string Where(size_t column) const override {
    std::string name = column < shape_.columns.size() ? shape_.columns[column].name : "";
    std::string place =
        PlacedMessage(FilePlace{file_.path(), next_record_, name}, "record", "field", "");
    return place.substr(0, place.size() - 2);  // without the ": " before a text
  }

 private:
  void OpenEncoding(const std::string& asked, uint8_t driver);
  void OpenMemoFile();
  void FitTexts();
  const char* NextRecord();
  void ReadField(size_t i, const char* record, Value* v);
  void ReadText(std::string_view bytes, Value* v);
  void ReadMemo(const DbfField& f, FieldCodec codec, const char* p, Value* v);
  void ReadTimestamp7(const char* p, Value* v);

  InputFile file_;
  DbfHeader header_;
  TableShape shape_;
  std::vector<ReadPlan> plans_;  // one per field
  std::unique_ptr<TextEncoding> encoding_;
  std::unique_ptr<MemoReader> memo_;
  bool keep_deleted_;
  bool deleted_ = false;
  uint64_t next_record_ = 0;  // records taken from the window so far
  std::string window_;        // records [window_first_, window_first_ + window_count_)
  uint64_t window_first_ = 0;
  uint64_t window_count_ = 0;
  std::string scratch_;  // memo bytes before decoding
};

DbfReader::DbfReader(const std::string& path, const DbfReadOptions& options)
    : file_(path), keep_deleted_(options.keep_deleted) {
  std::string head(kHeaderPrefix, '\0');
  head.resize(file_.ReadAt(0, head.data(), head.size()));
  head.resize(std::max<size_t>(DbfHeaderLength(path, head), kHeaderPrefix));
  head.resize(file_.ReadAt(0, head.data(), head.size()));
  if (head.size() < kHeaderPrefix)
    throw EngineError(NDS_E_BAD_FILE, path + ": the file is too short for an xBase table header");
  OpenEncoding(options.encoding, static_cast<uint8_t>(head[29]));
  header_ = ParseDbfHeader(path, head, file_.size(), *encoding_);
  for (const DbfField& f : header_.fields) {
    plans_.push_back(PlanRead(path, f, header_.flavor));
    shape_.columns.push_back(TableColumn{f.name, plans_.back().shape, plans_.back().nullable});
  }
  OpenMemoFile();
  size_t per_window = std::max<size_t>(1, kWindow / header_.record_length);
  window_.resize(per_window * header_.record_length);
  if (options.fit_texts) FitTexts();
}

void DbfReader::FitTexts() {
  std::vector<size_t> texts;
  for (size_t i = 0; i < plans_.size(); ++i)
    if (plans_[i].codec == FieldCodec::kText) texts.push_back(i);
  if (texts.empty() || encoding_->is_utf8()) return;
  std::vector<uint32_t> widest(plans_.size(), 0);
  std::string utf8;
  while (next_record_ < header_.record_count) {
    const char* record = NextRecord();
    if (record[0] == '*' && !keep_deleted_) continue;
    for (size_t i : texts) {
      const DbfField& f = header_.fields[i];
      const char* p = record + f.offset;
      size_t n = f.length;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
      bool ascii = true;
      for (size_t k = 0; k < n && ascii; ++k) ascii = static_cast<unsigned char>(p[k]) < 0x80;
      // Bytes not of the encoding are left for the read to refuse.
      size_t width = ascii || !encoding_->ToUtf8({p, n}, &utf8) ? n : utf8.size();
      widest[i] = std::max<uint32_t>(widest[i], static_cast<uint32_t>(width));
    }
  }
  for (size_t i : texts)
    shape_.columns[i].shape.length = std::max(shape_.columns[i].shape.length, widest[i]);
  next_record_ = window_first_ = window_count_ = 0;
}

void DbfReader::OpenEncoding(const std::string& asked, uint8_t driver) {
  std::string name = asked;
  if (name.empty()) {
    int page = CodePageOfLanguageDriver(driver);
    name = page ? EncodingOfCodePage(page) : "CP1252";
  }
  try {
    encoding_ = std::make_unique<TextEncoding>(name);
  } catch (const EngineError& e) {
    throw EngineError(e.number(), file_.path() + ": " + e.text());
  }
}

// The memo file's name comes from the table's: the extension its version
// names, in the letter case the directory has. A table of version 0x03
// names none; the file found beside it decides.
void DbfReader::OpenMemoFile() {
  bool needs_memo = false;
  for (const ReadPlan& p : plans_)
    needs_memo |= p.codec == FieldCodec::kMemoText || p.codec == FieldCodec::kMemoBlob;
  if (!needs_memo) return;
  const std::string& path = file_.path();
  MemoKind kind = header_.memo;
  std::string memo_path;
  if (kind == MemoKind::kFpt || kind == MemoKind::kNone) {
    memo_path = FindBesideFile(path, "fpt");
    if (!memo_path.empty()) kind = MemoKind::kFpt;
  }
  if (memo_path.empty() && kind != MemoKind::kFpt) {
    memo_path = FindBesideFile(path, "dbt");
    if (kind == MemoKind::kNone) kind = MemoKind::kDbt4;  // also reads dBase III values
  }
  if (memo_path.empty()) {
    std::string expected = BesideName(path, header_.memo == MemoKind::kFpt ? "fpt" : "dbt");
    throw EngineError(NDS_E_BAD_FILE, path + ": the table has memo fields, but its memo file " +
                                          expected + " is missing");
  }
  memo_ = std::make_unique<MemoReader>(memo_path, kind);
}

const char* DbfReader::NextRecord() {
  uint64_t length = header_.record_length;
  if (next_record_ >= window_first_ + window_count_) {
    window_first_ = next_record_;
    window_count_ =
        std::min<uint64_t>(window_.size() / length, header_.record_count - next_record_);
    uint64_t offset = header_.header_length + window_first_ * length;
    size_t want = static_cast<size_t>(window_count_ * length);
    if (file_.ReadAt(offset, window_.data(), want) != want)
      throw EngineError(NDS_E_BAD_FILE,
                        PlacedMessage(FilePlace{file_.path(), next_record_ + 1, ""}, "record",
                                      "field", "the file ended while it was being read"));
  }
  return window_.data() + (next_record_++ - window_first_) * length;
}

bool DbfReader::Next(TableRow* row) {
  while (next_record_ < header_.record_count) {
    const char* record = NextRecord();
    if (record[0] == '*') {
      deleted_ = true;
      if (!keep_deleted_) continue;
    } else if (record[0] == ' ') {
      deleted_ = false;
    } else {
      throw EngineError(NDS_E_BAD_FILE,
                        PlacedMessage(FilePlace{file_.path(), next_record_, ""}, "record", "field",
                                      "the deletion mark is byte " +
                                          std::to_string(static_cast<uint8_t>(record[0])) +
                                          ", neither blank nor '*'"));
    }
    row->resize(plans_.size());
    for (size_t i = 0; i < plans_.size(); ++i) {
      try {
        ReadField(i, record, &(*row)[i]);
      } catch (const FieldError& e) {
        throw EngineError(
            e.code, PlacedMessage(FilePlace{file_.path(), next_record_, header_.fields[i].name},
                                  "record", "field", e.what));
      }
    }
    return true;
  }
  return false;
}

void DbfReader::ReadText(std::string_view bytes, Value* v) {
  v->kind = Value::Kind::kText;
  if (!encoding_->ToUtf8(bytes, &v->bytes))
    FailField(NDS_E_VALUE_INVALID, "the text is not valid in the encoding " + encoding_->name());
}

void DbfReader::ReadField(size_t i, const char* record, Value* v) {
  const DbfField& f = header_.fields[i];
  const char* p = record + f.offset;
  if (f.null_bit >= 0) {
    uint8_t flags = static_cast<uint8_t>(record[header_.null_flags_offset + f.null_bit / 8]);
    if (flags >> (f.null_bit % 8) & 1) return SetNull(v);
  }
  switch (plans_[i].codec) {
    case FieldCodec::kText: {
      size_t n = f.length;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
      return ReadText({p, n}, v);
    }
    case FieldCodec::kRawText:
      v->kind = Value::Kind::kBlob;
      v->bytes.assign(p, f.length);
      return;
    case FieldCodec::kDecimal:
      v->kind =
          ReadDecimalField({p, f.length}, &v->bytes) ? Value::Kind::kText : Value::Kind::kNull;
      return;
    case FieldCodec::kDate:
      v->kind = ReadDateField({p, f.length}, &v->bytes) ? Value::Kind::kText : Value::Kind::kNull;
      return;
    case FieldCodec::kLogical:
      switch (*p) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
          return SetInteger(v, 1);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
          return SetInteger(v, 0);
        case '?':
        case ' ':
        case '\0':
          return SetNull(v);
        default:
          FailField(NDS_E_VALUE_INVALID, "the byte " + std::to_string(static_cast<uint8_t>(*p)) +
                                             " is not a logical value");
      }
    case FieldCodec::kMemoText:
    case FieldCodec::kMemoBlob:
      return ReadMemo(f, plans_[i].codec, p, v);
    case FieldCodec::kInteger:
      return SetInteger(v, static_cast<int32_t>(LoadLe32(p)));
    case FieldCodec::kSortableLong:
      return SetInteger(v, static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u));
    case FieldCodec::kCurrency:
      v->kind = Value::Kind::kText;
      FormatMoney(static_cast<int64_t>(LoadLe64(p)), &v->bytes);
      return;
    case FieldCodec::kDouble: {
      uint64_t bits = LoadLe64(p);
      v->kind = Value::Kind::kReal;
      std::memcpy(&v->real, &bits, sizeof bits);
      return;
    }
    case FieldCodec::kSortableDouble:
      if (AllBytes(p, 8, '\0')) return SetNull(v);
      v->kind = Value::Kind::kReal;
      v->real = SortableDouble(p);
      return;
    case FieldCodec::kDateTime: {
      if (AllBytes(p, 8, '\0') || AllBytes(p, 8, ' ')) return SetNull(v);
      v->kind = Value::Kind::kText;
      FormatTimestamp(static_cast<int32_t>(LoadLe32(p)), static_cast<int32_t>(LoadLe32(p + 4)),
                      &v->bytes);
      return;
    }
    case FieldCodec::kDbase7Timestamp:
      return ReadTimestamp7(p, v);
    case FieldCodec::kVarText:
    case FieldCodec::kVarBlob: {
      size_t n = f.length;
      if (f.varlength_bit >= 0 &&
          (static_cast<uint8_t>(record[header_.null_flags_offset + f.varlength_bit / 8]) >>
               (f.varlength_bit % 8) &
           1)) {
        n = static_cast<uint8_t>(p[f.length - 1]);
        if (n >= f.length)
          FailField(NDS_E_VALUE_INVALID, "the value's length " + std::to_string(n) +
                                             " does not fit the field's " +
                                             std::to_string(f.length) + " bytes");
      }
      if (plans_[i].codec == FieldCodec::kVarText) return ReadText({p, n}, v);
      v->kind = Value::Kind::kBlob;
      v->bytes.assign(p, n);
      return;
    }
  }
}

// A memo pointer: 4 bytes in Visual FoxPro, else up to 10 digits padded
// with blanks; 0 or blank for no value (an empty text or blob).
void DbfReader::ReadMemo(const DbfField& f, FieldCodec codec, const char* p, Value* v) {
  uint64_t block = 0;
  if (f.length == 4) {
    block = LoadLe32(p);
  } else {
    for (size_t i = 0; i < f.length; ++i) {
      char c = p[i];
      if (c >= '0' && c <= '9') {
        block = block * 10 + static_cast<uint64_t>(c - '0');
      } else if (c != ' ' && c != '\0') {
        FailField(NDS_E_BAD_FILE,
                  "the memo pointer '" + std::string(p, f.length) + "' is not a block number");
      }
    }
  }
  bool text = codec == FieldCodec::kMemoText;
  v->kind = text ? Value::Kind::kText : Value::Kind::kBlob;
  if (block == 0) {
    v->bytes.clear();
    return;
  }
  if (!text) return memo_->Read(block, &v->bytes);
  memo_->Read(block, &scratch_);
  ReadText(scratch_, v);
}

// dBase 7 timestamps: a double, most significant byte first (not made
// sortable: a timestamp is never negative), counting milliseconds from the
// start of 0000-12-31, so that 0001-01-01 is day 1. The bytes
// 42 CC E1 EC 41 FB 64 00 are 2013-08-27 19:12:13.
void DbfReader::ReadTimestamp7(const char* p, Value* v) {
  // The Julian day number of the day before 0001-01-01.
  constexpr int64_t kDayZero = 1721425;
  if (AllBytes(p, 8, '\0')) return SetNull(v);
  uint64_t bits = LoadBe64(p);
  double ms;
  std::memcpy(&ms, &bits, sizeof ms);
  if (!std::isfinite(ms) || ms < 0 || ms > 1e15 || ms != std::floor(ms))
    FailField(NDS_E_VALUE_INVALID, "the bytes are not a dBase 7 timestamp");
  int64_t whole = static_cast<int64_t>(ms);
  v->kind = Value::Kind::kText;
  FormatTimestamp(kDayZero + whole / kMsPerDay, whole % kMsPerDay, &v->bytes);
}

}  // namespace

std::unique_ptr<RowSource> OpenDbfReader(const std::string& path, const DbfReadOptions& options) {
  return std::make_unique<DbfReader>(path, options);
}

}  // namespace nce
