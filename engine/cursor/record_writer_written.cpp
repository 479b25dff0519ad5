// What an edit's UPDATE left in the table, known without reading the row
// back. The record image after a write must be what the table holds: the
// row as read plus the edited fields, each as SQLite stored the bound value.
// That is known in advance only when
//  - the row was read under a store mark that held until the UPDATE, and the
//    UPDATE was the only change since (no trigger or foreign key action
//    changed a row: SQLite counts their changes too);
//  - no field of the cursor is a generated column (computed from others);
//  - each bound value keeps its kind and bytes under its column's affinity
//    and is encoded into the image by the same steps a read takes.
// The columns' affinities and generated columns are read once per schema:
// they are trusted for a kept UPDATE statement only while SQLite has not
// prepared it again (it does so by itself after every schema change).
#include <cctype>
#include <cmath>
#include <string>

#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/record_writer.h"
#include "engine/record/field_codecs.h"
#include "engine/record/record_image.h"
#include "engine/storage/table_facts.h"

namespace nce {

namespace {

constexpr char kComputed = 0;  // a generated column, or none of that name

// "YYYY-MM-DD" with digits where they belong.
bool IsoDateText(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != 4 && i != 7 && !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

// "YYYY-MM-DD" followed by a time after a space or a "T": a timestamp's
// text, which no affinity takes for a number either.
bool IsoTimestampText(const std::string& text) {
  return text.size() > 10 && (text[10] == ' ' || text[10] == 'T') &&
         IsoDateText(text.substr(0, 10));
}

// Whether the column keeps `v` as bound (same kind, same bytes) and a read
// of it encodes the same image bytes as the edit did. A read encodes through
// the codec's path for stored values where it has one; those of doubles,
// integers, strings and dates were checked against the path of bound values
// for the kinds allowed here. NULL is left out: a column may replace it by its
// default (NOT NULL ON CONFLICT REPLACE).
bool StoredAsBound(const FieldDesc& f, char affinity, const Value& v) {
  const ImageCodec& codec = CodecFor(f.shape.type);
  if (codec.blob != BlobContents::kNone || affinity == kComputed) return false;
  bool same_path = codec.encode_stored == nullptr;
  switch (v.kind) {
    case Value::Kind::kReal:
      // NaN binds as NULL; SQLite stores -0.0 as the integer 0.
      if (!std::isfinite(v.real) || (v.real == 0 && std::signbit(v.real))) return false;
      return affinity == 'R' && (same_path || &codec == &kDoubleCodec);
    case Value::Kind::kInteger:
      return (affinity == 'I' || affinity == 'N' || affinity == 'B') &&
             (same_path || &codec == &kIntegerCodec);
    case Value::Kind::kText:
      // A date in the store's own form, which no affinity takes for a number;
      // the stored path reads it by its digits, the bound one parses it.
      if (&codec == &kDateCodec) return IsoDateText(v.bytes);
      // A timestamp is read by the same steps it was encoded by.
      if (&codec == &kTimestampCodec) return IsoTimestampText(v.bytes);
      return (affinity == 'T' || affinity == 'B') && (same_path || &codec == &kStringCodec);
    default:
      return false;
  }
}

}  // namespace

void RecordWriter::LearnColumns(const StoreStatement* update) noexcept {
  // Called after a write succeeded: a failure here must not make it look
  // failed, so the columns then stay untrusted and the next write reads back.
  // A store that does not say when it prepared a statement again never
  // trusts its columns (ColumnsTrusted): there is nothing to learn.
  if (update->Repreparations() < 0) return;
  try {
    std::vector<char> affinity(cursor_.desc.fields.size(), kComputed);
    // Only an ordinary table stores what is bound; any other leaves every
    // field untrusted.
    std::optional<std::vector<StoredColumn>> columns =
        OrdinaryTableColumns(cursor_.rows_session(), cursor_.source_table);
    for (size_t k = 0; columns && k < columns->size(); ++k) {
      const StoredColumn& column = (*columns)[k];
      for (size_t i = 0; i < cursor_.desc.fields.size(); ++i) {
        if (!EqualsNoCase(cursor_.desc.fields[i].name, column.name)) continue;
        affinity[i] = column.generated ? kComputed : static_cast<char>(column.affinity);
      }
    }
    if (affinity != kept_.columns.affinity) kept_.columns.trusted.clear();
    kept_.columns.affinity = std::move(affinity);
    kept_.columns.trusted[update] = update->Repreparations();
  } catch (...) {
    kept_.columns.trusted.erase(update);
  }
}

bool RecordWriter::ColumnsTrusted(const StoreStatement* update) const {
  auto it = kept_.columns.trusted.find(update);
  // A store that does not say when it prepared the statement again is
  // never trusted.
  return it != kept_.columns.trusted.end() && it->second >= 0 &&
         it->second == update->Repreparations();
}

bool RecordWriter::StoresPlainColumns(const StoreStatement* write) const {
  if (!ColumnsTrusted(write)) return false;
  for (char affinity : kept_.columns.affinity)
    if (affinity == kComputed) return false;
  return true;
}

bool RecordWriter::WrittenAsImaged(const StoreStatement* write, const StoreMark& before,
                                   const StoreMark& after) const {
  StoreMark expected = before;
  ++expected.changes;  // the write's one row, and nothing else
  if (expected.changes <= 0 || !(after == expected)) return false;
  if (cursor_.rows_session().EnforcesForeignKeys() || !StoresPlainColumns(write)) return false;
  if (!appended_) {
    for (const auto& [index, value] : pending_)
      if (!StoredAsBound(cursor_.desc.fields[index], kept_.columns.affinity[index], value))
        return false;
    return true;
  }
  // A new record: every field given, as a column left out may take a value
  // of SQLite's choosing (a default, the record number).
  for (size_t i = 0; i < cursor_.desc.fields.size(); ++i)
    if (cursor_.desc.fields[i].shape.type == NDS_AUTOINC ||
        !StoredAsBound(cursor_.desc.fields[i], kept_.columns.affinity[i], AppendedValue(i)))
      return false;
  return true;
}

}  // namespace nce
