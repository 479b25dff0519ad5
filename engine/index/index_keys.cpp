#include "engine/index/index_keys.h"

#include <cstring>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor_fields.h"
#include "engine/expr/expr_values.h"
#include "engine/record/record_image.h"

namespace nce {
namespace {

bool IsStringField(const FieldDesc& f) {
  return f.shape.type == NDS_STRING || f.shape.type == NDS_CISTRING;
}

std::string UpperIf(bool upper, std::string text) {
  return upper ? UpperAscii(text) : text;
}

bool SegmentIsCaseInsensitive(const OrderSegment& s) {
  return s.sql.rfind("upper(", 0) == 0;
}

// A computed key segment as key input: numbers as numbers, texts and blobs
// as their bytes, NULL as no value.
KeyInput KeyInputOfValue(const Value& value) {
  KeyInput input;
  if (value.kind == Value::Kind::kInteger || value.kind == Value::Kind::kReal) {
    input.kind = KeyInput::Kind::kNumber;
    input.number =
        value.kind == Value::Kind::kInteger ? static_cast<double>(value.integer) : value.real;
  } else if (value.kind == Value::Kind::kText || value.kind == Value::Kind::kBlob) {
    input.kind = KeyInput::Kind::kText;
    input.text = value.bytes;
  }
  return input;
}

}  // namespace

void SetKeyField(IndexOrder& order, Cursor& cursor, NDSFIELD field, const Value& value,
                 const std::string& function) {
  size_t index = FieldIndex(cursor, field);
  const FieldDesc& f = cursor.desc.fields[index];
  bool ndt = cursor.desc.table_type == NDS_NDT;
  IndexOrder::KeyField kept;
  if (function == "NdsSetField") {
    kept.value = DecodeText(f, ndt, value.bytes);
    kept.given_length = static_cast<uint32_t>(value.bytes.size());
  } else if (function == "NdsSetFieldRaw") {
    kept.value = DecodeImage(f, ndt, reinterpret_cast<const uint8_t*>(value.bytes.data()),
                             static_cast<uint32_t>(value.bytes.size()));
    kept.given_length = f.shape.length;
  } else {
    kept.value = value;
    kept.given_length = value.kind == Value::Kind::kText ? static_cast<uint32_t>(value.bytes.size())
                                                         : f.shape.length;
  }
  if (!IsStringField(f)) kept.given_length = f.shape.length;
  order.key_fields[index] = std::move(kept);
}

std::string BuildRawKey(IndexOrder& order, Cursor& cursor) {
  const OrderDef& def = order.def();
  const std::vector<FieldDesc>& fields = cursor.desc.fields;
  // The segments evaluated over the given values, named as the table's columns.
  std::string sql = "SELECT ";
  for (size_t i = 0; i < def.segments.size(); ++i) sql += (i ? ", " : "") + def.segments[i].sql;
  sql += " FROM (SELECT ";
  for (size_t i = 0; i < fields.size(); ++i)
    sql +=
        (i ? ", " : "") + ("?" + std::to_string(i + 1) + " AS " + QuoteIdentifier(fields[i].name));
  sql += ")";
  // The key is a computation over the given values alone: on a server the
  // connection's private SQLite database computes it, as the store would.
  StoreStatement& stmt = order.KeyStatement(KeySession(cursor), sql);
  // Reset on every way out: a statement left on its row would hold the
  // connection's read snapshot.
  struct ResetAfterUse {
    StoreStatement& statement;
    ~ResetAfterUse() {
      try {
        statement.Reset();
      } catch (...) {
      }
    }
  } reset{stmt};
  // Every field is bound: those not given now read as NULL.
  for (size_t f = 0; f < fields.size(); ++f) {
    auto given = order.key_fields.find(f);
    stmt.Bind(static_cast<int>(f + 1),
              given != order.key_fields.end() ? given->second.value : Value::Null());
  }
  if (!stmt.Step())
    throw EngineError(NDS_E_GENERAL, "The key of order " + def.name + " could not be built.");
  std::string key;
  for (size_t i = 0; i < def.segments.size(); ++i) {
    const OrderSegment& s = def.segments[i];
    const IndexOrder::KeyField* partial = nullptr;
    bool all_set = true;
    for (size_t f = 0; f < fields.size(); ++f) {
      if (!s.fields.count(UpperAscii(fields[f].name))) continue;
      auto it = order.key_fields.find(f);
      if (it == order.key_fields.end()) {
        all_set = false;
      } else if (IsStringField(fields[f]) && it->second.given_length < fields[f].shape.length) {
        partial = &it->second;
      }
    }
    if (!all_set || s.fields.empty()) break;
    size_t before = key.size();
    AppendKeyBytes(key, s.shape, KeyInputOfValue(stmt.Column(static_cast<int>(i))));
    if (partial && s.shape.type == 'S' && s.fields.size() == 1) {
      key.resize(before + std::min<size_t>(partial->given_length, s.shape.width));
      break;
    }
  }
  return key;
}

std::string KeyFromCaller(const IndexOrder& order, const void* key, uint16_t length,
                          uint16_t key_type) {
  if (length > 0 && key == nullptr) throw EngineError(NDS_E_INVALID_ARGUMENT, "No key was given.");
  const char* bytes = static_cast<const char*>(key);
  const OrderDef& def = order.def();
  switch (key_type) {
    case NDS_RAWKEY:
      return std::string(bytes ? bytes : "", length);
    case NDS_DOUBLEKEY: {
      if (length != sizeof(double))
        throw EngineError(NDS_E_INVALID_ARGUMENT, "A double key is 8 bytes long.");
      double value;
      std::memcpy(&value, bytes, sizeof value);
      const KeySegmentSpec& first = def.segments.front().shape;
      KeyInput input;
      std::string out;
      if (first.type == 'N') {
        input.kind = KeyInput::Kind::kNumber;
        input.number = value;
      } else if (first.type == 'D') {
        input.kind = KeyInput::Kind::kText;
        input.text = StoredDate(std::to_string(static_cast<int64_t>(value))).value_or("");
        // A double key of a date order is a Julian day number.
        int64_t julian = static_cast<int64_t>(value);
        out.push_back(static_cast<char>((julian >> 24) & 0xFF));
        out.push_back(static_cast<char>((julian >> 16) & 0xFF));
        out.push_back(static_cast<char>((julian >> 8) & 0xFF));
        out.push_back(static_cast<char>(julian & 0xFF));
        return out;
      } else {
        throw EngineError(NDS_E_INVALID_OPTION,
                          "The order " + def.name + " has no numeric or date key.");
      }
      AppendKeyBytes(out, first, input);
      return out;
    }
    case NDS_STRINGKEY: {
      std::string text(bytes ? bytes : "", length);
      text = text.substr(0, text.find('\0'));
      std::string out;
      size_t pos = 0;
      for (size_t i = 0; i < def.segments.size() && pos < text.size(); ++i) {
        const OrderSegment& s = def.segments[i];
        bool last = i + 1 == def.segments.size();
        KeyInput input;
        input.kind = KeyInput::Kind::kText;
        if (s.shape.type == 'S' || s.shape.type == 'B') {
          size_t take = std::min<size_t>(s.shape.width, text.size() - pos);
          std::string part = UpperIf(SegmentIsCaseInsensitive(s), text.substr(pos, take));
          pos += take;
          out += part;
          if (take < s.shape.width) break;  // a shorter text is a partial key
          continue;
        }
        std::string part =
            last ? text.substr(pos) : text.substr(pos, s.shape.type == 'D' ? 8 : text.size());
        pos += part.size();
        std::optional<std::string> stored;
        if (s.shape.type == 'N') {
          input.kind = KeyInput::Kind::kNumber;
          char* end = nullptr;
          input.number = std::strtod(part.c_str(), &end);
        } else if (s.shape.type == 'D') {
          stored = StoredDate(part);
        } else if (s.shape.type == 'T') {
          stored = StoredTime(part);
        } else if (s.shape.type == 'Z') {
          stored = StoredTimestamp(part);
        } else {
          input.text = part;
        }
        if (s.shape.type == 'D' || s.shape.type == 'T' || s.shape.type == 'Z') {
          if (!stored)
            throw EngineError(NDS_E_INVALID_ARGUMENT,
                              "\"" + part + "\" is not a key value for order " + def.name + ".");
          input.text = *stored;
          if (stored->empty()) input.kind = KeyInput::Kind::kNull;
        }
        AppendKeyBytes(out, s.shape, input);
      }
      return out;
    }
    default:
      throw EngineError(NDS_E_INVALID_OPTION, "Unknown key type " + std::to_string(key_type) + ".");
  }
}

namespace {

// Runs the seek of Seek once the cursor walks in the order; returns whether
// the cursor is on a record.
bool SeekInOrder(IndexOrder& order, Cursor& cursor, const std::string& key) {
  const WalkSpec& shape = cursor.walk.Navigation().shape();
  bool down = order.def().descending();
  std::string bound = down ? PrefixSuccessor(key) : key;
  std::string step;
  if (!key.empty() && !(down && bound.empty())) step = shape.key + (down ? " < ?101" : " >= ?101");
  std::string where = step;
  if (!shape.condition.empty())
    where += (where.empty() ? "" : " AND ") + ("(" + shape.condition + ")");
  const char* dir = down ? " DESC" : "";
  std::string sql = "SELECT rowid, " + shape.key +
                    (shape.columns.empty() ? "" : ", " + shape.columns) + " FROM " + shape.from +
                    (where.empty() ? "" : " WHERE " + where) + " ORDER BY " + shape.key + dir +
                    ", rowid" + dir + " LIMIT 1";
  WalkStatement& stmt = order.SeekStatement(cursor, sql);
  cursor.walk.BindConditionValues(stmt);
  if (!step.empty()) stmt.Bind(101, Value::Blob(bound));
  return cursor.walk.PositionFromStatement(stmt);
}

}  // namespace

bool Seek(const std::shared_ptr<IndexOrder>& order, Cursor& cursor, const std::string& key,
          bool hard) {
  // The seek places the cursor itself, so a switch of order skips reading
  // the current record in the new order; a seek that fails puts it back.
  UseOrder(cursor, order, true);
  bool on_record;
  try {
    on_record = SeekInOrder(*order, cursor, key);
  } catch (...) {
    cursor.walk.RestorePlace();
    throw;
  }
  if (!on_record) return false;
  const Value& found_key = cursor.walk.current_key();
  bool found = found_key.bytes.size() >= key.size() &&
               std::memcmp(found_key.bytes.data(), key.data(), key.size()) == 0;
  if (!found && hard) cursor.walk.GotoRecord(0);
  return found;
}

}  // namespace nce
