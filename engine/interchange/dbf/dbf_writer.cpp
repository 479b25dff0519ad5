#include "engine/interchange/dbf/dbf_writer.h"

#include <strings.h>

#include <charconv>
#include <cstring>
#include <limits>

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

constexpr size_t kMaxNameBytes = 10;

const char* KindName(Value::Kind kind) {
  switch (kind) {
    case Value::Kind::kInteger:
      return "an integer";
    case Value::Kind::kReal:
      return "a double";
    case Value::Kind::kText:
      return "a text";
    case Value::Kind::kBlob:
      return "a blob";
    default:
      return "no value";
  }
}

[[noreturn]] void WrongKind(const Value& v, const char* wanted) {
  FailField(NDS_E_VALUE_INVALID,
            std::string("the value is ") + KindName(v.kind) + ", not " + wanted);
}

class DbfWriter : public RowSink {
 public:
  DbfWriter(const std::string& path, const TableShape& shape, const DbfWriteOptions& options);

  void Write(const TableRow& row, bool deleted) override;
  void Finish() override;

 private:
  [[noreturn]] void Refuse(uint32_t code, uint64_t row, const std::string& column,
                           const std::string& what) const;
  std::string FieldName(const std::string& column, size_t number);
  void LayOutFields(const TableShape& shape);
  void WriteField(size_t i, const Value& v, char* record);
  void WriteBlank(size_t i, char* record);
  void Encode(const Value& v);
  void WriteMemo(size_t i, std::string_view data, char* dest);

