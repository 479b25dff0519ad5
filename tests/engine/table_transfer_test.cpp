// Imports and exports through the engine's C interface on both stores:
// values that come in and go out exactly, imports that are whole or leave
// nothing behind, and the deleted records of xBase tables.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/interchange/dbf/dbf_reader.h"
#include "engine/interchange/dbf/dbf_writer.h"
#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

namespace fs = std::filesystem;

// Every engine type a file can carry, with values at their edges: accents,
// quotes and line breaks in texts, NULLs, negative and large amounts.
constexpr const char* kSourceTable =
    "CREATE TABLE src (code INTEGER, name CHAR(24), price NUMERIC(12,2), qty NUMERIC(8,0), "
    "shipped DATE, paid LOGICAL, amount MONEY, stamp TIMESTAMP, note MEMO, ratio DOUBLE)";
constexpr const char* kSourceRows =
    "INSERT INTO src VALUES "
    "(1, 'Zürich café', 1234567.89, 42, '2024-02-29', 1, 922337203685477.5807, "
    "'2024-02-29 23:59:59.999', 'first line\nsecond \"line\", with comma', 0.1), "
    "(2, 'O''Brien, \"Bob\"', -0.05, -7, '1901-01-01', 0, -12.3456, '1999-12-31 00:00:00.000', "
    "'', 1e300), "
    "(3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)";
constexpr const char* kSourceSelect =
    "SELECT code, name, price, qty, shipped, paid, amount, stamp, note, ratio FROM ";

class Transfer : public ::testing::TestWithParam<StoreKind> {
 protected:
  Transfer() : store_(GetParam()) {}
  void SetUp() override {
    connection_ = store_.Connect();
    RunSqlOrFail(connection_, kSourceTable);
    RunSqlOrFail(connection_, kSourceRows);
  }
  void TearDown() override { NdsDisconnect(connection_); }

  NDSRESULT Import(const std::string& file, const std::string& table, uint32_t options = 0,
                   NDSTRANSFER* transfer = nullptr) {
    NDSTRANSFER settings{};
    settings.size = sizeof settings;
    if (!transfer) transfer = &settings;
    transfer->options = options;
    return NdsImportTable(connection_, file.c_str(), table.c_str(), transfer);
  }
  NDSRESULT Export(const std::string& source, const std::string& file, uint32_t version = 0,
                   uint32_t options = 0) {
    NDSTRANSFER settings{};
    settings.size = sizeof settings;
    settings.dbfVersion = version;
    settings.options = options;
    return NdsExportTable(connection_, source.c_str(), file.c_str(), &settings);
  }
  bool TableExists(const std::string& table) {
    char name[128];
    uint16_t length = sizeof name;
    NDSHANDLE find = 0;
    bool found = NdsFindFirstTable(connection_, table.c_str(), name, &length, &find) == NDS_SUCCESS;
    if (found) NdsFindClose(connection_, find);
    return found;
  }
  // A CSV file of `rows` lines under a header "n,label"; line `bad` (its
  // line number in the file) holds a value that is not a whole number.
  std::string NumberedCsv(int rows, int bad = 0) {
    std::ostringstream text;
    text << "n,label\r\n";
    for (int i = 1; i <= rows; ++i) text << (i + 1 == bad ? "x" : std::to_string(i)) << ",row\r\n";
    return dir_.Write("numbers.csv", text.str());
  }

  TestStore store_;
  TempDir dir_;
  NDSHANDLE connection_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Stores, Transfer, BothStores(), StoreKindName);

