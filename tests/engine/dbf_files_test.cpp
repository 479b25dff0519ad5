// xBase tables read and written by the engine's own reader and writer:
// tables of every version and field type built byte by byte from the
// format's description, tables written by the writer read back by the
// reader and by an independent one (python3-dbfread), and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/base/errors.h"
#include "engine/interchange/dbf/dbf_reader.h"
#include "engine/interchange/dbf/dbf_writer.h"
#include "tests/support/temp_dir.h"

namespace nce_test {
namespace {

using nce::EngineError;
using nce::TableColumn;
using nce::TableRow;
using nce::Value;

std::string Le(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}
std::string Be(uint64_t v, int bytes) {
  std::string s = Le(v, bytes);
  return {s.rbegin(), s.rend()};
}
uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}
// dBase 7's sortable double.
std::string Sortable(double d) {
  uint64_t b = Bits(d);
  return Be(b >> 63 ? ~b : b ^ (uint64_t{1} << 63), 8);
}

struct F {
  std::string name;
  char type;
  int length;
  int decimals = 0;
  int flags = 0;
};

// A table of `version` with `fields` and `records` (each with its mark).
std::string Dbf(uint8_t version, uint8_t driver, const std::vector<F>& fields,
                const std::vector<std::string>& records) {
  bool db7 = version == 0x04 || version == 0x8C, vfp = version >= 0x30 && version <= 0x32;
  size_t prefix = db7 ? 68 : 32, size = db7 ? 48 : 32;
  uint32_t record_length = 1;
  std::string descriptors;
  for (const F& f : fields) {
    std::string d(size, '\0');
    d.replace(0, f.name.size(), f.name);
    size_t at = db7 ? 32 : 11;
    d[at] = f.type;
    if (vfp) d.replace(12, 4, Le(record_length, 4));
    d[at + (db7 ? 1 : 5)] = static_cast<char>(f.length);
    d[at + (db7 ? 2 : 6)] = static_cast<char>(f.decimals);
    if (vfp) d[18] = static_cast<char>(f.flags);
    descriptors += d;
    record_length += f.length;
  }
  std::string h(prefix, '\0');
  h[0] = static_cast<char>(version);
  h.replace(4, 4, Le(records.size(), 4));
  uint32_t header_length = prefix + descriptors.size() + 1 + (vfp ? 263 : 0);
  h.replace(8, 2, Le(header_length, 2));
  h.replace(10, 2, Le(record_length, 2));
  h[29] = static_cast<char>(driver);
  std::string out = h + descriptors + "\x0D" + std::string(vfp ? 263 : 0, '\0');
  for (const std::string& r : records) out += r;
  return out + "\x1A";
}

// Memo files: dBase III (512-byte blocks, values ended by 1A 1A), dBase IV
// (block header and length), FoxPro (typed blocks, big-endian). Values go
// in order from the first block after the header; `blocks` gets their numbers.
std::string Memo(char kind, uint32_t block, const std::vector<std::pair<int, std::string>>& values,
                 std::vector<uint32_t>* blocks) {
  std::string body;
  uint32_t header = std::max<uint32_t>(512, block), next = header / block;
  for (const auto& [type, data] : values) {
    std::string v = kind == '3' ? data + "\x1A\x1A"
                    : kind == '4'
                        ? std::string("\xFF\xFF\x08\x00", 4) + Le(data.size() + 8, 4) + data
                        : Be(type, 4) + Be(data.size(), 4) + data;
    v.resize((v.size() + block - 1) / block * block, '\0');
    blocks->push_back(next);
    next += v.size() / block;
    body += v;
  }
  std::string h(header, '\0');
  if (kind == 'F') {
    h.replace(0, 4, Be(next, 4));
    h.replace(6, 2, Be(block, 2));
  } else {
    h.replace(0, 4, Le(next, 4));
    if (kind == '4') h.replace(20, 2, Le(block, 2));
  }
  return h + body;
}
std::string Pointer(uint32_t block) {
  std::string digits = std::to_string(block);
  return std::string(10 - digits.size(), ' ') + digits;
}

std::string Render(const Value& v) {
  static const char* hex = "0123456789abcdef";
  switch (v.kind) {
    case Value::Kind::kInteger:
      return std::to_string(v.integer);
    case Value::Kind::kReal: {
      char b[32];
      std::snprintf(b, sizeof b, "%g", v.real);
      return b;
    }
    case Value::Kind::kText:
      return v.bytes;
    case Value::Kind::kBlob: {
      std::string s = "0x";
      for (unsigned char c : v.bytes) s += std::string{hex[c >> 4], hex[c & 15]};
      return s;
    }
    default:
      return "NULL";
  }
}

// Every row of the table, values joined by '|', deleted ones marked '*';
// its columns as "type/length.decimals" and '?' when nullable.
struct Read {
  std::vector<std::string> rows;
  std::string shape;
};
Read ReadTable(const std::string& path, nce::DbfReadOptions options = {}) {
  Read r;
  auto source = nce::OpenDbfReader(path, options);
  for (const TableColumn& c : source->shape().columns)
    r.shape += std::to_string(c.shape.type) + "/" + std::to_string(c.shape.length) +
               (c.shape.decimals ? "." + std::to_string(c.shape.decimals) : "") +
               (c.nullable ? "? " : " ");
  TableRow row;
  while (source->Next(&row)) {
    std::string line = source->RowDeleted() ? "*" : "";
    for (size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + Render(row[i]);
    r.rows.push_back(line);
  }
  EXPECT_EQ(source->BytesRead(), source->BytesTotal() - 1);  // all but the end mark
  return r;
}

// The failure of reading the whole table: "number: text", or "" when it reads.
std::string Failure(const std::string& path, nce::DbfReadOptions options = {}) {
  try {
    ReadTable(path, options);
    return "";
  } catch (const EngineError& e) {
    return std::to_string(e.number()) + ": " + e.text();
  }
}

struct TableCase {
  const char* what;
  std::string dbf_name, memo_name;
  std::function<std::pair<std::string, std::string>()> files;  // table, memo
  std::string shape;
  std::vector<std::string> rows;
};

TEST(DbfReader, ReadsEveryVersionAndFieldTypeBuiltFromTheFormatDescription) {
  std::string long_memo(1000, 'x');
  auto S = [](int type, int length, int decimals = 0, bool nullable = false) {
    return std::to_string(type) + "/" + std::to_string(length) +
           (decimals ? "." + std::to_string(decimals) : "") + (nullable ? "? " : " ");
  };
  std::vector<TableCase> cases = {
      {"dBase III, memo file in another letter case",
       "T3.DBF",
       "t3.dbt",
       [&] {
         std::vector<uint32_t> b;
         std::string memo = Memo('3', 512, {{1, "short"}, {1, long_memo}}, &b);
         return std::pair{Dbf(0x83, 0x03,
                              {{"NAME", 'C', 10},
                               {"PRICE", 'N', 8, 2},
                               {"BORN", 'D', 8},
                               {"OK", 'L', 1},
                               {"NOTE", 'M', 10}},
                              {" Zo\xEB       "
                               "   12.50"
                               "20240229"
                               "T" +
                                   Pointer(b[0]),
                               "*deleted      -1.00"
                               "20000101"
                               "F" +
                                   Pointer(0),
                               " x         "
                               "    0.50"
                               "        "
                               "?" +
                                   Pointer(b[1])}),
                          memo};
       },
       S(NDS_STRING, 10) + S(NDS_NUMERIC, 8, 2, true) + S(NDS_DATE, 8, 0, true) +
           S(NDS_LOGICAL, 1, 0, true) + S(NDS_MEMO, 10),
       {"Zoë|12.50|2024-02-29|1|short", "x|0.50|NULL|NULL|" + long_memo}},
      {"dBase IV: float, binary memo, a memo of 0 bytes, block size from the header, a memo "
       "as long as its block header says (the 8 header bytes counted), end marks in it",
       "t4.dbf",
       "t4.dbt",
       [&] {
         std::vector<uint32_t> b;
         std::string memo = Memo('4', 1024,
                                 {{1, std::string("bin\0\1", 5)},
                                  {1, ""},
                                  {1, "iv"},
                                  {1,
                                   "a\x1A\x1A"
                                   "b"}},
                                 &b);
         return std::pair{
             Dbf(0x8B, 0x00, {{"AMOUNT", 'F', 10, 3}, {"DOC", 'B', 10}, {"TXT", 'M', 10}},
                 {"     -1.500" + Pointer(b[0]) + Pointer(b[2]),
                  "      7.000" + Pointer(b[1]) + Pointer(b[3])}),
             memo};
       },
       S(NDS_NUMERIC, 10, 3, true) + S(NDS_BINARY, 10) + S(NDS_MEMO, 10),
       {"-1.500|0x62696e0001|iv",
        "7.000|0x|a\x1A\x1A"
        "b"}},
      {"FoxPro 2: memo, picture and general fields, values over several blocks",
       "FOX.DBF",
       "FOX.FPT",
       [&] {
         std::vector<uint32_t> b;
         std::string memo = Memo(
             'F', 64, {{1, "fox"}, {0, "\x89PNG"}, {2, "ole"}, {1, std::string(200, 'y')}}, &b);
         return std::pair{Dbf(0xF5, 0x03, {{"TXT", 'M', 10}, {"PIC", 'P', 10}, {"OLE", 'G', 10}},
                              {" " + Pointer(b[0]) + Pointer(b[1]) + Pointer(b[2]),
                               " " + Pointer(b[3]) + Pointer(0) + Pointer(0)}),
                          memo};
       },
       S(NDS_MEMO, 10) + S(NDS_IMAGE, 10) + S(NDS_IMAGE, 10),
       {"fox|0x89504e47|0x6f6c65", std::string(200, 'y') + "|0x|0x"}},
      {"Visual FoxPro: binary fields, varchar and varbinary lengths, NULL flags",
       "vfp.dbf",
       "vfp.fpt",
       [&] {
         std::vector<uint32_t> b;
         std::string memo = Memo('F', 64, {{1, "\x01\x02"}}, &b);
         // _NullFlags bits: NAME length 0, NAME null 1, DATA length 2, NOTE null 3.
         return std::pair{
             Dbf(0x32, 0x03,
                 {{"ID", 'I', 4, 0, 0x0C},
                  {"QTY", 'I', 4},
                  {"CASH", 'Y', 8},
                  {"WHEN", 'T', 8},
                  {"RATE", 'B', 8, 2},
                  {"NAME", 'V', 10, 0, 0x02},
                  {"DATA", 'Q', 6},
                  {"BIN", 'M', 4, 0, 0x04},
                  {"NOTE", 'C', 5, 0, 0x02},
                  {"_NullFlags", '0', 1, 0, 5}},
                 {" " + Le(1, 4) + Le(-5, 4) + Le(123456, 8) + Le(2460311, 4) + Le(3723004, 4) +
                      Le(Bits(2.5), 8) + "ab" + std::string(7, ' ') + "\x02" + "\x01\x02   \x02" +
                      Le(b[0], 4) + "hi   " + "\x05",
                  " " + Le(2, 4) + Le(0, 4) + Le(-1, 8) + std::string(8, '\0') + Le(Bits(-0.0), 8) +
                      std::string(10, ' ') + "abcdef" + Le(0, 4) + std::string(5, ' ') + "\x0A"}),
             memo};
       },
       S(NDS_AUTOINC, 4) + S(NDS_INTEGER, 4) + S(NDS_MONEY, 8, 4) + S(NDS_TIMESTAMP, 8, 0, true) +
           S(NDS_DOUBLE, 8, 2) + S(NDS_VARCHAR, 10, 0, true) + S(NDS_BINARY, 6) +
           S(NDS_BINARY, 10) + S(NDS_STRING, 5, 0, true),
       {"1|-5|12.3456|2024-01-01 01:02:03.004|2.5|ab|0x0102|0x0102|hi",
        "2|0|-0.0001|NULL|-0|NULL|0x616263646566|0x|NULL"}},
      {"dBase 7: 48-byte descriptors, long, autoincrement, double, timestamp (milliseconds "
       "from 0000-12-31 as a big-endian double; the second as a dBase 7 table holds it)",
       "t7.dbf",
       "",
       [&] {
         // 2024-01-01 is day 738886 counting 0001-01-01 as day 1.
         double ms = 738886.0 * 86400000 + 3723004;
         return std::pair{
             Dbf(0x04, 0x00,
                 {{"LONG_FIELD_NAME", 'I', 4}, {"A", '+', 4}, {"D", 'O', 8}, {"S", '@', 8}},
                 {" " + Be(0x80000005u, 4) + Be(0x80000001u, 4) + Sortable(-2.5) + Be(Bits(ms), 8),
                  " " + Be(0x7FFFFFFFu, 4) + Be(0x80000002u, 4) + Sortable(1e300) +
                      std::string("\x42\xCC\xE1\xEC\x41\xFB\x64\x00", 8)}),
             std::string()};
       },
       S(NDS_INTEGER, 4) + S(NDS_AUTOINC, 4) + S(NDS_DOUBLE, 8) + S(NDS_TIMESTAMP, 8, 0, true),
       {"5|1|-2.5|2024-01-01 01:02:03.004", "-1|2|1e+300|2013-08-27 19:12:13.000"}},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.what);
    test_support::TempDir dir;
    auto [table, memo] = c.files();
    dir.Write(c.dbf_name, table);
    if (!c.memo_name.empty()) dir.Write(c.memo_name, memo);
    Read r;
    try {
      r = ReadTable(dir / c.dbf_name);
    } catch (const EngineError& e) {
      ADD_FAILURE() << e.text();
    }
    EXPECT_EQ(r.shape, c.shape);
    EXPECT_EQ(r.rows, c.rows);
    // Written by the writer in the version it chooses, the rows read back the same.
    auto source = nce::OpenDbfReader(dir / c.dbf_name, {});
    auto sink = nce::OpenDbfWriter(dir / "copy.dbf", source->shape(), {});
    for (TableRow row; source->Next(&row);) sink->Write(row, false);
    sink->Finish();
    EXPECT_EQ(ReadTable(dir / "copy.dbf").rows, c.rows);
  }
}

TEST(DbfReader, RefusesDamagedTablesNamingFileRecordAndField) {
  std::vector<uint32_t> b;
  std::string memo = Memo('3', 512, {{1, "note"}}, &b);
  std::string good = Dbf(
      0x83, 0x03, {{"NAME", 'C', 10}, {"PRICE", 'N', 8, 2}, {"BORN", 'D', 8}, {"NOTE", 'M', 10}},
      {" abc          12.5020240101" + Pointer(b[0])});
  const size_t record = 161;  // 32 + 4 descriptors + the end mark
  auto put = [](size_t at, std::string bytes) {
    return [=](std::string& t) { t.replace(at, bytes.size(), bytes); };
  };
  const std::string bad = std::to_string(NDS_E_BAD_FILE) + ": ",
                    invalid = std::to_string(NDS_E_VALUE_INVALID) + ": ";
  struct Case {
    std::function<void(std::string&)> damage;
    std::string failure;  // its start; "" when the table reads
    bool memo = true;
  };
  std::vector<Case> cases = {
      {[](std::string& t) { t.resize(10); }, bad + "T.DBF: the file is too short"},
      {[](std::string& t) { t.resize(100); }, bad + "T.DBF: the header is cut short"},
      {put(4, Le(5, 4)),
       bad + "T.DBF: the record area is cut short: the header counts 5 records, the file holds 1"},
      {put(10, Le(40, 2)),
       bad + "T.DBF: the header states records of 40 bytes, its fields make records of 37"},
      {put(32 + 16, std::string(1, '\0')), bad + "T.DBF: field NAME: the field's length is 0"},
      {put(64, std::string("NAME\0", 5)), bad + "T.DBF: field NAME: two fields have this name"},
      {put(32, std::string(11, '\0')), bad + "T.DBF: field number 1: the field has no name"},
      {put(32 + 11, "X"), bad + "T.DBF: field NAME: the field type 'X' is not known"},
      {put(0, "\x07"), bad + "T.DBF: the version byte 0x07"},
      {put(record + 19, "20230230"),
       invalid + "T.DBF: record 1, field BORN: '20230230' is not a date"},
      {put(record + 11, "  12a.00"),
       invalid + "T.DBF: record 1, field PRICE: '12a.00' is not a number"},
      {put(record + 27, Pointer(99)),
       bad + "T.DBF: record 1, field NOTE: the memo block 99 lies outside"},
      {put(record, "X"), bad + "T.DBF: record 1: the deletion mark is byte 88"},
      {[](std::string&) {}, bad + "T.DBF: the table has memo fields, but its memo file", false},
      {[](std::string& t) { t = t.substr(0, 4) + Le(0, 4) + t.substr(8, record - 8) + "\x1A"; },
       ""},
  };
  for (const Case& c : cases) {
    test_support::TempDir dir;
    std::string table = good;
    c.damage(table);
    dir.Write("T.DBF", table);
    if (c.memo) dir.Write("T.DBT", memo);
    std::string failure = Failure(dir / "T.DBF");
    EXPECT_EQ(failure.substr(0, bad.size()), c.failure.substr(0, bad.size())) << failure;
    if (!c.failure.empty()) {
      EXPECT_NE(failure.find(c.failure.substr(bad.size())), std::string::npos) << failure;
    }
  }
  test_support::TempDir dir;
  EXPECT_EQ(Failure(dir / "none.dbf").substr(0, 6), std::to_string(NDS_E_INVALID_PATH) + ": ");
  // More than 255 fields: the count comes from the header's length.
  std::vector<F> many;
  for (int i = 0; i < 300; ++i) many.push_back({"F" + std::to_string(i), 'C', 1});
  dir.Write("wide.dbf", Dbf(0x03, 0, many, {" " + std::string(300, 'z')}));
  Read wide = ReadTable(dir / "wide.dbf");
  EXPECT_EQ(wide.rows.size(), 1u);
  EXPECT_EQ(std::count(wide.rows[0].begin(), wide.rows[0].end(), 'z'), 300);
}

// The rows python3-dbfread reads, values joined by '|' (str of each).
std::string ReadWithDbfread(const test_support::TempDir& dir, const std::string& file,
                            const std::string& encoding) {
  std::string script = dir.Write("dbfread_rows.py",
                                 "import sys, dbfread\n"
                                 "for r in dbfread.DBF(sys.argv[1], encoding=sys.argv[2],\n"
                                 "                     char_decode_errors='strict'):\n"
                                 "    print('|'.join(str(v) for v in r.values()))\n");
  std::string command = "/usr/bin/python3 " + script + " " + file + " " + encoding + " 2>&1";
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << out;
  return out;
}

TableColumn Col(std::string name, uint16_t type, uint32_t length, uint16_t decimals = 0,
                bool nullable = false) {
  return TableColumn{std::move(name), nce::FieldSpec{type, length, decimals}, nullable};
}
Value T(std::string s) {
  return Value::Text(std::move(s));
}
Value B(std::string s) {
  return Value::Blob(std::move(s));
}
Value I(int64_t i) {
  return Value::Integer(i);
}

struct WriteCase {
  const char* what;
  uint32_t version;  // asked; 0: chosen
  std::vector<TableColumn> columns;
  std::vector<std::pair<TableRow, bool>> rows;  // with their deletion marks
  uint8_t version_byte;
  std::vector<std::string> read_back;  // by our reader, deleted rows kept
  std::string dbfread;                 // by python3-dbfread (deleted rows skipped)
};

TEST(DbfWriter, WritesTablesThatReadBackTheSameHereAndInAnIndependentReader) {
  std::string q(600, 'q');
  std::vector<WriteCase> cases = {
      {"dBase III: text, numbers, dates, logicals, memos, a long text and a time as text",
       0,
       {Col("NAME", NDS_STRING, 10), Col("PRICE", NDS_NUMERIC, 8, 2, true),
        Col("DAY", NDS_DATE, 8, 0, true), Col("OK", NDS_LOGICAL, 1, 0, true),
        Col("NOTE", NDS_MEMO, 10), Col("LONGNAMECOLUMN", NDS_STRING, 300), Col("AT", NDS_TIME, 4)},
       {{{T("Zoë"), T("12.5"), T("2024-02-29"), I(1), T(""), T(q), T("12:34:56.789")}, false},
        {{T(""), Value::Null(), Value::Null(), Value::Null(), T("two"), T(""), T("00:00:00.000")},
         true}},
       0x83,
       {"Zoë|12.50|2024-02-29|1||" + q + "|12:34:56.789", "*|NULL|NULL|NULL|two||00:00:00.000"},
       // dbfread reads a memo without a block as None.
       "Zoë|12.5|2024-02-29|True|None|" + q + "|12:34:56.789\n"},
      {"dBase IV: memos with block headers hold any byte",
       NDS_DBF_DBASE4,
       {Col("TXT", NDS_MEMO, 10), Col("N", NDS_NUMERIC, 5, 0, true), Col("I", NDS_INTEGER, 4)},
       {{{T("four\x1A ok"), T("-12"), I(-2147483648)}, false}},
       0x8B,
       {"four\x1A ok|-12|-2147483648"},
       // dbfread takes the length of a dBase IV value without the 8 bytes of
       // the block header that the length counts, and reads 8 bytes past it.
       std::string("four\x1A ok\0\0\0\0\0\0\0\0|-12|-2147483648\n", 33)},
      {"FoxPro 2: images in general fields",
       0,
       {Col("PIC", NDS_IMAGE, 10), Col("TXT", NDS_MEMO, 10)},
       {{{B(std::string("\x89PNG\0", 5)), T("fox")}, false}, {{B(""), T("")}, false}},
       0xF5,
       {"0x89504e4700|fox", "0x|"},
       "b'\\x89PNG\\x00'|fox\nNone|None\n"},
      {"Visual FoxPro: integers, money, timestamps, doubles, binary memos, NULLs",
       0,
       {Col("ID", NDS_AUTOINC, 4), Col("QTY", NDS_INTEGER, 4), Col("CASH", NDS_MONEY, 8, 4),
        Col("WHEN", NDS_TIMESTAMP, 8, 0, true), Col("RATE", NDS_DOUBLE, 8),
        Col("BIN", NDS_BINARY, 10), Col("NAME", NDS_STRING, 8, 0, true),
        Col("SH", NDS_SHORTINT, 2)},
       {{{I(1), I(-5), T("12.3456"), T("2024-01-01 01:02:03.004"), Value::Real(2.5), B("\x01\x02"),
          Value::Null(), I(7)},
         false},
        {{I(2), I(2147483647), T("-922337203685477.5808"), Value::Null(), Value::Real(-1e300),
          B(""), T("x"), I(-3)},
         false}},
       0x31,
       {"1|-5|12.3456|2024-01-01 01:02:03.004|2.5|0x0102|NULL|7",
        "2|2147483647|-922337203685477.5808|NULL|-1e+300|0x|x|-3"},
       // dbfread knows neither binary memos nor NULL flags, and shows _NullFlags.
       "1|-5|12.3456|2024-01-01 01:02:03.004000|2.5|\x01\x02||7|b'\\x02'\n"
       "2|2147483647|-922337203685477.5808|None|-1e+300|None|x|-3|b'\\x01'\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    test_support::TempDir dir;
    nce::DbfWriteOptions options;
    options.version = c.version;
    std::string path = dir / "out.dbf";
    auto sink = nce::OpenDbfWriter(path, nce::TableShape{c.columns}, options);
    for (const auto& [row, deleted] : c.rows) sink->Write(row, deleted);
    sink->Finish();
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(in.get(), c.version_byte);
    nce::DbfReadOptions keep;
    keep.keep_deleted = true;
    EXPECT_EQ(ReadTable(path, keep).rows, c.read_back);
    EXPECT_EQ(ReadWithDbfread(dir, path, "cp1252"), c.dbfread);
  }
}

TEST(DbfFiles, CodePagesReadAsUtf8AndWriteBackToTheSameBytes) {
  struct Page {
    uint8_t driver;
    const char* encoding;
    std::string bytes, utf8;
  };
  for (const Page& p : {Page{0x02, "CP850",
                             "Gr\x81\xE1"
                             "e",
                             "Grüße"},
                        Page{0xC9, "CP1251", "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
                        Page{0x03, "CP1252", "Caf\xE9 \x80", "Café €"}}) {
    SCOPED_TRACE(p.encoding);
    test_support::TempDir dir;
    std::string field = p.bytes + std::string(10 - p.bytes.size(), ' ');
    std::string table = Dbf(0x03, p.driver, {{"T", 'C', 10}}, {" " + field, "*" + field});
    dir.Write("driver.dbf", table);
    table[29] = 0;  // no driver: the caller names the encoding
    dir.Write("asked.dbf", table);
    nce::DbfReadOptions asked;
    asked.encoding = p.encoding;
    asked.keep_deleted = true;
    EXPECT_EQ(ReadTable(dir / "driver.dbf").rows, std::vector<std::string>{p.utf8});
    EXPECT_EQ(ReadTable(dir / "asked.dbf", asked).rows,
              (std::vector<std::string>{p.utf8, "*" + p.utf8}));
    // Written back in the same code page: the same bytes, the deletion mark kept.
    nce::DbfWriteOptions write;
    write.encoding = p.encoding;
    auto sink =
        nce::OpenDbfWriter(dir / "back.dbf", nce::TableShape{{Col("T", NDS_STRING, 10)}}, write);
    sink->Write({T(p.utf8)}, false);
    sink->Write({T(p.utf8)}, true);
    sink->Finish();
    std::ifstream in(dir / "back.dbf", std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(back.substr(back.size() - 23), " " + field + "*" + field + "\x1A");
    EXPECT_EQ(back[29], static_cast<char>(p.driver));
    EXPECT_EQ(ReadWithDbfread(dir, dir / "back.dbf", p.encoding), p.utf8 + "\n");
  }
  // A byte CP1252 does not have.
  test_support::TempDir dir;
  dir.Write("bad.dbf", Dbf(0x03, 0x03, {{"T", 'C', 2}}, {" a\x81"}));
  EXPECT_EQ(Failure(dir / "bad.dbf"),
            std::to_string(NDS_E_VALUE_INVALID) + ": " + (dir / "bad.dbf") +
                ": record 1, field T: the text is not valid in the encoding CP1252");
}

TEST(DbfWriter, RefusesWhatItsVersionCannotHoldAndLeavesNoFileBehind) {
  struct Case {
    uint32_t version;
    std::vector<TableColumn> columns;
    std::vector<TableRow> rows;
    std::string failure;  // its number and the text after the file's name
    std::string encoding = "";
  };
  const std::string invalid = std::to_string(NDS_E_VALUE_INVALID) + ": ",
                    too_long = std::to_string(NDS_E_VALUE_TOO_LONG) + ": ";
  std::vector<Case> cases = {
      {NDS_DBF_DBASE3,
       {Col("AT", NDS_TIMESTAMP, 8)},
       {},
       invalid + ": field AT: a TIMESTAMP column cannot be written to dBase III: only Visual "
                 "FoxPro has a date-time field"},
      {NDS_DBF_FOXPRO,
       {Col("NAME", NDS_STRING, 5, 0, true)},
       {},
       invalid +
           ": field NAME: a STRING column cannot be written to FoxPro 2: the column holds NULLs"},
      {0,
       {Col("NAME", NDS_STRING, 3)},
       {{T("abc")}, {T("abcd")}},
       too_long + ": record 2, field NAME: the text takes 4 bytes in CP1252, the field holds 3"},
      {0,
       {Col("N", NDS_NUMERIC, 5, 2)},
       {{T("123.4")}},
       too_long + ": record 1, field N: '123.4' needs 6 characters, the field holds 5"},
      {0,
       {Col("N", NDS_NUMERIC, 8, 2)},
       {{T("1.234")}},
       too_long + ": record 1, field N: '1.234' has more decimals than the field's 2"},
      {0,
       {Col("NAME", NDS_STRING, 10)},
       {{T("Привет")}},
       invalid +
           ": record 1, field NAME: the text holds a character the encoding CP850 cannot write",
       "CP850"},
      {0,
       {Col("NAME", NDS_STRING, 10)},
       {{Value::Null()}},
       invalid +
           ": record 1, field NAME: NULL cannot be kept: the column was said to hold no NULLs"},
      {0,
       {Col("DAY", NDS_DATE, 8)},
       {{T("2023-02-30")}},
       invalid + ": record 1, field DAY: '2023-02-30' is not a date"},
      {0,
       {Col("M", NDS_MEMO, 10)},
       {{T("a\x1A")}},
       invalid + ": record 1, field M: the value holds the byte 0x1A"},
      {NDS_DBF_VFP,
       {Col("I", NDS_INTEGER, 4)},
       {{I(1)}, {I(int64_t{1} << 31)}},
       too_long + ": record 2, field I: 2147483648 does not fit the field's 32 bits"},
      {0, {Col("M", NDS_MEMO, 10)}, {{T("ok")}}, ""},  // not finished: nothing stays either
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    test_support::TempDir dir;
    nce::DbfWriteOptions options{c.version, c.encoding};
    std::string failure;
    try {
      auto sink = nce::OpenDbfWriter(dir / "out.dbf", nce::TableShape{c.columns}, options);
      for (const TableRow& row : c.rows) sink->Write(row, false);
    } catch (const EngineError& e) {
      failure = std::to_string(e.number()) + ": " + e.text();
    }
    std::string place = dir / "out.dbf";
    if (failure.find(place) != std::string::npos) failure.erase(failure.find(place), place.size());
    EXPECT_EQ(failure.substr(0, c.failure.size()), c.failure);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

}  // namespace
}  // namespace nce_test
