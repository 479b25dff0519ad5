// The value setters. On a statement they set parameters (by ordinal or by
// ":name"); on a cursor they write fields of the record being edited, which
// the cursor functions provide.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/api/api_support.h"
#include "engine/base/dates.h"
#include "engine/cursor/cursor_fields.h"
#include "engine/index/index_keys.h"

using namespace nce;

namespace {

// The cursor whose fields this thread set last. A record's fields are set
// one after another on one cursor; while no handle at all has been removed
// since, the handle table still holds it, so the pointer is valid (a cursor
// is used by one thread at a time). Nothing is kept alive here.
struct LastFieldCursor {
  NDSHANDLE handle = 0;
  uint64_t removals = 0;
  Cursor* cursor = nullptr;
};
thread_local LastFieldCursor t_last_field_cursor;

// The cursor of `handle` when it is a cursor's own handle; otherwise null,
// with the object found left in `object`.
Cursor* FieldCursor(NDSHANDLE handle, std::shared_ptr<Object>* object) {
  LastFieldCursor& last = t_last_field_cursor;
  const uint64_t removals = HandleTable::Instance().removals();
  if (last.cursor != nullptr && last.handle == handle && last.removals == removals)
    return last.cursor;
  *object = HandleTable::Instance().Find(handle);
  const Object* found = object->get();
  if (!found || (found->kind() != ObjectKind::kCursor && found->kind() != ObjectKind::kTable))
    return nullptr;
  last = LastFieldCursor{handle, removals, static_cast<Cursor*>(object->get())};
  return last.cursor;
}

// Sets a field of the record a cursor edits, a value of an order's raw key
// (NdsBuildRawKey) or a statement parameter: `set_field` writes a cursor's
// field, `make` gives the value for the others.
template <class SetField, class Make>
NDSRESULT SetValueOf(const char* function, NDSHANDLE handle, const SetField& set_field,
                     NDSFIELD field, const Make& make) {
  return Guarded(function, [&] {
    std::shared_ptr<Object> object;
    if (Cursor* cursor = FieldCursor(handle, &object)) {
      RecursiveLockGuard lock(cursor->connection().mutex());
      set_field(*cursor);
      return NDS_SUCCESS;
    }
    if (object && object->kind() == ObjectKind::kIndexOrder) {
      auto order = std::static_pointer_cast<IndexOrder>(object);
      std::shared_ptr<Cursor> cursor = order->cursor();
      RecursiveLockGuard lock(cursor->connection().mutex());
      SetKeyField(*order, *cursor, field, make(), function);
      return NDS_SUCCESS;
    }
    auto statement = RequireStatement(handle);
    RecursiveLockGuard lock(statement->connection().mutex());
    FieldRef ref = ReadFieldRef(field);
    statement->SetValue(ref, make());
    return NDS_SUCCESS;
  });
}

// The same for a typed value, which a cursor's field takes as it is (a
// text as the field's text form).
template <class Make>
NDSRESULT SetParameter(const char* function, NDSHANDLE handle, NDSFIELD field, const Make& make) {
  return SetValueOf(
      function, handle, [&](Cursor& cursor) { SetCursorField(cursor, field, make()); }, field,
      make);
}

// The bytes given to NdsSetField and NdsSetFieldRaw; a cursor's field reads
// them in place.
std::string_view GivenBytes(const void* value, uint32_t length) {
  if (value == nullptr && length > 0)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "No value was given.");
  return std::string_view(static_cast<const char*>(value ? value : ""), length);
}

std::string DateText(int32_t julian) {
  if (julian < kFirstJulianDay || julian > kLastJulianDay)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "Julian day " + std::to_string(julian) +
                                                  " lies outside the years 1 to 9999.");
  return IsoDateText(CivilFromJulian(julian));
}

std::string TimeText(int64_t milliseconds) {
  if (milliseconds < 0 || milliseconds >= 86400000)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      std::to_string(milliseconds) + " milliseconds is not a time of day.");
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d",
                static_cast<int>(milliseconds / 3600000),
                static_cast<int>(milliseconds / 60000 % 60),
                static_cast<int>(milliseconds / 1000 % 60), static_cast<int>(milliseconds % 1000));
  return buffer;
}

}  // namespace

