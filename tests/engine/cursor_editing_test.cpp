// Editing through cursors: every record-image form and null form written
// with the engine's setters comes back byte for byte and is stored as a
// natural SQLite value; appends, cancels, engine-maintained columns,
// value-fit errors and writes without a current record.
#include <cstring>
#include <map>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}
template <class T>
std::string Raw(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
std::string Words(uint32_t a, uint32_t b) {
  return Raw(a) + Raw(b);
}

// Field layouts and round trips, on the store a test parameter names (or on
// SQLite alone, EditingOnSqlite).
template <class Base>
class EditingBase : public Base {
 protected:
  using Base::Close;
  using Base::OpenTable;

 protected:
  // Field offsets and lengths of an open cursor, by name.
  std::map<std::string, std::pair<uint32_t, uint32_t>> Layout(NDSHANDLE cursor) {
    std::map<std::string, std::pair<uint32_t, uint32_t>> layout;
    uint16_t count = 0;
    EXPECT_EQ(NdsGetNumFields(cursor, &count), 0u);
    for (uint16_t i = 1; i <= count; ++i) {
      char name[130];
      uint16_t length = sizeof name;
      uint32_t offset = 0, size = 0;
      EXPECT_EQ(NdsGetFieldName(cursor, i, name, &length), 0u);
      EXPECT_EQ(NdsGetFieldOffset(cursor, NDS_FIELD_ORDINAL(i), &offset), 0u);
      EXPECT_EQ(NdsGetFieldLength(cursor, NDS_FIELD_ORDINAL(i), &size), 0u);
      layout[name] = {offset, size};
    }
    return layout;
  }
  std::string Record(NDSHANDLE cursor) {
    std::string record(4096, '\0');
    uint32_t length = static_cast<uint32_t>(record.size());
    EXPECT_EQ(NdsGetRecord(cursor, record.data(), &length), 0u) << LastErrorText();
    record.resize(length);
    return record;
  }

  // Writes each image form with NdsSetFieldRaw, then each null form with
  // NdsSetEmpty, and expects both to come back unchanged through a new cursor.
  void RoundTrip(const std::string& table, const std::map<std::string, std::string>& forms) {
    NDSHANDLE cursor = OpenTable(table);
    auto layout = Layout(cursor);
    std::string nulls(4096, '\0');
    ASSERT_EQ(NdsGetNullRecord(cursor, nulls.data(), static_cast<uint32_t>(nulls.size())), 0u);
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    for (const auto& [name, bytes] : forms)
      ASSERT_EQ(
          NdsSetFieldRaw(cursor, name.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size())),
          0u)
          << name << ": " << LastErrorText();
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsAppendRecord(cursor), 0u);
    for (const auto& [name, bytes] : forms)
      ASSERT_EQ(NdsSetEmpty(cursor, name.c_str()), 0u) << name;
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    Close(cursor);

    NDSHANDLE again = OpenTable(table);
    ASSERT_EQ(NdsGotoTop(again), 0u);
    std::string written = Record(again);
    ASSERT_EQ(NdsSkip(again, 1), 0u);
    std::string empty = Record(again);
    for (const auto& [name, bytes] : forms) {
      auto [offset, length] = layout.at(name);
      EXPECT_EQ(written.substr(offset, length), bytes) << table << "." << name;
      EXPECT_EQ(empty.substr(offset, length), nulls.substr(offset, length))
          << table << "." << name << " null";
    }
  }
};

class Editing : public EditingBase<StoreCursorTest> {};
INSTANTIATE_TEST_SUITE_P(Stores, Editing, BothStores(), StoreKindName);

// What a server does not serve yet: SQLite's triggers, and text that is not
// UTF-8.
class EditingOnSqlite : public EditingBase<CursorTest> {};

