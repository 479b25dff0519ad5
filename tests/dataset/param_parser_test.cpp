// The SQL parameter parser: every rule of the parameter syntax.
#include "dataset/param_parser.h"

#include <gtest/gtest.h>

#include "dataset/params.h"

namespace dataset_test {

using namespace dataset;

namespace {

std::vector<std::string> Names(const std::string& sql) {
  std::vector<std::string> names;
  ParseSQLParams(sql, &names);
  return names;
}

using V = std::vector<std::string>;

TEST(ParamParser, ColonAndNameMakeAParameter) {
  EXPECT_EQ(Names("select * from t where a = :a"), V{"a"});
  EXPECT_EQ(Names("select * from t"), V{});
  EXPECT_EQ(Names(""), V{});
  EXPECT_EQ(ParseSQLParams("where a = :a and b = :bee", nullptr), "where a = ? and b = ?");
}

TEST(ParamParser, EveryOccurrenceIsItsOwnParameter) {
  EXPECT_EQ(Names("where x = :a or y = :a"), (V{"a", "a"}));
  EXPECT_EQ(Names(":b :a :b"), (V{"b", "a", "b"}));
}

TEST(ParamParser, TwoColonsAreNotAParameter) {
  EXPECT_EQ(Names("select x::int from t"), V{});
  EXPECT_EQ(ParseSQLParams("select x::int from t", nullptr), "select x:int from t");
  // A third colon starts a parameter after the pair.
  EXPECT_EQ(Names("a:::b"), V{"b"});
  EXPECT_EQ(ParseSQLParams("a:::b", nullptr), "a:?");
  EXPECT_EQ(Names("::::"), V{});
}

TEST(ParamParser, QuotedTextHidesParameters) {
  EXPECT_EQ(Names("where a = ':a'"), V{});
  EXPECT_EQ(Names("where a = \":a\""), V{});
  EXPECT_EQ(Names("where a = `:a`"), V{});
  EXPECT_EQ(Names("where t = '12:30' and b = :b"), V{"b"});
  EXPECT_EQ(ParseSQLParams("'x:y' :p", nullptr), "'x:y' ?");
}

TEST(ParamParser, AnyQuoteCharacterTogglesTheQuotedState) {
  // The apostrophe opens, the double quote closes: :b is outside quotes.
  EXPECT_EQ(Names("'abc\" :b"), V{"b"});
  // An unclosed quote hides everything after it.
  EXPECT_EQ(Names("where a = 'it :a"), V{});
  // A doubled apostrophe toggles twice and changes nothing.
  EXPECT_EQ(Names("'it''s' :a"), V{"a"});
}

TEST(ParamParser, NameEndsAtSpaceLineBreakCommaSemicolonOrParenthesis) {
  EXPECT_EQ(Names(":a b"), V{"a"});
  EXPECT_EQ(Names(":a\rb"), V{"a"});
  EXPECT_EQ(Names(":a\nb"), V{"a"});
  EXPECT_EQ(Names(":a\r\n:b"), (V{"a", "b"}));
  EXPECT_EQ(Names("insert into t values (:a,:b)"), (V{"a", "b"}));
  EXPECT_EQ(Names(":a;:b"), (V{"a", "b"}));
  EXPECT_EQ(Names("(:a)"), V{"a"});
}

TEST(ParamParser, OtherCharactersBelongToTheName) {
  EXPECT_EQ(Names(":a\tb"), V{"a\tb"});  // a tab does not end a name
  EXPECT_EQ(Names("where a=:p+1"), V{"p+1"});
  EXPECT_EQ(Names("where a in (:x(y))"), V{"x(y"});
  EXPECT_EQ(Names(":a.b:c"), V{"a.b:c"});
}

TEST(ParamParser, QuotedNameLosesItsQuotes) {
  EXPECT_EQ(Names("where a = :\"my param\" and b = 1"), V{"my param"});
  EXPECT_EQ(Names(":'x y',:`z`"), (V{"x y", "z"}));
  EXPECT_EQ(ParseSQLParams(":\"my param\" x", nullptr), "? x");
  // Only the first and last characters are stripped.
  EXPECT_EQ(Names(":\"a\"b c"), V{"a\"b"});
  // Quotes later in a name stay and still toggle the quoted state.
  EXPECT_EQ(Names(":a'b c' d"), V{"a'b c'"});
}

TEST(ParamParser, ColonAtTheEndOrBeforeADelimiterGivesAnEmptyName) {
  EXPECT_EQ(Names("select :"), V{""});
  EXPECT_EQ(Names(": a"), V{""});
}

TEST(ParamParser, UnterminatedQuotedNameRunsToTheEnd) {
  EXPECT_EQ(Names(":\"open name, with :x"), V{"open name, with :x"});
}

TEST(ParamParser, ZeroByteEndsTheText) {
  std::string sql = std::string(":a ") + '\0' + " :b";
  EXPECT_EQ(Names(sql), V{"a"});
  EXPECT_EQ(ParseSQLParams(sql, nullptr), std::string("? ") + '\0' + " :b");
}

TEST(ParamParser, ParamsParseSQLFillsTheListInOrder) {
  TParams params;
  params.CreateParam(ftInteger, "old", ptInput);
  std::string text = params.ParseSQL("update t set a = :a where k = :\"key\" or j = :a", true);
  EXPECT_EQ(text, "update t set a = ? where k = ? or j = ?");
  ASSERT_EQ(params.Count(), 3);
  EXPECT_EQ(params[0]->Name(), "a");
  EXPECT_EQ(params[1]->Name(), "key");
  EXPECT_EQ(params[2]->Name(), "a");
  EXPECT_EQ(params[0]->DataType(), ftUnknown);
  // Without do_create the list stays as it was.
  params.ParseSQL(":x", false);
  EXPECT_EQ(params.Count(), 3);
}

}  // namespace
}  // namespace dataset_test
