// Values of a cursor's current record, its edits included: fields, blob
// contents and the record's checksum.
#include <zlib.h>

#include <cstring>
#include <string>

#include "engine/base/errors.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/record_write.h"
#include "engine/cursor/record_writer.h"
#include "engine/record/field_codecs.h"
#include "engine/record/record_image.h"

namespace nce {

namespace {

bool IsNdt(const Cursor& c) {
  return c.desc.table_type == NDS_NDT;
}

}  // namespace

// ---- values of the current record ---------------------------------------------------

namespace {

// The checksum of one value: its kind and its bytes; an unset value counts
// as NULL.
uLong ValueChecksum(uLong crc, const Value& v) {
  unsigned char kind =
      static_cast<unsigned char>(v.kind == Value::Kind::kUnset ? Value::Kind::kNull : v.kind);
  crc = crc32(crc, &kind, 1);
  unsigned char bytes[8];
  switch (v.kind) {
    case Value::Kind::kInteger:
      std::memcpy(bytes, &v.integer, sizeof bytes);
      return crc32(crc, bytes, sizeof bytes);
    case Value::Kind::kReal:
      std::memcpy(bytes, &v.real, sizeof bytes);
      return crc32(crc, bytes, sizeof bytes);
    case Value::Kind::kText:
    case Value::Kind::kBlob:
      return crc32(crc, reinterpret_cast<const Bytef*>(v.bytes.data()),
                   static_cast<uInt>(v.bytes.size()));
    default:
      return crc;
  }
}

// The contents of a blob field holding `whole` (NULL: none; a number stored
// in the column: its text form).
std::string BlobText(const FieldDesc& f, bool ndt, const Value& whole) {
  if (IsNull(whole)) return std::string();
  if (whole.kind == Value::Kind::kText || whole.kind == Value::Kind::kBlob) return whole.bytes;
  return FormatText(f, ndt, whole);
}

}  // namespace

Value RecordWriter::RowValue(const std::string& expression) {
  StatementUse read(KeptStatement("SELECT " + expression + " FROM " + cursor_.QuotedTable() +
                                  " WHERE rowid = ?1"));
  read->Bind(1, Value::Integer(walk_.current_row().rowid));
  if (!read->Step()) return Value();
  return read->Column(0);
}

Value RecordWriter::FieldValue(size_t index) {
  walk_.RequireRecord();
  const FieldDesc& f = cursor_.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index)) return *pending;
  if (IsBlobType(f.shape.type)) {
    if (walk_.gone()) return Value::Null();
    if (appended_) return AppendedValue(index);
    if (!cursor_.MayRead(f.name)) return Value::Null();
    Value v = RowValue(cursor_.QuotedColumn(f.name));
    return v.kind == Value::Kind::kUnset ? Value::Null() : v;
  }
  return DecodeImage(f, IsNdt(cursor_), walk_.current_row().image.data() + f.offset,
                     f.shape.length);
}

uint64_t RecordWriter::BlobLength(size_t index) {
  walk_.RequireRecord();
  const FieldDesc& f = cursor_.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index))
    return IsNull(*pending) ? 0 : pending->bytes.size();
  if (walk_.gone()) return 0;
  if (appended_) return BlobText(f, IsNdt(cursor_), AppendedValue(index)).size();
  if (!cursor_.MayRead(f.name)) return 0;
  // Bytes, whether the column holds text or a blob.
  Value n = RowValue(cursor_.dialect().ByteLength(cursor_.QuotedColumn(f.name)));
  return n.kind == Value::Kind::kInteger ? static_cast<uint64_t>(n.integer) : 0;
}

bool RecordWriter::BlobIsBinary(size_t index) {
  walk_.RequireRecord();
  const FieldDesc& f = cursor_.desc.fields.at(index);
  if (f.shape.type == NDS_BINARY || f.shape.type == NDS_IMAGE) return true;
  if (f.shape.type == NDS_VARCHAR) return false;
  if (const Value* pending = pending_.Find(index)) return pending->kind == Value::Kind::kBlob;
  if (walk_.gone()) return false;
  if (appended_) return AppendedValue(index).kind == Value::Kind::kBlob;
  if (!cursor_.MayRead(f.name)) return false;
  Value blob = RowValue(cursor_.dialect().IsBlob(cursor_.QuotedColumn(f.name)));
  return blob.kind == Value::Kind::kInteger && blob.integer != 0;
}