TEST_P(Editing, EveryNdtFormAndNullFormRoundTrips) {
  Exec(
      "CREATE TABLE forms (l LOGICAL, n NUMERIC(10,2), d DATE, s CHAR(6), c CICHAR(4), "
      "cd COMPACTDATE, dbl DOUBLE, i INTEGER, si SHORT, t TIME, ts TIMESTAMP, r RAW(4), "
      "cur CURDOUBLE, m MONEY)");
  RoundTrip("forms", {{"l", "T"},
                      {"n", "     12.50"},
                      {"d", Raw<int32_t>(2451545)},
                      {"s", "ab    "},
                      {"c", "XyZw"},
                      {"cd", Bytes({0x0F, 0xD0, 0x65})},
                      {"dbl", Raw(3.25)},
                      {"i", Raw<int32_t>(-5)},
                      {"si", Raw<int16_t>(7)},
                      {"t", Raw<int32_t>(3600000)},
                      {"ts", Words(2451545, 1000)},
                      {"r", Bytes({1, 0, 255, 2})},
                      {"cur", Raw(1.5)},
                      {"m", Raw<int64_t>(123456)}});
  EXPECT_EQ(store_.Read("SELECT d, ts, n, l, t, m FROM forms WHERE rowid = 1"),
            "20000101|20000101 00:00:01.000|12.50|T|01:00:00.000|12.3456\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM forms WHERE rowid = 2 AND d IS NULL AND s IS NULL "
                        "AND i IS NULL AND ts IS NULL AND m IS NULL"),
            "1\n");
  // A SQLite store keeps natural values that SQL can work with.
  if (!OnServer()) {
    EXPECT_EQ(QueryDirect(store_.StoreFile(),
                          "SELECT d || '|' || ts || '|' || n || '|' || l || '|' || t || '|' || m "
                          "FROM forms WHERE rowid = 1"),
              "2000-01-01|2000-01-01 00:00:01.000|12.5|1|01:00:00.000|12.3456");
  }
}

TEST_P(Editing, EveryDbfFormAndNullFormRoundTrips) {
  Exec(
      "CREATE TABLE dforms (l LOGICAL, n NUMERIC(8,3), d DATE, s CHAR(5), cd COMPACTDATE, "
      "dbl DOUBLE, i INTEGER, si SHORT, cur CURDOUBLE)",
      NDS_CDX);
  NDSHANDLE probe = OpenTable("dforms");
  auto layout = Layout(probe);
  EXPECT_EQ(layout.at("d").second, 8u);
  EXPECT_EQ(layout.at("l").first, 1u);  // after the deleted flag
  Close(probe);
  RoundTrip("dforms", {{"l", "F"},
                       {"n", "  -1.250"},
                       {"d", "20240305"},
                       {"s", "abc  "},
                       {"cd", Bytes({0x0F, 0xD0, 0x65})},
                       {"dbl", Raw(-2.5)},
                       {"i", Raw<int32_t>(42)},
                       {"si", Raw<int16_t>(-3)},
                       {"cur", Raw(0.25)}});
}

TEST_P(Editing, TextFormsAndTypedSettersReachTheTable) {
  Exec(
      "CREATE TABLE people (name CHAR(10), born DATE, salary NUMERIC(9,2), active LOGICAL, "
      "notes MEMO)");
  NDSHANDLE cursor = OpenTable("people");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "Ada   ", 6), 0u);
  ASSERT_EQ(NdsSetField(cursor, "born", "18151210", 8), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetDouble(cursor, "salary", 1234.5), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetLogical(cursor, "active", 1), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetString(cursor, "notes", "first programmer", 16), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "name"), "Ada");
  EXPECT_EQ(Text(cursor, "born"), "18151210");
  EXPECT_EQ(Text(cursor, "salary"), "1234.50");
  EXPECT_EQ(Text(cursor, "notes"), "first programmer");
  EXPECT_EQ(store_.Read("SELECT name, born, salary, active, notes FROM people"),
            "Ada|18151210|1234.50|T|first programmer\n");
  if (!OnServer()) {  // natural SQLite values
    EXPECT_EQ(QueryDirect(store_.StoreFile(),
                          "SELECT name || born || salary || active || notes FROM people"),
              "Ada1815-12-101234.51first programmer");
  }
}

