// Field objects: value forms and conversions per field class, calculated
// and lookup fields.
#include "dataset/stream.h"
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

// A dataset with one column of every type, opened with one empty record in
// insert state.
class FieldValues : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& defs = dataset.FieldDefs();
    defs.Add("S", ftString, 5);
    defs.Add("SI", ftSmallint);
    defs.Add("I", ftInteger);
    defs.Add("W", ftWord);
    defs.Add("L", ftLargeint);
    defs.Add("A", ftAutoInc);
    defs.Add("F", ftFloat);
    defs.Add("C", ftCurrency);
    defs.Add("B", ftBCD)->SetSize(2);
    defs.Items(8)->SetPrecision(6);
    defs.Add("FB", ftFMTBcd)->SetSize(4);
    defs.Add("BO", ftBoolean);
    defs.Add("D", ftDate);
    defs.Add("T", ftTime);
    defs.Add("DT", ftDateTime);
    defs.Add("BY", ftBytes, 4);
    defs.Add("VB", ftVarBytes, 4);
    defs.Add("BL", ftBlob);
    defs.Add("M", ftMemo);
    defs.Add("G", ftGraphic);
    defs.Add("LS", ftString, 400);
    dataset.Open();
    dataset.Append();
  }
  TField* F(const char* name) { return dataset.FieldByName(name); }

  TMemoryDataSet dataset;
};

