// The expression language: parsing with errors that name the place, the
// SQL it becomes (checked by running it in SQLite with the engine's
// functions), the exact setting, date and time texts, and CONTAINS.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "engine/base/errors.h"
#include "engine/expr/expr_functions.h"
#include "engine/expr/expr_sql.h"
#include "engine/expr/expr_tree.h"
#include "engine/expr/expr_values.h"
#include "engine/storage/sqlite_functions.h"
#include "nce/nce.h"

namespace nce_test {
namespace {

using nce::EngineError;

// Runs translated expressions over one row of a table in memory.
class Expressions : public ::testing::Test {
 protected:
  Expressions() {
    sqlite3_open(":memory:", &db_);
    nce::RegisterExpressionFunctions(db_);
    sqlite3_exec(
        db_,
        "CREATE TABLE t (name TEXT, ci TEXT COLLATE NOCASE, qty INTEGER, price REAL, due TEXT, "
        "flag INTEGER, memo TEXT);"
        "INSERT INTO t VALUES ('Smith', 'MiXed', 12, 2.5, '2024-02-29', 1, 'the quick brown fox');",
        nullptr, nullptr, nullptr);
    auto field = [](const char* name, uint16_t type, uint32_t length) {
      nce::FieldDesc f;
      f.name = name;
      f.shape.type = type;
      f.shape.length = length;
      return f;
    };
    fields_ = {field("name", NDS_STRING, 10), field("ci", NDS_CISTRING, 6),
               field("qty", NDS_INTEGER, 4),  field("price", NDS_DOUBLE, 8),
               field("due", NDS_DATE, 4),     field("flag", NDS_LOGICAL, 1),
               field("memo", NDS_MEMO, 9)};
  }
  ~Expressions() override { sqlite3_close(db_); }

  // The value of `text` on the row, as SQLite gives it back in text form.
  std::string Eval(const std::string& text, bool exact = false) {
    try {
      return EvalOrThrow(text, exact);
    } catch (const EngineError& error) {
      return "<refused: " + error.text() + ">";
    }
  }

  std::string EvalOrThrow(const std::string& text, bool exact = false) {
    nce::ExprContext context;
    context.fields = &fields_;
    context.exact = exact;
    nce::ExprPtr tree = nce::ParseExpression(text);
    nce::SqlExpr e = nce::TranslateExpression(*tree, context);
    sqlite3_stmt* stmt = nullptr;
    std::string sql = "SELECT " + e.sql + " FROM t";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
      return std::string("<sql error: ") + sqlite3_errmsg(db_) + " in " + sql + ">";
    std::string out = "<no row>";
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* v = sqlite3_column_text(stmt, 0);
      out = v ? reinterpret_cast<const char*>(v) : "<null>";
    }
    sqlite3_finalize(stmt);
    return out;
  }

  // The error text of a refused expression.
  std::string Refusal(const std::string& text) {
    try {
      EvalOrThrow(text);
    } catch (const EngineError& error) {
      EXPECT_EQ(error.number(), NDS_E_BAD_EXPRESSION);
      return error.text();
    }
    return "<accepted>";
  }