TEST_P(Editing, TheEngineNumbersVersionsAndStampsRecords) {
  Exec("CREATE TABLE audit (id AUTOINC, v ROWVERSION, changed MODTIME, what CHAR(8))");
  NDSHANDLE cursor = OpenTable("audit");
  std::vector<std::string> versions;
  for (const char* what : {"one", "two"}) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(cursor, "what", what, static_cast<uint32_t>(strlen(what))), 0u);
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    versions.push_back(Text(cursor, "v"));
  }
  uint32_t autoinc = 0;
  ASSERT_EQ(NdsGetLastAutoinc(cursor, &autoinc), 0u);
  EXPECT_EQ(autoinc, 2u);
  EXPECT_EQ(Text(cursor, "id"), "2");
  EXPECT_NE(versions[0], versions[1]);
  EXPECT_FALSE(Text(cursor, "changed").empty());
  // An update gives a new version; the autoincrement field cannot be set.
  ASSERT_EQ(NdsSetField(cursor, "what", "three", 5), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u);
  EXPECT_GT(std::stoll(Text(cursor, "v")), std::stoll(versions[1]));
  ExpectError(NdsSetField(cursor, "id", "9", 1), NDS_E_INVALID_FIELD, "id");
}

TEST_P(Editing, CancelDropsEditsAndRemovesANeverWrittenAppend) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 3);
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "edited", 6), 0u);
  EXPECT_EQ(Text(cursor, "name"), "edited");
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  EXPECT_EQ(Text(cursor, "name"), "name2");
  ExpectError(NdsCancelUpdate(cursor), NDS_E_NOT_EDITING);

  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  uint32_t recno = RecNo(cursor);
  EXPECT_EQ(recno, 4u);
  ASSERT_EQ(NdsSetField(cursor, "name", "ghost", 5), 0u);
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM items"), "3\n");
  ExpectError(NdsGotoRecord(cursor, recno), NDS_E_INVALID_RECORD);
  // Edits left when the cursor moves are written, not lost.
  ASSERT_EQ(NdsGotoRecord(cursor, 1), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "kept", 4), 0u);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(store_.Read("SELECT name FROM items WHERE id = 1"), "kept\n");
}

// Inside a write transaction a refresh reads nothing while nothing can have
// changed the record; an edit, another cursor's write and a rollback to a
// savepoint each make it read the table again.
TEST_P(Editing, ARefreshInsideATransactionShowsWhatTheTableHolds) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  NDSHANDLE other = OpenTable("items");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  ASSERT_EQ(NdsGotoRecord(cursor, 1), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "edited", 6), 0u);
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  EXPECT_EQ(Text(cursor, "name"), "name1");

  ASSERT_EQ(NdsGotoRecord(other, 1), 0u);
  ASSERT_EQ(NdsSetField(other, "name", "other", 5), 0u);
  ASSERT_EQ(NdsWriteRecord(other), 0u) << LastErrorText();
  ASSERT_EQ(NdsRefreshRecord(cursor), 0u);
  EXPECT_EQ(Text(cursor, "name"), "other");

  ASSERT_EQ(NdsCreateSavepoint(conn_, "s", 0), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetField(cursor, "name", "undone", 6), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsRollbackTransaction80(conn_, "s", 0), 0u) << LastErrorText();
  ASSERT_EQ(NdsRefreshRecord(cursor), 0u);
  EXPECT_EQ(Text(cursor, "name"), "other");
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u);
}

// A walk that edits each record and moves on inside a transaction keeps the
// rows it read ahead only while nothing else changed a row: another cursor's
// write ahead of it (before an edit began, or between an edit and its
// write) and a trigger's change of the next row show when the walk gets
// there, and every edit of the walk reaches the table.
TEST_P(Editing, AnEditAndMoveWalkShowsWhatOthersChangedAhead) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 7);
  if (!OnServer())
    Exec(
        "CREATE TRIGGER ahead AFTER UPDATE ON items WHEN new.id = 5 BEGIN "
        "UPDATE items SET name = 'trigger' WHERE id = 6; END");
  NDSHANDLE cursor = OpenTable("items");
  NDSHANDLE other = OpenTable("items");
  auto other_writes = [&](uint32_t recno, const char* name) {
    ASSERT_EQ(NdsGotoRecord(other, recno), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(other, "name", name, static_cast<uint32_t>(strlen(name))), 0u);
    ASSERT_EQ(NdsWriteRecord(other), 0u) << LastErrorText();
  };
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(cursor), 0u) << LastErrorText();
  std::vector<std::string> seen;
  for (uint32_t recno = 1; !Eof(cursor); ++recno) {
    seen.push_back(Text(cursor, "name"));
    if (recno == 1) other_writes(3, "before");
    ASSERT_EQ(NdsRefreshRecord(cursor), 0u) << LastErrorText();
    const std::string name = "walk" + std::to_string(recno);
    ASSERT_EQ(NdsSetField(cursor, "name", name.data(), static_cast<uint32_t>(name.size())), 0u);
    if (recno == 2) other_writes(4, "between");
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSkip(cursor, 1), 0u) << LastErrorText();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"name1", "name2", "before", "between", "name5",
                                            OnServer() ? "name6" : "trigger", "name7"}));
  for (uint32_t recno = 1; recno <= 7; ++recno) {
    ASSERT_EQ(NdsGotoRecord(other, recno), 0u) << LastErrorText();
    EXPECT_EQ(Text(other, "name"), "walk" + std::to_string(recno));
  }
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
}