TEST_F(FieldValues, EveryTypeGetsItsOwnClass) {
  EXPECT_NE(dynamic_cast<TStringField*>(F("S")), nullptr);
  EXPECT_NE(dynamic_cast<TSmallintField*>(F("SI")), nullptr);
  EXPECT_NE(dynamic_cast<TWordField*>(F("W")), nullptr);
  EXPECT_NE(dynamic_cast<TLargeintField*>(F("L")), nullptr);
  EXPECT_NE(dynamic_cast<TAutoIncField*>(F("A")), nullptr);
  EXPECT_NE(dynamic_cast<TCurrencyField*>(F("C")), nullptr);
  EXPECT_NE(dynamic_cast<TFMTBCDField*>(F("FB")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(F("D")), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(F("T")), nullptr);
  EXPECT_NE(dynamic_cast<TVarBytesField*>(F("VB")), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(F("M")), nullptr);
  EXPECT_NE(dynamic_cast<TGraphicField*>(F("G")), nullptr);
  EXPECT_EQ(F("BL")->BlobIndex(), 0);
  EXPECT_EQ(F("G")->BlobIndex(), 2);
  EXPECT_EQ(dataset.BlobFieldCount(), 3);
  for (TField* field : dataset.Fields()) EXPECT_TRUE(field->IsNull()) << field->FieldName();
}

TEST_F(FieldValues, TextIsCutToTheFieldSizeAndConvertsBothWays) {
  F("S")->SetAsString("abcdefgh");
  EXPECT_EQ(F("S")->AsString(), "abcde");
  F("S")->SetAsInteger(42);
  EXPECT_EQ(F("S")->AsInteger(), 42);
  F("S")->SetAsString("x");
  EXPECT_THROW(F("S")->AsInteger(), EConvertError);
  F("S")->SetAsString("yes");
  EXPECT_TRUE(F("S")->AsBoolean());
  EXPECT_EQ(F("S")->AsVariant().AsString(), "yes");
  // Texts of wide fields read back whole, up to the field's size.
  const std::string wide(300, 'w');
  F("LS")->SetAsString(wide);
  EXPECT_EQ(F("LS")->AsString(), wide);
  F("LS")->SetAsString(wide + wide);
  EXPECT_EQ(F("LS")->AsString(), (wide + wide).substr(0, 400));
}

TEST_F(FieldValues, IntegersKeepTheirRange) {
  F("SI")->SetAsInteger(-32768);
  EXPECT_EQ(F("SI")->AsInteger(), -32768);
  try {
    F("SI")->SetAsInteger(40000);
    FAIL();
  } catch (const ERangeError& error) {
    EXPECT_EQ(error.Message(),
              "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
  }
  EXPECT_EQ(F("SI")->AsInteger(), -32768);  // unchanged
  EXPECT_THROW(F("W")->SetAsInteger(-1), ERangeError);
  F("W")->SetAsInteger(65535);
  EXPECT_EQ(F("W")->AsInteger(), 65535);
  F("L")->SetAsLargeInt(int64_t{1} << 40);
  EXPECT_EQ(F("L")->AsLargeInt(), int64_t{1} << 40);
  EXPECT_THROW(F("L")->AsInteger(), ERangeError);
  F("I")->SetAsString(" 17 ");
  EXPECT_EQ(F("I")->AsInteger(), 17);
  EXPECT_THROW(F("I")->SetAsString("17x"), EConvertError);
  F("I")->SetAsFloat(2.5);
  EXPECT_EQ(F("I")->AsInteger(), 3);
  EXPECT_THROW(F("I")->SetAsFloat(1e12), ERangeError);
  auto* limited = static_cast<TIntegerField*>(F("I"));
  limited->SetMinValue(1);
  limited->SetMaxValue(10);
  EXPECT_THROW(F("I")->SetAsInteger(11), ERangeError);
  F("I")->SetAsString("");
  EXPECT_TRUE(F("I")->IsNull());
  EXPECT_EQ(F("SI")->AsVariant().VarType(), varSmallint);
  EXPECT_EQ(F("L")->AsVariant().VarType(), varInt64);
}

TEST_F(FieldValues, FloatsCurrencyAndBcd) {
  F("F")->SetAsString("1.5");
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 1.5);
  EXPECT_EQ(F("F")->AsString(), "1.5");
  EXPECT_EQ(F("F")->AsInteger(), 2);
  EXPECT_THROW(F("F")->SetAsString("one"), EConvertError);
  F("C")->SetAsFloat(2.25);
  EXPECT_EQ(F("C")->AsVariant().VarType(), varCurrency);

  F("B")->SetAsString("12.345");  // rounded to the field's 2 decimals
  EXPECT_EQ(F("B")->AsString(), "12.35");
  EXPECT_THROW(F("B")->SetAsString("123456.7"), ERangeError);  // 8 digits > 6
  EXPECT_EQ(F("B")->AsString(), "12.35");
  F("B")->SetAsBCD(StrToBcd("-0.5"));
  EXPECT_DOUBLE_EQ(F("B")->AsFloat(), -0.5);
  EXPECT_EQ(F("B")->AsVariant().VarType(), varBcd);
  F("FB")->SetAsFloat(0.125);
  EXPECT_EQ(F("FB")->AsString(), "0.1250");
  EXPECT_THROW(F("FB")->SetAsString("abc"), EConvertError);
}

TEST_F(FieldValues, BooleansUseTheirDisplayTexts) {
  F("BO")->SetAsString("t");
  EXPECT_TRUE(F("BO")->AsBoolean());
  EXPECT_EQ(F("BO")->AsString(), "True");
  auto* flag = static_cast<TBooleanField*>(F("BO"));
  flag->SetDisplayValues("Yes;No");
  F("BO")->SetAsString("NO");
  EXPECT_FALSE(F("BO")->AsBoolean());
  EXPECT_EQ(F("BO")->AsString(), "No");
  EXPECT_THROW(F("BO")->SetAsString("maybe"), EConvertError);
  EXPECT_FALSE(F("BO")->IsNull());
  // The value form is a 16-bit -1 for true.
  F("BO")->SetAsBoolean(true);
  int16_t raw = 0;
  ASSERT_TRUE(F("BO")->GetData(&raw));
  EXPECT_EQ(raw, -1);
}

TEST_F(FieldValues, DatesTravelAsDayNumbersAndMilliseconds) {
  F("D")->SetAsString("2000-01-01");
  int32_t day = 0;
  ASSERT_TRUE(F("D")->GetData(&day));
  EXPECT_EQ(day, 730120);  // 0001-01-01 is day 1
  EXPECT_EQ(F("D")->AsString(), "2000-01-01");
  F("T")->SetAsString("12:30:00");
  int32_t msecs = 0;
  ASSERT_TRUE(F("T")->GetData(&msecs));
  EXPECT_EQ(msecs, 45000000);
  F("DT")->SetAsDateTime(EncodeDate(2024, 3, 5) + EncodeTime(6, 0, 0, 0));
  EXPECT_EQ(F("DT")->AsString(), "2024-03-05 06:00:00");
  double stamp = 0;
  ASSERT_TRUE(F("DT")->GetData(&stamp));
  EXPECT_DOUBLE_EQ(stamp,
                   (DateTimeToTimeStamp(EncodeDate(2024, 3, 5)).Date * 86400000.0) + 21600000.0);
  F("D")->SetAsString(" 2024-12-31\t");
  EXPECT_EQ(F("D")->AsString(), "2024-12-31");
  try {
    F("D")->SetAsString("  2000-13-01 ");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'2000-13-01' is not a valid date");
  }
  EXPECT_EQ(F("D")->AsString(), "2024-12-31");
  EXPECT_EQ(F("D")->AsVariant().VarType(), varDate);
}

TEST_F(FieldValues, BytesKeepTheirLength) {
  F("BY")->SetAsString(std::string("\x01\x02", 2));
  EXPECT_EQ(F("BY")->AsString(), std::string("\x01\x02\x00\x00", 4));  // fixed length
  F("VB")->SetAsString("abcdef");
  EXPECT_EQ(F("VB")->AsString(), "abcd");  // at most Size bytes
  F("VB")->SetAsVariant(Variant(TBytes{9}));
  EXPECT_EQ(F("VB")->AsString(), "\x09");
}

TEST_F(FieldValues, BlobsAndMemosGoThroughStreams) {
  F("M")->SetAsString("a memo text");
  EXPECT_EQ(F("M")->AsString(), "a memo text");
  EXPECT_FALSE(F("M")->IsNull());
  EXPECT_EQ(static_cast<TBlobField*>(F("M"))->BlobSize(), 11);
  TMemoryStream source;
  source.WriteBuffer("\x00\x01\x02", 3);
  static_cast<TBlobField*>(F("BL"))->LoadFromStream(source);
  EXPECT_EQ(F("BL")->AsVariant().AsBytes(), (TBytes{0, 1, 2}));
  dataset.Post();
  EXPECT_EQ(F("M")->AsString(), "a memo text");
  EXPECT_THROW(dataset.CreateBlobStream(*F("M"), bmWrite), EDatabaseError);  // not editing
  EXPECT_THROW(dataset.CreateBlobStream(*F("I"), bmRead), EDatabaseError);   // not a blob
  dataset.Edit();
  F("M")->Clear();
  EXPECT_TRUE(F("M")->IsNull());
  dataset.Cancel();
  EXPECT_EQ(F("M")->AsString(), "a memo text");
}

TEST_F(FieldValues, VariantsChooseTheConversion) {
  F("I")->SetAsVariant(Variant("12"));
  EXPECT_EQ(F("I")->AsInteger(), 12);
  F("S")->SetAsVariant(Variant(3.5));
  EXPECT_EQ(F("S")->AsString(), "3.5");
  F("S")->SetAsVariant(Variant::Null());
  EXPECT_TRUE(F("S")->IsNull());
  EXPECT_TRUE(F("S")->AsVariant().IsNull());
  EXPECT_THROW(F("I")->SetAsVariant(Variant(std::vector<Variant>{1, 2})), EDatabaseError);
  EXPECT_THROW(F("BO")->AsDateTime(), EDatabaseError);  // no such conversion
}

// Calculated and lookup fields.
TEST(CalculatedFields, ComputedForEveryRecordAndWhileEditing) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  auto* id = new TIntegerField(&dataset);
  id->SetFieldName("ID");
  id->SetDataSet(&dataset);
  auto* name = new TStringField(&dataset);
  name->SetFieldName("NAME");
  name->SetDataSet(&dataset);
  auto* twice = new TIntegerField(&dataset);
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(&dataset);
  int calculations = 0;
  dataset.OnCalcFields = [&](TDataSet& ds) {
    ++calculations;
    EXPECT_EQ(ds.State(), dsCalcFields);
    if (!ds.FieldByName("ID")->IsNull()) {
      ds.FieldByName("TWICE")->SetAsInteger(ds.FieldByName("ID")->AsInteger() * 2);
    }
  };
  FillNumbered(dataset, 3);
  EXPECT_EQ(dataset.CalcFieldsSize(), 5);  // has-value byte + 4 bytes
  EXPECT_EQ(twice->FieldNo(), -1);
  dataset.SetRecNo(3);
  EXPECT_EQ(twice->AsInteger(), 6);
  EXPECT_GT(calculations, 0);

  dataset.Edit();
  id->SetAsInteger(10);  // AutoCalcFields: recomputed at once
  EXPECT_EQ(twice->AsInteger(), 20);
  dataset.SetAutoCalcFields(false);
  id->SetAsInteger(11);
  EXPECT_EQ(twice->AsInteger(), 20);
  dataset.Post();
  EXPECT_EQ(twice->AsInteger(), 22);
  EXPECT_THROW(twice->SetAsInteger(1), EDatabaseError);  // not editing

  dataset.Append();
  EXPECT_TRUE(twice->IsNull());
  dataset.Cancel();
}

