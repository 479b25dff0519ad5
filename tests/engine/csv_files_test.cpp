// CSV files read and written by the interchange layer: column types guessed
// from the values, each type's text both ways, RFC 4180 quoting with NULL
// and the empty text kept apart, code pages, round trips, and every kind of
// bad input refused with its line and column.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/interchange/csv/csv_reader.h"
#include "engine/interchange/csv/csv_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using nce::EngineError;
using nce::FieldSpec;
using nce::TableRow;
using nce::TableShape;
using nce::Value;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TableShape Shape(std::vector<std::pair<std::string, FieldSpec>> columns) {
  TableShape shape;
  for (auto& [name, spec] : columns) shape.columns.push_back({name, spec, true});
  return shape;
}

// A value as a short text: "NULL", "I:5", "R:0.1", "T:abc", "B:00ff".
std::string Show(const Value& v) {
  char buf[32];
  switch (v.kind) {
    case Value::Kind::kNull:
      return "NULL";
    case Value::Kind::kInteger:
      return "I:" + std::to_string(v.integer);
    case Value::Kind::kReal:
      return "R:" + std::string(buf, std::to_chars(buf, buf + 32, v.real).ptr);
    case Value::Kind::kText:
      return "T:" + v.bytes;
    case Value::Kind::kBlob: {
      std::string hex = "B:";
      for (unsigned char c : v.bytes) {
        static const char kHex[] = "0123456789abcdef";
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
      }
      return hex;
    }
    default:
      return "UNSET";
  }
}

std::vector<std::string> ReadAll(const std::string& path, const TableShape& shape,
                                 const std::string& encoding = "") {
  auto reader = nce::OpenCsvReader(path, shape, {encoding});
  std::vector<std::string> rows;
  TableRow row;
  while (reader->Next(&row)) {
    std::string shown;
    for (const Value& v : row) shown += (shown.empty() ? "" : "|") + Show(v);
    rows.push_back(shown);
  }
  EXPECT_EQ(reader->BytesRead(), reader->BytesTotal());
  return rows;
}