// Inside a write transaction a write or an append may know the row it
// leaves without reading it back; the record must still show what the table
// holds after a value the column stores otherwise (-0.0), a trigger that
// changes the row, and the table made again with a text column (which keeps
// 0.3 for 0.1 + 0.2).
TEST_F(EditingOnSqlite, AWrittenRecordShowsWhatTheTableHolds) {
  Exec("CREATE TABLE items (id INTEGER, amount DOUBLE, day DATE, touched INTEGER)");
  Exec("INSERT INTO items (id, amount) VALUES (1, 1.5), (2, 2.5)");
  NDSHANDLE cursor = OpenTable("items");
  NDSHANDLE reader = OpenTable("items");
  auto expect_as_table = [&](const std::string& what) {
    ASSERT_EQ(NdsGotoRecord(reader, RecNo(cursor)), 0u) << LastErrorText();
    EXPECT_EQ(Record(cursor), Record(reader)) << what;
  };
  auto write = [&](uint32_t recno, double amount) {
    ASSERT_EQ(NdsGotoRecord(cursor, recno), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(cursor, "amount", amount), 0u) << LastErrorText();
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    expect_as_table("record " + std::to_string(recno) + ", amount " + std::to_string(amount));
  };
  auto append = [&](double amount) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(cursor, "id", 9), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(cursor, "amount", amount), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(cursor, "day", "2024-02-29", 10), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(cursor, "touched", 0), 0u) << LastErrorText();
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    expect_as_table("appended, amount " + std::to_string(amount));
  };
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  write(1, 3.5);
  write(1, 4.5);
  write(2, -0.0);
  append(7.5);
  append(8.5);
  append(-0.0);
  Exec(
      "CREATE TRIGGER touch AFTER UPDATE OF amount ON items BEGIN "
      "UPDATE items SET touched = coalesce(touched, 0) + 1 WHERE rowid = new.rowid; END");
  Exec(
      "CREATE TRIGGER mark AFTER INSERT ON items BEGIN "
      "UPDATE items SET touched = 7 WHERE rowid = new.rowid; END");
  write(1, 5.5);
  write(1, 6.5);
  EXPECT_EQ(Text(cursor, "touched"), "2");
  append(9.5);
  append(10.5);
  EXPECT_EQ(Text(cursor, "touched"), "7");
  Exec("DROP TABLE items");
  Exec("CREATE TABLE items (id INTEGER, amount TEXT, day DATE, touched INTEGER)");
  Exec("INSERT INTO items (rowid, id, amount) VALUES (1, 1, '1'), (2, 2, '2')");
  write(1, 0.1 + 0.2);
  write(2, 2.5);
  append(0.1 + 0.2);
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
}

// Timestamps, given as text or taken from a default, are what a written
// record shows, without reading the row back: each as the table holds it.
TEST_F(EditingOnSqlite, AWrittenTimestampShowsWhatTheTableHolds) {
  Exec("CREATE TABLE stamps (id INTEGER, made TIMESTAMP DEFAULT CURRENT_TIMESTAMP, at TIMESTAMP)");
  NDSHANDLE cursor = OpenTable("stamps");
  NDSHANDLE reader = OpenTable("stamps");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  for (const char* at : {"", "2024-02-29 23:59:59", "2024-02-29T10:00:00.250", "1999-12-31"}) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(cursor, "id", "7", 1), 0u) << LastErrorText();
    if (*at) {
      ASSERT_EQ(NdsSetField(cursor, "at", at, static_cast<uint32_t>(strlen(at))), 0u) << at;
    }
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsGotoRecord(reader, RecNo(cursor)), 0u) << LastErrorText();
    EXPECT_EQ(Record(cursor), Record(reader)) << at;
    ASSERT_EQ(NdsSetField(cursor, "at", "2025-01-02 03:04:05", 19), 0u) << LastErrorText();
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsRefreshRecord(reader), 0u) << LastErrorText();
    EXPECT_EQ(Record(cursor), Record(reader)) << at << ", edited";
  }
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
}

