#include "tools/nce_sql/cursor_printer.h"

#include <algorithm>
#include <vector>

#include "tools/nce_sql/result_table.h"

namespace nce_sql {

namespace {

bool IsNumeric(uint16_t type) {
  switch (type) {
    case NDS_NUMERIC:
    case NDS_DOUBLE:
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_CURDOUBLE:
    case NDS_MONEY:
    case NDS_ROWVERSION:
      return true;
    default:
      return false;
  }
}

bool IsBinary(uint16_t type) {
  return type == NDS_BINARY || type == NDS_IMAGE || type == NDS_RAW;
}

// A binary field's bytes as \x and hexadecimal digits.
bool BinaryHex(NDSHANDLE cursor, uint16_t field, uint32_t length, std::string* text) {
  std::vector<char> bytes(length);
  uint32_t got = length;
  if (length > 0 &&
      NdsGetBinary(cursor, NDS_FIELD_ORDINAL(field), 0, bytes.data(), &got) != NDS_SUCCESS)
    return false;
  static const char kHex[] = "0123456789abcdef";
  *text = "\\x";
  for (uint32_t i = 0; i < std::min(got, length); ++i) {
    text->push_back(kHex[static_cast<unsigned char>(bytes[i]) >> 4]);
    text->push_back(kHex[static_cast<unsigned char>(bytes[i]) & 15]);
  }
  return true;
}

// One field of the current record as text (`*empty` set for an empty one);
// false (with the engine's error reported by the caller) when the engine
// refuses.
bool FieldText(NDSHANDLE cursor, uint16_t field, uint16_t type, OutputMode mode, bool* empty,
               std::string* text) {
  uint16_t is_empty = 0;
  if (NdsIsEmpty(cursor, NDS_FIELD_ORDINAL(field), &is_empty) != NDS_SUCCESS) return false;
  *empty = is_empty != 0;
  if (*empty) {
    *text = mode == OutputMode::kCsv ? "" : "NULL";
    return true;
  }
  if (IsBinary(type)) {
    uint32_t length = 0;
    if (NdsGetBinaryLength(cursor, NDS_FIELD_ORDINAL(field), &length) != NDS_SUCCESS) return false;
    if (mode == OutputMode::kCsv) return BinaryHex(cursor, field, length, text);
    *text = "<" + std::to_string(length) + " bytes>";
    return true;
  }
  std::vector<char> buffer(256);
  for (;;) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    NDSRESULT rc =
        NdsGetField(cursor, NDS_FIELD_ORDINAL(field), buffer.data(), &length, NDS_TRIM_RIGHT);
    if (rc == NDS_SUCCESS) {
      text->assign(buffer.data(), std::min<size_t>(length, buffer.size()));
      return true;
    }
    if (rc != NDS_E_INSUFFICIENT_BUFFER || length < buffer.size()) return false;
    buffer.resize(static_cast<size_t>(length) + 1);
  }
}

// A CSV field: quoted when it holds a separator, a quote or a line break,
// when blanks begin or end it, and when it is an empty text (an empty
// unquoted field is NULL).
void PutCsvField(std::ostream& out, const std::string& text, bool empty) {
  bool quote = !empty && (text.empty() || text.find_first_of(",\"\r\n") != std::string::npos ||
                          text.front() == ' ' || text.back() == ' ');
  if (!quote) {
    out << text;
    return;
  }
  out << '"';
  for (char c : text) out << (c == '"' ? "\"\"" : std::string(1, c));
  out << '"';
}

void PutCsvLine(std::ostream& out, const std::vector<std::string>& fields,
                const std::vector<bool>& empty) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out << ',';
    PutCsvField(out, fields[i], empty[i]);
  }
  out << "\r\n";
}

}  // namespace

bool PrintCursor(NDSHANDLE cursor, std::ostream& out, OutputMode mode) {
  uint16_t count = 0;
  if (NdsGetNumFields(cursor, &count) != NDS_SUCCESS) return false;
  std::vector<std::string> names;
  std::vector<bool> right;
  std::vector<uint16_t> types;
  for (uint16_t f = 1; f <= count; ++f) {
    char name[256];
    uint16_t length = sizeof name;
    uint16_t type = 0;
    if (NdsGetFieldName(cursor, f, name, &length) != NDS_SUCCESS ||
        NdsGetFieldType(cursor, NDS_FIELD_ORDINAL(f), &type) != NDS_SUCCESS)
      return false;
    names.emplace_back(name);
    types.push_back(type);
    right.push_back(IsNumeric(type));
  }
  ResultTable table(names, right);
  const bool csv = mode == OutputMode::kCsv;
  if (csv) PutCsvLine(out, names, std::vector<bool>(count, false));
  if (NdsGotoTop(cursor) != NDS_SUCCESS) return false;
  for (;;) {
    uint16_t at_end = 0;
    if (NdsAtEOF(cursor, &at_end) != NDS_SUCCESS) return false;
    if (at_end) break;
    std::vector<std::string> row(count);
    std::vector<bool> empty(count);
    for (uint16_t f = 1; f <= count; ++f) {
      bool is_empty = false;
      if (!FieldText(cursor, f, types[f - 1], mode, &is_empty, &row[f - 1])) return false;
      empty[f - 1] = is_empty;
    }
    if (csv)
      PutCsvLine(out, row, empty);
    else
      table.AddRow(std::move(row));
    if (NdsSkip(cursor, 1) != NDS_SUCCESS) return false;
  }
  if (!csv) table.Print(out);
  return true;
}

std::string EngineErrorText() {
  uint32_t number = 0;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  uint16_t length = NDS_MAX_ERROR_LEN;
  if (NdsGetLastError(&number, text, &length) != NDS_SUCCESS) return "unknown engine error";
  return text;
}

uint32_t EngineErrorNumber() {
  uint32_t number = 0;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  uint16_t length = NDS_MAX_ERROR_LEN;
  if (NdsGetLastError(&number, text, &length) != NDS_SUCCESS) return 0;
  return number;
}

}  // namespace nce_sql
