// The text form of stored descriptions, apart from classes and properties.
#include "dataset/description_text.h"

#include <gtest/gtest.h>

#include "dataset/exceptions.h"

namespace dataset_test {

using namespace dataset;

namespace {

const char kWindow[] = R"(object Form1: TForm1
  Left = 142
  Caption = 'Volantra Archive Repair Utility'
  Font.Height = -11
  Scale = 1.5E20
  Options = [stNDS_REMOTE, stNDS_LOCAL]
  object NdsQuery1: TNdsQuery [2]
    NdsConnection = NdsConnection1
    SQL.Strings = (
      'delete from acftcomp where Rec_No in (select Rec_No from a_acftcomp);'
      '')
    Data = {
      0001FEFF}
    ParamData = <
      item
        DataType = ftInteger
        Name = 'a'
      end>
  end
end
)";

TEST(DescriptionText, ParsesTheWindowForm) {
  TDescObject form = ParseDescription(kWindow);
  EXPECT_EQ(form.name, "Form1");
  EXPECT_EQ(form.class_name, "TForm1");
  ASSERT_EQ(form.properties.size(), 5u);
  EXPECT_EQ(form.properties[0].value.integer, 142);
  EXPECT_EQ(form.properties[2].name, "Font.Height");
  EXPECT_EQ(form.properties[2].value.integer, -11);
  EXPECT_EQ(form.properties[3].value.kind, dvFloat);
  EXPECT_EQ(form.properties[4].value.members,
            (std::vector<std::string>{"stNDS_REMOTE", "stNDS_LOCAL"}));
  ASSERT_EQ(form.children.size(), 1u);
  const TDescObject& q = form.children[0];
  EXPECT_EQ(q.line, 7);
  EXPECT_EQ(q.index, 2);
  EXPECT_EQ(q.properties[0].value.kind, dvIdent);
  EXPECT_EQ(q.properties[1].value.elements.size(), 2u);
  EXPECT_EQ(q.properties[1].value.elements[1].text, "");
  EXPECT_EQ(q.properties[2].value.text, std::string("\x00\x01\xFE\xFF", 4));
  EXPECT_EQ(q.properties[3].value.items.size(), 1u);
  EXPECT_EQ(q.properties[3].line, 14);
}

TEST(DescriptionText, PrintReadsBackAsTheSameTree) {
  std::string printed = PrintDescription(ParseDescription(kWindow));
  EXPECT_EQ(PrintDescription(ParseDescription(printed)), printed);
  EXPECT_NE(printed.find("    SQL.Strings = (\n      'delete"), std::string::npos);
  EXPECT_NE(printed.find("      '')\n"), std::string::npos);
  EXPECT_NE(printed.find("    ParamData = <\n      item\n        DataType = ftInteger\n"),
            std::string::npos);
  EXPECT_NE(printed.find("      end>\n"), std::string::npos);
  EXPECT_NE(printed.find("    Data = {\n      0001FEFF}\n"), std::string::npos);
}

TEST(DescriptionText, StringsJoinPartsCodesAndContinuations) {
  TDescObject o =
      ParseDescription("object A: T\n  S = 'a'#9'b'#$41 +\n\n   'c'''\n  U = #13#10\nend");
  EXPECT_EQ(o.properties[0].value.text, "a\tbAc'");
  EXPECT_EQ(o.properties[1].value.text, "\r\n");
  EXPECT_EQ(o.properties[1].line, 5);
}

TEST(DescriptionText, KeywordsIgnoreCaseAndNamesAreOptional) {
  TDescObject o = ParseDescription("OBJECT TThing\n  INLINE X: TY\n  END\nEnd");
  EXPECT_EQ(o.name, "");
  EXPECT_EQ(o.class_name, "TThing");
  EXPECT_EQ(o.children[0].kind, dkInline);
}

TEST(DescriptionText, DeepNestingIsRefusedNotOverflowed) {
  std::string text = "object A: T\n  L = ";
  for (int i = 0; i < 100000; ++i) text += "(";
  EXPECT_THROW(ParseDescription(text), EReadError);
  std::string objects;
  for (int i = 0; i < 5000; ++i) objects += "object A: T\n";
  EXPECT_THROW(ParseDescription(objects), EReadError);
}

TEST(DescriptionText, NumbersAreChecked) {
  EXPECT_EQ(ParseDescription("object A: T\n X = $FF\nend").properties[0].value.integer, 255);
  EXPECT_EQ(ParseDescription("object A: T\n X = -$10\nend").properties[0].value.integer, -16);
  EXPECT_EQ(ParseDescription("object A: T\n X = 1.25c\nend").properties[0].value.real, 1.25);
  for (const char* bad : {"12abc", "1.5.2", "$", "1e999", "--1", "$12345678901234567"}) {
    EXPECT_THROW(ParseDescription(std::string("object A: T\n X = ") + bad + "\nend"), EReadError)
        << bad;
  }
}

}  // namespace
}  // namespace dataset_test