TEST_P(Editing, BadWritesAreRefusedAndChangeNothing) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(5), amount NUMERIC(6,2), day DATE, n SHORT)");
  Exec("INSERT INTO items VALUES (1, 'abc', 1.5, '2024-01-01', 3)");
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  ExpectError(NdsSetField(cursor, "name", "toolong", 7), NDS_E_VALUE_TOO_LONG, "column \"name\"");
  ExpectError(NdsSetField(cursor, "amount", "12345.67", 8), NDS_E_VALUE_TOO_LONG,
              "column \"amount\"");
  ExpectError(NdsSetDouble(cursor, "n", 70000), NDS_E_VALUE_TOO_LONG, "column \"n\"");
  ExpectError(NdsSetField(cursor, "day", "20240230", 8), NDS_E_VALUE_INVALID, "column \"day\"");
  ExpectError(NdsSetField(cursor, "amount", "abc", 3), NDS_E_VALUE_INVALID, "column \"amount\"");
  int32_t wrong = 0;
  ExpectError(NdsSetFieldRaw(cursor, "n", &wrong, 4), NDS_E_VALUE_TOO_LONG, "column \"n\"");
  ExpectError(NdsSetField(cursor, "nosuch", "1", 1), NDS_E_INVALID_FIELD);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u);  // nothing was accepted, nothing to write
  EXPECT_EQ(store_.Read("SELECT name, amount, day, n FROM items"), "abc|1.50|20240101|3\n");

  // Off a record there is nothing to write to.
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  ASSERT_TRUE(Eof(cursor));
  ExpectError(NdsSetField(cursor, "name", "x", 1), NDS_E_NO_CURRENT_RECORD);
  ExpectError(NdsWriteRecord(cursor), NDS_E_NO_CURRENT_RECORD);
  ExpectError(NdsDeleteRecord(cursor), NDS_E_NO_CURRENT_RECORD);
  // A static cursor is read-only.
  NDSHANDLE copy = OpenQuery("SELECT * FROM items ORDER BY id", true);
  ASSERT_EQ(NdsGotoTop(copy), 0u);
  ExpectError(NdsSetField(copy, "name", "x", 1), NDS_E_STATIC_VIEW);
  ExpectError(NdsAppendRecord(copy), NDS_E_STATIC_VIEW);
  // So is a table opened read-only.
  NDSHANDLE readOnly = OpenTable("items", NDS_OPEN_READONLY);
  uint32_t options = 0;
  ASSERT_EQ(NdsGetTableOpenOptions(readOnly, &options), 0u);
  EXPECT_EQ(options, NDS_OPEN_READONLY);
  ExpectError(NdsAppendRecord(readOnly), NDS_E_RIGHTS);
}

TEST_P(Editing, ChecksumChangesWhenAnotherUserChangesTheRecord) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12), notes MEMO)");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  uint32_t before = 0, same = 0, after = 0, memo = 0;
  ASSERT_EQ(NdsGetRecordCRC(cursor, &before, 0), 0u);
  ASSERT_EQ(NdsGetRecordCRC(cursor, &same, 0), 0u);
  EXPECT_EQ(before, same);
  NDSHANDLE other = store_.Connect();
  RunSqlOrFail(other, "UPDATE items SET name = 'other' WHERE id = 1");
  ASSERT_EQ(NdsGetRecordCRC(cursor, &after, 0), 0u);
  EXPECT_NE(before, after);
  RunSqlOrFail(other, "UPDATE items SET notes = 'memo' WHERE id = 1");
  ASSERT_EQ(NdsGetRecordCRC(cursor, &memo, 0), 0u);
  EXPECT_NE(after, memo);
  RunSqlOrFail(other, "DELETE FROM items WHERE id = 1");
  ExpectError(NdsGetRecordCRC(cursor, &memo, 0), NDS_E_INVALID_RECORD);
  NdsDisconnect(other);
}

}  // namespace
}  // namespace nce_test