  sqlite3* db_ = nullptr;
  std::vector<nce::FieldDesc> fields_;
};

TEST_F(Expressions, OperatorsAndPrecedence) {
  EXPECT_EQ(Eval("1 + 2 * 3"), "7");
  EXPECT_EQ(Eval("(1 + 2) * 3"), "9");
  EXPECT_EQ(Eval("-2 ^ 2"), "-4.0");
  EXPECT_EQ(Eval("7 % 3 + 10 / 4"), "3.5");
  EXPECT_EQ(Eval("-7 % 3"), "2");
  EXPECT_EQ(Eval("qty > 10 .AND. price < 3 .OR. .F."), "1");
  EXPECT_EQ(Eval(".NOT. qty = 12"), "0");
  EXPECT_EQ(Eval("!(qty # 12) AND NOT flag = .F."), "1");
  EXPECT_EQ(Eval("name + '|'"), "Smith     |");  // fields keep their width in sums
  EXPECT_EQ(Eval("name - '|'"), "Smith|     ");
  EXPECT_EQ(Eval("'mit' $ name"), "1");
  EXPECT_EQ(Eval("t->qty = 12"), "1");
}

TEST_F(Expressions, StringEqualityFollowsTheExactSetting) {
  EXPECT_EQ(Eval("name = 'Smi'"), "1");
  EXPECT_EQ(Eval("name = 'Smi'", true), "0");
  EXPECT_EQ(Eval("name = 'Smith   '", true), "1");
  EXPECT_EQ(Eval("name = ''"), "1");
  EXPECT_EQ(Eval("name == 'Smi'"), "0");
  EXPECT_EQ(Eval("name <> 'Smi'"), "0");
  EXPECT_EQ(Eval("name < 'T' .AND. name >= 'Smith'"), "1");
  EXPECT_EQ(Eval("ci = 'mixed'", true), "1");  // case-insensitive strings
  EXPECT_EQ(Eval("UPPER(name) = UPPER('smith')", true), "1");
}

TEST_F(Expressions, FunctionsTheFiltersUse) {
  EXPECT_EQ(Eval("due = CTOD('02/29/2024')"), "1");
  EXPECT_EQ(Eval("due = CTOD('2/29/2024') .AND. due > CTOD('20240228')"), "1");
  EXPECT_EQ(Eval("EMPTY(CTOD('  /  /    '))"), "1");
  EXPECT_EQ(Eval("EMPTY(name) .OR. EMPTY(qty)"), "0");
  EXPECT_EQ(Eval("DTOS(due + 1)"), "20240301");
  EXPECT_EQ(Eval("DTOC(due)"), "02/29/2024");
  EXPECT_EQ(Eval("YEAR(due) * 100 + MONTH(due)"), "202402");
  EXPECT_EQ(Eval("due - CTOD('2024-01-01')"), "59.0");
  EXPECT_EQ(Eval("CTOT('1:05 PM') = CTOT('13:05:00')"), "1");
  EXPECT_EQ(Eval("CTOTS('2024-02-29 06:07:08.9') > CTOTS('2024-02-29')"), "1");
  EXPECT_EQ(Eval("'a' + CHR(34) + 'b'"), "a\"b");
  EXPECT_EQ(Eval("STR(price, 6, 2)"), "  2.50");
  EXPECT_EQ(Eval("STR(123456, 3)"), "***");
  EXPECT_EQ(Eval("VAL(' 12.5 ') + LEN(TRIM(name))"), "17.5");
  EXPECT_EQ(Eval("SUBSTR(name, 2, 3) + LEFT(name, 1) + RIGHT(ALLTRIM(name), 2)"), "mitSth");
  EXPECT_EQ(Eval("PADL('7', 3) + PADR('x', 2) + SPACE(1) + REPLICATE('ab', 2)"), "  7x  abab");
  EXPECT_EQ(Eval("AT('th', name)"), "4");
  EXPECT_EQ(Eval("IIF(qty > 5, 'big', 'small')"), "big");
  EXPECT_EQ(Eval("ROUND(price * 3, 0) + ABS(-1) + INT(2.9) + MAX(1, 4) + MIN(1, 4)"), "16.0");
  EXPECT_EQ(Eval("CONTAINS(memo, 'quick AND fox')"), "1");
  EXPECT_EQ(Eval("CONTAINS(memo, 'qui* AND NOT dog')"), "1");
  EXPECT_EQ(Eval("CONTAINS(memo, 'slow OR \"brown cat\"')"), "0");
  EXPECT_EQ(Eval("CONTAINS(memo, '*row*')"), "1");
  // A pattern nested past the matcher's depth matches nothing and returns
  // (it used to loop for ever on the token it could not take).
  EXPECT_EQ(Eval("CONTAINS(memo, '" + std::string(100, '(') + "quick')"), "0");
  EXPECT_EQ(Eval("CONTAINS(memo, 'quick OR " + std::string(80, '(') + "')"), "0");
}

TEST_F(Expressions, MistakesAreRefusedNamingThePlace) {
  EXPECT_NE(Refusal("qty = ").find("position 7"), std::string::npos);
  EXPECT_NE(Refusal("nosuch > 1").find("unknown field nosuch"), std::string::npos);
  EXPECT_NE(Refusal("qty > FOO(1)").find("unknown function FOO"), std::string::npos);
  EXPECT_NE(Refusal("name = 'open").find("not closed"), std::string::npos);
  EXPECT_NE(Refusal("name + qty").find("position 6"), std::string::npos);
  EXPECT_NE(Refusal("SUBSTR(name)").find("SUBSTR takes 2 to 3"), std::string::npos);
  EXPECT_NE(Refusal("CTOD('31/31/2024')").find("is not a date"), std::string::npos);
  EXPECT_NE(Refusal("qty > 1 .XOR. 2").find("unknown word"), std::string::npos);
  EXPECT_NE(Refusal("(qty > 1").find("')' expected"), std::string::npos);
  EXPECT_NE(Refusal("qty > 1 2").find("unexpected number"), std::string::npos);
  EXPECT_NE(Refusal("").find("empty"), std::string::npos);
  EXPECT_NE(Refusal(std::string(5000, '(') + "1").find("nested too deeply"), std::string::npos);
}

// A chain of operators is as long as its text, not as deep: an .OR./.AND.
// chain of a million terms becomes SQL SQLite takes, another chain does up
// to the height the walks over a tree allow, and beyond that it is refused
// before anything recurses over it.
TEST_F(Expressions, LongChainsBecomeSqlTheStoreTakesOrAreRefused) {
  std::string ors = "qty = 0", nots = "qty # 0", mixed = "qty = 0";
  for (int i = 1; i < 1000000; ++i) ors += " .OR. qty = " + std::to_string(i % 2 ? -i : i);
  for (int i = 1; i < 1000; ++i) nots += " .AND. qty # " + std::to_string(i + 12);
  for (int i = 1; i < 3000; ++i)
    mixed += (i % 2 ? " .OR. name = 'x" : " .OR. qty = ") + std::to_string(i) + (i % 2 ? "'" : "");
  EXPECT_EQ(Eval(ors), "1");
  EXPECT_EQ(Eval(nots + " .AND. qty # 12"), "0");
  EXPECT_EQ(Eval(mixed), "1");
  std::string difference = "qty", joined = "name";
  for (size_t i = 1; i < nce::kMaxExpressionHeight; ++i) difference += " - 1", joined += " + name";
  EXPECT_EQ(Eval(difference), std::to_string(12 - int{nce::kMaxExpressionHeight - 1}));
  EXPECT_EQ(Eval(joined).size(), 10 * nce::kMaxExpressionHeight);
  EXPECT_NE(Refusal(difference + " * 2 - 1").find("the expression is too long"), std::string::npos);
  std::string hashes = "qty";
  for (int i = 1; i < 10000; ++i) hashes += "#qty";
  EXPECT_NE(Refusal(hashes).find("the expression is too long"), std::string::npos);
  for (int i = 3000; i < 10002; ++i)
    mixed += " .OR. name = 'x" + std::to_string(i) + "' .OR. qty = 1";
  EXPECT_NE(Refusal(mixed).find("the expression is too long"), std::string::npos);
}

TEST(ExpressionTexts, CanonicalFormsAndKeySegments) {
  EXPECT_EQ(nce::CanonicalText(*nce::ParseExpression("upper( name )")),
            nce::CanonicalText(*nce::ParseExpression("UPPER(NAME)")));
  EXPECT_NE(nce::CanonicalText(*nce::ParseExpression("a+b")),
            nce::CanonicalText(*nce::ParseExpression("b+a")));
  // A chain reads as the two-operand steps it stands for.
  EXPECT_EQ(nce::CanonicalText(*nce::ParseExpression("a - b - (c - d) .OR. e .OR. f")),
            "((((A-B)-(C-D))ORE)ORF)");
  EXPECT_EQ(nce::SplitKeySegments("a; UPPER(b) ;'x;y'"),
            (std::vector<std::string>{"a", "UPPER(b)", "'x;y'"}));
  EXPECT_EQ(nce::StoredDate("  "), std::string());
  EXPECT_EQ(nce::StoredDate("02/30/2024"), std::nullopt);
  EXPECT_EQ(nce::StoredTime("12:00 AM"), std::string("00:00:00.000"));
  EXPECT_EQ(nce::StoredTime("25:00"), std::nullopt);
}

TEST(KeyBytes, SortLikeTheirValues) {
  auto number = [](double v) {
    std::string key;
    nce::KeyInput in;
    in.kind = nce::KeyInput::Kind::kNumber;
    in.number = v;
    nce::AppendKeyBytes(key, {'N', 0}, in);
    return key;
  };
  const double values[] = {-1e300, -2.5, -1, -0.0, 0, 1e-300, 1, 2.5, 1e300};
  for (size_t i = 0; i + 1 < std::size(values); ++i)
    EXPECT_LE(number(values[i]), number(values[i + 1])) << values[i] << " vs " << values[i + 1];
  EXPECT_EQ(number(-0.0), number(0));
  EXPECT_EQ(nce::PrefixSuccessor("ab"), "ac");
  EXPECT_EQ(nce::PrefixSuccessor(std::string("a\xFF", 2)), "b");
  EXPECT_EQ(nce::PrefixSuccessor("\xFF\xFF"), "");
}

}  // namespace
}  // namespace nce_test
