#include "dataset/params.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dataset/component.h"
#include "dataset/exceptions.h"

namespace dataset_test {

using namespace dataset;

namespace {

TEST(Param, NewParameterIsNullUnboundAndUnknown) {
  TParams params;
  TParam* p = params.Add();
  EXPECT_TRUE(p->IsNull());
  EXPECT_FALSE(p->Bound());
  EXPECT_EQ(p->DataType(), ftUnknown);
  EXPECT_EQ(p->AsInteger(), 0);
  EXPECT_EQ(p->AsString(), "");
  EXPECT_FALSE(p->AsBoolean());
  EXPECT_EQ(p->AsDateTime(), 0);
}

TEST(Param, TypedSettersSetTypeAndBound) {
  TParams params;
  TParam* p = params.Add();
  p->SetAsInteger(42);
  EXPECT_EQ(p->DataType(), ftInteger);
  EXPECT_TRUE(p->Bound());
  EXPECT_EQ(p->AsString(), "42");
  p->SetAsSmallInt(-7);
  EXPECT_EQ(p->DataType(), ftSmallint);
  p->SetAsWord(65535);
  EXPECT_EQ(p->DataType(), ftWord);
  EXPECT_EQ(p->AsWord(), 65535);
  EXPECT_THROW(p->AsSmallInt(), ERangeError);
  p->SetAsFloat(2.5);
  EXPECT_EQ(p->DataType(), ftFloat);
  EXPECT_EQ(p->AsString(), "2.5");
  p->SetAsCurrency(1.23456);
  EXPECT_EQ(p->DataType(), ftCurrency);
  EXPECT_EQ(p->AsCurrency(), 1.2346);
  p->SetAsBCD(StrToBcd("12.50"));
  EXPECT_EQ(p->DataType(), ftBCD);
  EXPECT_EQ(p->AsString(), "12.50");
  p->SetAsFMTBCD(StrToBcd("-1"));
  EXPECT_EQ(p->DataType(), ftFMTBcd);
  p->SetAsBoolean(true);
  EXPECT_EQ(p->DataType(), ftBoolean);
  EXPECT_EQ(p->AsString(), "True");
  p->SetAsLargeInt(int64_t{1} << 40);
  EXPECT_EQ(p->DataType(), ftLargeint);
  EXPECT_THROW(p->AsInteger(), ERangeError);
  p->SetAsMemo("long text");
  EXPECT_EQ(p->DataType(), ftMemo);
  p->SetAsBlob(std::string("\0\1", 2));
  EXPECT_EQ(p->DataType(), ftBlob);
  EXPECT_EQ(p->AsBlob().size(), 2u);
  p->SetAsString("abc");
  EXPECT_EQ(p->DataType(), ftString);
  EXPECT_THROW(p->AsInteger(), EConvertError);
}

TEST(Param, DatesKeepTheDayCount) {
  TParams params;
  TParam* p = params.Add();
  TDateTime noon = EncodeDate(2000, 1, 1) + 0.5;
  p->SetAsDate(noon);
  EXPECT_EQ(p->DataType(), ftDate);
  EXPECT_EQ(p->AsDateTime(), noon);  // the value as it is, time included
  p->SetAsTime(0.25);
  EXPECT_EQ(p->DataType(), ftTime);
  p->SetAsDateTime(noon);
  EXPECT_EQ(p->DataType(), ftDateTime);
  EXPECT_EQ(p->AsString(), "2000-01-01 12:00:00");
}

TEST(Param, ValueSetterInfersTypeOnlyWhenUnknown) {
  TParams params;
  TParam* p = params.Add();
  p->SetValue(Variant(5));
  EXPECT_EQ(p->DataType(), ftInteger);
  p->SetValue(Variant("x"));
  EXPECT_EQ(p->DataType(), ftInteger);  // kept
  EXPECT_EQ(p->AsString(), "x");
  p->SetValue(Variant::Null());
  EXPECT_TRUE(p->IsNull());
  EXPECT_FALSE(p->Bound());
}

TEST(Param, ChangingTheTypeConvertsOrClearsTheValue) {
  TParams params;
  TParam* p = params.Add();
  p->SetAsString("17");
  p->SetDataType(ftInteger);
  EXPECT_EQ(p->Value().VarType(), varInteger);
  EXPECT_EQ(p->AsInteger(), 17);
  p->SetAsString("seventeen");
  p->SetDataType(ftInteger);
  EXPECT_TRUE(p->IsNull());
  p->SetAsInteger(70000);
  p->SetDataType(ftSmallint);  // does not fit
  EXPECT_TRUE(p->IsNull());
}

TEST(Param, DataInTheValueForms) {
  TParams params;
  TParam* p = params.Add();
  p->SetName("p");
  EXPECT_THROW(p->GetData(), EDatabaseError);
  p->SetAsInteger(42);
  TBytes d = p->GetData();
  ASSERT_EQ(d.size(), 4u);
  int32_t i;
  std::memcpy(&i, d.data(), 4);
  EXPECT_EQ(i, 42);
  p->SetAsString("ab");
  EXPECT_EQ(p->GetData(), (TBytes{'a', 'b', 0}));
  p->SetAsBlob("ab");
  EXPECT_EQ(p->GetDataSize(), 2);
  p->SetAsBytes(TBytes{1, 2, 3});
  EXPECT_EQ(p->DataType(), ftVarBytes);
  EXPECT_EQ(p->GetData(), (TBytes{1, 2, 3}));
  p->SetDataType(ftGraphic);
  EXPECT_EQ(p->GetDataSize(), 3);
  p->SetAsBoolean(true);
  d = p->GetData();
  int16_t b;
  std::memcpy(&b, d.data(), 2);
  EXPECT_EQ(b, -1);
  p->SetAsDate(EncodeDate(2000, 1, 1));
  d = p->GetData();
  std::memcpy(&i, d.data(), 4);
  EXPECT_EQ(i, 730120);
  p->Clear();
  EXPECT_TRUE(p->GetData().empty());
  EXPECT_EQ(p->DataType(), ftDate);
}

TEST(Params, ParamByNameIgnoresCaseAndNamesTheOwner) {
  TComponent query(nullptr);
  query.SetName("NdsQuery1");
  TParams params(&query);
  params.CreateParam(ftInteger, "Key", ptInput);
  EXPECT_EQ(params.ParamByName("KEY"), params[0]);
  EXPECT_EQ(params.FindParam("nope"), nullptr);
  try {
    params.ParamByName("nope");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "NdsQuery1: Parameter 'nope' not found");
  }
  TParams bare;
  try {
    bare.ParamByName("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Parameter 'x' not found");
  }
}

TEST(Params, AssignCopiesTheWholeList) {
  TParams a, b;
  a.CreateParam(ftInteger, "x", ptInput)->SetAsInteger(1);
  a.CreateParam(ftString, "y", ptOutput)->SetAsString("s");
  b.CreateParam(ftFloat, "z", ptInput);
  b.Assign(&a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_TRUE(b.IsEqual(a));
  EXPECT_EQ(b[1]->ParamType(), ptOutput);
  EXPECT_TRUE(b[0]->Bound());
  b[0]->SetAsInteger(2);
  EXPECT_FALSE(b.IsEqual(a));
  EXPECT_EQ(a[0]->AsInteger(), 1);  // a copy, not shared
}

TEST(Params, AssignValuesKeepsTheSetOfParameters) {
  TParams current, fresh;
  current.CreateParam(ftInteger, "a", ptInput)->SetAsInteger(5);
  current.CreateParam(ftString, "gone", ptInput)->SetAsString("x");
  fresh.ParseSQL("select :A, :new", true);
  fresh.AssignValues(current);
  ASSERT_EQ(fresh.Count(), 2);
  EXPECT_EQ(fresh[0]->AsInteger(), 5);
  EXPECT_EQ(fresh[0]->DataType(), ftInteger);
  EXPECT_TRUE(fresh[0]->Bound());
  EXPECT_TRUE(fresh[1]->IsNull());
  EXPECT_EQ(fresh.FindParam("gone"), nullptr);
}

TEST(Params, AssignValuesMatchesRepeatedNamesInOrder) {
  TParams current, fresh;
  current.ParseSQL(":a :a", true);
  current[0]->SetAsInteger(1);
  current[1]->SetAsInteger(2);
  fresh.ParseSQL(":a :b :a :a", true);
  fresh.AssignValues(current);
  EXPECT_EQ(fresh[0]->AsInteger(), 1);
  EXPECT_TRUE(fresh[1]->IsNull());
  EXPECT_EQ(fresh[2]->AsInteger(), 2);
  EXPECT_EQ(fresh[3]->AsInteger(), 2);  // no third source "a": the last one
}

TEST(Params, ParamValuesBySemicolonList) {
  TParams params;
  params.ParseSQL(":a :b", true);
  params.SetParamValues("a;b", Variant(std::vector<Variant>{1, "two"}));
  Variant both = params.ParamValues("b; a");
  ASSERT_EQ(both.ArrayLength(), 2);
  EXPECT_EQ(both[0].AsString(), "two");
  EXPECT_EQ(params.ParamValues("a").AsInteger(), 1);
  EXPECT_THROW(params.SetParamValues("a;b", Variant(3)), EDatabaseError);
  EXPECT_THROW(params.ParamValues("a;zz"), EDatabaseError);
}

TEST(Params, AddAndRemoveExistingParameters) {
  TParams a, b;
  TParam* p = a.CreateParam(ftInteger, "p", ptInput);
  b.AddParam(p);
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(b[0], p);
  b.RemoveParam(p);
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(p->Collection(), nullptr);
  delete p;  // the caller owns a removed parameter
}

}  // namespace
}  // namespace dataset_test
