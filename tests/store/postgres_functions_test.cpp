// The engine's SQL functions on a PostgreSQL server answer as the engine's
// own on SQLite: the index key gives the same bytes for the values typed
// columns hold and for texts of any form, so that an index order walks and
// seeks the same on both stores; the date, time and number functions give
// the same values.
#include "engine/storage/postgres/postgres_functions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/base/dates.h"
#include "engine/base/values.h"
#include "engine/expr/expr_functions.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_sqlite_forms.h"
#include "engine/storage/sqlite_functions.h"
#include "engine/storage/sqlite_values.h"
#include "tests/store/test_server.h"

namespace {

using nce::KeyInput;
using nce::Value;

KeyInput Text(std::string text) {
  KeyInput input;
  input.kind = KeyInput::Kind::kText;
  input.text = std::move(text);
  return input;
}

KeyInput Number(double number) {
  KeyInput input;
  input.kind = KeyInput::Kind::kNumber;
  input.number = number;
  return input;
}

// The key the engine's own function gives for `inputs` under `shape`.
std::string EngineKey(const std::string& shape, const std::vector<KeyInput>& inputs) {
  std::vector<nce::KeySegmentSpec> segments = nce::ParseKeySpec(shape);
  std::string key;
  for (size_t i = 0; i < segments.size(); ++i) nce::AppendKeyBytes(key, segments[i], inputs[i]);
  return key;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

class ServerKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ =
        nce::PostgresSession::Connect(test_support::ServerUri(test_support::FreshDatabase()));
    session_->Execute(nce::PostgresFunctionsSql());
    session_->Execute(nce::PostgresSqliteFormsSql());
  }

  std::unique_ptr<nce::PostgresSession> session_;
  std::mt19937_64 random_{20261209};
};

TEST_F(ServerKeys, TypedValuesKeyAsTheEngineKeysThem) {
  // Each value reaches the server's key as the text its typed column gives.
  const std::string shape = "D;T;Z;N;L;S12;B6;N";
  auto key = session_->Prepare("SELECT nce_key('" + shape +
                               "', ?1::date::text, ?2::time(3)::text, ?3::timestamp(3)::text, "
                               "?4::float8::text, ?5::boolean::text, ?6, ?7::bytea::text, "
                               "?8::numeric::text)");
  const double specials[] = {0.0,    -0.0,    1.0,      -1.5,   0.1,      1e308,    -1e308,
                             5e-324, -5e-324, 2.5e-310, 1e-300, INFINITY, -INFINITY};
  const char* pieces[] = {"a", "Z", " ", "7", "\xC3\xA4", "\xE6\x97\xA5", "~", "-"};
  int mismatches = 0;
  for (int i = 0; i < 600; ++i) {
    std::vector<Value> values(8, Value::Null());
    std::vector<KeyInput> inputs(8);
    if (i % 20 != 19) {  // every twentieth record is all NULLs
      char text[64];
      std::string date = nce::IsoDateText(nce::CivilFromJulian(1721426 + random_() % 3652059));
      int ms = static_cast<int>(random_() % 86400000);
      std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                    ms / 1000 % 60, ms % 1000);
      std::string time = text, s, b;
      uint64_t bits = random_();
      double n;
      std::memcpy(&n, &bits, sizeof n);
      if (i % 3 == 0) n = specials[bits % (sizeof specials / sizeof specials[0])];
      if (!std::isfinite(n) && i % 3) n = static_cast<double>(bits % 2000001) - 1e6;
      bool logical = random_() % 2;
      for (size_t k = random_() % 16; k > 0; --k) s += pieces[random_() % 8];
      for (size_t k = random_() % 9; k > 0; --k) b += static_cast<char>(random_() % 256);
      std::snprintf(text, sizeof text, "%s%lld.%04d", random_() % 2 ? "-" : "",
                    static_cast<long long>(random_() % 922337203685477ull),
                    static_cast<int>(random_() % 10000));
      std::string money = text;
      values = {Value::Text(date),
                Value::Text(time),
                Value::Text(date + " " + time),
                Value::Real(n),
                Value::Text(logical ? "true" : "false"),
                Value::Text(s),
                Value::Blob(b),
                Value::Text(money)};
      inputs = {Text(date),
                Text(time),
                Text(date + " " + time),
                Number(n),
                Number(logical),
                Text(s),
                Text(b),
                Number(std::strtod(money.c_str(), nullptr))};
    }
    for (int c = 0; c < 8; ++c) key->Bind(c + 1, values[c]);
    ASSERT_TRUE(key->Step());
    std::string expected = EngineKey(shape, inputs), server = key->Column(0).bytes;
    key->Reset();
    if (server != expected && ++mismatches <= 5)
      ADD_FAILURE() << "date " << inputs[0].text << " time " << inputs[1].text << " number "
                    << inputs[3].number << "\n engine " << Hex(expected) << "\n server "
                    << Hex(server);
  }
  EXPECT_EQ(mismatches, 0);
}