// The refusal `work` throws: its number and text; 0 when none.
std::pair<uint32_t, std::string> Refusal(const std::function<void()>& work) {
  try {
    work();
  } catch (const EngineError& e) {
    return {e.number(), e.text()};
  }
  return {0, ""};
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

constexpr FieldSpec kText{NDS_STRING, 20, 0};
constexpr FieldSpec kInt{NDS_INTEGER, 4, 0};

TEST(CsvInference, GivesEachColumnTheNarrowestTypeAllItsValuesHave) {
  struct Column {
    const char* name;
    std::vector<const char*> values;  // as written in the file; "" an empty field
    FieldSpec expected;
  };
  const std::string memo(300, 'x');
  const std::vector<Column> columns = {
      {"flag", {"true", "FALSE", "", "True"}, {NDS_LOGICAL, 1, 0}},
      {"bits", {"1", "0"}, {NDS_INTEGER, 4, 0}},
      {"count", {"1", "-2147483647", "+2147483647"}, {NDS_INTEGER, 4, 0}},
      {"big", {"1", "-2147483648"}, {NDS_NUMERIC, 11, 0}},
      {"price", {"12.50", "-3.5", "100"}, {NDS_NUMERIC, 6, 2}},
      {"ratio", {"1e-3", "0.5"}, {NDS_DOUBLE, 8, 0}},
      {"precise", {"0.30000000000000004", "1.5"}, {NDS_DOUBLE, 8, 0}},
      {"huge", {"12345678901234567890123.5"}, {NDS_STRING, 25, 0}},
      {"day", {"2024-02-29", "", "0001-01-01"}, {NDS_DATE, 4, 0}},
      {"at", {"2024-01-01", "2024-01-01 10:00:00", "2024-01-01T10:00:00.5"}, {NDS_TIMESTAMP, 8, 0}},
      {"clock", {"10:00", "23:59:59.999"}, {NDS_TIME, 4, 0}},
      {"zip", {"007", "12"}, {NDS_STRING, 3, 0}},
      {"no_day", {"2023-02-29"}, {NDS_STRING, 10, 0}},
      {"mixed", {"5", "abc", "\"\""}, {NDS_STRING, 3, 0}},
      {"note", {"x", memo.c_str()}, {NDS_MEMO, 9, 0}},
      {"nothing", {"", "\"\""}, {NDS_STRING, 1, 0}},
  };
  test_support::TempDir dir;
  std::string text;
  for (const Column& c : columns) text += std::string(text.empty() ? "" : ",") + c.name;
  for (size_t row = 0; row < 4; ++row) {
    text += "\n";
    for (size_t i = 0; i < columns.size(); ++i)
      text += std::string(i ? "," : "") +
              (row < columns[i].values.size() ? columns[i].values[row] : "");
  }
  const std::string path = dir.Write("types.csv", text);
  const TableShape shape = nce::InferCsvShape(path, {});
  ASSERT_EQ(shape.columns.size(), columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const FieldSpec& got = shape.columns[i].shape;
    EXPECT_EQ(shape.columns[i].name, columns[i].name);
    EXPECT_EQ(std::tuple(got.type, got.length, got.decimals),
              std::tuple(columns[i].expected.type, columns[i].expected.length,
                         columns[i].expected.decimals))
        << columns[i].name;
  }
  // The shape guessed takes every value of the file.
  EXPECT_EQ(ReadAll(path, shape).size(), 4u);
}

TEST(CsvValues, EachTypeReadsItsFormsExactlyAndRefusesWhatItWouldAlter) {
  struct Case {
    FieldSpec spec;
    const char* field;
    std::string expected;  // Show() of the value, or the refusal's number
  };
  const std::string kInvalid = std::to_string(NDS_E_VALUE_INVALID);
  const std::string kTooLong = std::to_string(NDS_E_VALUE_TOO_LONG);
  const FieldSpec logical{NDS_LOGICAL, 1, 0}, shortint{NDS_SHORTINT, 2, 0};
  const FieldSpec autoinc{NDS_AUTOINC, 4, 0}, rowversion{NDS_ROWVERSION, 8, 0};
  const FieldSpec numeric{NDS_NUMERIC, 6, 2}, whole{NDS_NUMERIC, 20, 0}, wide{NDS_NUMERIC, 20, 6};
  const FieldSpec money{NDS_MONEY, 8, 4}, real{NDS_DOUBLE, 8, 0}, date{NDS_DATE, 4, 0};
  const FieldSpec time{NDS_TIME, 4, 0}, stamp{NDS_TIMESTAMP, 8, 0}, modtime{NDS_MODTIME, 8, 0};
  const FieldSpec binary{NDS_BINARY, 9, 0}, raw{NDS_RAW, 2, 0}, str{NDS_STRING, 5, 0};
  const std::vector<Case> cases = {
      {logical, "Yes", "I:1"},
      {logical, " f ", "I:0"},
      {logical, "TRUE", "I:1"},
      {logical, "maybe", kInvalid},
      {kInt, "+42", "I:42"},
      {kInt, "12.00", "I:12"},
      {kInt, "-2147483647", "I:-2147483647"},
      {kInt, "-2147483648", kTooLong},  // the field's null form
      {kInt, "2147483648", kTooLong},
      {kInt, "1.5", kInvalid},
      {kInt, "1e3", kInvalid},
      {kInt, "12abc", kInvalid},
      {shortint, "-32768", kTooLong},
      {autoinc, "4294967294", "I:4294967294"},
      {autoinc, "-1", kTooLong},
      {rowversion, "9223372036854775807", "I:9223372036854775807"},
      {numeric, "-12.5", "T:-12.5"},
      {numeric, "007.50", "T:7.50"},
      {numeric, "+.5", "T:0.5"},
      {numeric, "1.2300", "T:1.23"},
      {numeric, "-0.00", "T:0.00"},
      {numeric, "1.234", kTooLong},   // would be rounded
      {numeric, "1234.5", kTooLong},  // 1234.50 needs 7 characters
      {numeric, "-123.5", kTooLong},
      {numeric, "1e2", kInvalid},
      {whole, "-9223372036854775808", "T:-9223372036854775808"},
      {whole, "9223372036854775808", kTooLong},
      {wide, "123456789.5", "T:123456789.5"},
      {wide, "1234567890.5", kTooLong},  // 16 digits at six decimals: beyond a double
      {money, "922337203685477.5807", "T:922337203685477.5807"},
      {money, "1.50000", "T:1.5000"},
      {money, "1.23456", kTooLong},
      {money, "922337203685478", kTooLong},
      {real, "0.1", "R:0.1"},
      {real, "1E300", "R:1e+300"},
      {real, "-0", "R:-0"},
      {real, "5e-324", "R:5e-324"},
      {real, "1e400", kTooLong},
      {real, "inf", kInvalid},
      {real, "nan", kInvalid},
      {real, "0x1p3", kInvalid},
      {date, "2024-02-29", "T:2024-02-29"},
      {date, "2023-02-29", kInvalid},
      {date, "0000-01-01", kInvalid},
      {date, "2023-1-5", kInvalid},
      {date, "01/02/2023", kInvalid},
      {time, "10:30", "T:10:30:00.000"},
      {time, "23:59:59.9990", "T:23:59:59.999"},
      {time, "24:00", kInvalid},
      {time, "10:00:00.0001", kInvalid},  // finer than a millisecond
      {stamp, "2024-01-02T03:04:05.6", "T:2024-01-02 03:04:05.600"},
      {stamp, "2024-01-02", "T:2024-01-02 00:00:00.000"},
      {stamp, "2024-01-02 10:00:00Z", kInvalid},
      {modtime, "9999-12-31 23:59:59.999", "T:9999-12-31 23:59:59.999"},
      {binary, "\\x00fF41", "B:00ff41"},
      {binary, "\\x", "B:"},
      {binary, "ff", kInvalid},
      {binary, "\\xf", kInvalid},
      {binary, "\\xgg", kInvalid},
      {raw, "\\xabcd", "B:abcd"},
      {raw, "\\xabcdef", kTooLong},
      {str, " a b ", "T: a b "},
      {str, "h\xc3\xa9llo", kTooLong},  // six bytes
  };
  test_support::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.Write("v.csv", std::string("v\r\n") + c.field + "\r\n");
    const TableShape shape = Shape({{"v", c.spec}});
    std::string got;
    auto [number, text] = Refusal([&] { got = ReadAll(path, shape).at(0); });
    if (number != 0) {
      got = std::to_string(number);
      EXPECT_THAT(text, StartsWith(path + ": line 2, column \"v\": ")) << c.field;
    }
    EXPECT_EQ(got, c.expected) << "type " << c.spec.type << ", field " << c.field << ": " << text;
  }
}

