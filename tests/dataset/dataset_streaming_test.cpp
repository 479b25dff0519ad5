// Datasets, data sources and fields in stored descriptions.
#include "dataset/data_source.h"
#include "dataset/streaming.h"
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

const char* const kDescription =
    "object Form1: TComponent\n"
    "  object DataSource1: TDataSource\n"
    "    AutoEdit = False\n"
    "    DataSet = Table1\n"
    "  end\n"
    "  object Table1: TMemoryDataSet\n"
    "    Active = True\n"
    "    Filter = 'ID > 1'\n"
    "  end\n"
    "  object Table1ID: TIntegerField\n"
    "    DataSet = Table1\n"
    "    FieldName = 'ID'\n"
    "    Required = True\n"
    "  end\n"
    "  object Table1LABEL: TStringField\n"
    "    DataSet = Table1\n"
    "    DisplayLabel = 'Label'\n"
    "    FieldKind = fkCalculated\n"
    "    FieldName = 'LABEL'\n"
    "    Size = 8\n"
    "  end\n"
    "end\n";

// The memory dataset with a fixed ID column, as a stored description
// would create it.
class TStoredDataSet : public TMemoryDataSet {
 public:
  explicit TStoredDataSet(TComponent* owner) : TMemoryDataSet(owner) {
    FieldDefs().Add("ID", ftInteger);
  }
};

TEST(DataSetStreaming, ReadsLinksAndOpensAfterLoading) {
  RegisterFrameworkClasses();
  RegisterClass<TStoredDataSet, TDataSet>("TMemoryDataSet");
  std::unique_ptr<TComponent> form(ReadComponentFromText(kDescription, nullptr));
  auto* table = dynamic_cast<TMemoryDataSet*>(form->FindComponent("Table1"));
  auto* source = dynamic_cast<TDataSource*>(form->FindComponent("DataSource1"));
  ASSERT_NE(table, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->DataSet(), table);  // a reference to a component declared later
  EXPECT_FALSE(source->AutoEdit());
  EXPECT_TRUE(table->Active());  // opened once everything was read
  EXPECT_EQ(table->Filter(), "ID > 1");
  ASSERT_EQ(table->FieldCount(), 2);
  EXPECT_TRUE(table->FieldByName("ID")->Required());
  TField* label = table->FieldByName("LABEL");
  EXPECT_EQ(label->FieldKind(), fkCalculated);
  EXPECT_EQ(label->DisplayName(), "Label");
  EXPECT_EQ(label->Size(), 8);

  std::string written = WriteComponentToText(form.get());
  EXPECT_NE(written.find("DataSet = Table1"), std::string::npos) << written;
  EXPECT_NE(written.find("FieldKind = fkCalculated"), std::string::npos) << written;
  EXPECT_EQ(written.find("AutoCalcFields"), std::string::npos) << written;  // default
  std::unique_ptr<TComponent> again(ReadComponentFromText(written, nullptr));
  EXPECT_EQ(WriteComponentToText(again.get()), written);
  UnregisterClass("TMemoryDataSet");
}

}  // namespace
}  // namespace dataset_test