  std::string path_;
  uint32_t version_;
  TableShape shape_;
  std::vector<WritePlan> plans_;  // one per column
  DbfHeader header_;              // fields as written; counts set by Finish
  std::unique_ptr<TextEncoding> encoding_;
  std::unique_ptr<OutputFile> table_;
  std::unique_ptr<MemoWriter> memo_;
  std::vector<int64_t> autoinc_last_;  // highest value of each autoincrement column
  std::string record_;                 // the record being made
  std::string encoded_;                // a text in the file's encoding
  uint64_t rows_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

DbfWriter::DbfWriter(const std::string& path, const TableShape& shape,
                     const DbfWriteOptions& options)
    : path_(path), version_(options.version), shape_(shape) {
  if (version_ > NDS_DBF_VFP)
    throw EngineError(NDS_E_INVALID_OPTION,
                      path + ": the xBase version " + std::to_string(version_) + " is not known");
  if (shape.columns.empty())
    Refuse(NDS_E_VALUE_INVALID, 0, "", "a table needs at least one column");
  if (version_ == 0) {
    version_ = NDS_DBF_DBASE3;
    for (const TableColumn& c : shape.columns) version_ = std::max(version_, OldestVersionFor(c));
  }
  for (const TableColumn& c : shape.columns) plans_.push_back(PlanField(path, c, version_));
  std::string encoding = options.encoding.empty() ? "CP1252" : options.encoding;
  encoding_ = std::make_unique<TextEncoding>(encoding);
  header_.language_driver = LanguageDriverOfCodePage(CodePageOfEncoding(encoding));
  LayOutFields(shape);
  autoinc_last_.assign(plans_.size(), 0);

  table_ = std::make_unique<OutputFile>(path);
  if (header_.memo != MemoKind::kNone)
    memo_ = std::make_unique<MemoWriter>(
        BesideName(path, header_.memo == MemoKind::kFpt ? "fpt" : "dbt"), header_.memo);
  header_.header_length = static_cast<uint32_t>(BuildDbfHeader(header_).size());
  table_->Append(BuildDbfHeader(header_));
  record_.resize(header_.record_length);
}

void DbfWriter::Refuse(uint32_t code, uint64_t row, const std::string& column,
                       const std::string& what) const {
  throw EngineError(code, PlacedMessage(FilePlace{path_, row, column}, "record", "field", what));
}

// The column's name in the file's encoding, cut to the 10 bytes a
// descriptor holds, and made unique among the names given so far.
std::string DbfWriter::FieldName(const std::string& column, size_t number) {
  std::string name;
  if (column.empty())
    Refuse(NDS_E_VALUE_INVALID, 0, "number " + std::to_string(number), "the column has no name");
  if (!encoding_->FromUtf8(column, &name))
    Refuse(NDS_E_VALUE_INVALID, 0, column,
           "the column's name cannot be written in the encoding " + encoding_->name());
  // Cutting must not split a character of a multibyte code page.
  std::string check;
  while (name.size() > kMaxNameBytes || !encoding_->ToUtf8(name, &check)) name.pop_back();
  auto taken = [this](const std::string& n) {
    for (const DbfField& f : header_.fields)
      if (::strcasecmp(f.name.c_str(), n.c_str()) == 0) return true;
    return false;
  };
  std::string unique = name;
  for (int suffix = 2; taken(unique) || unique.empty(); ++suffix) {
    std::string end = "_" + std::to_string(suffix);
    unique = name.substr(0, kMaxNameBytes - end.size()) + end;
  }
  return unique;
}

void DbfWriter::LayOutFields(const TableShape& shape) {
  bool vfp = version_ == NDS_DBF_VFP;
  bool memo = false, autoinc = false;
  uint32_t offset = 1;
  int null_bits = 0;
  for (size_t i = 0; i < plans_.size(); ++i) {
    const WritePlan& p = plans_[i];
    DbfField f;
    f.name = FieldName(shape.columns[i].name, i + 1);
    f.type = p.letter;
    f.offset = offset;
    f.length = p.length;
    f.decimals = p.decimals;
    f.flags = p.flags;
    if (vfp && shape.columns[i].nullable) {
      f.flags |= kFieldNullable;
      f.null_bit = null_bits++;
    }
    if (f.flags & kFieldAutoincrement) f.autoinc_step = 1, autoinc = true;
    memo |= p.codec == FieldCodec::kMemoText || p.codec == FieldCodec::kMemoBlob;
    offset += f.length;
    header_.fields.push_back(std::move(f));
  }
  header_.null_flags_offset = null_bits ? offset : 0;
  header_.null_flags_length = static_cast<uint32_t>((null_bits + 7) / 8);
  header_.record_length = offset + header_.null_flags_length;
  header_.flavor = vfp ? DbfFlavor::kVisualFoxPro : DbfFlavor::kDbase3;
  if (header_.record_length > 0xFFFF)
    Refuse(NDS_E_VALUE_INVALID, 0, "",
           "the columns make records of " + std::to_string(header_.record_length) +
               " bytes; an xBase record holds at most 65535");
  static constexpr struct {
    uint8_t without_memo, with_memo;
    MemoKind memo;
  } kBytes[] = {{0x03, 0x83, MemoKind::kDbt3},
                {0x03, 0x8B, MemoKind::kDbt4},
                {0x03, 0xF5, MemoKind::kFpt},
                {0x30, 0x30, MemoKind::kFpt}};
  const auto& b = kBytes[version_ - 1];
  header_.version_byte = memo ? b.with_memo : b.without_memo;
  if (vfp && autoinc) header_.version_byte = 0x31;
  header_.memo = memo ? b.memo : MemoKind::kNone;
  if (vfp && memo) header_.table_flags = 0x02;
  if (header_.fields.size() * kDescriptorSize + kHeaderPrefix + 1 + kBacklinkSize > 0xFFFF)
    Refuse(NDS_E_VALUE_INVALID, 0, "", "an xBase header holds at most 2036 fields");
}

void DbfWriter::Write(const TableRow& row, bool deleted) {
  if (failed_ || finished_)
    throw EngineError(NDS_E_INVALID_ARGUMENT, path_ + ": the table is no longer being written");
  if (row.size() != plans_.size())
    throw EngineError(NDS_E_INVALID_ARGUMENT, path_ + ": a row of " + std::to_string(row.size()) +
                                                  " values for " + std::to_string(plans_.size()) +
                                                  " columns");
  if (rows_ == 0xFFFFFFFFu) {
    failed_ = true;
    Refuse(NDS_E_VALUE_TOO_LONG, rows_ + 1, "", "an xBase table holds at most 4294967295 records");
  }
  record_[0] = deleted ? '*' : ' ';
  if (header_.null_flags_length)
    std::memset(record_.data() + header_.null_flags_offset, 0, header_.null_flags_length);
  for (size_t i = 0; i < plans_.size(); ++i) {
    try {
      WriteField(i, row[i], record_.data());
    } catch (const FieldError& e) {
      failed_ = true;
      Refuse(e.code, rows_ + 1, shape_.columns[i].name, e.what);
    } catch (...) {
      failed_ = true;
      throw;
    }
  }
  try {
    table_->Append(record_);
  } catch (...) {
    failed_ = true;
    throw;
  }
  ++rows_;
}

// A NULL: the null bit where the column has one, else the blank of a
// field whose blank reads back as NULL; any other field cannot keep it.
void DbfWriter::WriteBlank(size_t i, char* record) {
  const DbfField& f = header_.fields[i];
  const WritePlan& p = plans_[i];
  if (f.null_bit < 0 && !p.blank_is_null)
    FailField(NDS_E_VALUE_INVALID,
              std::string("NULL cannot be kept: the column was said to hold no NULLs, and a ") +
                  DbfVersionName(version_) + " field of type '" + p.letter + "' has no NULL");
  if (f.null_bit >= 0) record[header_.null_flags_offset + f.null_bit / 8] |= 1 << (f.null_bit % 8);
  bool memo = p.codec == FieldCodec::kMemoText || p.codec == FieldCodec::kMemoBlob;
  bool binary = p.codec == FieldCodec::kInteger || p.codec == FieldCodec::kCurrency ||
                p.codec == FieldCodec::kDouble || p.codec == FieldCodec::kDateTime ||
                (memo && f.length == 4);
  std::memset(record + f.offset, binary ? 0 : ' ', f.length);
  if (p.codec == FieldCodec::kLogical && f.null_bit < 0) record[f.offset] = '?';
}

void DbfWriter::Encode(const Value& v) {
  if (v.kind != Value::Kind::kText) WrongKind(v, "a text");
  if (!encoding_->FromUtf8(v.bytes, &encoded_))
    FailField(NDS_E_VALUE_INVALID, IsUtf8(v.bytes) ? "the text holds a character the encoding " +
                                                         encoding_->name() + " cannot write"
                                                   : "the text is not UTF-8");
}

void DbfWriter::WriteMemo(size_t i, std::string_view data, char* dest) {
  uint32_t block = memo_->Append(data, plans_[i].fpt_type);
  if (header_.fields[i].length == 4) {
    StoreLe32(dest, block);
    return;
  }
  std::memset(dest, ' ', 10);
  if (block == 0) return;
  char digits[10];
  auto end = std::to_chars(digits, digits + sizeof digits, block).ptr;
  std::memcpy(dest + 10 - (end - digits), digits, end - digits);
}

void DbfWriter::WriteField(size_t i, const Value& v, char* record) {
  if (v.kind == Value::Kind::kNull || v.kind == Value::Kind::kUnset) return WriteBlank(i, record);
  const DbfField& f = header_.fields[i];
  char* dest = record + f.offset;
  switch (plans_[i].codec) {
    case FieldCodec::kText:
      Encode(v);
      if (encoded_.size() > f.length)
        FailField(NDS_E_VALUE_TOO_LONG, "the text takes " + std::to_string(encoded_.size()) +
                                            " bytes in " + encoding_->name() +
                                            ", the field holds " + std::to_string(f.length));
      std::memcpy(dest, encoded_.data(), encoded_.size());
      std::memset(dest + encoded_.size(), ' ', f.length - encoded_.size());
      return;
    case FieldCodec::kRawText:
      if (v.kind != Value::Kind::kBlob && v.kind != Value::Kind::kText) WrongKind(v, "a blob");
      if (v.bytes.size() > f.length)
        FailField(NDS_E_VALUE_TOO_LONG, std::to_string(v.bytes.size()) +
                                            " bytes do not fit the field's " +
                                            std::to_string(f.length));
      std::memcpy(dest, v.bytes.data(), v.bytes.size());
      std::memset(dest + v.bytes.size(), ' ', f.length - v.bytes.size());
      return;
    case FieldCodec::kDecimal:
      if (v.kind == Value::Kind::kInteger) {
        char digits[24];
        auto end = std::to_chars(digits, digits + sizeof digits, v.integer).ptr;
        return WriteDecimalField({digits, static_cast<size_t>(end - digits)}, f.length, f.decimals,
                                 dest);
      }
      if (v.kind != Value::Kind::kText) WrongKind(v, "a decimal text");
      return WriteDecimalField(v.bytes, f.length, f.decimals, dest);
    case FieldCodec::kDate: {
      if (v.kind != Value::Kind::kText) WrongKind(v, "a date text");
      int year, month, day;
      ParseDateText(v.bytes, &year, &month, &day);
      std::memcpy(dest, v.bytes.data(), 4);
      std::memcpy(dest + 4, v.bytes.data() + 5, 2);
      std::memcpy(dest + 6, v.bytes.data() + 8, 2);
      return;
    }
    case FieldCodec::kLogical:
      if (v.kind != Value::Kind::kInteger || (v.integer != 0 && v.integer != 1))
        FailField(NDS_E_VALUE_INVALID, "a logical value is the integer 0 or 1");
      *dest = v.integer ? 'T' : 'F';
      return;
    case FieldCodec::kMemoText:
      Encode(v);
      return WriteMemo(i, encoded_, dest);
    case FieldCodec::kMemoBlob:
      if (v.kind != Value::Kind::kBlob && v.kind != Value::Kind::kText) WrongKind(v, "a blob");
      return WriteMemo(i, v.bytes, dest);
    case FieldCodec::kInteger:
      if (v.kind != Value::Kind::kInteger) WrongKind(v, "an integer");
      if (v.integer < std::numeric_limits<int32_t>::min() ||
          v.integer > std::numeric_limits<int32_t>::max())
        FailField(NDS_E_VALUE_TOO_LONG,
                  std::to_string(v.integer) + " does not fit the field's 32 bits");
      autoinc_last_[i] = std::max(autoinc_last_[i], v.integer);
      StoreLe32(dest, static_cast<uint32_t>(static_cast<int32_t>(v.integer)));
      return;
    case FieldCodec::kCurrency: {
      int64_t scaled;
      if (v.kind == Value::Kind::kInteger) {
        if (__builtin_mul_overflow(v.integer, 10000, &scaled))
          FailField(NDS_E_VALUE_TOO_LONG,
                    std::to_string(v.integer) + " is beyond the currency range");
      } else if (v.kind == Value::Kind::kText) {
        scaled = ParseMoneyText(v.bytes);
      } else {
        WrongKind(v, "a decimal text");
      }
      StoreLe64(dest, static_cast<uint64_t>(scaled));
      return;
    }
    case FieldCodec::kDouble: {
      if (v.kind != Value::Kind::kReal) WrongKind(v, "a double");
      uint64_t bits;
      std::memcpy(&bits, &v.real, sizeof bits);
      StoreLe64(dest, bits);
      return;
    }
    case FieldCodec::kDateTime: {
      if (v.kind != Value::Kind::kText) WrongKind(v, "a timestamp text");
      int64_t day, ms;
      ParseTimestampText(v.bytes, &day, &ms);
      StoreLe32(dest, static_cast<uint32_t>(day));
      StoreLe32(dest + 4, static_cast<uint32_t>(ms));
      return;
    }
    default:  // no column is planned to the remaining codecs
      FailField(NDS_E_VALUE_INVALID, "the field's type is not written");
  }
}

void DbfWriter::Finish() {
  if (failed_ || finished_)
    throw EngineError(NDS_E_INVALID_ARGUMENT, path_ + ": the table is no longer being written");
  failed_ = true;  // until the files have their names
  table_->Append(std::string(1, static_cast<char>(kFileEnd)));
  header_.record_count = static_cast<uint32_t>(rows_);
  for (size_t i = 0; i < header_.fields.size(); ++i)
    if (header_.fields[i].flags & kFieldAutoincrement)
      header_.fields[i].autoinc_next = static_cast<uint32_t>(autoinc_last_[i] + 1);
  table_->WriteAt(0, BuildDbfHeader(header_));
  if (memo_) memo_->Close();
  table_->Close();
  if (memo_) memo_->Commit();
  table_->Commit();
  failed_ = false;
  finished_ = true;
}

}  // namespace

std::unique_ptr<RowSink> OpenDbfWriter(const std::string& path, const TableShape& shape,
                                       const DbfWriteOptions& options) {
  return std::make_unique<DbfWriter>(path, shape, options);
}

}  // namespace nce