TEST(CsvReader, FollowsRfc4180QuotingAndKeepsNullApartFromTheEmptyText) {
  test_support::TempDir dir;
  // A byte order mark, CRLF and LF ends, a quoted comma, doubled quotes, a
  // line break inside quotes and a last line without its line break; the
  // header in another order and letter case than the table, which has a
  // column more.
  const std::string path = dir.Write("q.csv",
                                     "\xEF\xBB\xBFname, n ,note\r\n"
                                     "\"a,b\",1,\"say \"\"hi\"\"\"\r\n"
                                     "\"two\r\nlines\",,\n"
                                     "\"\",\"\",plain\n"
                                     "last,3,\"x\ny\"");
  const TableShape shape =
      Shape({{"NOTE", {NDS_MEMO, 9, 0}}, {"N", kInt}, {"Name", kText}, {"extra", kText}});
  EXPECT_THAT(ReadAll(path, shape),
              ::testing::ElementsAre("T:say \"hi\"|I:1|T:a,b|NULL", "NULL|NULL|T:two\r\nlines|NULL",
                                     "T:plain|NULL|T:|NULL", "T:x\ny|I:3|T:last|NULL"));
}

TEST(CsvReader, RecordsAcrossTheFilesReadPiecesKeepTheirBytesAndLines) {
  // The file is read 64 KB at a time: the CRLF ending the first record is
  // split at byte 65536, the doubled quote of the second at byte 131072.
  const std::string x(65528, 'x'), y(65533, 'y');
  test_support::TempDir dir;
  const std::string path =
      dir.Write("long.csv", "a,b\r\n" + x + ",1\r\n\"" + y + "\"\"\r\nz\",2\r\nlast,3\r\nbad\r\n");
  auto reader = nce::OpenCsvReader(path, Shape({{"a", {NDS_MEMO, 9, 0}}, {"b", kInt}}), {});
  TableRow row;
  ASSERT_TRUE(reader->Next(&row));
  EXPECT_EQ(Show(row[0]) + "|" + Show(row[1]), "T:" + x + "|I:1");
  ASSERT_TRUE(reader->Next(&row));
  EXPECT_EQ(Show(row[0]) + "|" + Show(row[1]), "T:" + y + "\"\r\nz|I:2");
  ASSERT_TRUE(reader->Next(&row));
  EXPECT_THAT(Refusal([&] { reader->Next(&row); }),
              ::testing::Pair(NDS_E_BAD_FILE, StartsWith(path + ": line 6, column \"b\"")));
}

