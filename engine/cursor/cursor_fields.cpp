#include "engine/cursor/cursor_fields.h"

#include <cstdio>
#include <cstring>

#include "engine/base/oem_text.h"
#include "engine/record/record_image.h"

namespace nce {

namespace {

// The text form of a typed value, for the field's own text reader: a
// number's is written to `number`, text and bytes are read in place.
std::string_view TextOf(const Value& value, std::string* number) {
  switch (value.kind) {
    case Value::Kind::kInteger:
      *number = std::to_string(value.integer);
      return *number;
    case Value::Kind::kReal: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", value.real);
      *number = buf;
      return *number;
    }
    default:
      return value.bytes;
  }
}

// The stored form of `given`, the text or image form of field `index` as
// the cursor's character type writes it: an OEM cursor's string fields come
// in the OEM form. A text that is what the OEM form shows for the field's
// current value keeps that value, so that a character the code page lacks
// (shown as '?') survives a record read and written back; any other text
// is translated, every OEM byte exactly. Lands in `scratch` when changed.
std::string_view StoredFormOf(Cursor& cursor, size_t index, std::string_view given,
                              std::string* scratch) {
  const uint16_t type = cursor.desc.fields[index].shape.type;
  if (!TextsInOemForm(cursor) || (type != NDS_STRING && type != NDS_CISTRING) ||
      OemIsPlainAscii(given))
    return given;
  const Value current = cursor.writer.FieldValue(index);
  if (current.kind == Value::Kind::kText && OemShowsStored(given, current.bytes))
    *scratch = current.bytes;
  else
    *scratch = OemToStored(given);
  return *scratch;
}

}  // namespace

void SetCursorField(Cursor& cursor, NDSFIELD field, const Value& value) {
  size_t index = FieldIndex(cursor, field);
  const FieldDesc& f = cursor.desc.fields[index];
  bool ndt = cursor.desc.table_type == NDS_NDT;
  Value stored;
  std::string number;  // a number's text form
  if (IsNull(value)) {
    stored = Value::Null();
  } else if (IsBlobType(f.shape.type)) {
    stored =
        value.kind == Value::Kind::kBlob && f.shape.type != NDS_MEMO && f.shape.type != NDS_VARCHAR
            ? value
            : DecodeText(f, ndt,
                         value.kind == Value::Kind::kBlob ? value.bytes : TextOf(value, &number));
    if (value.kind == Value::Kind::kBlob) stored.kind = value.kind;
  } else {
    stored = DecodeText(f, ndt, TextOf(value, &number));
  }
  cursor.writer.SetValue(index, std::move(stored));
}

void SetCursorFieldText(Cursor& cursor, NDSFIELD field, std::string_view text) {
  size_t index = FieldIndex(cursor, field);
  bool ndt = cursor.desc.table_type == NDS_NDT;
  std::string scratch;
  text = StoredFormOf(cursor, index, text, &scratch);
  cursor.writer.SetValue(index, DecodeText(cursor.desc.fields[index], ndt, text));
}

void SetCursorFieldImage(Cursor& cursor, NDSFIELD field, std::string_view bytes) {
  size_t index = FieldIndex(cursor, field);
  bool ndt = cursor.desc.table_type == NDS_NDT;
  std::string scratch;
  bytes = StoredFormOf(cursor, index, bytes, &scratch);
  cursor.writer.SetValue(index, DecodeImage(cursor.desc.fields[index], ndt,
                                            reinterpret_cast<const uint8_t*>(bytes.data()),
                                            static_cast<uint32_t>(bytes.size())));
}

void SetCursorBinaryPiece(Cursor& cursor, NDSFIELD field, uint32_t total, uint32_t offset,
                          const void* data, uint32_t length) {
  size_t index = FieldIndex(cursor, field);
  const FieldDesc& f = cursor.desc.fields[index];
  if (!IsBlobType(f.shape.type))
    throw EngineError(NDS_E_INVALID_FIELD, "Field " + f.name + " is not a binary field.");
  if (data == nullptr && length > 0)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "No value was given.");
  if (static_cast<uint64_t>(offset) + length > total)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "The piece at " + std::to_string(offset) +
                                                  " reaches beyond the value's " +
                                                  std::to_string(total) + " bytes.");
  // The first piece starts the value; later pieces fill it in.
  Value current = offset == 0 ? Value::Blob(std::string()) : cursor.writer.FieldValue(index);
  if (current.kind != Value::Kind::kBlob) current = Value::Blob(current.bytes);
  current.bytes.resize(total, '\0');
  if (length) std::memcpy(current.bytes.data() + offset, data, length);
  cursor.writer.SetValue(index, std::move(current));
}

}  // namespace nce
