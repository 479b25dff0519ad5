#include "engine/storage/postgres/postgres_values.h"

#include <endian.h>

#include <charconv>
#include <cstring>
#include <string>

#include "engine/base/errors.h"

namespace nce {

namespace {

// Type numbers of the server's built-in types (pg_type.oid), fixed for good.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kText = 25,
              kFloat4 = 700, kFloat8 = 701, kTime = 1083, kTimestamp = 1114, kNumeric = 1700;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void ThrowUnreadable(const char* text, const char* type) {
  throw EngineError(NDS_E_SQL, std::string("SQL error: the server sent ") + type + " value '" +
                                   std::string(text).substr(0, 40) + "' the engine cannot read");
}

}  // namespace

void ReadValueInto(const PGresult* result, int row, int column, Value* out) {
  auto set = [out](Value::Kind kind, int64_t integer, double real) {
    out->kind = kind;
    out->integer = integer;
    out->real = real;
  };
  if (PQgetisnull(result, row, column)) return set(Value::Kind::kNull, 0, 0);
  const char* text = PQgetvalue(result, row, column);
  size_t size = static_cast<size_t>(PQgetlength(result, row, column));
  const char* end = text + size;
  // Texts and blobs reuse the bytes `out` holds: a result read row after row
  // into the same values allocates nothing once they are long enough.
  auto set_text = [&](std::string_view value) {
    set(Value::Kind::kText, 0, 0);
    out->bytes.assign(value);
  };
  switch (PQftype(result, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: {
      int64_t v = 0;
      if (std::from_chars(text, end, v).ptr != end) ThrowUnreadable(text, "an integer");
      return set(Value::Kind::kInteger, v, 0);
    }
    case kBool:
      return set(Value::Kind::kInteger, text[0] == 't' ? 1 : 0, 0);
    case kFloat4: {
      // Read as single precision, so that the value is the stored one.
      float v = 0;
      if (std::from_chars(text, end, v).ptr != end) ThrowUnreadable(text, "a real");
      return set(Value::Kind::kReal, 0, v);
    }
    case kFloat8: {
      double v = 0;
      if (std::from_chars(text, end, v).ptr != end) ThrowUnreadable(text, "a double");
      return set(Value::Kind::kReal, 0, v);
    }
    case kNumeric: {
      int64_t v = 0;
      auto [ptr, ec] = std::from_chars(text, end, v);
      if (ec == std::errc() && ptr == end) return set(Value::Kind::kInteger, v, 0);
      return set_text(std::string_view(text, size));
    }
    case kTime:
      return set_text(EngineTimeText(std::string_view(text, size), false));
    case kTimestamp:
      return set_text(EngineTimeText(std::string_view(text, size), true));
    case kBytea: {
      if (size < 2 || text[0] != '\\' || text[1] != 'x' || size % 2 != 0)
        ThrowUnreadable(text, "a bytea");
      set(Value::Kind::kBlob, 0, 0);
      out->bytes.resize((size - 2) / 2);
      for (size_t i = 0; i < out->bytes.size(); ++i) {
        int high = HexDigit(text[2 + 2 * i]), low = HexDigit(text[3 + 2 * i]);
        if (high < 0 || low < 0) ThrowUnreadable(text, "a bytea");
        out->bytes[i] = static_cast<char>(high << 4 | low);
      }
      return;
    }
    default:
      return set_text(std::string_view(text, size));
  }
}

Value ReadValue(const PGresult* result, int row, int column) {
  Value value;
  ReadValueInto(result, row, column, &value);
  return value;
}

PostgresParams::PostgresParams(const std::vector<Value>& values) {
  size_t n = values.size();
  types.assign(n, 0);
  data.assign(n, nullptr);
  lengths.assign(n, 0);
  formats.assign(n, 0);
  numbers.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const Value& v = values[i];
    switch (v.kind) {
      case Value::Kind::kUnset:
      case Value::Kind::kNull:
        break;
      case Value::Kind::kInteger:
        Binary(i, kInt8, static_cast<uint64_t>(v.integer));
        break;
      case Value::Kind::kReal:
        Real(i, v.real);
        break;
      case Value::Kind::kText:
        data[i] = v.bytes.c_str();  // holds no zero byte (PostgresStatement::Bind)
        break;
      case Value::Kind::kBlob:
        types[i] = kBytea;
        data[i] = v.bytes.data();  // never null, also for no bytes
        lengths[i] = static_cast<int>(v.bytes.size());
        formats[i] = 1;
        break;
    }
  }
}

void PostgresParams::TypeUnused(const std::vector<bool>& used) {
  for (size_t i = 0; i < types.size(); ++i)
    if (i >= used.size() || !used[i]) {
      // Sent as a NULL text: a value of another type, in binary, would
      // have to be valid text.
      types[i] = kText;
      data[i] = nullptr;
      lengths[i] = formats[i] = 0;
    }
}

void PostgresParams::Real(size_t i, double real) {
  std::array<char, kMaxExactNumericText + 1> text{};  // zero-terminated
  if (ExactNumericText(real, text.data()) == 0) {
    uint64_t bits = 0;
    std::memcpy(&bits, &real, sizeof bits);
    Binary(i, kFloat8, bits);
    return;
  }
  if (texts.empty()) texts.resize(types.size());  // once: the texts must not move
  texts[i] = text;
  types[i] = kNumeric;
  data[i] = texts[i].data();
}

void PostgresParams::Binary(size_t i, Oid type, uint64_t host) {
  numbers[i] = htobe64(host);
  types[i] = type;
  data[i] = reinterpret_cast<const char*>(&numbers[i]);
  lengths[i] = 8;
  formats[i] = 1;
}

}  // namespace nce