extern "C" {

NDSRESULT NdsSetString(NDSHANDLE handle, NDSFIELD field, const char* value, uint32_t length) {
  return SetParameter("NdsSetString", handle, field, [&] {
    if (value == nullptr && length > 0)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "No text was given.");
    return Value::Text(std::string(value ? value : "", length));
  });
}

NDSRESULT NdsSetLogical(NDSHANDLE handle, NDSFIELD field, uint16_t value) {
  return SetParameter("NdsSetLogical", handle, field,
                      [&] { return Value::Integer(value != 0 ? 1 : 0); });
}

NDSRESULT NdsSetDouble(NDSHANDLE handle, NDSFIELD field, double value) {
  return SetParameter("NdsSetDouble", handle, field, [&] {
    if (std::isnan(value)) return Value::Null();  // SQLite stores no NaN
    return Value::Real(value);
  });
}

NDSRESULT NdsSetJulian(NDSHANDLE handle, NDSFIELD field, int32_t julianDay) {
  return SetParameter("NdsSetJulian", handle, field,
                      [&] { return Value::Text(DateText(julianDay)); });
}

NDSRESULT NdsSetMilliseconds(NDSHANDLE handle, NDSFIELD field, int32_t milliseconds) {
  return SetParameter("NdsSetMilliseconds", handle, field,
                      [&] { return Value::Text(TimeText(milliseconds)); });
}

NDSRESULT NdsSetTimeStampRaw(NDSHANDLE handle, NDSFIELD field, const void* value, uint32_t length) {
  return SetParameter("NdsSetTimeStampRaw", handle, field, [&] {
    if (value == nullptr || length != 8)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "A raw timestamp is 8 bytes.");
    const auto* bytes = static_cast<const unsigned char*>(value);
    auto word = [&](int at) {
      return static_cast<int32_t>(
          static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
          static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24);
    };
    return Value::Text(DateText(word(0)) + " " + TimeText(word(4)));
  });
}

NDSRESULT NdsSetBinary(NDSHANDLE handle, NDSFIELD field, uint16_t binaryType, uint32_t totalLength,
                       uint32_t offset, const void* value, uint32_t length) {
  return Guarded("NdsSetBinary", [&] {
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    if (binaryType != NDS_BINARY && binaryType != NDS_IMAGE)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Binary type " + std::to_string(binaryType) + " is not known.");
    if (object && (object->kind() == ObjectKind::kCursor || object->kind() == ObjectKind::kTable)) {
      auto cursor = std::static_pointer_cast<Cursor>(object);
      RecursiveLockGuard lock(cursor->connection().mutex());
      SetCursorBinaryPiece(*cursor, field, totalLength, offset, value, length);
      return NDS_SUCCESS;
    }
    if (object && object->kind() != ObjectKind::kStatement) return NotSupportedYet("NdsSetBinary");
    auto statement = RequireStatement(handle);
    RecursiveLockGuard lock(statement->connection().mutex());
    statement->SetBinaryPiece(ReadFieldRef(field), totalLength, offset, value, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetEmpty(NDSHANDLE handle, NDSFIELD field) {
  return SetParameter("NdsSetEmpty", handle, field, [] { return Value::Null(); });
}

NDSRESULT NdsSetField(NDSHANDLE handle, NDSFIELD field, const void* value, uint32_t length) {
  return SetValueOf(
      "NdsSetField", handle,
      [&](Cursor& cursor) { SetCursorFieldText(cursor, field, GivenBytes(value, length)); }, field,
      [&] { return Value::Text(std::string(GivenBytes(value, length))); });
}

NDSRESULT NdsSetFieldRaw(NDSHANDLE handle, NDSFIELD field, const void* value, uint32_t length) {
  return SetValueOf(
      "NdsSetFieldRaw", handle,
      [&](Cursor& cursor) { SetCursorFieldImage(cursor, field, GivenBytes(value, length)); }, field,
      [&] { return Value::Blob(std::string(GivenBytes(value, length))); });
}

}  // extern "C"
