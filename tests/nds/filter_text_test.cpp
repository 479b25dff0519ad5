// Filter texts as the engine gets them: prefix literals, CONTAINS arguments,
// quotes and brackets; search terms with quotes, dates and decimals; and the
// matching of search fields against index fields.
#include <gtest/gtest.h>

#include <string>

#include "nds/nce.h"
#include "nds/ndsdata_filter_text.h"

namespace {

std::string Stripped(const std::string& text, bool& exact) {
  return nds::StripPrefixAsterisks(text, exact);
}

TEST(FilterText, PrefixLiteralsLoseTheirAsteriskOutsideContains) {
  bool exact = false;
  EXPECT_EQ(Stripped("name = 'Bo*'", exact), "name = 'Bo'");
  EXPECT_FALSE(exact);
  // Only the last asterisk goes; a literal of asterisks alone stays whole.
  EXPECT_EQ(Stripped("name = \"a**\" .AND. code = '*'", exact), "name = \"a*\" .AND. code = '*'");
  EXPECT_FALSE(exact);
  EXPECT_EQ(Stripped("code = '*'", exact), "code = '*'");
  EXPECT_TRUE(exact);
  // The other quote inside a literal is plain text.
  EXPECT_EQ(Stripped("note = \"it's*\"", exact), "note = \"it's\"");
  EXPECT_FALSE(exact);
  // CONTAINS keeps its argument, even with brackets and quoted parentheses.
  EXPECT_EQ(Stripped("contains([no)te], 'fu* (x*)') .and. code = 'b*'", exact),
            "contains([no)te], 'fu* (x*)') .and. code = 'b'");
  EXPECT_EQ(Stripped("CONTAINS (note, '(z*')", exact), "CONTAINS (note, '(z*')");
  EXPECT_TRUE(exact);
  // An unclosed CONTAINS call: the walk goes on inside it.
  EXPECT_EQ(Stripped("CONTAINS(note, 'ab*'", exact), "CONTAINS(note, 'ab'");
  EXPECT_FALSE(exact);
}

TEST(FilterText, TermsQuoteStringsAndWriteDatesAndDecimals) {
  EXPECT_EQ(nds::FilterTerm("NOTE", NDS_STRING, false, "say \"hi\"", false),
            "(NOTE=\"say \"+ Chr(34) + \"hi\"+ Chr(34) + \"\")");
  EXPECT_EQ(nds::FilterTerm("CITY", NDS_CISTRING, false, "Oslo", true),
            "(UPPER(CITY)=UPPER(\"Oslo\"))");
  EXPECT_EQ(nds::FilterTerm("DUE", NDS_DATE, false, "2024-03-01", false),
            "(DUE=ctod(\"2024-03-01\"))");
  EXPECT_EQ(nds::FilterTerm("AT", NDS_TIMESTAMP, false, "x", false), "(AT=ctots(\"x\"))");
  EXPECT_EQ(nds::FilterTerm("FARE", NDS_NUMERIC, false, "12,5", false), "(FARE=12.5)");
  EXPECT_EQ(nds::FilterTerm("OK", NDS_LOGICAL, false, "T", false), "(OK=.TRUE.)");
  EXPECT_EQ(nds::FilterTerm("QTY", NDS_INTEGER, true, "", false), "(empty(QTY))");
}

TEST(FilterText, SearchFieldsMustBeTheLeadingSegmentsInAnyOrder) {
  std::string last;
  EXPECT_TRUE(nds::IndexPrefixMatch("CITY;CODE;ID", "code; city", last));
  EXPECT_EQ(last, "CODE");
  EXPECT_FALSE(nds::IndexPrefixMatch("CITY;CODE;ID", "city;id", last));
  EXPECT_FALSE(nds::IndexPrefixMatch("CITY;CODE", "code;fare", last));
  EXPECT_FALSE(nds::IndexPrefixMatch("CITYX;CODE", "city", last));
  EXPECT_EQ(nds::ListPosition("Code", "CITY;CODE"), 2);
  EXPECT_EQ(nds::ListElement(3, "CITY;CODE"), "");
}

}  // namespace