TEST_P(Transfer, XbaseTablesComeBackWithEveryValue) {
  const std::string expected = store_.Read(std::string(kSourceSelect) + "src ORDER BY code");
  // Money, integers, timestamps and doubles ask for Visual FoxPro.
  ASSERT_EQ(Export("src", dir_ / "all.dbf"), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(Import(dir_ / "all.dbf", "back"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read(std::string(kSourceSelect) + "back ORDER BY code"), expected);

  // The oldest version that holds texts, numbers, dates, logicals and memos.
  const std::string plain = "SELECT name, price, qty, shipped, paid, note FROM ";
  RunSqlOrFail(connection_, "DELETE FROM src WHERE code = 3");
  ASSERT_EQ(Export(plain + "src ORDER BY code", dir_ / "plain.dbf"), NDS_SUCCESS)
      << LastErrorText();
  std::ifstream file(dir_ / "plain.dbf", std::ios::binary);
  EXPECT_EQ(file.get(), 0x83) << "dBase III with a memo file";
  ASSERT_EQ(Import(dir_ / "plain.dbf", "plainback"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read(plain + "plainback"), store_.Read(plain + "src ORDER BY code"));
}

TEST_P(Transfer, CsvFilesComeBackWithEveryValue) {
  const std::string expected = store_.Read(std::string(kSourceSelect) + "src ORDER BY code");
  ASSERT_EQ(Export("src", dir_ / "a.csv"), NDS_SUCCESS) << LastErrorText();
  // Into a table of the same columns: every value converts back exactly.
  RunSqlOrFail(connection_, std::string(kSourceTable).replace(13, 3, "same"));
  ASSERT_EQ(Import(dir_ / "a.csv", "same", NDS_TRANSFER_APPEND), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read(std::string(kSourceSelect) + "same ORDER BY code"), expected);
  // Into a new table typed from the file, and out again: the same file.
  ASSERT_EQ(Import(dir_ / "a.csv", "typed"), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(Export("SELECT * FROM typed ORDER BY code", dir_ / "b.csv"), NDS_SUCCESS)
      << LastErrorText();
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(read(dir_ / "b.csv"), read(dir_ / "a.csv"));
}

TEST_P(Transfer, AnImportIsWholeOrLeavesNothing) {
  // A bad value after a first window of rows was written.
  RunSqlOrFail(connection_, "CREATE TABLE typed (n INTEGER, label CHAR(8))");
  ASSERT_EQ(Import(NumberedCsv(10000, 9500), "typed", NDS_TRANSFER_APPEND), NDS_E_VALUE_INVALID);
  EXPECT_NE(LastErrorText().find("numbers.csv: line 9500, column \"n\""), std::string::npos)
      << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT count(*) FROM typed"), "0\n");

  // A table's own checks hold for an append as for any insert (a server's
  // engine tables keep no CHECK clause of their own).
  if (!store_.OnServer()) {
    RunSqlOrFail(connection_, "CREATE TABLE checked (n INTEGER CHECK (n < 5), label CHAR(8))");
    EXPECT_NE(Import(NumberedCsv(10), "checked", NDS_TRANSFER_APPEND), NDS_SUCCESS);
    EXPECT_EQ(store_.Read("SELECT count(*) FROM checked"), "0\n");
  }

  // A failure of the engine half-way: a table whose type the file decided
  // first, then a failing window of rows.
  {
    nce::testing::FailpointGuard guard;
    nce::testing::ArmFailpoint("ImportRows", NDS_E_BUSY, "the store is busy");
    EXPECT_EQ(Import(NumberedCsv(10000), "numbers"), NDS_E_BUSY);
    EXPECT_FALSE(TableExists("numbers"));
  }

  // Inside the caller's transaction the failure takes back its own work only.
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO src (code) VALUES (4)");
  EXPECT_EQ(Import(NumberedCsv(100, 50), "typed", NDS_TRANSFER_APPEND), NDS_E_VALUE_INVALID);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT count(*) FROM src"), "4\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM typed"), "0\n");

  // An existing table only with replace or append; replace and append work.
  ASSERT_EQ(Import(NumberedCsv(3), "numbers"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(Import(NumberedCsv(5), "numbers"), NDS_E_TABLE_EXISTS);
  EXPECT_EQ(Import(NumberedCsv(5), "numbers", NDS_TRANSFER_APPEND), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*), sum(n) FROM numbers"), "8|21\n");
  EXPECT_EQ(Import(NumberedCsv(2), "numbers", NDS_TRANSFER_REPLACE), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*), sum(n) FROM numbers"), "2|3\n");
}

TEST_P(Transfer, ACancelLeavesNothingBehind) {
  NDSTRANSFER transfer{};
  transfer.size = sizeof transfer;
  int calls = 0;
  transfer.context = &calls;
  transfer.progress = [](void* context, uint64_t done, uint64_t total) -> int32_t {
    EXPECT_TRUE(total == 0 || done <= total);           // an export does not know its whole
    return ++*static_cast<int*>(context) == 1 ? 0 : 1;  // stops at the second report
  };
  EXPECT_EQ(Import(NumberedCsv(20000), "numbers", 0, &transfer), NDS_E_CANCELLED);
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(TableExists("numbers"));

  calls = 0;
  transfer.rows = 99;
  ASSERT_EQ(Import(NumberedCsv(20000), "numbers"), NDS_SUCCESS);
  EXPECT_EQ(NdsExportTable(connection_, "numbers", (dir_ / "out.dbf").c_str(), &transfer),
            NDS_E_CANCELLED);
  EXPECT_FALSE(fs::exists(dir_ / "out.dbf"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1)
      << "only numbers.csv: no temporary file stays";
}

TEST_P(Transfer, DeletedRecordsComeAlongOnRequest) {
  {
    nce::TableShape shape;
    shape.columns.push_back({"NAME", {NDS_STRING, 10, 0}, false});
    auto sink = nce::OpenDbfWriter(dir_ / "marks.dbf", shape, {});
    sink->Write({nce::Value::Text("kept")}, false);
    sink->Write({nce::Value::Text("gone")}, true);
    sink->Write({nce::Value::Text("last")}, false);
    sink->Finish();
  }
  ASSERT_EQ(Import(dir_ / "marks.dbf", "skipped"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT name FROM skipped ORDER BY name"), "kept\nlast\n");

  ASSERT_EQ(Import(dir_ / "marks.dbf", "marked", NDS_TRANSFER_KEEP_DELETED), NDS_SUCCESS)
      << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT count(*) FROM marked"), "3\n");
  // A table cursor leaves the marked record out.
  NDSHANDLE table = 0;
  ASSERT_EQ(NdsOpenTable(connection_, "marked", 0, 0, 0, &table), NDS_SUCCESS) << LastErrorText();
  uint32_t count = 0;
  NdsGetRecordCount(table, NDS_RESPECTFILTERS, &count);
  EXPECT_EQ(count, 2u);
  NdsCloseTable(table);

  // Out again with the mark, or without the record.
  ASSERT_EQ(Export("marked", dir_ / "with.dbf", 0, NDS_TRANSFER_KEEP_DELETED), NDS_SUCCESS)
      << LastErrorText();
  ASSERT_EQ(Export("marked", dir_ / "without.dbf"), NDS_SUCCESS) << LastErrorText();
  auto marks = [](const std::string& path) {
    nce::DbfReadOptions options;
    options.keep_deleted = true;
    auto source = nce::OpenDbfReader(path, options);
    nce::TableRow row;
    std::string seen;
    while (source->Next(&row)) seen += row[0].bytes + (source->RowDeleted() ? "*" : "") + " ";
    return seen;
  };
  EXPECT_EQ(marks(dir_ / "with.dbf"), "kept gone* last ");
  EXPECT_EQ(marks(dir_ / "without.dbf"), "kept last ");
}

}  // namespace
}  // namespace nce_test