TEST(CsvReader, RefusesBadInputNamingTheLineAndTheColumn) {
  struct Case {
    const char* file;
    uint32_t number;
    const char* place_and_what;
  };
  const std::vector<Case> cases = {
      {"a,b\n1,2,3\n", NDS_E_BAD_FILE, "line 2, column 3: the record has a field beyond"},
      {"a,b\r\nx\r\n", NDS_E_BAD_FILE, "line 2, column \"b\": the record ends before this column"},
      {"a,b\n\"x\ny\",1\n\"open,2\n", NDS_E_BAD_FILE,
       "line 4, column \"a\": a quoted field is not closed"},
      {"a,b\nx\"y,1\n", NDS_E_BAD_FILE, "line 2, column \"a\": a quote inside a field"},
      {"a,b\n\"x\"y,1\n", NDS_E_BAD_FILE, "line 2, column \"a\": text follows the closing quote"},
      {"a,b\n1,2\n\xff,1\n", NDS_E_BAD_FILE,
       "line 3, column \"a\": the field holds bytes that are not UTF-8"},
      {"", NDS_E_BAD_FILE, "line 1: the file is empty"},
      {"\xEF\xBB\xBF", NDS_E_BAD_FILE, "line 1: the file is empty"},
      {"a,,b\n", NDS_E_BAD_FILE, "line 1, column 2: the column has no name"},
      {"a,b,A\n", NDS_E_BAD_FILE,
       "line 1, column 3: the name \"A\" is already the name of column 1"},
      {"a,c\n", NDS_E_INVALID_FIELD, "line 1, column \"c\": the table has no column"},
      {"a,b\r\nx,\"\"\r\n\"y\r\n\",12x\r\n", NDS_E_VALUE_INVALID,
       "line 3, column \"b\": \"12x\" is not a whole number"},
  };
  test_support::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.Write("bad.csv", c.file);
    auto [number, text] = Refusal([&] { ReadAll(path, Shape({{"a", kText}, {"b", kInt}})); });
    EXPECT_EQ(number, c.number) << c.file;
    EXPECT_THAT(text, StartsWith(path + ": " + c.place_and_what)) << c.file;
    if (c.number == NDS_E_BAD_FILE) {  // inference reads the same way
      EXPECT_EQ(Refusal([&] { nce::InferCsvShape(path, {}); }).first, c.number) << c.file;
    }
  }
  // A column that holds no NULL.
  TableShape required = Shape({{"a", kText}, {"b", kInt}});
  required.columns[1].nullable = false;
  const std::string path = dir.Write("null.csv", "a,b\nx,1\ny,\n");
  EXPECT_THAT(Refusal([&] { ReadAll(path, required); }),
              ::testing::Pair(NDS_E_VALUE_REQUIRED, StartsWith(path + ": line 3, column \"b\"")));
  EXPECT_EQ(Refusal([&] { ReadAll(dir / "missing.csv", required); }).first, NDS_E_INVALID_PATH);
}

