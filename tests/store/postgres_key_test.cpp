// The index key function on a PostgreSQL server gives the bytes of the
// engine's own: for the values that typed columns hold, cast to text as the
// engine passes them, and for texts of any form, so that an index order
// walks and seeks the same on both stores.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/base/dates.h"
#include "engine/expr/expr_functions.h"
#include "engine/storage/postgres/postgres_key_functions.h"
#include "engine/storage/postgres/postgres_session.h"
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
  std::vector<nce::KeySegmentSpec> specs = nce::ParseKeySpec(shape);
  std::string key;
  for (size_t i = 0; i < specs.size(); ++i) nce::AppendKeyBytes(key, specs[i], inputs[i]);
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
    session_->Execute(nce::PostgresKeyFunctionsSql());
  }

  std::unique_ptr<nce::PostgresSession> session_;
  std::mt19937_64 random_{20261209};
};

// One record as both stores hold it: the server's column values, bound as
// the engine would send them, and the engine's key inputs for the same
// values as SQLite hands them to its function.
struct Record {
  std::vector<Value> columns;
  std::vector<KeyInput> inputs;
};

TEST_F(ServerKeys, TypedColumnsKeyAsTheEngineKeysTheirValues) {
  const std::string shape = "D;T;Z;N;L;S12;B6;N";
  session_->Execute(
      "CREATE TABLE k (id integer, d date, t time(3), z timestamp(3), n double precision, "
      "l boolean, s text, b bytea, m numeric)");
  const int64_t first_day = 1721426, last_day = 5373484;  // 0001-01-01, 9999-12-31
  const double specials[] = {0.0,    -0.0,    1.0,      -1.5,   0.1,      1e308,    -1e308,
                             5e-324, -5e-324, 2.5e-310, 1e-300, INFINITY, -INFINITY};
  const char* pieces[] = {"a", "Z", " ", "7", "\xC3\xA4", "\xE6\x97\xA5", "~", "-"};
  std::vector<Record> records;
  for (int id = 0; id < 600; ++id) {
    Record r;
    if (id % 20 == 19) {  // a record of NULLs
      r.columns.assign(8, Value::Null());
      r.inputs.assign(8, KeyInput());
      records.push_back(r);
      continue;
    }
    char text[64];
    nce::CivilDate day = nce::CivilFromJulian(first_day + random_() % (last_day - first_day + 1));
    std::string date = nce::IsoDateText(day);
    int64_t ms = static_cast<int64_t>(random_() % 86400000);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    std::string time = text;
    double n = 0;
    if (id % 3 == 0) {
      n = specials[random_() % (sizeof specials / sizeof specials[0])];
    } else {
      uint64_t bits = random_();
      std::memcpy(&n, &bits, sizeof n);
      if (!std::isfinite(n))
        n = static_cast<double>(static_cast<int64_t>(bits % 2000001) - 1000000);
    }
    bool logical = random_() % 2;
    std::string s;
    for (size_t i = random_() % 16; i > 0; --i) s += pieces[random_() % 8];
    std::string b;
    for (size_t i = random_() % 9; i > 0; --i) b += static_cast<char>(random_() % 256);
    std::snprintf(text, sizeof text, "%s%lld.%04d", random_() % 2 ? "-" : "",
                  static_cast<long long>(random_() % 922337203685477ull),
                  static_cast<int>(random_() % 10000));
    std::string money = text;
    r.columns = {Value::Text(date),
                 Value::Text(time),
                 Value::Text(date + " " + time),
                 Value::Real(n),
                 Value::Text(logical ? "true" : "false"),
                 Value::Text(s),
                 Value::Blob(b),
                 Value::Text(money)};
    r.inputs = {Text(date),
                Text(time),
                Text(date + " " + time),
                Number(n),
                Number(logical),
                Text(s),
                Text(b),
                Number(std::strtod(money.c_str(), nullptr))};
    records.push_back(r);
  }
  auto insert = session_->Prepare(
      "INSERT INTO k (id, d, t, z, n, l, s, b, m) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  for (size_t id = 0; id < records.size(); ++id) {
    insert->Bind(1, Value::Integer(static_cast<int64_t>(id)));
    for (int c = 0; c < 8; ++c) insert->Bind(c + 2, records[id].columns[c]);
    ASSERT_FALSE(insert->Step());
    insert->Reset();
  }
  auto keys = session_->Prepare(
      "SELECT nce_key('" + shape +
      "', d::text, t::text, z::text, n::text, l::text, s, b::text, m::text) FROM k ORDER BY id");
  int mismatches = 0;
  for (const Record& r : records) {
    ASSERT_TRUE(keys->Step());
    std::string expected = EngineKey(shape, r.inputs), server = keys->Column(0).bytes;
    if (server != expected && ++mismatches <= 5)
      ADD_FAILURE() << "date " << (r.inputs[0].text) << " time " << r.inputs[1].text << " number "
                    << r.inputs[3].number << "\n engine " << Hex(expected) << "\n server "
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

}  // namespace