// Texts near the forms the key function reads, and beside them: dates in
// each accepted form, impossible days, times with and without seconds,
// fractions and AM/PM, numbers with signs, exponents and junk after them.
std::string NearForm(std::mt19937_64& random) {
  static const char* forms[] = {"2024-02-29", "20230229",   "02/29/2000",    "0001-01-01",
                                "9999-12-31", " 2000-1-01", "12:30",         "7:05:09.5",
                                "12:00 am",   "12:59:59PM", "23:59:59.999 ", "24:00",
                                "1e400",      "-1e-400",    " +.5e3x",       "1.5e",
                                "-0",         "Infinity",   "-inf",          "nan",
                                "00012",      "1e+308",     "2.5e-310",      "true"};
  static const char alphabet[] = "0123456789 -/:.+eEaApPmMinfINFtTyY\t";
  std::string text = forms[random() % (sizeof forms / sizeof forms[0])];
  switch (random() % 4) {
    case 0:  // one character changed
      if (!text.empty()) text[random() % text.size()] = alphabet[random() % (sizeof alphabet - 1)];
      break;
    case 1:  // a timestamp of two forms
      text += random() % 2 ? " " : "T";
      text += forms[6 + random() % 6];
      break;
    case 2: {  // anything of the alphabet
      text.clear();
      for (size_t i = random() % 25; i > 0; --i) text += alphabet[random() % (sizeof alphabet - 1)];
      break;
    }
    default:
      break;
  }
  return text;
}

TEST_F(ServerKeys, TextsOfAnyFormKeyAsTheEngineKeysThem) {
  const std::string shape = "S8;N;D;T;Z;L";
  auto key = session_->Prepare("SELECT nce_key('" + shape + "', ?1, ?1, ?1, ?1, ?1, ?1)");
  int mismatches = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string text = NearForm(random_);
    key->Bind(1, Value::Text(text));
    ASSERT_TRUE(key->Step());
    std::string server = key->Column(0).bytes;
    key->Reset();
    std::string expected = EngineKey(shape, std::vector<KeyInput>(6, Text(text)));
    if (server != expected && ++mismatches <= 5)
      ADD_FAILURE() << "text '" << text << "'\n engine " << Hex(expected) << "\n server "
                    << Hex(server);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(ServerKeys, AShapeAndValuesThatDoNotMatchAreRefused) {
  auto key = session_->Prepare("SELECT nce_key('S4;N', 'a')");
  try {
    key->Step();
    ADD_FAILURE() << "a key of two segments over one value was made";
  } catch (const nce::EngineError& error) {
    EXPECT_NE(error.text().find("the key shape and the values do not match"), std::string::npos)
        << error.text();
  }
}

// The first row of `sql` run on the engine's SQLite functions with `args`.
std::vector<Value> OnSqlite(sqlite3* db, const std::string& sql, const std::vector<Value>& args) {
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
  for (size_t i = 0; i < args.size(); ++i) nce::BindValue(stmt, static_cast<int>(i + 1), args[i]);
  std::vector<Value> row;
  if (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL:
          row.push_back(Value::Null());
          break;
        case SQLITE_INTEGER:  // a whole remainder: compared as the double it is
          row.push_back(Value::Real(static_cast<double>(sqlite3_column_int64(stmt, c))));
          break;
        case SQLITE_FLOAT:
          row.push_back(Value::Real(sqlite3_column_double(stmt, c)));
          break;
        default:
          row.push_back(Value::Text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
      }
    }
  }
  sqlite3_finalize(stmt);
  return row;
}