std::string RecordWriter::BlobPart(size_t index, uint64_t offset, uint64_t length) {
  walk_.RequireRecord();
  const FieldDesc& f = cursor_.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index)) {
    const std::string& all = pending->bytes;
    if (offset >= all.size()) return std::string();
    return all.substr(offset, length);
  }
  if (walk_.gone()) return std::string();
  if (appended_) {
    std::string all = BlobText(f, IsNdt(cursor_), AppendedValue(index));
    return offset >= all.size() ? std::string() : all.substr(offset, length);
  }
  if (!cursor_.MayRead(f.name)) return std::string();
  std::string part;
  if (cursor_.rows_session().ReadValuePart(cursor_.source_table, f.name,
                                           cursor_.dialect().StoresAsBytes(f.shape),
                                           walk_.current_row().rowid, offset, length, &part))
    return part;
  // Not a text or blob value (NULL, or a number stored in the column).
  std::string text = BlobText(f, IsNdt(cursor_), FieldValue(index));
  return offset >= text.size() ? std::string() : text.substr(offset, length);
}

uint32_t RecordWriter::Checksum() {
  walk_.RequireRecord();
  if (walk_.gone()) throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted.");
  uLong crc = crc32(0L, Z_NULL, 0);
  if (appended_) {
    // Nobody else sees an unwritten append: its checksum is that of the
    // record as appended, which the cursor's own edits leave alone as they
    // leave the stored row of a written record alone.
    for (size_t i = 0; i < cursor_.desc.fields.size(); ++i)
      crc = ValueChecksum(crc, i < defaults_.size() ? defaults_[i] : Value::Null());
    return static_cast<uint32_t>(crc);
  }
  // Read with its lock, unedited, and nothing sent to the store since: the
  // row that came with the lock is the row the table holds.
  const int64_t rowid = walk_.current_row().rowid;
  if (crc_under_lock_requests_ != 0 && crc_under_lock_rowid_ == rowid &&
      walk_.read_rowid() == rowid && crc_under_lock_requests_ == cursor_.rows_session().Requests())
    return crc_under_lock_;
  // Read afresh from the table: the checksum tells whether someone else
  // changed the record since it was last read. A column the user may not
  // read counts as empty.
  std::string columns;
  for (const FieldDesc& f : cursor_.desc.fields)
    columns += (columns.empty() ? "" : ", ") +
               (cursor_.MayRead(f.name) ? cursor_.QuotedColumn(f.name) : "NULL");
  StatementUse read(
      KeptStatement("SELECT " + columns + " FROM " + cursor_.QuotedTable() + " WHERE rowid = ?1"));
  read->Bind(1, Value::Integer(rowid));
  if (!read->Step())
    throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted by another user.");
  return RowChecksum(read.get(), 0);
}

uint32_t RecordWriter::RowChecksum(const StoreStatement& row, int first) const {
  uLong crc = crc32(0L, Z_NULL, 0);
  for (int i = 0; i < static_cast<int>(cursor_.desc.fields.size()); ++i)
    crc = ValueChecksum(crc, row.Column(first + i));
  return static_cast<uint32_t>(crc);
}

void RecordWriter::NoteChecksumUnderLock(const StoreStatement& row) {
  crc_under_lock_requests_ = 0;
  // The walk reads a blob's length, the checksum its contents.
  for (const FieldDesc& f : cursor_.desc.fields)
    if (IsBlobType(f.shape.type)) return;
  crc_under_lock_ = RowChecksum(row, walk_.Navigation().first_field_column());
  crc_under_lock_rowid_ = walk_.current_row().rowid;
  crc_under_lock_requests_ = cursor_.rows_session().Requests();
}

}  // namespace nce