TEST(CsvEncodings, AccentedTextCrossesCp1252AndCp850BothWays) {
  test_support::TempDir dir;
  const std::string utf8 = "Caf\xc3\xa9 M\xc3\xbcller";  // "Café Müller"
  const TableShape shape = Shape({{"name", kText}});
  for (auto [encoding, bytes] : {std::pair<std::string, std::string>{"CP1252", "Caf\xe9 M\xfcller"},
                                 {"cp850", "Caf\x82 M\x81ller"}}) {
    const std::string file = "name\r\n" + bytes + "\r\n";
    const std::string path = dir.Write("in.csv", file);
    EXPECT_THAT(ReadAll(path, shape, encoding), ::testing::ElementsAre("T:" + utf8));
    // Widths count the UTF-8 bytes the engine keeps.
    EXPECT_EQ(nce::InferCsvShape(path, {encoding}).columns[0].shape.length, utf8.size());
    auto writer = nce::OpenCsvWriter(dir / "out.csv", shape, {encoding});
    writer->Write({Value::Text(utf8)}, false);
    writer->Finish();
    EXPECT_EQ(Slurp(dir / "out.csv"), file) << encoding;
  }
  // Bytes the encoding does not have, read; a character it does not have, written.
  const std::string undefined = dir.Write("undefined.csv", "name\r\nok\r\nA\x81\r\n");
  EXPECT_THAT(Refusal([&] { ReadAll(undefined, shape, "CP1252"); }),
              ::testing::Pair(NDS_E_BAD_FILE, HasSubstr("line 3, column \"name\": the field holds "
                                                        "bytes that are not CP1252 text")));
  auto writer = nce::OpenCsvWriter(dir / "euro.csv", shape, {"CP850"});
  writer->Write({Value::Text("ok")}, false);
  EXPECT_THAT(Refusal([&] { writer->Write({Value::Text("5 \xe2\x82\xac")}, false); }),
              ::testing::Pair(NDS_E_VALUE_INVALID,
                              HasSubstr("line 3, column \"name\": the value holds a character "
                                        "CP850 does not have")));
  writer.reset();
  // Encodings that are unknown, or whose separators are not ASCII's.
  for (const char* encoding : {"NO-SUCH-CODE-PAGE", "UTF-16"})
    EXPECT_EQ(Refusal([&] { ReadAll(undefined, shape, encoding); }).first, NDS_E_INVALID_OPTION);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(CsvWriter, RoundTripsEveryTypeAndLeavesNothingBehindUnlessFinished) {
  test_support::TempDir dir;
  const TableShape shape = Shape({{"t", kText},
                                  {"memo", {NDS_MEMO, 9, 0}},
                                  {"i", kInt},
                                  {"n", {NDS_NUMERIC, 12, 3}},
                                  {"m", {NDS_MONEY, 8, 4}},
                                  {"d", {NDS_DOUBLE, 8, 0}},
                                  {"l", {NDS_LOGICAL, 1, 0}},
                                  {"day", {NDS_DATE, 4, 0}},
                                  {"at", {NDS_TIME, 4, 0}},
                                  {"ts", {NDS_TIMESTAMP, 8, 0}},
                                  {"b", {NDS_BINARY, 9, 0}}});
  const std::vector<TableRow> rows = {
      {Value::Text("a,b"), Value::Text("say \"hi\"\r\nbye"), Value::Integer(-2147483647),
       Value::Text("-12.500"), Value::Text("922337203685477.5807"), Value::Real(0.1),
       Value::Integer(1), Value::Text("0001-01-01"), Value::Text("23:59:59.999"),
       Value::Text("2024-02-29 10:00:00.000"), Value::Blob(std::string("\0\xff", 2))},
      {Value::Text(""), Value::Text(" lead"), Value::Null(), Value::Null(), Value::Null(),
       Value::Real(5e-324), Value::Integer(0), Value::Null(), Value::Null(), Value::Null(),
       Value::Blob("")},
      {Value::Null(), Value::Text("trail\t"), Value::Integer(0), Value::Text("0"),
       Value::Text("-0.0001"), Value::Real(-1.7976931348623157e308), Value::Null(),
       Value::Text("9999-12-31"), Value::Text("00:00:00.000"),
       Value::Text("9999-12-31 23:59:59.999"), Value::Null()},
  };
  auto write = [&](const std::string& path, const std::vector<TableRow>& data) {
    auto writer = nce::OpenCsvWriter(path, shape, {});
    for (const TableRow& row : data) writer->Write(row, false);
    writer->Finish();
  };
  write(dir / "first.csv", rows);
  EXPECT_THAT(Slurp(dir / "first.csv"),
              StartsWith("t,memo,i,n,m,d,l,day,at,ts,b\r\n"
                         "\"a,b\",\"say \"\"hi\"\"\r\nbye\",-2147483647,-12.500,"
                         "922337203685477.5807,0.1,true,0001-01-01,23:59:59.999,"
                         "2024-02-29 10:00:00.000,\\x00ff\r\n"
                         "\"\",\" lead\",,,,5e-324,false,,,,\\x\r\n"
                         ",\"trail\t\",0,0,-0.0001,"));
  // File -> rows -> file: the same rows, the same bytes.
  std::vector<std::string> shown;
  for (const TableRow& row : rows) {
    std::string line;
    for (const Value& v : row) line += (line.empty() ? "" : "|") + Show(v);
    shown.push_back(line);
  }
  EXPECT_EQ(ReadAll(dir / "first.csv", shape), shown);
  std::vector<TableRow> again;
  auto reader = nce::OpenCsvReader(dir / "first.csv", shape, {});
  for (TableRow row; reader->Next(&row);) again.push_back(row);
  write(dir / "second.csv", again);
  EXPECT_EQ(Slurp(dir / "second.csv"), Slurp(dir / "first.csv"));

  // An unfinished writer, a refused value and a deleted row leave the
  // directory as it was, and a file of the target's name untouched.
  const std::string kept = dir.Write("kept.csv", "old");
  nce::OpenCsvWriter(dir / "gone.csv", shape, {})->Write(rows[0], false);
  auto writer = nce::OpenCsvWriter(kept, shape, {});
  writer->Write(rows[0], false);
  TableRow wrong = rows[1];
  wrong[7] = Value::Integer(5);  // a number for a date
  EXPECT_THAT(Refusal([&] { writer->Write(wrong, false); }),
              ::testing::Pair(NDS_E_VALUE_INVALID, StartsWith(kept + ": line 4, column \"day\"")));
  EXPECT_EQ(Refusal([&] { writer->Write(rows[0], true); }).first, NDS_E_NOT_SUPPORTED);
  writer.reset();
  EXPECT_EQ(Slurp(kept), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

}  // namespace