std::string Show(const Value& v) {
  if (v.kind == Value::Kind::kNull) return "NULL";
  if (v.kind == Value::Kind::kReal) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v.real);
    return text;
  }
  return "'" + v.bytes + "'";
}

bool Same(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == Value::Kind::kReal)
    return a.real == b.real || (a.real != a.real && b.real != b.real);
  return a.bytes == b.bytes;
}

class ServerFunctions : public ServerKeys {
 protected:
  void SetUp() override {
    ServerKeys::SetUp();
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    nce::RegisterExpressionFunctions(db_);
  }
  void TearDown() override { sqlite3_close(db_); }

  // Runs `engine_sql` on SQLite and `server_sql` on the server for each
  // argument list and counts the rows that differ, showing the first few.
  int Differences(const std::string& engine_sql, const std::string& server_sql,
                  const std::vector<std::vector<Value>>& cases) {
    auto server = session_->Prepare(server_sql);
    int differences = 0;
    for (const std::vector<Value>& args : cases) {
      std::vector<Value> expected = OnSqlite(db_, engine_sql, args), got;
      for (size_t i = 0; i < args.size(); ++i) server->Bind(static_cast<int>(i + 1), args[i]);
      try {
        EXPECT_TRUE(server->Step());
        for (int c = 0; c < server->ColumnCount(); ++c) {
          Value v = server->Column(c);
          got.push_back(
              v.kind == Value::Kind::kInteger ? Value::Real(static_cast<double>(v.integer)) : v);
        }
      } catch (const nce::EngineError& error) {
        got.push_back(Value::Text("refused: " + error.text()));
      }
      server->Reset();
      bool same = expected.size() == got.size();
      for (size_t c = 0; same && c < got.size(); ++c) same = Same(expected[c], got[c]);
      if (!same && ++differences <= 5) {
        std::string text = "arguments";
        for (const Value& a : args) text += " " + Show(a);
        text += "\n engine";
        for (const Value& v : expected) text += " " + Show(v);
        text += "\n server";
        for (const Value& v : got) text += " " + Show(v);
        ADD_FAILURE() << text;
      }
    }
    return differences;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(ServerFunctions, TextsBecomeTheSameDatesTimesAndTimestamps) {
  std::vector<std::vector<Value>> cases;
  for (int i = 0; i < 2000; ++i) cases.push_back({Value::Text(NearForm(random_))});
  for (const char* text : {" 1/2/5 ", "12/31/9999", "1/1/0", " / / ", "", "2000-01-01T",
                           "2000-01-01 ", "2000-01-01  7:05 pm", "20000101T1:2:3.4"})
    cases.push_back({Value::Text(text)});
  // The server's dates, times and timestamps read back in the engine's form.
  EXPECT_EQ(Differences("SELECT nce_ctod(?1), nce_ctot(?1), nce_ctots(?1)",
                        "SELECT nce_ctod(?1), nce_ctot(?1), nce_ctots(?1)", cases),
            0);
}

TEST_F(ServerFunctions, RemaindersAndPowersAreTheEnginesToTheLastBit) {
  const double specials[] = {0.0,    -0.0,   1.0,   -1.0,   2.0,      -2.0,
                             0.5,    -0.5,   3.0,   0.1,    1e300,    -1e300,
                             5e-324, 1e-300, 700.0, -700.0, INFINITY, -INFINITY};
  auto pick = [&] {
    switch (random_() % 3) {
      case 0:
        return specials[random_() % (sizeof specials / sizeof specials[0])];
      case 1:
        return static_cast<double>(static_cast<int64_t>(random_() % 2001) - 1000) / 8;
      default: {
        uint64_t bits = random_();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return std::isfinite(d) ? d : 1.5;
      }
    }
  };
  std::vector<std::vector<Value>> cases;
  for (int i = 0; i < 2000; ++i) cases.push_back({Value::Real(pick()), Value::Real(pick())});
  EXPECT_EQ(Differences("SELECT nce_mod(?1, ?2), nce_pow(?1, ?2)",
                        "SELECT nce_mod(?1, ?2), nce_pow(?1, ?2)", cases),
            0);
}

TEST_F(ServerFunctions, ContainsMatchesTheWordsThePatternAsksFor) {
  const char* words[] = {"fox",
                         "Fox",
                         "quick",
                         "qu",
                         "ick",
                         "brown",
                         "\xC3\x9C"
                         "ber",
                         "stra\xC3\x9F"
                         "e",
                         "a1",
                         "b"};
  const char* joints[] = {" ", ", ", "-", "  ", "."};
  const char* operators[] = {"AND",   "OR", "NOT",  "and", "not", "(", ")", "*", "\"quick brown\"",
                             "'fox'", "\"", "*ick", "qu*", "*ui*"};
  auto word = [&] { return std::string(words[random_() % 10]); };
  std::vector<std::vector<Value>> cases;
  for (int i = 0; i < 1500; ++i) {
    std::string text, pattern;
    for (size_t n = random_() % 7; n > 0; --n) text += word() + joints[random_() % 5];
    for (size_t n = 1 + random_() % 8; n > 0; --n)
      pattern += (random_() % 2 ? word() : std::string(operators[random_() % 14])) +
                 (random_() % 4 ? " " : "");
    cases.push_back({Value::Text(text), Value::Text(pattern)});
  }
  for (size_t depth = 60; depth <= 68; ++depth)  // around the deepest nesting that matches
    cases.push_back({Value::Text("fox"), Value::Text(std::string(depth, '(') + "fox")});
  cases.push_back({Value::Null(), Value::Text("fox")});
  EXPECT_EQ(
      Differences("SELECT nce_contains(?1, ?2)", "SELECT nce_contains(?1, ?2)::integer", cases), 0);
}

// Numbers below 1e9 with up to four decimals, so that at most 13
// significant digits show, where the server's printf reads as SQLite's.
TEST_F(ServerFunctions, NumbersAndTextsAreWrittenAsSqlitesPrintfWritesThem) {
  const double specials[] = {0.0,
                             -0.0,
                             2.675,
                             1.005,
                             -0.4,
                             0.5,
                             2.5,
                             -2.5,
                             0.045,
                             99.995,
                             0.49999999999999994,
                             123456789.125,
                             5e-324,
                             -1e-300};
  std::vector<std::vector<Value>> numbers;
  for (int i = 0; i < 3000; ++i) {
    double x;
    switch (random_() % 4) {
      case 0:
        x = specials[random_() % (sizeof specials / sizeof specials[0])];
        break;
      case 1:
        x = static_cast<double>(static_cast<int64_t>(random_() % 2000001) - 1000000) / 8;
        break;
      case 2: {
        uint64_t bits = random_();
        std::memcpy(&x, &bits, sizeof x);
        if (!(std::fabs(x) < 1e9)) x = std::ldexp(static_cast<double>(bits >> 11), -40);
        break;
      }
      default:
        x = static_cast<double>(static_cast<int64_t>(random_() % 2000000001) - 1000000000) /
            std::pow(10.0, static_cast<double>(random_() % 6));
    }
    numbers.push_back({Value::Real(x), Value::Integer(static_cast<int64_t>(random_() % 5))});
  }
  EXPECT_EQ(Differences("SELECT printf('%.' || ?2 || 'f', ?1), round(?1, ?2), round(?1, 0)",
                        "SELECT nce_printf_f(?1, ?2::integer), nce_round(?1, ?2::integer), "
                        "nce_round(?1, 0)",
                        numbers),
            0);

  const char* texts[] = {"",
                         "a",
                         "abc def",
                         "\u00e9clair",
                         "\xCE\xA9\xCE\xA9\xCE\xA9x",
                         "  lead",
                         "\xE4\xB8\xAD\xE6\x96\x87"};
  std::vector<std::vector<Value>> pieces;
  for (const char* text : texts)
    for (int start = -9; start <= 9; ++start)
      pieces.push_back({Value::Text(text), Value::Integer(start),
                        Value::Integer(static_cast<int64_t>(random_() % 6))});
  EXPECT_EQ(Differences("SELECT substr(?1, ?2, ?3), substr(?1, ?2), printf('%-6s', ?1), "
                        "printf('%6s', ?1)",
                        "SELECT nce_substr(?1, ?2::integer, ?3::integer), nce_substr(?1, "
                        "?2::integer), nce_padr(?1, 6), nce_padl(?1, 6)",
                        pieces),
            0);
}

}  // namespace