TEST(CalculatedFields, AFailingOnCalcFieldsPropagates) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  auto* id = new TIntegerField(&dataset);
  id->SetFieldName("ID");
  id->SetDataSet(&dataset);
  auto* calc = new TIntegerField(&dataset);
  calc->SetFieldName("CALC");
  calc->SetFieldKind(fkCalculated);
  calc->SetDataSet(&dataset);
  dataset.Open();
  dataset.AppendRecord({1});
  dataset.OnCalcFields = [](TDataSet&) { throw EDatabaseError("calc failed"); };
  EXPECT_THROW(dataset.First(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);  // the temporary state was left
  dataset.OnCalcFields = nullptr;
  dataset.First();
  EXPECT_EQ(id->AsInteger(), 1);
}

TEST(LookupFields, ShowTheValueOfTheMatchingRecord) {
  TMemoryDataSet pilots;
  FillNumbered(pilots, 3);  // ID, NAME
  TMemoryDataSet flights;
  flights.FieldDefs().Add("FLIGHT", ftInteger);
  flights.FieldDefs().Add("PILOT", ftInteger);
  auto* flight = new TIntegerField(&flights);
  flight->SetFieldName("FLIGHT");
  flight->SetDataSet(&flights);
  auto* pilot = new TIntegerField(&flights);
  pilot->SetFieldName("PILOT");
  pilot->SetDataSet(&flights);
  auto* pilot_name = new TStringField(&flights);
  pilot_name->SetFieldName("PILOT_NAME");
  pilot_name->SetFieldKind(fkLookup);
  pilot_name->SetLookupDataSet(&pilots);
  pilot_name->SetKeyFields("PILOT");
  pilot_name->SetLookupKeyFields("ID");
  pilot_name->SetLookupResultField("NAME");
  pilot_name->SetDataSet(&flights);
  EXPECT_THROW(pilot_name->SetLookupDataSet(&flights), EDatabaseError);
  flights.Open();
  flights.AppendRecord({100, 2});
  flights.AppendRecord({101, 9});
  flights.AppendRecord({102});
  flights.First();
  EXPECT_EQ(pilot_name->AsString(), "name2");
  flights.Next();
  EXPECT_TRUE(pilot_name->IsNull());  // no such pilot
  flights.Next();
  EXPECT_TRUE(pilot_name->IsNull());  // no key
  flights.First();
  flights.Edit();
  pilot->SetAsInteger(3);
  EXPECT_EQ(pilot_name->AsString(), "name3");
  flights.Cancel();
  // The lookup dataset's position is not disturbed.
  EXPECT_EQ(CurrentId(pilots), 1);
}

TEST(LookupFields, LookupsLeadingBackAreRefusedNotEndless) {
  // Two datasets whose lookup fields look each other up.
  TMemoryDataSet a, b;
  for (TMemoryDataSet* ds : {&a, &b}) {
    ds->FieldDefs().Add("ID", ftInteger);
    auto* id = new TIntegerField(ds);
    id->SetFieldName("ID");
    id->SetDataSet(ds);
    auto* other = new TIntegerField(ds);
    other->SetFieldName("OTHER");
    other->SetFieldKind(fkLookup);
    other->SetKeyFields("ID");
    other->SetLookupKeyFields("ID");
    other->SetLookupResultField("OTHER");
    other->SetDataSet(ds);
  }
  a.FieldByName("OTHER")->SetLookupDataSet(&b);
  b.FieldByName("OTHER")->SetLookupDataSet(&a);
  a.Open();
  b.Open();
  b.AppendRecord({1});
  EXPECT_THROW(a.AppendRecord({1}), EDatabaseError);
}

}  // namespace
}  // namespace dataset_test
