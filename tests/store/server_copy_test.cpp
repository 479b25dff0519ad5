// Bulk inserts into a server in COPY's binary format give every value the
// text format gives: the same rows sent both ways into twin tables, compared
// by the server's own text of each whole row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/storage/bulk_rows.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/testing/nce_failpoints.h"
#include "tests/store/test_server.h"

namespace {

using nce::Value;

constexpr const char* kColumns =
    " (t text, vc varchar(40), b bytea, d date, tm time, ts timestamp, n numeric, "
    "f double precision, i8 bigint, i4 integer, i2 smallint, l boolean, rowid bigint)";
const std::vector<std::string> kNames = {"t", "vc", "b",  "d",  "tm", "ts",
                                         "n", "f",  "i8", "i4", "i2", "l"};

// Rows at the edges of every column's type, then many of random values.
std::vector<std::vector<Value>> EdgeRows() {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const double kInf = std::numeric_limits<double>::infinity();
  std::string all_bytes;
  for (int i = 0; i < 300000; ++i) all_bytes.push_back(static_cast<char>(i * 7 % 256));
  auto T = Value::Text;
  std::vector<std::vector<Value>> rows = {
      {T("Zürich café, ñ ø"), T(""), Value::Blob(all_bytes), T("0001-01-01"), T("00:00:00"),
       T("0001-01-01 00:00:00"), T("-123456789012345678901234567890.1234567890"), Value::Real(0.1),
       Value::Integer(-kMax), Value::Integer(-2147483647 - 1), Value::Integer(-32768),
       Value::Integer(1)},
      {T("tab\there\nnew\\back\r"), T("x"), Value::Blob(""), T("1899-12-31"), T("23:59:59.999"),
       T("1999-12-31 23:59:59.999"), T("-0.000"), Value::Real(-0.0), Value::Integer(kMax),
       Value::Integer(2147483647), Value::Integer(32767), Value::Integer(0)},
      std::vector<Value>(12, Value::Null()),
      std::vector<Value>(12, Value()),
      {Value::Integer(42), Value::Real(1e300), T("plain bytes"), T("9999-12-31"), T("24:00:00"),
       T("9999-12-31 23:59:59.999"), T("1e-05"), Value::Real(4.9e-324), Value::Real(2.0), T(" 17 "),
       T("-5"), T("true")},
      {Value::Real(0.30000000000000004), Value::Blob("\x01\xff"), Value::Integer(-3),
       T("2000-01-01"), T("12:30"), T("2000-01-01T12:30"), Value::Real(1e22), T("-1.5E+3"),
       Value::Integer(0), Value::Integer(0), Value::Integer(0), T("f")},
      {Value::Real(std::nan("")), Value::Real(-kInf), Value::Real(1.5), T("2024-02-29"),
       T("10:00:00.000001"), T("2024-02-29"), Value::Real(std::nan("")), Value::Real(kInf),
       Value::Integer(1), Value::Integer(1), Value::Integer(1), Value::Integer(0)},
      {T(""), T(""), T(""), T("1970-01-01"), T("00:00:00.5"), T("1970-01-01 00:00:00.001"),
       Value::Real(-kInf), T("NaN"), Value::Integer(-1), Value::Integer(-1), Value::Integer(-1),
       Value::Null()},
      {T("a"), T("b"), Value::Null(), Value::Null(), Value::Null(), Value::Null(), T("+.5"),
       T("-Infinity"), Value::Null(), Value::Null(), Value::Null(), Value::Null()},
      {T("a"), T("b"), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       T("000123.45000e2"), T("  2.5e-3 "), Value::Null(), Value::Null(), Value::Null(),
       Value::Null()},
  };
  // Decimals of every length, scale and alignment on the groups of four
  // digits, with and without exponents; reals of any bits; any day and
  // millisecond.
  std::mt19937_64 random(20240229);
  auto below = [&](uint64_t n) { return random() % n; };
  for (int i = 0; i < 3000; ++i) {
    std::string decimal = below(2) ? "-" : "";
    const uint64_t whole = below(25), fraction = below(25);
    for (uint64_t k = 0; k < whole; ++k) decimal.push_back(static_cast<char>('0' + below(10)));
    if (fraction || !whole) decimal += "." + std::string(fraction ? 0 : 1, '0');
    for (uint64_t k = 0; k < fraction; ++k) decimal.push_back(static_cast<char>('0' + below(10)));
    if (below(4) == 0) decimal += "e" + std::to_string(static_cast<int>(below(41)) - 20);
    double real;
    do {
      uint64_t bits = random();
      std::memcpy(&real, &bits, sizeof real);
    } while (std::isnan(real));
    const int64_t julian = nce::kFirstJulianDay +
                           static_cast<int64_t>(below(nce::kLastJulianDay - nce::kFirstJulianDay));
    const std::string day = nce::IsoDateText(nce::CivilFromJulian(julian));
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", static_cast<int>(below(24)),
                  static_cast<int>(below(60)), static_cast<int>(below(60)),
                  static_cast<int>(below(1000)));
    const int64_t whole_number = static_cast<int64_t>(random()) >> below(63);
    // An amount as the money fields keep it: up to 15 digits, 4 decimals.
    const double amount = static_cast<double>(whole_number % 1000000000000000) /
                          std::pow(10.0, static_cast<double>(below(5)));
    const Value numeric = below(3) == 0 ? T(decimal) : Value::Real(below(2) ? real : amount);
    rows.push_back({T(decimal), Value::Real(real), Value::Blob(decimal), T(day), T(time),
                    T(day + " " + time), numeric,
                    below(2) ? Value::Real(real) : Value::Integer(whole_number),
                    Value::Integer(whole_number), Value::Integer(whole_number >> 32),
                    Value::Integer(whole_number >> 48), Value::Integer(i % 2)});
  }
  return rows;
}

class ServerCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ =
        nce::PostgresSession::Connect(test_support::ServerUri(test_support::FreshDatabase()));
    session_->Execute(std::string("CREATE TABLE bin") + kColumns);
    session_->Execute(std::string("CREATE TABLE txt") + kColumns);
  }
  void TearDown() override { nce::testing::SetServerCopyAsText(false); }

  // Sends `rows` into `table` in one bulk insert, numbered from 1, in the
  // text format or the binary one; the refusal, if any.
  std::optional<nce::EngineError> Load(const std::string& table,
                                       const std::vector<std::vector<Value>>& rows, bool text) {
    nce::testing::SetServerCopyAsText(text);
    session_->Begin();
    try {
      auto insert = session_->BeginBulkInsert(table, kNames, 1, false);
      for (const auto& row : rows) insert->Add(row);
      insert->Finish();
      session_->Commit();
      return std::nullopt;
    } catch (const nce::EngineError& error) {
      session_->Rollback();
      return error;
    }
  }
  std::string One(const std::string& sql) {
    auto statement = session_->Prepare(sql);
    return statement->Step() ? statement->Column(0).bytes : "(no row)";
  }

  std::unique_ptr<nce::PostgresSession> session_;
};

TEST_F(ServerCopy, BinaryRowsReadBackAsTextRowsDo) {
  const std::vector<std::vector<Value>> rows = EdgeRows();
  for (bool text : {false, true})
    if (auto refusal = Load(text ? "txt" : "bin", rows, text)) FAIL() << refusal->text();
  EXPECT_EQ(One("SELECT count(*)::text FROM bin"), std::to_string(rows.size()));
  // Every row by the server's text of it: numerics with their scale,
  // timestamps to the microsecond, bytea in hex.
  auto differ = session_->Prepare(
      "SELECT rowid, left(x::text, 300), left(y::text, 300) FROM bin x FULL JOIN txt y USING "
      "(rowid) "
      "WHERE x::text IS DISTINCT FROM y::text ORDER BY 1 LIMIT 5");
  while (differ->Step())
    ADD_FAILURE() << "row " << differ->Column(0).integer << "\n binary: " << differ->Column(1).bytes
                  << "\n text:   " << differ->Column(2).bytes;
  // Spot checks that the comparison compares something.
  EXPECT_EQ(One("SELECT n::text FROM bin WHERE rowid = 2"), "0.000");
  EXPECT_EQ(One("SELECT ts::text FROM bin WHERE rowid = 2"), "1999-12-31 23:59:59.999");
  EXPECT_EQ(One("SELECT length(b)::text FROM bin WHERE rowid = 1"), "300000");
}

TEST_F(ServerCopy, AValueTheBinaryFormCannotCarryIsRefusedAndLeavesNothing) {
  // Once rows went in: a date the calendar lacks, a text holding a zero
  // byte, a real whose text "1e+15" is no bigint (each refused by the text
  // format too).
  std::vector<std::vector<Value>> rows(20000, std::vector<Value>(12, Value::Text("1")));
  for (auto& row : rows)
    for (int c : {1, 2, 3, 4, 5}) row[c] = Value::Null();
  for (const auto& [column, bad] :
       {std::pair{3, Value::Text("2023-02-29")}, std::pair{0, Value::Text(std::string("a\0b", 3))},
        std::pair{8, Value::Real(1e15)}}) {
    rows.back()[column] = bad;
    std::optional<nce::EngineError> refusal = Load("bin", rows, false);
    ASSERT_TRUE(refusal) << "taken: column " << column;
    EXPECT_EQ(refusal->number(), NDS_E_VALUE_INVALID) << refusal->text();
    rows.back()[column] = Value::Null();
    EXPECT_EQ(One("SELECT count(*)::text FROM bin"), "0");
  }
  EXPECT_FALSE(Load("bin", rows, false));  // the session goes on
  EXPECT_EQ(One("SELECT count(*)::text FROM bin"), "20000");
}

}  // namespace
