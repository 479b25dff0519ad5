#include "engine/schema/catalog.h"

#include <cctype>
#include <cstdlib>

#include "engine/base/sql_text.h"
#include "nce/nce.h"

namespace nce {
namespace {

// Declared-type words and the engine types they stand for.
struct TypeName {
  const char* word;
  uint16_t type;
};
constexpr TypeName kTypeNames[] = {
    {"CHAR", NDS_STRING},
    {"CHARACTER", NDS_STRING},
    {"NCHAR", NDS_STRING},
    {"CICHAR", NDS_CISTRING},
    {"VARCHAR", NDS_VARCHAR},
    {"NVARCHAR", NDS_VARCHAR},
    {"MEMO", NDS_MEMO},
    {"TEXT", NDS_MEMO},
    {"CLOB", NDS_MEMO},
    {"NUMERIC", NDS_NUMERIC},
    {"DECIMAL", NDS_NUMERIC},
    {"DATE", NDS_DATE},
    {"TIME", NDS_TIME},
    {"TIMESTAMP", NDS_TIMESTAMP},
    {"DATETIME", NDS_TIMESTAMP},
    {"MODTIME", NDS_MODTIME},
    {"LOGICAL", NDS_LOGICAL},
    {"BOOLEAN", NDS_LOGICAL},
    {"BOOL", NDS_LOGICAL},
    {"BIT", NDS_LOGICAL},
    {"INTEGER", NDS_INTEGER},
    {"INT", NDS_INTEGER},
    {"MEDIUMINT", NDS_INTEGER},
    {"SHORT", NDS_SHORTINT},
    {"SHORTINT", NDS_SHORTINT},
    {"SMALLINT", NDS_SHORTINT},
    {"TINYINT", NDS_SHORTINT},
    {"AUTOINC", NDS_AUTOINC},
    {"DOUBLE", NDS_DOUBLE},
    {"REAL", NDS_DOUBLE},
    {"FLOAT", NDS_DOUBLE},
    {"CURDOUBLE", NDS_CURDOUBLE},
    {"MONEY", NDS_MONEY},
    {"ROWVERSION", NDS_ROWVERSION},
    {"RAW", NDS_RAW},
    {"BINARY", NDS_RAW},
    {"VARBINARY", NDS_BINARY},
    {"BLOB", NDS_BINARY},
    {"IMAGE", NDS_IMAGE},
    {"COMPACTDATE", NDS_COMPACTDATE},
};

// Splits "NUMERIC(10, 2)" into its first word and up to two numbers.
struct DeclaredType {
  std::string word;  // upper-cased first word
  std::string all;   // upper-cased whole text
  int numbers[2] = {-1, -1};
};

DeclaredType ParseDeclaredType(std::string_view declared) {
  DeclaredType result;
  result.all = UpperAscii(declared);
  size_t i = 0;
  while (i < result.all.size() && result.all[i] == ' ') ++i;
  size_t start = i;
  while (i < result.all.size() &&
         (std::isalnum(static_cast<unsigned char>(result.all[i])) || result.all[i] == '_'))
    ++i;
  result.word = result.all.substr(start, i - start);
  size_t open = result.all.find('(');
  if (open != std::string::npos) {
    const char* p = result.all.c_str() + open + 1;
    for (int n = 0; n < 2; ++n) {
      while (*p == ' ') ++p;
      char* end = nullptr;
      long value = std::strtol(p, &end, 10);
      if (end == p || value < 0 || value > 65535) break;
      result.numbers[n] = static_cast<int>(value);
      p = end;
      while (*p == ' ') ++p;
      if (*p != ',') break;
      ++p;
    }
  }
  return result;
}

// SQLite's own affinity rules, for declared types the engine does not name.
uint16_t TypeByAffinity(const std::string& upper) {
  if (upper.find("INT") != std::string::npos) return NDS_INTEGER;
  if (upper.find("CHAR") != std::string::npos || upper.find("CLOB") != std::string::npos ||
      upper.find("TEXT") != std::string::npos)
    return NDS_MEMO;
  if (upper.empty() || upper.find("BLOB") != std::string::npos) return NDS_BINARY;
  return NDS_DOUBLE;
}

}  // namespace

bool IsReservedName(std::string_view name) {
  return EqualsNoCase(name.substr(0, kReservedPrefix.size()), kReservedPrefix) ||
         EqualsNoCase(name.substr(0, 7), "sqlite_");
}

uint32_t DefaultFieldLength(uint16_t type, uint16_t table_type) {
  switch (type) {
    case NDS_LOGICAL:
      return 1;
    case NDS_NUMERIC:
      return 10;
    case NDS_DATE:
      return table_type == NDS_NDT ? 4 : 8;
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      return 1;
    case NDS_MEMO:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_VARCHAR:
      return table_type == NDS_NDT ? 9 : 10;
    case NDS_COMPACTDATE:
      return 3;
    case NDS_SHORTINT:
      return 2;
    case NDS_INTEGER:
    case NDS_TIME:
    case NDS_AUTOINC:
      return 4;
    default:
      return 8;  // double, timestamp, curdouble, money, rowversion, modtime
  }
}

FieldSpec FieldSpecFromDeclaredType(std::string_view declared, uint16_t table_type) {
  DeclaredType parsed = ParseDeclaredType(declared);
  uint16_t type = 0;
  for (const TypeName& name : kTypeNames)
    if (parsed.word == name.word) type = name.type;
  if (parsed.word == "BIGINT" || parsed.word == "INT8") {
    return FieldSpec{NDS_NUMERIC, 20, 0};  // 64-bit values do not fit an INTEGER field
  }
  if (type == 0) type = TypeByAffinity(parsed.all);
  FieldSpec shape{type, DefaultFieldLength(type, table_type), 0};
  int n0 = parsed.numbers[0], n1 = parsed.numbers[1];
  switch (type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      if (n0 > 0) shape.length = static_cast<uint32_t>(n0);
      break;
    case NDS_NUMERIC:
      if (n0 <= 0) return FieldSpec{NDS_DOUBLE, 8, 0};  // NUMERIC without a size
      shape.length = static_cast<uint32_t>(n0);
      shape.decimals = static_cast<uint16_t>(n1 > 0 ? n1 : 0);
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (n1 > 0) shape.decimals = static_cast<uint16_t>(n1);
      break;
    case NDS_MONEY:
      shape.decimals = 4;
      break;
    default:
      break;
  }
  return shape;
}

void LayoutRecord(TableDesc& table) {
  uint32_t offset = 1;  // byte 0: deletion mark
  for (FieldDesc& field : table.fields) {
    field.offset = offset;
    offset += field.shape.length;
  }
  table.record_length = offset;
}

}  // namespace nce