namespace nce_test {
namespace {

TEST_P(Editing, AnEmptyRequiredColumnIsNamed) {
  Exec("CREATE TABLE strict (id INTEGER, code CHAR(4) NOT NULL DEFAULT 'x')");
  NDSHANDLE cursor = OpenTable("strict");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetEmpty(cursor, "code"), 0u);
  ExpectError(NdsWriteRecord(cursor), NDS_E_VALUE_REQUIRED, "column \"code\"");
  // The record stays in edit with its pending change; a value makes it fit.
  ASSERT_EQ(NdsSetField(cursor, "code", "ok", 2), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "code"), "ok");
  // A string of zero bytes is the empty field of an NDT record image.
  ASSERT_EQ(NdsSetField(cursor, "code", "\0\0\0\0", 4), 0u);
  ExpectError(NdsWriteRecord(cursor), NDS_E_VALUE_REQUIRED, "column \"code\"");
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
}

// A text a program stored as single bytes, not UTF-8, reads as code page
// 1252 through an OEM cursor, in its image and its field reads alike.
TEST_F(EditingOnSqlite, OemCursorsReadSingleByteStoredTextAsCodePage1252) {
  Exec("CREATE TABLE names (name CHAR(6))");
  Exec("INSERT INTO names VALUES ('M\xfcller')");  // u-umlaut in code page 1252
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(conn_, "names", 0, NDS_OEM, 0, &cursor), 0u);
  open_.push_back(cursor);
  uint16_t type = 0;
  ASSERT_EQ(NdsGetTableCharType(cursor, &type), 0u);
  EXPECT_EQ(type, NDS_OEM);
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  char record[16];
  uint32_t length = sizeof record;
  ASSERT_EQ(NdsGetRecord(cursor, record, &length), 0u);
  EXPECT_EQ(static_cast<unsigned char>(record[2]), 0x81);  // u-umlaut in code page 437
  char text[8];
  uint32_t size = sizeof text;
  ASSERT_EQ(NdsGetField(cursor, NDS_FIELD_ORDINAL(1), text, &size, NDS_NONE), 0u);
  EXPECT_EQ(std::string(text, size), "M\x81ller");
}

}  // namespace
}  // namespace nce_test

namespace nce_test {
namespace {

// A cursor keeps the statements of its writes prepared; a column added to
// its table, and the rollback that takes it away again, must not turn them
// stale.
TEST_P(Editing, KeptWriteStatementsFollowSchemaChangesAndTheirRollback) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  auto edit = [&](uint32_t recno, const std::string& name) {
    ASSERT_EQ(NdsGotoRecord(cursor, recno), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(cursor, "name", name.c_str(), static_cast<uint32_t>(name.size())), 0u);
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    EXPECT_EQ(Text(cursor, "name"), name);
  };
  auto append = [&](const std::string& name) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(cursor, "name", name.c_str(), static_cast<uint32_t>(name.size())), 0u);
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  };
  edit(1, "before");
  append("new1");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  RunSqlOrFail(conn_, "ALTER TABLE items ADD COLUMN extra INTEGER DEFAULT 7");
  edit(2, "during");
  append("new2");
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
  edit(2, "after");
  append("new3");
  // A server's numbering never gives back a number, even one a rollback
  // undid.
  EXPECT_EQ(
      store_.Read("SELECT rowid, name FROM items ORDER BY rowid"),
      OnServer() ? "1|before\n2|after\n3|new1\n5|new3\n" : "1|before\n2|after\n3|new1\n4|new3\n");
}

TEST_P(Editing, EditsLeftOpenAreWrittenWhenTheConnectionEnds) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  NDSHANDLE other = store_.Connect();
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(other, "items", 0, 0, 0, &cursor), 0u);
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "kept", 4), 0u);
  ASSERT_EQ(NdsDisconnect(other), 0u);
  EXPECT_EQ(store_.Read("SELECT name FROM items"), "kept\n");
  ExpectError(NdsGotoTop(cursor), NDS_E_INVALID_HANDLE);
}

}  // namespace
}  // namespace nce_test
