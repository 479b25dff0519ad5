// Texts of the OEM character type on both stores: what an OEM cursor takes
// in code page 437 is stored as UTF-8 and reads back exactly through an OEM
// cursor, an ANSI cursor and SQL; a stored character the code page lacks
// survives a record read and written back through an OEM cursor.
#include <string>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

class OemText : public StoreCursorTest {
 protected:
  NDSHANDLE OpenOem(const std::string& table) {
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsOpenTable(conn_, table.c_str(), 0, NDS_OEM, 0, &cursor), 0u) << LastErrorText();
    open_.push_back(cursor);
    return cursor;
  }
  // The bytes of string field `field` in the current record image.
  std::string ImageText(NDSHANDLE cursor, const char* field) {
    char record[1024];
    uint32_t length = sizeof record, offset = 0, width = 0;
    EXPECT_EQ(NdsGetRecord(cursor, record, &length), 0u) << LastErrorText();
    EXPECT_EQ(NdsGetFieldOffset(cursor, field, &offset), 0u);
    EXPECT_EQ(NdsGetFieldLength(cursor, field, &width), 0u);
    std::string text(record + offset, width);
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  void Append(NDSHANDLE cursor, int id, const std::string& oem) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(cursor, "id", id), 0u);
    ASSERT_EQ(NdsSetField(cursor, "name", oem.data(), static_cast<uint32_t>(oem.size())), 0u)
        << LastErrorText();
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  }
};
INSTANTIATE_TEST_SUITE_P(Stores, OemText, BothStores(), StoreKindName);

TEST_P(OemText, AccentedTextWrittenInCodePage437ReadsBackExactlyThroughEveryPath) {
  Exec("CREATE TABLE names (id INTEGER, name CHAR(200))");
  NDSHANDLE oem = OpenOem("names");
  Append(oem, 1, "M\x81ller");       // Müller
  Append(oem, 2, "\x8Fngstr\x94m");  // Ångström
  const std::string facade = std::string("fa") + '\x87' + "ade";
  Append(oem, 3, facade);
  Append(oem, 4, "\xC9\xCD\xBB \xE0\xE1");  // ╔═╗ αß
  // Every byte of the code page above ASCII, in two records.
  std::string high[2];
  for (int b = 0x80; b < 0x100; ++b) high[b >= 0xC0] += static_cast<char>(b);
  Append(oem, 5, high[0]);
  Append(oem, 6, high[1]);
  Close(oem);

  EXPECT_EQ(store_.Read("SELECT name FROM names WHERE id <= 4 ORDER BY id"),
            "M\u00fcller\n\u00c5ngstr\u00f6m\nfa\u00e7ade\n\u2554\u2550\u2557 \u03b1\u00df\n");
  NDSHANDLE ansi = OpenTable("names");
  ASSERT_EQ(NdsGotoTop(ansi), 0u);
  EXPECT_EQ(Text(ansi, "name"), "M\u00fcller");
  EXPECT_EQ(ImageText(ansi, "name"), "M\u00fcller");

  oem = OpenOem("names");
  ASSERT_EQ(NdsGotoTop(oem), 0u);
  for (const std::string& expected :
       {std::string("M\x81ller"), std::string("\x8Fngstr\x94m"), facade,
        std::string("\xC9\xCD\xBB \xE0\xE1"), high[0], high[1]}) {
    EXPECT_EQ(ImageText(oem, "name"), expected);
    EXPECT_EQ(Text(oem, "name"), expected);
    ASSERT_EQ(NdsSkip(oem, 1), 0u);
  }
}

// A record whose text holds characters code page 437 lacks: the OEM cursor
// shows them as '?', and neither an edit of another field nor the text
// written back as shown (text or image form) changes what is stored; a
// typed value goes in as stored, and a real change is written.
TEST_P(OemText, ACharacterTheCodePageLacksSurvivesAReadAndAWriteBack) {
  Exec("CREATE TABLE notes (id INTEGER, name CHAR(20), note CHAR(8))");
  Exec("INSERT INTO notes VALUES (1, '\u0152uvre \u00e0 5\u20ac', 'old')");
  const std::string stored = "1|\u0152uvre \u00e0 5\u20ac|";
  NDSHANDLE oem = OpenOem("notes");
  ASSERT_EQ(NdsGotoTop(oem), 0u);
  const std::string shown = "?uvre \x85 5?";
  ASSERT_EQ(ImageText(oem, "name"), shown);
  ASSERT_EQ(Text(oem, "name"), shown);

  ASSERT_EQ(NdsSetField(oem, "note", "new", 3), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(oem), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT id, name, note FROM notes"), stored + "new\n");

  ASSERT_EQ(NdsSetField(oem, "name", shown.data(), static_cast<uint32_t>(shown.size())), 0u);
  ASSERT_EQ(NdsWriteRecord(oem), 0u) << LastErrorText();
  const std::string image = shown + std::string(20 - shown.size(), ' ');
  ASSERT_EQ(NdsSetFieldRaw(oem, "name", image.data(), 20), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetField(oem, "note", "newer", 5), 0u);
  ASSERT_EQ(NdsWriteRecord(oem), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT id, name, note FROM notes"), stored + "newer\n");

  const std::string typed = "\u00d8re \u20ac";
  ASSERT_EQ(NdsSetString(oem, "name", typed.data(), static_cast<uint32_t>(typed.size())), 0u);
  ASSERT_EQ(NdsWriteRecord(oem), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT name FROM notes"), typed + "\n");
  ASSERT_EQ(NdsSetField(oem, "name", "?re \x9B", 6), 0u);  // a real '?' and a cent sign
  ASSERT_EQ(NdsWriteRecord(oem), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT name FROM notes"), "?re \u00a2\n");

  // Five OEM bytes are ten stored ones: too long for CHAR(8), refused.
  ExpectError(NdsSetField(oem, "note", "\x8E\x8E\x8E\x8E\x8E", 5), NDS_E_VALUE_TOO_LONG);
}

}  // namespace
}  // namespace nce_test
